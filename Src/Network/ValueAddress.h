#pragma once

#include <memory>

#include "Network/Value.h"

namespace VexlaLib {

class IInputStream;

// An IPv4 address and TCP port: 4 address bytes in network order, then the port, high byte first.
class CValueAddress : public CValue {
public:
    static const int ADDRESS_LENGTH = 6;

    // Copies ADDRESS_LENGTH bytes.
    explicit CValueAddress(const unsigned char* address);

    unsigned char* GetAddress() { return m_address; }

    void Serialize(IOutputStream* out) const override;
    int GetType() const override { return TYPE_ADDRESS; }
    void Dump(CLogStream& stream) const override;
    static std::unique_ptr<CValueAddress> Deserialize(IInputStream* in);

private:
    unsigned char m_address[ADDRESS_LENGTH];
};

}  // namespace VexlaLib
