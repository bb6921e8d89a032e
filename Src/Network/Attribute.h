#pragma once

#include <memory>
#include <string>

#include "Network/PacketPtr.h"
#include "Network/Value.h"

namespace VexlaLib {

class CLogStream;
class IInputStream;
class IOutputStream;

// One keyed, typed value of a packet. The constructors take the type code explicitly and assert
// that it matches the kind of value given.
class CAttribute {
public:
    CAttribute(int key, int type, int value);
    CAttribute(int key, int type, long long value);
    // address: the 6 bytes of an address value.
    CAttribute(int key, int type, const unsigned char* address);
    CAttribute(int key, int type, const std::wstring& value);
    // Binary value; copies length (at least 1) bytes.
    CAttribute(int key, int type, const unsigned char* data, int length);
    CAttribute(int key, int type, TPacketSPtr container);
    // Int-array value; copies count (at least 1) integers.
    CAttribute(int key, int type, const int* values, int count);
    // Adopts a value that is already built.
    CAttribute(int key, int type, std::unique_ptr<CValue> value);

    int GetKey() const { return m_key; }
    int GetType() const { return m_type; }

    // Each is false, leaving the output alone, when the value is of another type. The pointers
    // handed out point into the value and stay valid while the attribute lives.
    bool GetInt32(int* value) const;
    bool GetInt64(long long* value) const;
    bool GetAddress(unsigned char** address) const;
    bool GetString(std::wstring* value) const;
    bool GetBinary(unsigned char** data, int* length) const;
    bool GetIntArray(int** values, int* count) const;
    bool GetContainer(TPacketSPtr* packet) const;

    void Serialize(IOutputStream* out) const;
    // depth: how many containers enclose the attribute (see CPacket::Deserialize).
    static TAttributeSPtr Deserialize(IInputStream* in, int depth = 0);

    // "key: NAME, Type: TYPE, {value}" and an end of line. Passwords and saved credentials are
    // written as <redacted>.
    void dump(CLogStream& stream) const;

private:
    template <class TValue> TValue* ValueOfType(int type) const;

    int m_key;
    int m_type;
    std::unique_ptr<CValue> m_pValue;
};

}  // namespace VexlaLib
