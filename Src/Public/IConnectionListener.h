#pragma once

#include <string>

namespace VexlaLib {

// Asked by the library, before each connection, which local address to connect from.
class IConnectionListener
{
public:
    virtual ~IConnectionListener() = default;
    // Writes the local address into address; returns a TInterfaceAnswer (0 ready, 1 no network,
    // 2 outside the home network, 3 not ready yet).
    virtual int OnInterfaceRequest(std::wstring* address) = 0;
};

}  // namespace VexlaLib
