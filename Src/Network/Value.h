#pragma once

#include <cstddef>

namespace VexlaLib {

// Dumps show at most this many bytes of a binary value or array elements; the length in front of
// them gives the whole size, so one large value cannot make a large log text.
const size_t DUMP_ELEMENT_LIMIT = 256;

class CLogStream;
class IOutputStream;

// Value type codes, one byte on the wire.
enum TValueType {
    TYPE_INT32 = 0,
    TYPE_INT64 = 1,
    TYPE_ADDRESS = 2,
    TYPE_STRING = 3,
    TYPE_BINARY = 4,
    TYPE_CONTAINER = 5,
    TYPE_INTARRAY = 6,
};

// The value of one attribute. Each kind also has a static Deserialize returning the value or nothing.
class CValue {
public:
    virtual ~CValue() = default;
    virtual void Serialize(IOutputStream* out) const = 0;

    virtual int GetType() const = 0;
    // Writes the readable form of the value as it follows "TYPE, " in a packet dump, without the
    // closing brace.
    virtual void Dump(CLogStream& stream) const = 0;
};

}  // namespace VexlaLib
