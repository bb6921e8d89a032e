#include "Tesk/App/ProcessQueue.h"

#include "Public/VexlaLib.h"
#include "Tesk/App/IProcessQueueWorker.h"
#include "Utils/Timer.h"

CProcessQueue::CProcessQueue(IProcessQueueWorker* worker, int itemsPerTick)
    : m_pWorker(worker), m_itemsPerTick(itemsPerTick)
{
}

CProcessQueue::~CProcessQueue()
{
    if (m_pTimer != nullptr)
        m_pTimer->StopTimer();
    EraseAll();
}

void CProcessQueue::StartTimer(VexlaLib::CVexlaLib& library, int periodMs)
{
    if (m_pTimer == nullptr)
        m_pTimer = library.CreateTimer(this);
    m_pTimer->SetRepeating(true);
    m_pTimer->StartTimer(periodMs, 0);
}

void CProcessQueue::Add(const std::wstring& key)
{
    if (!m_queuedKeys.insert(key).second)
        return;
    m_items.push_back(key);
}

void CProcessQueue::OnTimer(int)
{
    for (int handed = 0; handed < m_itemsPerTick && !m_items.empty(); ++handed) {
        const std::wstring key = m_items.front();
        m_pWorker->ProcessItem(key);
        m_queuedKeys.erase(key);
        // The worker may have emptied the queue meanwhile.
        if (!m_items.empty() && m_items.front() == key)
            m_items.pop_front();
    }
}

std::vector<std::wstring> CProcessQueue::Take(size_t max)
{
    std::vector<std::wstring> taken;
    while (taken.size() < max && !m_items.empty()) {
        taken.push_back(m_items.front());
        m_queuedKeys.erase(m_items.front());
        m_items.pop_front();
    }
    return taken;
}

void CProcessQueue::EraseAll()
{
    // Emptied first, so a worker that adds a key from ItemRemoved does not disturb the walk.
    std::deque<std::wstring> removed;
    removed.swap(m_items);
    m_queuedKeys.clear();
    if (m_pWorker == nullptr)
        return;
    for (const std::wstring& key : removed)
        m_pWorker->ItemRemoved(key);
}
