#include <gtest/gtest.h>

#include <chrono>

#include "Utils/Signal.h"
#include "Utils/Thread.h"

using namespace VexlaLib;

namespace {

TEST(SignalTest, SignalGivenBeforeWaitEndsTheWaitAtOnce)
{
    CSignal signal;
    signal.Signal();
    EXPECT_TRUE(signal.Wait(0));
}

TEST(SignalTest, EachWaitConsumesTheSignalItEndsOn)
{
    CSignal signal;
    signal.Signal();
    signal.Signal();
    EXPECT_TRUE(signal.Wait(1));
    EXPECT_FALSE(signal.Wait(1));
}

TEST(SignalTest, TimedWaitWithoutSignalEndsAfterItsTime)
{
    CSignal signal;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(signal.Wait(1));
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(990));
}

TEST(SignalTest, ClearIfSignalledDropsTheKeptSignal)
{
    CSignal signal;
    signal.Signal();
    signal.ClearIfSignalled();
    EXPECT_FALSE(signal.Wait(1));
}

class CSignallingThread : public CThread {
public:
    explicit CSignallingThread(CSignal* signal) : m_signal(signal) {}
    ~CSignallingThread() override { Wait(); }

protected:
    void OnExecute() override { m_signal->Signal(); }

private:
    CSignal* m_signal;
};

TEST(SignalTest, SignalFromAnotherThreadEndsAnUntimedWait)
{
    CSignal signal;
    CSignallingThread thread(&signal);
    ASSERT_TRUE(thread.Start());
    EXPECT_TRUE(signal.Wait(0));
    thread.Wait();
    EXPECT_FALSE(thread.IsAlive());
}

}  // namespace
