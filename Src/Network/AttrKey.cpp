#include "Network/AttrKey.h"

#include "Network/NameTable.h"

namespace VexlaLib {

#define VEXLA_KEY_NAME(name, code) VEXLA_WIDE_NAME(name),
#define VEXLA_UNNAMED_KEY_NAME(code) kInvalidName,
const wchar_t* const CAttrKey::m_lookup[KEY_COUNT] = {VEXLA_ATTR_KEY_LIST(VEXLA_KEY_NAME, VEXLA_UNNAMED_KEY_NAME)};

#define VEXLA_KEY_CODE(name, code) code,
#define VEXLA_UNNAMED_KEY_CODE(code) code,
namespace {
constexpr int kKeyCodes[] = {VEXLA_ATTR_KEY_LIST(VEXLA_KEY_CODE, VEXLA_UNNAMED_KEY_CODE)};
static_assert(sizeof(kKeyCodes) / sizeof(kKeyCodes[0]) == CAttrKey::KEY_COUNT, "one name per key code");
static_assert(IsNameTableInOrder(kKeyCodes, 0), "every key code must sit at its own index");
}  // namespace

const wchar_t* CAttrKey::Lookup(int key) { return key >= 0 && key < KEY_COUNT ? m_lookup[key] : kInvalidName; }

}  // namespace VexlaLib
