// The network module against the real simulator on loopback: each case starts its own simulators.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>

#include "ServerSim.h"
#include "network/NetHarness.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

const char SCENARIO[] = R"({"accounts": [{"name": "alice", "password": "secret"},
                                         {"name": "dave", "password": "secret", "outcome": "silent"}]})";

std::string Scenario(const std::string& extra)
{
    std::string text = SCENARIO;
    return text.substr(0, text.size() - 1) + ", " + extra + "}";
}

TPacketSPtr Chunk(int chunk)
{
    TPacketSPtr packet = std::make_shared<CPacket>(CPacket::OUTGOING);
    CNetHarness::AddInt(packet, KEY_CHUNKTYPE, chunk);
    return packet;
}

// Counts the sender's reconnect pauses; each returns at once.
class CPauseCounter
{
public:
    CPacketSender::TReconnectWait Seam()
    {
        return [this](int) {
            std::lock_guard<std::mutex> guard(m_lock);
            ++m_count;
        };
    }
    int Count()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        return m_count;
    }

private:
    std::mutex m_lock;
    int m_count = 0;
};

class NetSimTest : public ::testing::Test
{
protected:
    NetSimTest() : sim("127.0.0.1", SCENARIO) {}

    void SetUp() override { ASSERT_TRUE(sim.Running()); }

    // Logs in as `name` through `harness` and waits for the answer.
    static bool LogIn(CNetHarness& harness, const std::wstring& name = L"alice")
    {
        harness.module.SendPacket(CNetHarness::LoginPacket(name));
        return harness.PumpUntilReceived(CHUNK_LOGGEDIN);
    }
    static bool Sent(CNetHarness& harness, int chunk, int count = 1)
    {
        return harness.Pump([&] { return CRecordingNetListener::CountOf(harness.listener.sent, chunk) >= count; });
    }
    static int Received(CNetHarness& harness, int chunk)
    {
        return CRecordingNetListener::CountOf(harness.listener.received, chunk);
    }

    CServerSim sim;
};

}  // namespace

TEST_F(NetSimTest, SignsInWithEncryptedTrafficAndSignsOut)
{
    CNetHarness harness(sim.Address());
    ASSERT_TRUE(harness.Start());
    ASSERT_TRUE(LogIn(harness));

    json_object* userData = nullptr;
    ASSERT_TRUE(sim.WaitEvent(R"({"type": "userdata"})", 20, &userData));
    json_object* packet = nullptr;
    ASSERT_TRUE(json_object_object_get_ex(userData, "packet", &packet));
    EXPECT_EQ("alice", JsonText(packet, "KEY_VEXLANAME"));
    EXPECT_EQ("+15550100", JsonText(packet, "KEY_DEVICE_PSTNNUMBER"));
    json_object* nodeId = nullptr;
    ASSERT_TRUE(json_object_object_get_ex(packet, "KEY_NODEID", &nodeId));
    std::vector<unsigned char> stored;
    ASSERT_TRUE(harness.storage.GetBytes(L"UNIQUE_DEVICE_ID", &stored));
    char hex[17] = {};
    for (size_t n = 0; n < 8; ++n) {
        std::snprintf(hex + 2 * n, 3, "%02x", stored[n]);
    }
    EXPECT_EQ(hex, JsonText(nodeId, "binary"));
    json_object_put(userData);

    // The connect, identity and master-key frames travel in the clear; from the connected answer on
    // everything is encrypted and keyed.
    EXPECT_TRUE(sim.WaitEvent(R"({"type": "received", "chunk": "CHUNK_CONNECT", "encrypted": false})"));
    EXPECT_TRUE(sim.WaitEvent(R"({"type": "sent", "chunk": "CHUNK_SERVERIDENTITY", "encrypted": false})"));
    EXPECT_TRUE(sim.WaitEvent(R"({"type": "received", "chunk": "CHUNK_MASTERKEY", "encrypted": false})"));
    EXPECT_TRUE(sim.WaitEvent(R"({"type": "sent", "chunk": "CHUNK_CONNECTED", "encrypted": true})"));
    EXPECT_TRUE(sim.WaitEvent(R"({"type": "received", "chunk": "CHUNK_CLIENTDATA", "encrypted": true})"));
    EXPECT_TRUE(sim.WaitEvent(R"({"type": "received", "chunk": "CHUNK_LOGIN", "encrypted": true})"));

    harness.module.SendPacket(Chunk(CHUNK_LOGOUT));
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDOUT));
    EXPECT_TRUE(sim.WaitEvent(R"({"type": "received", "chunk": "CHUNK_LOGOUT"})"));
}

TEST(NetSimIdentityTest, BackupSignedIdentityIsAccepted)
{
    CServerSim backup("127.0.0.1", Scenario(R"("identity": "backup")"));
    ASSERT_TRUE(backup.Running());
    CNetHarness harness(backup.Address());
    ASSERT_TRUE(harness.Start());
    harness.module.SendPacket(CNetHarness::LoginPacket());
    EXPECT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDIN));
}

TEST(NetSimIdentityTest, CorruptIdentityMovesToTheNextServer)
{
    CServerSim corrupt("127.0.0.1", Scenario(R"("identity": "corrupt")"));
    CServerSim good("127.0.0.2", SCENARIO);
    ASSERT_TRUE(corrupt.Running() && good.Running());
    // Whichever server the client starts with, it signs in at the good one, and the corrupt one, when
    // tried, fails the handshake.
    for (int round = 0; round < 2; ++round) {
        CNetHarness harness(corrupt.Address() + L" " + good.Address());
        ASSERT_TRUE(harness.Start());
        harness.module.SendPacket(CNetHarness::LoginPacket());
        ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDIN));
    }
    EXPECT_TRUE(good.WaitEvent(R"({"type": "handshake", "result": "complete"})"));
    EXPECT_FALSE(corrupt.WaitEvent(R"({"type": "handshake", "result": "complete"})", 1));
}

TEST_F(NetSimTest, RedirectsAreFreeButFailedConnectionsUseAttempts)
{
    CPauseCounter pauses;
    CNetHarness harness(sim.Address());
    harness.module.SetReconnectWait(pauses.Seam());
    ASSERT_TRUE(harness.Start());
    const std::string self = "127.0.0.1:" + std::to_string(sim.Port());
    ASSERT_TRUE(
        sim.Ok(R"({"cmd": "on", "stage": "connect", "action": "redirect", "count": 3, "address": ")" + self + "\"}"));
    ASSERT_TRUE(LogIn(harness));
    EXPECT_EQ(0, pauses.Count());

    harness.module.SendPacket(Chunk(CHUNK_LOGOUT));
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDOUT));
    ASSERT_TRUE(sim.Ok(R"({"cmd": "on", "stage": "connect", "action": "drop", "count": 3})"));
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDIN, 0));
    harness.module.SendPacket(CNetHarness::LoginPacket());
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDIN, 2));
    // Three dropped handshakes use up one connect; the fourth connection comes after one pause.
    EXPECT_EQ(1, pauses.Count());
}

TEST(NetSimErrorTest, InternalErrorMovesToTheOtherServerAndOtherErrorsStop)
{
    CServerSim first("127.0.0.1", SCENARIO);
    CServerSim second("127.0.0.2", SCENARIO);
    ASSERT_TRUE(first.Running() && second.Running());
    ASSERT_TRUE(first.Ok(R"({"cmd": "on", "stage": "connect", "action": "error", "code": 64})"));
    ASSERT_TRUE(second.Ok(R"({"cmd": "on", "stage": "connect", "action": "error", "code": 64})"));
    CNetHarness harness(first.Address() + L" " + second.Address());
    ASSERT_TRUE(harness.Start());
    harness.module.SendPacket(CNetHarness::LoginPacket());
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDIN));
    // Each server answered one attempt with error 64: the client moved from one to the other.
    EXPECT_TRUE(first.WaitEvent(R"({"type": "directive", "action": "error"})"));
    EXPECT_TRUE(second.WaitEvent(R"({"type": "directive", "action": "error"})"));
    EXPECT_EQ(0, CRecordingNetListener::CountOf(harness.listener.received, CHUNK_ERROR));

    harness.module.SendPacket(Chunk(CHUNK_LOGOUT));
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDOUT));
    ASSERT_TRUE(first.Ok(R"({"cmd": "on", "stage": "connect", "action": "error", "code": 5, "message": "closed"})"));
    ASSERT_TRUE(second.Ok(R"({"cmd": "on", "stage": "connect", "action": "error", "code": 5, "message": "closed"})"));
    harness.module.SendPacket(CNetHarness::LoginPacket());
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_ERROR));
    EXPECT_EQ(5, harness.listener.LastReceivedInt(CHUNK_ERROR, KEY_ERROR_CODE));
    EXPECT_EQ(1, CRecordingNetListener::CountOf(harness.listener.received, CHUNK_LOGGEDIN));
}

TEST_F(NetSimTest, WarningsAreSkippedOrWaitForTheUser)
{
    CNetHarness harness(sim.Address());
    ASSERT_TRUE(harness.Start());
    ASSERT_TRUE(sim.Ok(R"({"cmd": "on", "stage": "connect", "action": "warning", "code": 7})"));
    ASSERT_TRUE(LogIn(harness));
    EXPECT_EQ(0, Received(harness, CHUNK_WARNING));
    harness.module.SendPacket(Chunk(CHUNK_LOGOUT));
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDOUT));

    ASSERT_TRUE(sim.Ok(R"({"cmd": "on", "stage": "masterkey", "action": "warning", "code": 6})"));
    harness.module.SendPacket(CNetHarness::LoginPacket());
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_WARNING));
    harness.module.Continue();
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDIN, 2));
    harness.module.SendPacket(Chunk(CHUNK_LOGOUT));
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDOUT, 2));

    ASSERT_TRUE(sim.Ok(R"({"cmd": "on", "stage": "connect", "action": "warning", "code": 6})"));
    harness.module.SendPacket(CNetHarness::LoginPacket());
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_WARNING, 2));
    harness.module.Abort();
    EXPECT_TRUE(sim.WaitEvent(R"({"type": "closed", "conn": 3})"));
    EXPECT_EQ(2, Received(harness, CHUNK_LOGGEDIN));
}

TEST_F(NetSimTest, ForcedUpgradeCheckPassesTheOwnVersionOnly)
{
    CNetHarness harness(sim.Address());
    ASSERT_TRUE(harness.Start());
    ASSERT_TRUE(sim.Ok(
        R"({"cmd": "connected", "fields": {"KEY_LATEST_VERSION": "F0.90.0.0", "KEY_UPGRADEURL": "http://up"}})"));
    ASSERT_TRUE(LogIn(harness));
    harness.module.SendPacket(Chunk(CHUNK_LOGOUT));
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDOUT));

    ASSERT_TRUE(
        sim.Ok(R"({"cmd": "connected", "fields": {"KEY_LATEST_VERSION": "F2.0.0.0", "KEY_UPGRADEURL": "http://up"}})"));
    harness.module.SendPacket(CNetHarness::LoginPacket());
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_CONNECTED, 2));
    EXPECT_TRUE(sim.WaitEvent(R"({"type": "closed", "conn": 2})"));
    EXPECT_FALSE(sim.WaitEvent(R"({"type": "received", "chunk": "CHUNK_CLIENTDATA", "conn": 2})", 1));
    EXPECT_EQ(1, Received(harness, CHUNK_LOGGEDIN));
}

TEST_F(NetSimTest, BadChecksumFrameIsDroppedAndTheConnectionGoesOn)
{
    CNetHarness harness(sim.Address());
    ASSERT_TRUE(harness.Start());
    ASSERT_TRUE(LogIn(harness));
    ASSERT_TRUE(sim.Ok(R"({"cmd": "bad_checksum"})"));
    ASSERT_TRUE(sim.Ok(R"({"cmd": "send", "packet": {"chunk": "CHUNK_PROFILEDATA", "KEY_FULLNAME": "Alice"}})"));
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_PROFILEDATA));
    EXPECT_EQ(0, Received(harness, CHUNK_BALANCE));
}

TEST_F(NetSimTest, ForcedDisconnectDuringLoginAnswersTheLogin)
{
    CNetHarness harness(sim.Address());
    ASSERT_TRUE(harness.Start());
    harness.module.SendPacket(CNetHarness::LoginPacket(L"dave"));
    ASSERT_TRUE(sim.WaitEvent(R"({"type": "received", "chunk": "CHUNK_LOGIN"})"));
    harness.module.ForceDisconnect();
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_FORCED_DISCONNECT));
    EXPECT_EQ(CHUNK_LOGIN, harness.listener.LastReceivedInt(CHUNK_FORCED_DISCONNECT, KEY_WAITING_REQUEST_CHUNK));
}

TEST_F(NetSimTest, RestartedServerIsReconnectedByThePatternAndGetsWhatWasQueued)
{
    CNetHarness harness(sim.Address());
    ASSERT_TRUE(harness.Start());
    ASSERT_TRUE(LogIn(harness));
    sim.Kill();
    ASSERT_TRUE(harness.Pump(
        [&harness] { return CRecordingNetListener::CountOf(harness.listener.sent, CHUNK_NO_NETWORK) > 0; }));
    // Queued once the client knows the server is away (a write just after the crash could still be
    // taken by the kernel and lost); sent after the new login.
    harness.module.SendPacket(Chunk(CHUNK_GETBALANCE));
    ASSERT_TRUE(sim.Restart());
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_BALANCE, 1, 60000));
    json_object* login = nullptr;
    json_object* balance = nullptr;
    ASSERT_TRUE(sim.WaitEvent(R"({"type": "received", "chunk": "CHUNK_LOGIN"})", 20, &login));
    ASSERT_TRUE(sim.WaitEvent(R"({"type": "received", "chunk": "CHUNK_GETBALANCE"})", 20, &balance));
    EXPECT_LT(std::stoi(JsonText(login, "seq")), std::stoi(JsonText(balance, "seq")));
    json_object_put(login);
    json_object_put(balance);
    // The server's absence outlasted a whole connect, which gives the session up: a new one is announced.
    EXPECT_EQ(2, Received(harness, CHUNK_LOGGEDIN));
    EXPECT_TRUE(harness.listener.errors.empty());
}

TEST_F(NetSimTest, StallInsideAFrameClosesTheConnectionAndTheClientReconnects)
{
    CNetHarness harness(sim.Address());
    harness.properties.SetString(L"SOCKET_READ_TIMEOUT_NORMAL_OPERATION", L"2");
    ASSERT_TRUE(harness.Start());
    ASSERT_TRUE(LogIn(harness));
    ASSERT_TRUE(sim.Ok(R"({"cmd": "stall", "mid_frame": true})"));
    EXPECT_TRUE(sim.WaitEvent(R"({"type": "closed", "conn": 1})", 30));
    EXPECT_TRUE(sim.WaitEvent(R"({"type": "handshake", "result": "complete", "conn": 2})", 30));
    // The first attempt reached the server: the session is resumed and the recent chats asked for.
    EXPECT_TRUE(sim.WaitEvent(R"({"type": "received", "chunk": "CHUNK_LOGIN", "conn": 2})", 30));
    EXPECT_TRUE(sim.WaitEvent(R"({"type": "received", "chunk": "CHUNK_GETRECENTCHATS", "conn": 2})", 30));
    EXPECT_EQ(1, Received(harness, CHUNK_LOGGEDIN));
}
