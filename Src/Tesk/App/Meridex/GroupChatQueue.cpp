#include "Tesk/App/Meridex/GroupChatQueue.h"

#include "Tesk/App/Meridex/IGroupChatQueueWorker.h"
#include "Utils/Timer.h"

CGroupChatQueue::CGroupChatQueue(IGroupChatQueueWorker* worker) : m_pWorker(worker) {}

CGroupChatQueue::~CGroupChatQueue()
{
    if (m_pTimer != nullptr)
        m_pTimer->StopTimer();
    for (void* item : m_items)
        m_pWorker->ItemRemoved(item);
}

void CGroupChatQueue::Start(VexlaLib::CTimer* timer)
{
    m_pTimer = timer;
    m_pTimer->SetRepeating(true);
    m_pTimer->StartTimer(TICK_MS, 0);
}

void CGroupChatQueue::Append(void* item)
{
    m_items.push_back(item);
}

void CGroupChatQueue::OnTimer(int /*id*/)
{
    for (int taken = 0; taken < m_batchSize && m_running && !m_items.empty(); ++taken) {
        void* item = m_items.front();
        m_items.pop_front();
        m_pWorker->ProcessItem(item);
    }
}
