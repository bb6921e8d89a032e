#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "ControlCommands.h"
#include "Json.h"
#include "SimServerCore.h"
#include "SimTestClient.h"

namespace SimTest {

// The whole simulator in the test process on an ephemeral loopback port, with the account
// alice/secret and a control command runner.
class SimFixture : public ::testing::Test, protected CSimServerCore {
protected:
    SimFixture() : m_commands(m_context, m_server)
    {
        std::string error;
        ServerSim::TJsonPtr scenario = ServerSim::CJson::Parse(
            R"({"accounts": [{"name": "alice", "password": "secret", "loggedin": {"KEY_HELP_URL": "http://help"}},
                             {"name": "bob", "password": "pw", "outcome": "loggedout", "code": 9}]})");
        EXPECT_TRUE(m_scenario.Apply(scenario.get(), error)) << error;
        EXPECT_TRUE(m_server.Listen("127.0.0.1", 0, error)) << error;
        m_server.Start();
    }

    // Runs a control command; the answer parsed.
    ServerSim::TJsonPtr Command(const std::string& line) { return ServerSim::CJson::Parse(m_commands.Execute(line)); }

    // The first event from the start matching the filter (JSON text), waited for up to 5 s; "" if none.
    std::string WaitEvent(const std::string& filter)
    {
        ServerSim::TJsonPtr match = ServerSim::CJson::Parse(filter);
        return m_events.WaitFor(0, match.get(), std::chrono::steady_clock::now() + std::chrono::seconds(5));
    }

    std::unique_ptr<CSimTestClient> Client()
    {
        auto client = std::make_unique<CSimTestClient>();
        EXPECT_TRUE(client->Connect(m_server.Port()));
        return client;
    }

    ServerSim::CControlCommands m_commands;
};

}  // namespace SimTest
