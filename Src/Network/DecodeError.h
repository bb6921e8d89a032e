#pragma once

#include <cstddef>

namespace VexlaLib {

// Reports why received bytes could not be decoded (LOG_ERROR).
void LogDecodeError(const char* text);

enum TWireSize { WIRE_LENGTH, WIRE_COUNT };

// Accepts a byte length or element count read from the wire only if it is not negative and not
// larger than the bytes still available (every byte or element takes at least one), so nothing is
// allocated for sizes the input cannot hold. Refusals are logged.
bool IsWireSizeAcceptable(int size, size_t available, TWireSize kind);

}  // namespace VexlaLib
