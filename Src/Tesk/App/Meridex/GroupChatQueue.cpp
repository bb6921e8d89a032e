#include "Tesk/App/Meridex/GroupChatQueue.h"

#include "Tesk/App/Meridex/IGroupChatQueueWorker.h"
#include "Utils/Timer.h"
#include "Utils/Utils.h"

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
    m_beatOrigin = VexlaLib::CUtils::CurrentTimeInMs();
    ArmForNextBeat();
}

void CGroupChatQueue::Append(void* item)
{
    m_items.push_back(item);
    ArmForNextBeat();
}

void CGroupChatQueue::OnTimer(int /*id*/)
{
    for (int taken = 0; taken < m_batchSize && m_running && !m_items.empty(); ++taken) {
        void* item = m_items.front();
        m_items.pop_front();
        m_pWorker->ProcessItem(item);
    }
    ArmForNextBeat();
}

void CGroupChatQueue::ArmForNextBeat()
{
    if (m_pTimer == nullptr || m_pTimer->IsRunning() || m_items.empty())
        return;
    const long long sinceOrigin = VexlaLib::CUtils::CurrentTimeInMs() - m_beatOrigin;
    const long long toNextBeat = TICK_MS - ((sinceOrigin % TICK_MS) + TICK_MS) % TICK_MS;
    m_pTimer->StartTimer(static_cast<int>(toNextBeat), 0);
}
