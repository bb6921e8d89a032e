// The adopt and complete steps against a stand-in activity manager on a private bus.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Tesk/App/Meridex/ActivityCycle.h"
#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/BusService.h"
#include "Tesk/Core/TeskService.h"
#include "support/PrivateBus.h"

namespace {

class ActivityCycleBusTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(m_manager.Register("com.nylo.activitymanager", BUS_SCOPE_PRIVATE, &error)) << error;
        ASSERT_TRUE(m_manager.AddCategory(
            "/",
            {{"adopt", [this](const TBusMessageSPtr& m) { m_adopts.push_back(m); }},
             {"complete", [this](const TBusMessageSPtr& m) { Answer(m, "{\"returnValue\":true}"); m_completed.push_back(m->Payload()); }},
             {"cancel", [this](const TBusMessageSPtr& m) { Answer(m, "{\"returnValue\":true}"); m_cancelledNames.push_back(m->Payload()); }}},
            &error))
            << error;
        m_manager.SetCancelHandler([this](const TBusMessageSPtr& m) { m_cancelledCalls.push_back(m->Method()); });
        ASSERT_TRUE(m_client.Register(nullptr, false));
    }

    static void Answer(const TBusMessageSPtr& message, const std::string& payload)
    {
        std::string error;
        EXPECT_TRUE(message->Respond(payload, &error)) << error;
    }

    TestSupport::CPrivateBus m_bus;
    TestSupport::CBusEnvironment m_environment{m_bus.Address(), m_bus.Address()};
    CBusService m_manager;
    CTeskService m_client;
    CActivityCycle m_cycle{&m_client};
    std::vector<TBusMessageSPtr> m_adopts;
    std::vector<std::string> m_completed;
    std::vector<std::string> m_cancelledNames;
    std::vector<std::string> m_cancelledCalls;
};

}  // namespace

TEST_F(ActivityCycleBusTest, AdoptedActivityIsCompletedAndTheAdoptStreamEnded)
{
    int completions = 0;
    m_cycle.AdoptAndComplete(L"Vexla loginstate.availability", [&completions]() { ++completions; });
    ASSERT_TRUE(TestSupport::RunUntil([&] { return m_adopts.size() == 1; }));
    EXPECT_EQ(m_adopts[0]->Payload(), R"({"activityName":"Vexla loginstate.availability","wait":true,"subscribe":true})");

    // Waiting: nothing happens until the activity runs.
    Answer(m_adopts[0], R"({"returnValue":true,"adopted":false})");
    Answer(m_adopts[0], R"({"returnValue":true,"adopted":true,"activityId":3})");
    ASSERT_TRUE(TestSupport::RunUntil([&] { return completions == 1 && !m_cancelledCalls.empty(); }));
    EXPECT_EQ(m_completed, std::vector<std::string>{R"({"activityName":"Vexla loginstate.availability","restart":false,)"
                                                    R"("callback":false,"schedule":false,"requirements":false,"trigger":false})"});
    EXPECT_EQ(m_cancelledCalls, std::vector<std::string>{"adopt"});
}

TEST_F(ActivityCycleBusTest, RefusedAdoptionEndsTheStreamWithoutCompleting)
{
    bool adopted = false;
    m_cycle.Adopt(L"Vexla keep alive", [&adopted]() { adopted = true; });
    ASSERT_TRUE(TestSupport::RunUntil([&] { return m_adopts.size() == 1; }));
    Answer(m_adopts[0], R"({"returnValue":false,"errorCode":18,"errorText":"not running"})");
    ASSERT_TRUE(TestSupport::RunUntil([&] { return !m_cancelledCalls.empty(); }));
    EXPECT_FALSE(adopted);
    EXPECT_TRUE(m_completed.empty());
}

TEST_F(ActivityCycleBusTest, CancelNamesTheActivity)
{
    m_cycle.Cancel(L"Vexla imcommand");
    ASSERT_TRUE(TestSupport::RunUntil([&] { return !m_cancelledNames.empty(); }));
    EXPECT_EQ(m_cancelledNames[0], R"({"activityName":"Vexla imcommand"})");
}
