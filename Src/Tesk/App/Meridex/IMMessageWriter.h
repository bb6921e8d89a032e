#pragma once

#include <deque>
#include <functional>

#include "Tesk/App/Meridex/IMMessageRecord.h"

class CBusReply;
class IIMChatBus;

// Writes message records one after the other, each only when the database holds no record with the same
// server time, sender, recipient (or group) and text: a message handed over again after a crash, or a
// batch fetched twice, is not written twice. Two identical messages of one sender in the same second are
// therefore one. Main-loop thread only.
class CIMMessageWriter {
public:
    explicit CIMMessageWriter(IIMChatBus* bus);

    CIMMessageWriter(const CIMMessageWriter&) = delete;
    CIMMessageWriter& operator=(const CIMMessageWriter&) = delete;

    // `written` (may be empty) runs once the record was written or found already there; a write the
    // database refused counts as done too, since nothing would make it succeed later.
    void Write(const CIMMessageRecord& record, std::function<void()> written);

private:
    struct SWrite {
        CIMMessageRecord record;
        std::function<void()> written;
    };

    void Next();
    void Found(const CBusReply& reply);
    void Done();

    IIMChatBus* m_pBus;
    std::deque<SWrite> m_writes;  // the front one is under way while m_busy
    bool m_busy = false;
};
