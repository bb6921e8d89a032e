#pragma once

#include <atomic>
#include <functional>
#include <memory>

#include "Network/PacketQueue.h"
#include "Network/Socket.h"
#include "Utils/Signal.h"
#include "Utils/Thread.h"

namespace VexlaLib {

class CConnectionSettings;
class CSession;

// The thread that gets a connection through the session, logs in, and writes the packets of its send
// queue as frames. Every packet it has sent, and every local event it produces (network lost, forced
// disconnect, interface request), goes to its sent queue for the network module.
class CPacketSender : public CThread
{
public:
    // How the thread pauses between reconnect attempts; by default a wait on its wake-up signal.
    typedef std::function<void(int seconds)> TReconnectWait;

    CPacketSender(CSession* session, CConnectionSettings* settings);
    ~CPacketSender() override;

    // Writes one frame: varint body length, body, CRC-32 over key and body. A failure after the first
    // byte of the frame has gone out closes the socket.
    static bool SendPacket(const TSocketSPtr& socket, const TPacketSPtr& packet, const TByteArraySPtr& key);

    void SendPacket(const TPacketSPtr& packet);
    CPacketQueue* GetSentQueue() { return m_sentQueue.get(); }
    bool GetConnectingState() const { return m_connecting; }
    // Told of every packet put on the sent queue and of every change of the connecting state.
    void SetWakeup(IWakeup* wakeup);
    // Drops every queued packet and ends any wait on the send queue.
    void DiscardQueue();

    void Signal();
    void SignalWakeup();
    void SignalResetReconnect();
    void SignalWaitWithPostingChats();
    bool Initialize();
    void Stop();

    // Replaces the pause between reconnect attempts (tests count the pauses instead of sleeping).
    void SetReconnectWait(const TReconnectWait& wait);

protected:
    void OnExecute() override;

private:
    bool RunConnectionPhase();
    bool AskForInterface(const TPacketSPtr& request);
    bool ConnectAndLogIn(TPacketSPtr request);
    int ConnectWithRetries(TPacketSPtr& request, bool* stopped);
    void RunNormalLoop();
    void WaitBeforeReconnect();
    void ReportInternal(int chunk);
    void SetConnecting(bool connecting);

    CSession* const m_session;
    std::unique_ptr<CPacketQueue> m_sendQueue;
    std::atomic<bool> m_stop;
    std::atomic<bool> m_connecting;
    std::unique_ptr<CPacketQueue> m_sentQueue;
    CSignal m_wakeupSignal;
    CConnectionSettings* const m_settings;
    std::atomic<bool> m_friendlyNetworkError;
    std::atomic<int> m_reconnectAttempts;
    std::atomic<bool> m_waitWithPostingChats;
    std::atomic<unsigned int> m_discards;  // DiscardQueue calls so far
    std::atomic<IWakeup*> m_wakeup{nullptr};
    int m_lastRequestChunk;  // sender thread only
    TReconnectWait m_reconnectWait;
};

}  // namespace VexlaLib
