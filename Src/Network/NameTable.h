#pragma once

#include <cstddef>

namespace VexlaLib {

// Helpers for the code-to-name tables of keys and chunk kinds, which are built from one list each.

#define VEXLA_WIDE_LITERAL(text) L##text
#define VEXLA_WIDE_NAME(name) VEXLA_WIDE_LITERAL(#name)

// The name of a code that has none.
constexpr const wchar_t* kInvalidName = L"<Invalid>";

// True when the codes run first, first + 1, ... so that a code indexes its own name.
template <size_t N> constexpr bool IsNameTableInOrder(const int (&codes)[N], int first)
{
    for (size_t i = 0; i < N; ++i) {
        if (codes[i] != first + static_cast<int>(i)) {
            return false;
        }
    }
    return true;
}

}  // namespace VexlaLib
