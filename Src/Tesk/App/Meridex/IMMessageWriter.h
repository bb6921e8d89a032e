#pragma once

#include <cstddef>
#include <deque>
#include <functional>

#include "Tesk/App/Meridex/IMMessageIndex.h"
#include "Tesk/App/Meridex/IMMessageRecord.h"

class CBusReply;
class IIMChatBus;

// Writes message records in the order they are handed over, each only when the database holds no
// record with the same server time, sender, recipient (or group) and text: a message handed over
// again after a crash, or a batch fetched twice, is not written twice. Two identical messages of one
// sender in the same second are therefore one.
//
// The database is asked once for each server time and sender (CIMMessageIndex keeps its answer and
// what is written after it), and the records found new are put together, at most a batch of them per
// call. One database call is out at a time, and every find waits for the records settled before it to
// be put, so that what the database answers includes them. Once a backlog of at least
// RELEASE_AFTER_BACKLOG writes is done, the memory the burst took goes back to the system. The backlog
// listener hears when BACKLOG_FULL writes wait and when they are down to BACKLOG_EASED again, so that
// the caller can stop handing over more in between. Main-loop thread only.
class CIMMessageWriter {
public:
    static const size_t DEFAULT_MAX_BATCH = 50;
    static const size_t RELEASE_AFTER_BACKLOG = 200;
    static constexpr size_t BACKLOG_FULL = 1000;
    static constexpr size_t BACKLOG_EASED = 500;
    // true: the backlog is full; false: it eased again.
    typedef std::function<void(bool full)> TBacklogListener;

    explicit CIMMessageWriter(IIMChatBus* bus, size_t maxBatch = DEFAULT_MAX_BATCH,
                              size_t maxKeys = CIMMessageIndex::DEFAULT_MAX_KEYS,
                              size_t maxFingerprints = CIMMessageIndex::DEFAULT_MAX_FINGERPRINTS);

    CIMMessageWriter(const CIMMessageWriter&) = delete;
    CIMMessageWriter& operator=(const CIMMessageWriter&) = delete;

    // `written` (may be empty) runs once the record was written or found already there, in the order
    // of the calls; a write the database refused counts as done too, since nothing would make it
    // succeed later.
    void Write(const CIMMessageRecord& record, std::function<void()> written);
    // What the database was found to hold may no longer be true (another session, another account):
    // every key is asked for again.
    void Forget() { m_index.Clear(); }
    void SetBacklogListener(TBacklogListener listener) { m_backlogListener = std::move(listener); }

private:
    enum TState { UNCHECKED, TO_PUT, PUTTING, DONE };
    struct SWrite {
        CIMMessageRecord record;
        std::function<void()> written;
        TState state;
    };

    // Runs the callbacks of the leading writes that are done and sends the next call when none is out.
    void Pump();
    bool SendNext();
    void TellBacklog();
    // After a backlog: the index and the queue give back what the burst made them hold.
    void ReleaseBurst();
    // Decides the unchecked writes whose key is known, until a batch is full.
    void Settle();
    void Settle(SWrite* write);
    void SendPut();
    void Found(const CBusReply& reply);
    void Put(const CBusReply& reply);

    IIMChatBus* m_pBus;
    const size_t m_maxBatch;
    CIMMessageIndex m_index;
    std::deque<SWrite> m_writes;  // every write whose callback has not run, oldest first
    size_t m_settled = 0;         // the leading writes that are no longer UNCHECKED
    size_t m_toPut = 0;           // writes in state TO_PUT
    bool m_busy = false;          // a database call is out
    bool m_pumping = false;
    size_t m_backlogPeak = 0;     // the most writes waiting at once since the queue was last empty
    bool m_backlogFull = false;   // the listener was told that it is
    TBacklogListener m_backlogListener;
};
