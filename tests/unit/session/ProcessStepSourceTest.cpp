// The main-loop source of the processing step: asleep until woken from any thread or due.

#include <gtest/gtest.h>
#include <glib.h>

#include <atomic>
#include <thread>

#include "Tesk/App/ProcessStepSource.h"

namespace {

class ProcessStepSourceTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_context = g_main_context_new();
        m_source.reset(new CProcessStepSource(
            m_context, [this] { return m_delay.load(); }, [this] { ++m_steps; }));
    }
    void TearDown() override
    {
        m_source.reset();
        g_main_context_unref(m_context);
    }

    GMainContext* m_context = nullptr;
    std::atomic<long long> m_delay{-1};
    int m_steps = 0;
    std::unique_ptr<CProcessStepSource> m_source;
};

TEST_F(ProcessStepSourceTest, NothingRunsUntilWokenFromAnotherThread)
{
    EXPECT_FALSE(g_main_context_iteration(m_context, FALSE));
    EXPECT_EQ(m_steps, 0);

    std::thread network([this] { m_source->Wakeup(); });
    // Blocks in poll until the wake-up arrives.
    while (m_steps == 0)
        g_main_context_iteration(m_context, TRUE);
    network.join();
    EXPECT_EQ(m_steps, 1);
    EXPECT_FALSE(g_main_context_iteration(m_context, FALSE));
}

TEST_F(ProcessStepSourceTest, ManyWakeupsBeforeTheLoopRunsMakeOneStep)
{
    for (int i = 0; i < 1000; ++i)
        m_source->Wakeup();
    EXPECT_TRUE(g_main_context_iteration(m_context, FALSE));
    EXPECT_EQ(m_steps, 1);
    EXPECT_FALSE(g_main_context_iteration(m_context, FALSE));
}

TEST_F(ProcessStepSourceTest, ADueStepRunsWithoutAWakeup)
{
    m_delay = 0;
    EXPECT_TRUE(g_main_context_iteration(m_context, FALSE));
    EXPECT_EQ(m_steps, 1);
    m_delay = 60000;
    EXPECT_FALSE(g_main_context_iteration(m_context, FALSE));
    EXPECT_EQ(m_steps, 1);
}

}  // namespace
