#include "Tesk/App/Meridex/IMMessageWriter.h"

#include "Tesk/App/Meridex/IIMChatBus.h"
#include "Tesk/App/Meridex/IMChatRequests.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/DbResults.h"
#include "Utils/LogStream.h"

CIMMessageWriter::CIMMessageWriter(IIMChatBus* bus) : m_pBus(bus) {}

void CIMMessageWriter::Write(const CIMMessageRecord& record, std::function<void()> written)
{
    m_writes.push_back(SWrite{record, std::move(written)});
    if (!m_busy)
        Next();
}

void CIMMessageWriter::Next()
{
    if (m_writes.empty())
        return;
    m_busy = true;
    const CIMMessageRecord& record = m_writes.front().record;
    m_pBus->Call(CIMChatRequests::FindMessages(record.serverTime * 1000, record.from),
                 [this](const CBusReply& reply) { Found(reply); });
}

void CIMMessageWriter::Found(const CBusReply& reply)
{
    const CIMMessageRecord& record = m_writes.front().record;
    for (const CJSONObject& stored : CDbResults::Records(reply)) {
        if (record.Matches(stored)) {
            VexlaLib::LogInfo() << "-- message from " << record.from << " at " << record.serverTime
                                << " is in the database already" << std::endl;
            Done();
            return;
        }
    }
    m_pBus->Call(CIMChatRequests::Put(record.ToJSON()), [this](const CBusReply&) { Done(); });
}

void CIMMessageWriter::Done()
{
    std::function<void()> written = std::move(m_writes.front().written);
    m_writes.pop_front();
    m_busy = false;
    if (written)
        written();
    if (!m_busy)
        Next();
}
