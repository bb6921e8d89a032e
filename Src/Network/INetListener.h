#pragma once

#include <string>

#include "Network/PacketPtr.h"

namespace VexlaLib {

// Why the network layer gave up on the pending requests.
enum TNetworkErrorReason {
    NETWORK_ERROR_NO_NETWORK = 0,       // no network, and no connection has ever worked
    NETWORK_ERROR_OUTSIDE_HOME = 1,     // the interface request was refused: outside the home network
    NETWORK_ERROR_NO_INTERFACE = 2,     // the interface request was refused: no usable data network
};

// Answers to an interface request (OnInterfaceRequest).
enum TInterfaceAnswer {
    INTERFACE_READY = 0,          // connect from the address written to the name
    INTERFACE_NO_NETWORK = 1,
    INTERFACE_OUTSIDE_HOME = 2,
    INTERFACE_NOT_READY = 3,      // ask again shortly
};

// What the network module reports to the library, always from CNetModule::Process.
class INetListener {
public:
    virtual ~INetListener() {}
    // Writes the local address to connect from into `name`; returns a TInterfaceAnswer.
    virtual int OnInterfaceRequest(std::wstring* name) = 0;
    virtual void OnPacketSent(TPacketSPtr packet) = 0;
    virtual void OnPacketReceived(TPacketSPtr packet) = 0;
    virtual void OnConnecting() = 0;
    virtual void OnNetworkError(TNetworkErrorReason reason) = 0;
    // False while the listener holds received packets back: they wait on the receive queue, and once
    // that is full, in the socket.
    virtual bool TakesReceivedPackets() { return true; }
};

}  // namespace VexlaLib
