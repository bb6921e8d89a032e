#include <gtest/gtest.h>

#include "Utils/Lock.h"
#include "Utils/Signal.h"
#include "Utils/Synchronize.h"
#include "Utils/Thread.h"

using namespace VexlaLib;

namespace {

class CCountingThread : public CThread {
public:
    CCountingThread(CLock* lock, int* counter) : m_lock(lock), m_counter(counter) {}
    ~CCountingThread() override { Wait(); }

protected:
    void OnExecute() override
    {
        for (int i = 0; i < 10000; ++i) {
            CSynchronize guard(m_lock);
            ++*m_counter;
        }
    }

private:
    CLock* m_lock;
    int* m_counter;
};

TEST(ThreadTest, LockedIncrementsFromTwoThreadsAreAllCounted)
{
    CLock lock;
    int counter = 0;
    CCountingThread first(&lock, &counter);
    CCountingThread second(&lock, &counter);
    ASSERT_TRUE(first.Start());
    ASSERT_TRUE(second.Start());
    first.Wait();
    second.Wait();
    EXPECT_EQ(counter, 20000);
}

class CBlockedThread : public CThread {
public:
    ~CBlockedThread() override { Wait(); }
    CSignal started;
    CSignal release;

protected:
    void OnExecute() override
    {
        started.Signal();
        release.Wait(0);
    }
};

TEST(ThreadTest, IsAliveWhileOnExecuteRunsAndAStartedThreadCannotStartAgain)
{
    CBlockedThread thread;
    EXPECT_FALSE(thread.IsAlive());
    ASSERT_TRUE(thread.Start());
    ASSERT_TRUE(thread.started.Wait(10));
    EXPECT_TRUE(thread.IsAlive());
    EXPECT_FALSE(thread.Start());
    thread.release.Signal();
    thread.Wait();
    EXPECT_FALSE(thread.IsAlive());
    thread.Wait();
}

}  // namespace
