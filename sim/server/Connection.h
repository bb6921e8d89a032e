#pragma once

#include <atomic>
#include <string>
#include <thread>

#include "FrameChannel.h"
#include "Json.h"
#include "SimContext.h"

namespace ServerSim {

class CChunkDispatcher;

// Where a client stands in its conversation with the simulated server.
enum class TClientPhase {
    eAwaitConnect,     // nothing received yet
    eAwaitMasterKey,   // server identity sent
    eAwaitClientData,  // keys switched, connected answer sent
    eEstablished       // handshake complete: the other areas are served
};

// What the handlers remember about one client; touched only on the connection's thread.
struct SClientState {
    TClientPhase phase = TClientPhase::eAwaitConnect;
    VexlaLib::TByteArray clientRandom;
    VexlaLib::TByteArray serverRandom;
    std::string account;              // signed-in account name, empty when signed out
    VexlaLib::TByteArray sessionId;   // its session identifier
};

// One accepted client: a thread that reads its frames, records each in the event log and hands the
// packets to the dispatcher. Writing is open to every thread (the control socket injects packets).
class CConnection {
public:
    CConnection(int id, int fd, const std::string& peer, SSimContext& context, const CChunkDispatcher& dispatcher);
    // Drops the connection and waits for its thread.
    ~CConnection();
    CConnection(const CConnection&) = delete;
    CConnection& operator=(const CConnection&) = delete;

    void Start();
    bool Finished() const { return m_finished; }

    int Id() const { return m_id; }
    SSimContext& Context() { return m_context; }
    SClientState& State() { return m_state; }

    // Each records a "sent" event (the packet, and what was wrong with the frame on purpose).
    bool Send(const VexlaLib::CPacket& packet);
    bool SendBadChecksum(const VexlaLib::CPacket& packet);
    bool SendUndecodable(size_t bodyLength);
    bool SendHalfFrame(const VexlaLib::CPacket& packet);

    // Connection thread only: see CFrameChannel::SwitchKeys.
    void SwitchKeys(const VexlaLib::TByteArray& inKey, const VexlaLib::TByteArray& outKey,
                    const VexlaLib::TByteArray& checksumKey);

    // Closes the connection from any thread; the reader ends and records "closed".
    void Drop();
    // While stalled, received packets are recorded but not answered.
    void SetStalled(bool stalled) { m_stalled = stalled; }

    // A new event {"type": type, "conn": id} to fill and hand to Record.
    TJsonPtr NewEvent(const char* type) const;
    void Record(TJsonPtr event);

private:
    void Run();
    void OnPacket(const VexlaLib::CPacket& packet);
    void RecordSent(const VexlaLib::CPacket* packet, const char* fault, bool written);

    const int m_id;
    const std::string m_peer;
    SSimContext& m_context;
    const CChunkDispatcher& m_dispatcher;
    CFrameChannel m_channel;
    SClientState m_state;
    std::atomic<bool> m_stalled;
    std::atomic<bool> m_encrypted;  // the keys have switched: frames are encrypted and keyed
    std::atomic<bool> m_finished;
    std::thread m_thread;
};

}  // namespace ServerSim
