#include <gtest/gtest.h>

#include <memory>

#include "../network/NetHarness.h"
#include "DiscoveryTestSupport.h"
#include "HttpTestServer.h"
#include "Json.h"
#include "Network/ConnectionSettings.h"
#include "Network/Session.h"
#include "Network/Socket.h"
#include "SdfServer.h"
#include "serversim/SimServerCore.h"

using namespace VexlaLib;
using VexlaTest::CNetHarness;
using VexlaTest::FinishOrAbort;

namespace {

int ClosedPort()
{
    ServerSim::CListener listener;
    std::string error;
    EXPECT_TRUE(listener.ListenTcp("127.0.0.1", 0, error)) << error;
    return listener.Port();
}

// The simulated network with its discovery server on loopback ports: alice/secret, and discovery
// identifiers for the harness's phone number.
class CSimulatedNetwork : private SimTest::CSimServerCore {
public:
    CSimulatedNetwork() : m_discovery(m_context)
    {
        Configure(R"({"accounts": [{"name": "alice", "password": "secret"}],
                      "sdf": {"session_id": "", "numbers": {"+15550100": {"session_id": "sdf-alice",
                                                                           "operator_id": 7}}}})");
        std::string error;
        EXPECT_TRUE(m_server.Listen("127.0.0.1", 0, error)) << error;
        EXPECT_TRUE(m_discovery.Listen("127.0.0.1", 0, error)) << error;
        m_server.Start();
        m_discovery.Start();
    }
    ~CSimulatedNetwork() { m_discovery.Stop(); }

    void Configure(const std::string& scenario)
    {
        std::string error;
        ServerSim::TJsonPtr parsed = ServerSim::CJson::Parse(scenario);
        ASSERT_TRUE(parsed);
        ASSERT_TRUE(m_scenario.Apply(parsed.get(), error)) << error;
    }

    std::wstring ServerAddress() const { return L"127.0.0.1:" + std::to_wstring(m_server.Port()); }
    std::wstring DiscoveryAddress() const { return L"127.0.0.1:" + std::to_wstring(m_discovery.Port()); }

    // The packet (JSON form) of the first event matching the filter, waited for up to ten seconds.
    ServerSim::TJsonPtr Packet(const std::string& filter)
    {
        ServerSim::TJsonPtr match = ServerSim::CJson::Parse(filter);
        const std::string line =
            m_events.WaitFor(0, match.get(), std::chrono::steady_clock::now() + std::chrono::seconds(10));
        ServerSim::TJsonPtr event = ServerSim::CJson::Parse(line);
        EXPECT_TRUE(event) << "no event " << filter;
        json_object* packet = event ? ServerSim::CJson::Get(event.get(), "packet") : nullptr;
        return ServerSim::TJsonPtr(packet ? json_object_get(packet) : json_object_new_object());
    }
    size_t CountEvents(const std::string& type) const
    {
        size_t count = 0;
        for (const std::string& line : m_events.Since(0)) {
            count += line.find("\"type\":\"" + type + "\"") != std::string::npos ? 1 : 0;
        }
        return count;
    }

private:
    ServerSim::CSdfServer m_discovery;
};

std::string Member(const ServerSim::TJsonPtr& packet, const char* key)
{
    json_object* value = ServerSim::CJson::Get(packet.get(), key);
    return value ? json_object_get_string(value) : std::string("<absent>");
}

// A session with discovery on, in the TEST environment, against the simulated network. The harness's
// network module stays idle; it is there to take the packets the session queues for the library.
class SessionDiscoveryTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_harness.Start());
        m_harness.properties.SetString(L"USE_SDF_SERVER", L"YES");
        m_harness.properties.SetString(L"SDF_SERVER_ADDRESS", m_network.DiscoveryAddress());
        m_session.reset(new CSession(&m_harness.module, &m_harness.storage, &m_settings));
    }
    void TearDown() override
    {
        m_session->Disconnect(true);
        m_session.reset();
    }

    CSession::TConnectResult Connect()
    {
        TPacketSPtr login = CNetHarness::LoginPacket();
        return FinishOrAbort([&] { return m_session->Connect(login); }, [&] { m_session->SetForceDisconnect(true); });
    }

    // Connects, and checks that the server was given the phone number and no discovery identifiers.
    void ExpectConnectedWithoutDiscovery()
    {
        ASSERT_EQ(CSession::CONNECT_CONNECTED, Connect());
        const ServerSim::TJsonPtr userData = m_network.Packet(R"({"type": "userdata"})");
        EXPECT_EQ("+15550100", Member(userData, "KEY_DEVICE_PSTNNUMBER"));
        EXPECT_EQ("<absent>", Member(userData, "KEY_SDFSESSIONID"));
        EXPECT_EQ("<absent>",
                  Member(m_network.Packet(R"({"type": "received", "chunk": "CHUNK_CONNECT"})"), "KEY_OPERATOR_ID"));
    }

    CSimulatedNetwork m_network;
    CNetHarness m_harness{m_network.ServerAddress()};
    CConnectionSettings m_settings{&m_harness.properties};
    std::unique_ptr<CSession> m_session;
};

}  // namespace

TEST_F(SessionDiscoveryTest, DiscoveredIdentifiersReplaceThePhoneNumberAndNameTheOperator)
{
    ASSERT_EQ(CSession::CONNECT_CONNECTED, Connect());
    const ServerSim::TJsonPtr userData = m_network.Packet(R"({"type": "userdata"})");
    EXPECT_EQ("sdf-alice", Member(userData, "KEY_SDFSESSIONID"));
    EXPECT_EQ("<absent>", Member(userData, "KEY_DEVICE_PSTNNUMBER"));
    const ServerSim::TJsonPtr connect = m_network.Packet(R"({"type": "received", "chunk": "CHUNK_CONNECT"})");
    EXPECT_EQ("7", Member(connect, "KEY_OPERATOR_ID"));
    EXPECT_EQ("4", Member(connect, "KEY_PROTOCOLVERSION"));
}

TEST_F(SessionDiscoveryTest, OperatorIsLeftOutUpToProtocolVersionThree)
{
    m_harness.properties.SetString(L"PROTOCOL_VERSION", L"3");
    ASSERT_EQ(CSession::CONNECT_CONNECTED, Connect());
    EXPECT_EQ("sdf-alice", Member(m_network.Packet(R"({"type": "userdata"})"), "KEY_SDFSESSIONID"));
    const ServerSim::TJsonPtr connect = m_network.Packet(R"({"type": "received", "chunk": "CHUNK_CONNECT"})");
    EXPECT_EQ("<absent>", Member(connect, "KEY_OPERATOR_ID"));
}

TEST_F(SessionDiscoveryTest, UnknownNumberConnectsWithThePhoneNumber)
{
    m_network.Configure(R"({"sdf": {"numbers": {"+15550100": {"session_id": ""}}}})");
    ExpectConnectedWithoutDiscovery();
}

// Each way discovery can fail once its TCP connection worked.
class DiscoveryFailureTest : public SessionDiscoveryTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(DiscoveryFailureTest, TestEnvironmentGoesOnWithoutDiscovery)
{
    m_network.Configure(GetParam());
    ExpectConnectedWithoutDiscovery();
}

TEST_P(DiscoveryFailureTest, LiveEnvironmentReportsATemporaryFailure)
{
    m_network.Configure(GetParam());
    m_harness.properties.SetString(L"SERVER_ENVIRONMENT", L"LIVE");
    EXPECT_EQ(CSession::CONNECT_TEMPORARY_FAILURE, Connect());
    EXPECT_EQ(1u, m_network.CountEvents("sdf"));
    EXPECT_EQ(0u, m_network.CountEvents("accepted"));
}

INSTANTIATE_TEST_SUITE_P(Faults, DiscoveryFailureTest,
                         ::testing::Values(R"({"sdf": {"status": 503}})", R"({"sdf": {"fault": "not_packet"}})",
                                           R"({"sdf": {"fault": "no_blank"}})", R"({"sdf": {"fault": "close"}})",
                                           R"({"sdf": {"status": 302}})"));

TEST_F(SessionDiscoveryTest, UnreachableDiscoveryServerIsANetworkVerdictInEveryEnvironment)
{
    m_harness.properties.SetString(L"SDF_SERVER_ADDRESS", L"127.0.0.1:" + std::to_wstring(ClosedPort()));
    EXPECT_EQ(CSession::CONNECT_NO_NETWORK, Connect());
    m_harness.properties.SetString(L"SERVER_ENVIRONMENT", L"LIVE");
    EXPECT_EQ(CSession::CONNECT_NO_NETWORK, Connect());
    EXPECT_EQ(0u, m_network.CountEvents("accepted"));
}

TEST_F(SessionDiscoveryTest, UnbindableLocalAddressIsANoInterfaceVerdict)
{
    // 192.0.2.1 (a documentation address) is not an address of this machine.
    m_settings.SetRequiredLocalAddress(L"192.0.2.1");
    EXPECT_EQ(CSession::CONNECT_NO_INTERFACE, Connect());
    EXPECT_EQ(0u, m_network.CountEvents("sdf"));
}

TEST_F(SessionDiscoveryTest, ForcedDisconnectEndsAWaitingDiscoveryRequest)
{
    VexlaTest::CHttpTestServer discovery;
    VexlaTest::CHttpTestServer::TAnswer silent;
    silent.silent = true;
    discovery.Serve({silent});
    m_harness.properties.SetString(L"SDF_SERVER_ADDRESS", discovery.Address());
    TPacketSPtr login = CNetHarness::LoginPacket();
    auto result = std::async(std::launch::async, [&] { return m_session->Connect(login); });
    ASSERT_TRUE(discovery.WaitForConnections(1));
    m_session->SetForceDisconnect(true);
    ASSERT_EQ(std::future_status::ready, result.wait_for(std::chrono::seconds(10)));
    EXPECT_EQ(CSession::CONNECT_STOP, result.get());
    EXPECT_EQ(0u, m_network.CountEvents("accepted"));
}

// Through the network module: a discovery server that cannot be reached, or a local address that
// cannot be bound, before any connection ever worked, reaches the listener as "no network".
TEST(DiscoveryNetworkVerdictTest, NetworkModuleReportsNoNetwork)
{
    for (const bool unbindable : {false, true}) {
        CSimulatedNetwork network;
        CNetHarness harness(network.ServerAddress());
        harness.properties.SetString(L"USE_SDF_SERVER", L"YES");
        harness.properties.SetString(L"SDF_SERVER_ADDRESS", unbindable ? network.DiscoveryAddress()
                                                                       : L"127.0.0.1:" + std::to_wstring(ClosedPort()));
        if (unbindable) {
            harness.properties.SetString(L"REQUIRE_LOCAL_ADDRESS", L"192.0.2.1");
        }
        ASSERT_TRUE(harness.Start());
        harness.module.SendPacket(CNetHarness::LoginPacket());
        ASSERT_TRUE(harness.Pump([&] { return !harness.listener.errors.empty(); })) << unbindable;
        EXPECT_EQ(NETWORK_ERROR_NO_NETWORK, harness.listener.errors.front());
        EXPECT_EQ(0u, network.CountEvents("accepted"));
    }
}
