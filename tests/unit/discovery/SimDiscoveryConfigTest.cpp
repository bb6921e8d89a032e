#include <gtest/gtest.h>

#include "Json.h"
#include "Scenario.h"

using ServerSim::CJson;
using ServerSim::CScenario;

TEST(SimDiscoveryConfigTest, NumbersGetTheirOwnIdentifiersAndBadMembersAreRefused)
{
    CScenario scenario;
    std::string error;
    ServerSim::TJsonPtr good = CJson::Parse(R"({"operator_id": 2, "numbers": {"+1": {"session_id": "one"}}})");
    ASSERT_TRUE(scenario.SetSdfAnswer(good.get(), error)) << error;
    const ServerSim::SSdfAnswer answer = scenario.SdfAnswer();
    EXPECT_EQ("one", answer.IdentityFor("+1").sessionId);
    EXPECT_EQ(-1, answer.IdentityFor("+1").operatorId);
    EXPECT_EQ("sdf-session-1", answer.IdentityFor("+2").sessionId);
    EXPECT_EQ(2, answer.IdentityFor("+2").operatorId);

    for (const char* bad : {R"({"fault": "sometimes"})", R"({"numbers": ["+1"]})", R"({"status": 42})"}) {
        ServerSim::TJsonPtr refused = CJson::Parse(bad);
        EXPECT_FALSE(scenario.SetSdfAnswer(refused.get(), error)) << bad;
    }
    EXPECT_EQ("", scenario.SdfAnswer().fault);
}
