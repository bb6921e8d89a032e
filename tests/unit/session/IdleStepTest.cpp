// When the session's processing step runs: at once for work, on time for timers, never on a fixed tick.

#include <gtest/gtest.h>

#include <vector>

#include "Network/AttrChunk.h"
#include "SessionTestSupport.h"
#include "Utils/ITimer.h"
#include "Utils/Timer.h"

namespace VexlaTest {
namespace {

class CFiringTimes : public VexlaLib::ITimer {
public:
    explicit CFiringTimes(const CFakeClock& clock) : m_clock(clock) {}
    void OnTimer(int) override { times.push_back(m_clock.Get()); }
    std::vector<long long> times;

private:
    const CFakeClock& m_clock;
};

class IdleStepTest : public CScriptedSessionFixture {
protected:
    // Steps until the session has nothing to do at once (the idle event raised).
    void SettleDown()
    {
        for (int i = 0; i < 10 && m_session->MsUntilNextStep() == 0; ++i)
            m_session->ProcessStep();
        ASSERT_NE(m_session->MsUntilNextStep(), 0);
    }
};

TEST_F(IdleStepTest, SignedInAndIdleTheStepWakesOnlyForTimersAndFiresThemOnTime)
{
    SignIn();
    CFiringTimes queueTick(m_clock);
    VexlaLib::CTimer* timer = Library().CreateTimer(&queueTick);
    timer->SetRepeating(true);
    timer->StartTimer(5000, 0);
    const long long start = m_clock.Get();
    SettleDown();

    // What the main loop does: sleep for as long as the session says, then run one step.
    int wakeups = 0;
    while (m_clock.Get() < start + 60000 && wakeups < 1000) {
        const long long delay = m_session->MsUntilNextStep();
        ASSERT_GT(delay, 0) << "a step is due at once although nothing happened";
        m_clock.Advance(delay);
        m_session->ProcessStep();
        ++wakeups;
    }
    EXPECT_LE(wakeups, 2 * 60);
    ASSERT_EQ(queueTick.times.size(), 12u);
    for (size_t i = 0; i < queueTick.times.size(); ++i)
        EXPECT_EQ(queueTick.times[i], start + 5000 * static_cast<long long>(i + 1));
}

TEST_F(IdleStepTest, ATimerArmedBetweenStepsShortensTheSleep)
{
    SignIn();
    SettleDown();
    CFiringTimes guard(m_clock);
    VexlaLib::CTimer* timer = Library().CreateTimer(&guard);
    timer->StartTimer(250, 0);
    EXPECT_EQ(m_session->MsUntilNextStep(), 250);
}

TEST_F(IdleStepTest, WorkTheLibraryDeferredOrAQuitRequestIsDueAtOnce)
{
    SignIn();
    SettleDown();
    Library().RequestReconnectIfLoggedIn();
    EXPECT_EQ(m_session->MsUntilNextStep(), 0);
    m_session->ProcessStep();
    EXPECT_NE(m_session->MsUntilNextStep(), 0);

    Library().NotifyContactListUpdated(true);
    EXPECT_EQ(m_session->MsUntilNextStep(), 0);
    m_session->ProcessStep();
    EXPECT_NE(m_session->MsUntilNextStep(), 0);

    m_session->RequestShutdown();
    EXPECT_EQ(m_session->MsUntilNextStep(), 0);
    m_session->ProcessStep();
    EXPECT_EQ(m_session->MsUntilNextStep(), -1);
}

TEST_F(IdleStepTest, AReceivedPacketWakesTheMainLoopAndTheIdleEventFollowsAtOnce)
{
    SignIn();
    SettleDown();
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
    m_listener.Clear();

    m_net->Receive(CTestPacket(VexlaLib::CHUNK_GETPRESENCEUPDATE));
    EXPECT_TRUE(g_main_context_iteration(nullptr, FALSE));
    EXPECT_TRUE(m_net->m_incoming.empty());
    EXPECT_EQ(m_listener.Count("OnCustomEvent(1)"), 0u);
    EXPECT_TRUE(g_main_context_iteration(nullptr, FALSE));
    EXPECT_EQ(m_listener.Count("OnCustomEvent(1)"), 1u);
    EXPECT_NE(m_session->MsUntilNextStep(), 0);
}

}  // namespace
}  // namespace VexlaTest
