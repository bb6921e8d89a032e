#include <gtest/gtest.h>

#include <vector>

#include "Utils/ITimer.h"
#include "Utils/Timer.h"
#include "Utils/TimerManager.h"
#include "support/FakeClock.h"

using namespace VexlaLib;

namespace {

class CRecordingTimer : public ITimer {
public:
    explicit CRecordingTimer(std::vector<int>* fired) : m_fired(fired) {}
    void OnTimer(int id) override { m_fired->push_back(id); }

private:
    std::vector<int>* m_fired;
};

class TimerTest : public ::testing::Test {
protected:
    VexlaTest::CFakeClock clock;
    CTimerManager manager;
    std::vector<int> fired;
    CRecordingTimer callback{&fired};
};

TEST_F(TimerTest, RepeatingTimerThatFellBehindFiresOncePerProcessUntilCaughtUp)
{
    CTimer* timer = manager.CreateTimer(&callback);
    timer->SetRepeating(true);
    timer->StartTimer(5000, 7);

    clock.Advance(12000);
    EXPECT_TRUE(manager.Process());   // due t+5000, moves to t+10000
    EXPECT_TRUE(manager.Process());   // due t+10000, moves to t+15000
    EXPECT_FALSE(manager.Process());  // due t+15000 is still ahead
    EXPECT_EQ(fired, (std::vector<int>{7, 7}));
    EXPECT_TRUE(timer->IsRunning());

    clock.Advance(3000);
    EXPECT_TRUE(manager.Process());
    EXPECT_EQ(fired.size(), 3u);
}

TEST_F(TimerTest, OneShotFiresOnceAtItsDueTimeAndStops)
{
    CTimer* timer = manager.CreateTimer(&callback);
    timer->StartTimer(120000, 3);

    clock.Advance(119999);
    EXPECT_FALSE(manager.Process());
    clock.Advance(1);
    EXPECT_TRUE(manager.Process());
    EXPECT_FALSE(timer->IsRunning());
    clock.Advance(120000);
    EXPECT_FALSE(manager.Process());
    EXPECT_EQ(fired, std::vector<int>{3});
}

TEST_F(TimerTest, StartTimerKeepsTheRepeatingFlagAndRestartsFromNow)
{
    CTimer* timer = manager.CreateTimer(&callback);
    timer->SetRepeating(true);
    timer->StartTimer(100, 1);
    clock.Advance(50);
    timer->StartTimer(100, 2);
    EXPECT_TRUE(timer->IsRepeating());

    clock.Advance(50);
    EXPECT_FALSE(manager.Process());
    clock.Advance(50);
    EXPECT_TRUE(manager.Process());
    EXPECT_TRUE(timer->IsRunning());
    EXPECT_EQ(fired, std::vector<int>{2});
}

TEST_F(TimerTest, StopTimerReportsWhetherItWasRunningAndPreventsFiring)
{
    CTimer* timer = manager.CreateTimer(&callback);
    EXPECT_FALSE(timer->StopTimer());
    timer->StartTimer(10, 1);
    EXPECT_TRUE(timer->StopTimer());
    EXPECT_FALSE(timer->IsRunning());
    clock.Advance(10);
    EXPECT_FALSE(manager.Process());
    EXPECT_TRUE(fired.empty());
}

TEST_F(TimerTest, DueTimersFireInCreationOrder)
{
    CTimer* first = manager.CreateTimer(&callback);
    CTimer* second = manager.CreateTimer(&callback);
    CTimer* third = manager.CreateTimer(&callback);
    third->StartTimer(10, 3);
    first->StartTimer(30, 1);
    second->StartTimer(20, 2);

    clock.Advance(30);
    EXPECT_TRUE(manager.Process());
    EXPECT_EQ(fired, (std::vector<int>{1, 2, 3}));
}

class CTimerCreatingCallback : public ITimer {
public:
    explicit CTimerCreatingCallback(CTimerManager* manager) : m_manager(manager) {}
    void OnTimer(int) override { m_manager->CreateTimer(this)->StartTimer(10, 2); }

private:
    CTimerManager* m_manager;
};

TEST_F(TimerTest, CallbackMayCreateTimersWhileTheManagerProcesses)
{
    CTimerCreatingCallback creator(&manager);
    for (int i = 0; i < 8; ++i)
        manager.CreateTimer(&creator)->StartTimer(10, 1);
    clock.Advance(10);
    EXPECT_TRUE(manager.Process());
    clock.Advance(10);
    EXPECT_TRUE(manager.Process());
}

TEST(TimerDeathTest, NonPositiveTimeIsAPreconditionFailure)
{
    CTimerManager manager;
    std::vector<int> fired;
    CRecordingTimer callback(&fired);
    CTimer* timer = manager.CreateTimer(&callback);
    EXPECT_DEATH(timer->StartTimer(0, 1), "timeInMs > 0");
}

}  // namespace

TEST_F(TimerTest, NextDueIsTheEarliestRunningTimerAndFollowsFiringAndStopping)
{
    long long due = 0;
    EXPECT_FALSE(manager.NextDue(&due));
    CTimer* repeating = manager.CreateTimer(&callback);
    repeating->SetRepeating(true);
    repeating->StartTimer(5000, 1);
    CTimer* oneShot = manager.CreateTimer(&callback);
    oneShot->StartTimer(300, 2);
    const long long start = clock.Get();

    ASSERT_TRUE(manager.NextDue(&due));
    EXPECT_EQ(due, start + 300);
    clock.Advance(300);
    manager.Process();
    ASSERT_TRUE(manager.NextDue(&due));
    EXPECT_EQ(due, start + 5000);
    clock.Advance(4700);
    manager.Process();
    ASSERT_TRUE(manager.NextDue(&due));
    EXPECT_EQ(due, start + 10000);
    repeating->StopTimer();
    EXPECT_FALSE(manager.NextDue(&due));
}
