#include "Tesk/App/Meridex/IMMarkerLedger.h"

#include "Utils/IPersistentStorage.h"
#include "Utils/LogStream.h"

CIMMarkerLedger::CIMMarkerLedger(VexlaLib::IPersistentStorage* storage) : m_pStorage(storage) {}

std::wstring CIMMarkerLedger::Handled(const std::wstring& chat) const
{
    auto handled = m_handled.find(chat);
    if (handled != m_handled.end())
        return handled->second;
    std::wstring stored;
    m_pStorage->GetString(chat, &stored);
    return stored;
}

void CIMMarkerLedger::Anchor(const std::wstring& chat, const std::wstring& marker)
{
    if (m_order.count(chat) != 0)
        return;
    m_handled[chat] = marker;
    m_pStorage->SetString(chat, marker);
    m_pStorage->RequestSynchronize();
}

int CIMMarkerLedger::Open(const std::wstring& chat, const std::wstring& marker)
{
    const int id = m_nextBatch++;
    SBatch& batch = m_batches[id];
    batch.chat = chat;
    batch.marker = marker;
    m_order[chat].push_back(id);
    m_handled[chat] = marker;
    return id;
}

void CIMMarkerLedger::Expect(int batch)
{
    auto found = m_batches.find(batch);
    if (found != m_batches.end())
        ++found->second.outstanding;
}

void CIMMarkerLedger::Written(int batch)
{
    auto found = m_batches.find(batch);
    if (found == m_batches.end())
        return;
    --found->second.outstanding;
    Advance(found->second.chat);
}

void CIMMarkerLedger::Close(int batch)
{
    auto found = m_batches.find(batch);
    if (found == m_batches.end())
        return;
    found->second.closed = true;
    Advance(found->second.chat);
}

void CIMMarkerLedger::Advance(std::wstring chat)
{
    std::deque<int>& order = m_order[chat];
    std::wstring marker;
    while (!order.empty()) {
        auto front = m_batches.find(order.front());
        if (!front->second.closed || front->second.outstanding > 0)
            break;
        marker = front->second.marker;
        m_batches.erase(front);
        order.pop_front();
    }
    if (order.empty())
        m_order.erase(chat);
    std::wstring stored;
    if (marker.empty() || (m_pStorage->GetString(chat, &stored) && stored == marker))
        return;
    VexlaLib::LogInfo() << "CIMHandler::StoreLastMessageNotified " << marker << "." << std::endl;
    m_pStorage->SetString(chat, marker);
    m_pStorage->RequestSynchronize();
}
