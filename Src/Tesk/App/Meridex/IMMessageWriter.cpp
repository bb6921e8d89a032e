#include "Tesk/App/Meridex/IMMessageWriter.h"

#include "Tesk/App/Meridex/IIMChatBus.h"
#include "Tesk/App/Meridex/IMChatRequests.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/DbResults.h"
#include "Tesk/Core/JSONArray.h"
#include "Utils/LogStream.h"
#include "Utils/MemoryRelease.h"

CIMMessageWriter::CIMMessageWriter(IIMChatBus* bus, size_t maxBatch, size_t maxKeys, size_t maxFingerprints)
    : m_pBus(bus), m_maxBatch(maxBatch > 0 ? maxBatch : 1), m_index(maxKeys, maxFingerprints)
{}

void CIMMessageWriter::Write(const CIMMessageRecord& record, std::function<void()> written)
{
    m_writes.push_back(SWrite{record, std::move(written), UNCHECKED});
    if (m_writes.size() > m_backlogPeak)
        m_backlogPeak = m_writes.size();
    Pump();
}

void CIMMessageWriter::TellBacklog()
{
    const bool full = m_backlogFull ? m_writes.size() > BACKLOG_EASED : m_writes.size() >= BACKLOG_FULL;
    if (full == m_backlogFull)
        return;
    m_backlogFull = full;
    if (m_backlogListener)
        m_backlogListener(full);
}

void CIMMessageWriter::Pump()
{
    // A callback that hands over another write, or a reply that comes at once, lands in the loop below.
    if (m_pumping)
        return;
    m_pumping = true;
    bool progress = true;
    while (progress) {
        progress = false;
        while (!m_writes.empty() && m_writes.front().state == DONE) {
            std::function<void()> written = std::move(m_writes.front().written);
            m_writes.pop_front();
            --m_settled;
            if (written)
                written();
            progress = true;
        }
        if (m_busy)
            break;
        // Settling may finish writes (duplicates) without a call.
        const size_t settled = m_settled;
        if (SendNext() || m_settled != settled)
            progress = true;
    }
    m_pumping = false;
    TellBacklog();
    if (m_writes.empty()) {
        if (m_backlogPeak >= RELEASE_AFTER_BACKLOG)
            ReleaseBurst();
        m_backlogPeak = 0;
    }
}

void CIMMessageWriter::ReleaseBurst()
{
    // An empty deque keeps the block map its longest backlog needed; a new one starts small.
    m_index.Compact();
    std::deque<SWrite>().swap(m_writes);
    VexlaLib::CMemoryRelease::ReturnFreePages();
}

bool CIMMessageWriter::SendNext()
{
    Settle();
    if (m_toPut > 0) {
        SendPut();
        return true;
    }
    if (m_settled == m_writes.size())
        return false;
    const CIMMessageRecord& record = m_writes[m_settled].record;
    m_busy = true;
    m_pBus->Call(CIMChatRequests::FindMessages(record.serverTime * 1000, record.from),
                 [this](const CBusReply& reply) { Found(reply); });
    return true;
}

void CIMMessageWriter::Settle()
{
    while (m_settled < m_writes.size() && m_toPut < m_maxBatch && m_index.Knows(m_writes[m_settled].record))
        Settle(&m_writes[m_settled]);
}

void CIMMessageWriter::Settle(SWrite* write)
{
    ++m_settled;
    if (m_index.Holds(write->record)) {
        VexlaLib::LogInfo() << "-- message from " << write->record.from << " at " << write->record.serverTime
                            << " is in the database already" << std::endl;
        write->state = DONE;
        return;
    }
    m_index.Add(write->record);
    write->state = TO_PUT;
    ++m_toPut;
}

void CIMMessageWriter::SendPut()
{
    CJSONArray records;
    for (size_t i = 0; i < m_settled; ++i) {
        if (m_writes[i].state == TO_PUT) {
            records.AddObject(m_writes[i].record.ToJSON());
            m_writes[i].state = PUTTING;
        }
    }
    m_toPut = 0;
    m_busy = true;
    m_pBus->Call(CIMChatRequests::Put(records), [this](const CBusReply& reply) { Put(reply); });
}

void CIMMessageWriter::Found(const CBusReply& reply)
{
    m_busy = false;
    SWrite& write = m_writes[m_settled];
    if (CDbResults::Failed(reply)) {
        // Not known what the database holds: the message is written, as when nothing is found, and its key
        // is asked for again next time.
        VexlaLib::LogWarning() << "-- the duplicate check of a message from " << write.record.from
                               << " failed; writing it" << std::endl;
        ++m_settled;
        write.state = TO_PUT;
        ++m_toPut;
    } else {
        m_index.Learn(write.record, CDbResults::Records(reply));
    }
    Pump();
}

void CIMMessageWriter::Put(const CBusReply& reply)
{
    m_busy = false;
    const bool failed = CDbResults::Failed(reply);
    size_t count = 0;
    for (size_t i = 0; i < m_settled; ++i) {
        SWrite& write = m_writes[i];
        if (write.state != PUTTING)
            continue;
        write.state = DONE;
        ++count;
        // The database holds none of them, or not all: their keys are asked for again.
        if (failed)
            m_index.Forget(write.record);
    }
    if (failed)
        VexlaLib::LogWarning() << "-- the database refused a put of " << static_cast<int>(count) << " messages"
                               << std::endl;
    Pump();
}
