#pragma once

#include "Network/NetModule.h"
#include "Public/INetworkModule.h"

namespace VexlaLib {

// The library's network side in production: the network module with its session and threads.
class CNetModuleLink : public INetworkModule
{
public:
    bool Initialize(INetListener* listener, IPersistentStorage* storage, CProperties* properties) override
    {
        return m_module.Initialize(listener, storage, properties);
    }
    void Terminate() override { m_module.Terminate(); }
    void SendPacket(TPacketSPtr packet) override { m_module.SendPacket(packet); }
    bool Process() override { return m_module.Process(); }
    void RequestReconnect() override { m_module.RequestReconnect(); }
    void ForceDisconnect() override { m_module.ForceDisconnect(); }
    void ForceNewSessionReconnect() override { m_module.ForceNewSessionReconnect(); }
    void SignalNetworkDown() override { m_module.SignalNetworkDown(); }
    std::wstring GetLocalConnectionAddress() override { return m_module.GetLocalConnectionAddress(); }
    TPacketSPtr GetSavedCredentials() override { return m_module.GetSavedCredentials(); }
    void SetSavedCredentials(TPacketSPtr credentials) override { m_module.SetSavedCredentials(credentials); }
    void EraseSavedCredentials() override { m_module.EraseSavedCredentials(); }
    void RestoreLocallySavedCredentials() override { m_module.RestoreLocallySavedCredentials(); }
    std::wstring GetHeldPassword() override { return m_module.GetHeldPassword(); }
    void ForgetPassword() override { m_module.ForgetPassword(); }
    void SetWakeup(IWakeup* wakeup) override { m_module.SetWakeup(wakeup); }

private:
    CNetModule m_module;
};

}  // namespace VexlaLib
