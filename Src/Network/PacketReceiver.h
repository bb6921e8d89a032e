#pragma once

#include <atomic>
#include <memory>

#include "Network/PacketQueue.h"
#include "Network/Socket.h"
#include "Utils/Thread.h"

namespace VexlaLib {

class CSession;

// The thread that reads frames from the session's connection socket and puts the packets on the
// receive queue, letting the session see the login answers first.
class CPacketReceiver : public CThread
{
public:
    // The largest frame body accepted; a longer announced length closes the connection.
    static const int MAX_FRAME_BODY = 16 * 1024 * 1024;
    // The most received packets waiting to be taken: while the library holds them back, what the server
    // sends on stays in the socket's buffer and with the server rather than in memory.
    static const size_t MAX_WAITING_PACKETS = 64;

    explicit CPacketReceiver(CSession* session);
    ~CPacketReceiver() override;

    // Reads one frame; no packet on a time-out, a closed socket, a checksum mismatch (the frame is
    // skipped) or an undecodable body. A failure inside a frame closes the socket.
    static TPacketSPtr ReceivePacket(const TSocketSPtr& socket, const TByteArraySPtr& key);

    // The next received packet, without waiting; empty when there is none.
    TPacketSPtr ReceivePacket();
    void PutPacketOnQueue(const TPacketSPtr& packet);
    bool HavePackets() const;
    // Told of every packet put on the receive queue.
    void SetWakeup(IWakeup* wakeup) { m_receiveQueue->SetWakeup(wakeup); }
    void ClearQueue();
    // The next login answer starts a new session.
    void ResetSession();
    bool Initialize();
    void Stop();

protected:
    void OnExecute() override;

private:
    void HandlePacket(const TPacketSPtr& packet, bool* error26Seen);

    CSession* const m_session;
    std::unique_ptr<CPacketQueue> m_receiveQueue;
    std::atomic<bool> m_stop;
    std::atomic<bool> m_reset;
};

}  // namespace VexlaLib
