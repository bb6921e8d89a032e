// The timed serialiser of group chat work.

#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "Tesk/App/Meridex/GroupChatQueue.h"
#include "Tesk/App/Meridex/IGroupChatQueueWorker.h"
#include "Utils/Timer.h"
#include "Utils/TimerManager.h"
#include "support/FakeClock.h"

namespace {

class CRecordingWorker : public IGroupChatQueueWorker {
public:
    void ProcessItem(void* item) override
    {
        processed.push_back(*static_cast<int*>(item));
        delete static_cast<int*>(item);
        if (onProcess)
            onProcess();
    }
    void ItemRemoved(void* item) override
    {
        removed.push_back(*static_cast<int*>(item));
        delete static_cast<int*>(item);
    }

    std::vector<int> processed;
    std::vector<int> removed;
    std::function<void()> onProcess;
};

class GroupChatQueueTest : public ::testing::Test {
protected:
    void Tick()
    {
        clock.Advance(CGroupChatQueue::TICK_MS);
        timers.Process();
    }

    VexlaTest::CFakeClock clock;
    VexlaLib::CTimerManager timers;
    CRecordingWorker worker;
};

}  // namespace

TEST_F(GroupChatQueueTest, HandsOutOneItemASecondInOrder)
{
    CGroupChatQueue queue(&worker);
    queue.Start(timers.CreateTimer(&queue));
    for (int i = 1; i <= 3; ++i)
        queue.Append(new int(i));

    clock.Advance(CGroupChatQueue::TICK_MS - 1);
    timers.Process();
    EXPECT_TRUE(worker.processed.empty());
    clock.Advance(1);
    timers.Process();
    EXPECT_EQ(worker.processed, std::vector<int>({1}));
    Tick();
    Tick();
    Tick();
    EXPECT_EQ(worker.processed, std::vector<int>({1, 2, 3}));
    EXPECT_EQ(queue.Size(), 0u);
}

TEST_F(GroupChatQueueTest, APausedQueueKeepsItsItemsUntilResumed)
{
    CGroupChatQueue queue(&worker);
    queue.Start(timers.CreateTimer(&queue));
    queue.Append(new int(1));
    queue.Append(new int(2));
    // The first item starts a record write, which pauses the queue until it answers.
    worker.onProcess = [&queue]() { queue.Pause(); };
    Tick();
    Tick();
    Tick();
    EXPECT_EQ(worker.processed, std::vector<int>({1}));
    worker.onProcess = nullptr;
    queue.Resume();
    Tick();
    EXPECT_EQ(worker.processed, std::vector<int>({1, 2}));
}

TEST_F(GroupChatQueueTest, GoingAwayStopsTheTimerAndReturnsWaitingItems)
{
    auto* queue = new CGroupChatQueue(&worker);
    VexlaLib::CTimer* timer = timers.CreateTimer(queue);
    queue->Start(timer);
    queue->Append(new int(7));
    EXPECT_TRUE(timer->IsRunning());
    queue->Append(new int(8));
    delete queue;
    EXPECT_FALSE(timer->IsRunning());
    EXPECT_EQ(worker.removed, std::vector<int>({7, 8}));
    // The timer manager may process after the queue went: nothing fires into it.
    Tick();
    EXPECT_TRUE(worker.processed.empty());
}

TEST_F(GroupChatQueueTest, AnEmptyQueueLetsItsTimerRestAndAnItemWaitsForTheNextBeat)
{
    CGroupChatQueue queue(&worker);
    VexlaLib::CTimer* timer = timers.CreateTimer(&queue);
    queue.Start(timer);
    EXPECT_FALSE(timer->IsRunning());

    clock.Advance(2300);
    queue.Append(new int(1));
    clock.Advance(699);
    timers.Process();
    EXPECT_TRUE(worker.processed.empty());
    clock.Advance(1);
    timers.Process();
    EXPECT_EQ(worker.processed, std::vector<int>({1}));
    EXPECT_FALSE(timer->IsRunning());
}
