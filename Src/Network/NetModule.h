#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "Network/INetListener.h"
#include "Network/PacketSender.h"
#include "Network/Packet.h"
#include "Utils/ByteArray.h"
#include "Utils/Lock.h"

namespace VexlaLib {

class CConnectionSettings;
class CPacketReceiver;
class CProperties;
class CSession;
class IPersistentStorage;

// The network side of the library: owns the session, the sender and receiver threads and the
// connection settings, keeps the saved credentials, and turns what the threads produced into listener
// calls, always from Process on the library's own thread.
class CNetModule
{
public:
    CNetModule();
    ~CNetModule();

    CNetModule(const CNetModule&) = delete;
    CNetModule& operator=(const CNetModule&) = delete;

    bool Initialize(INetListener* listener, IPersistentStorage* storage, CProperties* properties);
    void Terminate();

    void SendPacket(TPacketSPtr packet);
    // True when a packet was delivered to the listener.
    bool Process();
    void Continue();
    void Abort();
    void RequestReconnect();
    void ForceDisconnect();
    void ForceNewSessionReconnect();
    void SignalNetworkDown();
    void PingPacketSender();
    void PutPacketOnReceiveQueue(TPacketSPtr packet);
    // Takes one received packet without waiting; true when more are waiting.
    bool ReceivePacket(TPacketSPtr* packet);
    std::wstring GetLocalConnectionAddress();
    void SignalWaitWithPostingChats();
    // Told from the network threads whenever Process has something new to hand over: a received or
    // sent packet, a local event, a change of the connecting state. Not owned; outlives the module.
    void SetWakeup(IWakeup* wakeup);

    TPacketSPtr GetSavedCredentials();
    void SetSavedCredentials(TPacketSPtr credentials);
    void EraseSavedCredentials();
    void RestoreLocallySavedCredentials();
    // The session's password for logging in again, and its wiping (see CSession).
    std::wstring GetHeldPassword();
    void ForgetPassword();

    // Scrambles the stored credentials; applying it twice gives back the input.
    static void TwoWaySimpleObfuscate(TByteArray* bytes);

    // Replaces the sender's pause between reconnect attempts; only before Initialize.
    void SetReconnectWait(const CPacketSender::TReconnectWait& wait) { m_reconnectWait = wait; }

private:
    void HandleSentPacket(const TPacketSPtr& packet, bool* delivered);
    void HandleInterfaceRequest();
    void SendInterfaceAnswer(const std::wstring& address);
    void FailPendingRequests(TNetworkErrorReason reason);

    INetListener* m_pNetListener;
    std::unique_ptr<CSession> m_session;
    std::unique_ptr<CPacketReceiver> m_receiver;
    std::unique_ptr<CPacketSender> m_sender;
    TByteArraySPtr m_localSavedData;  // guarded by m_savedDataLock: the receiver thread stores too
    CLock m_savedDataLock;
    bool m_lastConnecting;
    bool m_forcedDisconnectInProgress;
    IPersistentStorage* m_storage;
    std::unique_ptr<CConnectionSettings> m_settings;
    CPacketSender::TReconnectWait m_reconnectWait;
    IWakeup* m_wakeup = nullptr;
};

}  // namespace VexlaLib
