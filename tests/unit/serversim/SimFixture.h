#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

#include "ControlCommands.h"
#include "Directives.h"
#include "EventLog.h"
#include "Json.h"
#include "Scenario.h"
#include "ServerKeys.h"
#include "ServerSim.h"
#include "SessionTable.h"
#include "SimNetwork.h"
#include "SimTestClient.h"

namespace SimTest {

// The whole simulator in the test process on an ephemeral loopback port, with the account
// alice/secret and a control command runner.
class SimFixture : public ::testing::Test {
protected:
    SimFixture()
        : m_keys(VEXLA_SERVER_SIM_KEYS_DIR),
          m_sessions(""),
          m_context{m_keys, m_scenario, m_sessions, m_directives, m_events},
          m_server(m_context, m_network.Dispatcher()),
          m_commands(m_context, m_server)
    {
        std::string error;
        ServerSim::TJsonPtr scenario = ServerSim::CJson::Parse(
            R"({"accounts": [{"name": "alice", "password": "secret", "loggedin": {"KEY_HELP_URL": "http://help"}},
                             {"name": "bob", "password": "pw", "outcome": "loggedout", "code": 9}]})");
        EXPECT_TRUE(m_scenario.Apply(scenario.get(), error)) << error;
        EXPECT_TRUE(m_server.Listen("127.0.0.1", 0, error)) << error;
        m_server.Start();
    }

    ~SimFixture() override
    {
        m_events.Stop();
        m_server.Stop();
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

    ServerSim::CServerKeys m_keys;
    ServerSim::CScenario m_scenario;
    ServerSim::CSessionTable m_sessions;
    ServerSim::CDirectives m_directives;
    ServerSim::CEventLog m_events;
    ServerSim::SSimContext m_context;
    ServerSim::CSimNetwork m_network;
    ServerSim::CServerSim m_server;
    ServerSim::CControlCommands m_commands;
};

}  // namespace SimTest
