#pragma once

#include "Network/INetListener.h"
#include "Network/PacketPtr.h"

#include <string>

namespace VexlaLib {

class CProperties;
class IPersistentStorage;
class IWakeup;

// What the library uses of its network side. CNetModuleLink puts the real network module behind
// it; tests put a scripted one there to drive the library without sockets.
class INetworkModule
{
public:
    virtual ~INetworkModule() = default;

    virtual bool Initialize(INetListener* listener, IPersistentStorage* storage, CProperties* properties) = 0;
    virtual void Terminate() = 0;
    virtual void SendPacket(TPacketSPtr packet) = 0;
    // True when a received packet or a network event reached the listener.
    virtual bool Process() = 0;
    virtual void RequestReconnect() = 0;
    virtual void ForceDisconnect() = 0;
    virtual void ForceNewSessionReconnect() = 0;
    virtual void SignalNetworkDown() = 0;
    virtual std::wstring GetLocalConnectionAddress() = 0;
    virtual TPacketSPtr GetSavedCredentials() = 0;
    virtual void SetSavedCredentials(TPacketSPtr credentials) = 0;
    virtual void EraseSavedCredentials() = 0;
    virtual void RestoreLocallySavedCredentials() = 0;
    // The password of the last sign-in that named the account, which the network side keeps for
    // logging in again; empty when it holds none. The caller wipes its copy when done with it.
    virtual std::wstring GetHeldPassword() = 0;
    // Overwrites and drops that password: the account signed out or failed to sign in for good.
    virtual void ForgetPassword() = 0;
    // Whom to tell, from any thread, when Process has something new; a side without threads needs none.
    virtual void SetWakeup(IWakeup* /*wakeup*/) {}
};

}  // namespace VexlaLib
