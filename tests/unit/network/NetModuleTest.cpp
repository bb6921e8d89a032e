#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <future>
#include <mutex>

#include "FakeServer.h"
#include "NetHarness.h"
#include "Network/PacketReceiver.h"
#include "Utils/IWakeup.h"
#include "support/LogCapture.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

TPacketSPtr LoggedIn(const TByteArray& sessionId)
{
    TPacketSPtr packet = CFakeServer::Make(CHUNK_LOGGEDIN);
    packet->AddAttr(std::make_shared<CAttribute>(KEY_SESSION_ID, TYPE_BINARY, sessionId.data(),
                                                 static_cast<int>(sessionId.size())));
    return packet;
}

// Accepts connections until one completes the handshake, then answers its login; returns the login.
// (A client that has just been told the network went down may drop its first attempt.)
TPacketSPtr ServeLogin(CFakeServer& server, const TByteArray& sessionId = {7, 7, 7})
{
    int attempts = 0;
    while (!(server.Accept() && server.Handshake())) {
        if (++attempts == 5) {
            ADD_FAILURE() << "no handshake";
            return TPacketSPtr();
        }
    }
    TPacketSPtr login = server.Read();
    EXPECT_EQ(CHUNK_LOGIN, ChunkKindOf(login));
    server.Write(LoggedIn(sessionId));
    return login;
}

// Records the sender's reconnect pauses instead of sleeping; each pause returns at once, or, while
// held, when Release is called. A test stops the module before its recorder goes.
class CRecordedPauses
{
public:
    CPacketSender::TReconnectWait Seam()
    {
        return [this](int seconds) {
            std::unique_lock<std::mutex> guard(m_lock);
            m_seconds.push_back(seconds);
            m_changed.notify_all();
            m_changed.wait(guard, [this] { return !m_held; });
        };
    }
    void Hold()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_held = true;
    }
    void Release()
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_held = false;
        m_changed.notify_all();
    }
    std::vector<int> WaitFor(size_t count)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        m_changed.wait_for(guard, std::chrono::seconds(20), [&] { return m_seconds.size() >= count; });
        return std::vector<int>(m_seconds.begin(), m_seconds.begin() + std::min(count, m_seconds.size()));
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<int> m_seconds;
    bool m_held = false;
};

// Runs a call of the library's main thread and tells whether it came back within two seconds, far
// below the handshake time-out. A call still blocked then is released by forcing the connection down,
// so a failing case ends quickly.
bool ReturnsPromptly(CNetModule& module, const std::function<void()>& call)
{
    auto running = std::async(std::launch::async, call);
    if (running.wait_for(std::chrono::seconds(2)) == std::future_status::ready) {
        return true;
    }
    module.ForceDisconnect();
    running.get();
    return false;
}

// Counts the wake-ups of the network threads (one per packet put on the receive queue).
class CCountingWakeup : public IWakeup
{
public:
    void Wakeup() override
    {
        std::lock_guard<std::mutex> guard(m_lock);
        ++m_count;
        m_changed.notify_all();
    }
    bool WaitFor(size_t count, std::chrono::milliseconds limit)
    {
        std::unique_lock<std::mutex> guard(m_lock);
        return m_changed.wait_for(guard, limit, [this, count] { return m_count >= count; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    size_t m_count = 0;
};

class NetModuleTest : public ::testing::Test
{
protected:
    void Start() { ASSERT_TRUE(harness.Start()); }
    void LogIn()
    {
        auto script = std::async(std::launch::async, [this] { ServeLogin(server); });
        harness.module.SendPacket(CNetHarness::LoginPacket());
        ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDIN));
        script.get();
    }

    // Logs in, then drops the connection and lets the client's reconnect hang in the handshake: the
    // server reads the connect packet and answers nothing until `answer` is set.
    void HangReconnectInHandshake()
    {
        harness.properties.SetString(L"SOCKET_READ_TIMEOUT_DURING_HANDSHAKE", L"30");
        Start();
        LogIn();
        std::promise<void> hanging;
        serverScript = std::async(std::launch::async, [this, &hanging] {
            server.Drop();
            ASSERT_TRUE(server.Accept());
            ASSERT_TRUE(server.ReadConnect());
            hanging.set_value();
        });
        ASSERT_EQ(std::future_status::ready, hanging.get_future().wait_for(std::chrono::seconds(20)));
        serverScript.get();
    }

    CFakeServer server;
    CNetHarness harness{server.Address()};
    std::future<void> serverScript;
};

}  // namespace

TEST_F(NetModuleTest, FrameWithABadChecksumIsDroppedAndTheNextOneRead)
{
    Start();
    LogIn();
    server.WriteWithBadChecksum(CFakeServer::Make(CHUNK_BALANCE));
    server.Write(CFakeServer::Make(CHUNK_CHATMESSAGES));
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_CHATMESSAGES));
    EXPECT_EQ(0, CRecordingNetListener::CountOf(harness.listener.received, CHUNK_BALANCE));
    server.Write(CFakeServer::Make(CHUNK_BALANCE));
    EXPECT_TRUE(harness.PumpUntilReceived(CHUNK_BALANCE));
}

TEST_F(NetModuleTest, HeldPacketsWaitOnABoundedQueueAndTheRestInTheSocketThenArriveInOrder)
{
    Start();
    LogIn();
    // The sender reports the login sent once it is written, which can be after its answer came: that
    // report is taken first, so that every wake-up counted below is a packet put on the receive queue.
    ASSERT_TRUE(harness.Pump([this] { return CRecordingNetListener::CountOf(harness.listener.sent, CHUNK_LOGIN) > 0; }));
    CCountingWakeup queued;
    harness.module.SetWakeup(&queued);
    harness.listener.takesReceived = false;
    const size_t bound = CPacketReceiver::MAX_WAITING_PACKETS;
    for (size_t i = 0; i < bound + 4; ++i) {
        TPacketSPtr packet = CFakeServer::Make(CHUNK_CHATMESSAGES);
        packet->AddAttr(std::make_shared<CAttribute>(KEY_REQUEST_ID, TYPE_INT32, static_cast<int>(i)));
        server.Write(packet);
    }
    ASSERT_TRUE(queued.WaitFor(bound, std::chrono::seconds(20)));
    EXPECT_FALSE(harness.module.Process());
    EXPECT_FALSE(queued.WaitFor(bound + 1, std::chrono::milliseconds(200))) << "the receiver read past the bound";

    harness.listener.takesReceived = true;
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_CHATMESSAGES, static_cast<int>(bound + 4)));
    int expected = 0;
    for (const TPacketSPtr& packet : harness.listener.received) {
        int number = -1;
        if (ChunkKindOf(packet) == CHUNK_CHATMESSAGES && packet->GetAttrInt32(KEY_REQUEST_ID, &number)) {
            EXPECT_EQ(expected++, number);
        }
    }
    harness.module.SetWakeup(nullptr);
}

TEST_F(NetModuleTest, LogoutWhileNotConnectedIsAnsweredLocally)
{
    Start();
    harness.module.SendPacket(CFakeServer::Make(CHUNK_LOGOUT));
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDOUT));
    EXPECT_EQ(1, harness.listener.LastReceivedInt(CHUNK_LOGGEDOUT, KEY_LOGOUTREASON));
    EXPECT_EQ(1, CRecordingNetListener::CountOf(harness.listener.sent, CHUNK_LOGOUT));
}

TEST_F(NetModuleTest, ForcedDisconnectDuringLoginAnswersTheLogin)
{
    Start();
    std::promise<void> inHandshake;
    auto script = std::async(std::launch::async, [this, &inHandshake] {
        ASSERT_TRUE(server.Accept());
        ASSERT_TRUE(server.ReadConnect());
        inHandshake.set_value();
        // No identity: the client waits in the handshake until it is forced out.
        EXPECT_TRUE(server.PeerClosed(20000));
    });
    harness.module.SendPacket(CNetHarness::LoginPacket());
    ASSERT_EQ(std::future_status::ready, inHandshake.get_future().wait_for(std::chrono::seconds(20)));
    harness.module.ForceDisconnect();
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_FORCED_DISCONNECT));
    EXPECT_EQ(CHUNK_LOGIN, harness.listener.LastReceivedInt(CHUNK_FORCED_DISCONNECT, KEY_WAITING_REQUEST_CHUNK));
    script.get();

    // The module works normally afterwards.
    LogIn();
}

TEST_F(NetModuleTest, ReconnectRequestDuringAHangingHandshakeReturnsAndTheReconnectUnderWayLogsIn)
{
    HangReconnectInHandshake();
    EXPECT_TRUE(ReturnsPromptly(harness.module, [this] { harness.module.RequestReconnect(); }));

    // The reconnect that was under way satisfies the request: it completes on the same connection.
    server.SendIdentity(CFakeServer::IDENTITY_PRIMARY);
    ASSERT_TRUE(server.TakeMasterKey(server.Read()));
    server.Write(CFakeServer::Make(CHUNK_CONNECTED));
    EXPECT_EQ(CHUNK_CLIENTDATA, ChunkKindOf(server.Read()));
    EXPECT_EQ(CHUNK_LOGIN, ChunkKindOf(server.Read()));
    server.Write(LoggedIn({7, 7, 7}));
    harness.module.SendPacket(CFakeServer::Make(CHUNK_SENDCHATMESSAGE));
    TPacketSPtr next = server.Read();
    if (ChunkKindOf(next) == CHUNK_GETRECENTCHATS) {
        next = server.Read();
    }
    EXPECT_EQ(CHUNK_SENDCHATMESSAGE, ChunkKindOf(next));
}

TEST_F(NetModuleTest, NewSessionRequestDuringAHangingHandshakeDropsItAndLogsInAfresh)
{
    HangReconnectInHandshake();
    EXPECT_TRUE(ReturnsPromptly(harness.module, [this] { harness.module.ForceNewSessionReconnect(); }));

    // The hanging attempt is given up at once, not after the handshake time-out.
    EXPECT_TRUE(server.PeerClosed(5000));
    const TPacketSPtr login = ServeLogin(server, {8, 8, 8});
    ASSERT_TRUE(login);
    EXPECT_FALSE(login->GetAttr(KEY_SESSION_ID));
    ASSERT_TRUE(harness.Pump(
        [this] { return CRecordingNetListener::CountOf(harness.listener.received, CHUNK_LOGGEDIN) == 2; }));
}

TEST_F(NetModuleTest, NewSessionRequestWhileDiscoveryHangsGivesItUpAtOnce)
{
    CLoopbackListener discovery;
    harness.properties.SetString(L"USE_SDF_SERVER", L"YES");
    harness.properties.SetString(L"SDF_SERVER_ADDRESS", discovery.Address());
    Start();
    harness.module.SendPacket(CNetHarness::LoginPacket());
    // The discovery server takes the request and never answers.
    ASSERT_TRUE(discovery.Accept(20000));
    EXPECT_TRUE(ReturnsPromptly(harness.module, [this] { harness.module.RequestReconnect(); }));
    EXPECT_TRUE(ReturnsPromptly(harness.module, [this] { harness.module.ForceNewSessionReconnect(); }));
    // The hanging request is given up at once (its read would last 20 minutes): the fresh login asks
    // the discovery server again.
    EXPECT_TRUE(discovery.Accept(5000));
    harness.module.Terminate();
}

TEST_F(NetModuleTest, InterfaceAnswersDecideWhetherAndWhereToConnect)
{
    harness.properties.SetString(L"ASK_FOR_REQUIRED_LOCAL_ADDRESS", L"1");
    CRecordedPauses pauses;
    harness.module.SetReconnectWait(pauses.Seam());
    Start();

    harness.listener.interfaceAnswer = INTERFACE_OUTSIDE_HOME;
    harness.module.SendPacket(CNetHarness::LoginPacket());
    ASSERT_TRUE(harness.Pump([this] { return harness.listener.errors.size() == 1; }));
    EXPECT_EQ(NETWORK_ERROR_OUTSIDE_HOME, harness.listener.errors.back());

    harness.listener.interfaceAnswer = INTERFACE_NO_NETWORK;
    harness.module.SendPacket(CNetHarness::LoginPacket());
    ASSERT_TRUE(harness.Pump([this] { return harness.listener.errors.size() == 2; }));
    EXPECT_EQ(NETWORK_ERROR_NO_INTERFACE, harness.listener.errors.back());

    // Not ready: the sender pauses two seconds and asks again; then it connects from the address given.
    harness.listener.interfaceAnswer = INTERFACE_NOT_READY;
    const int asked = harness.listener.interfaceRequests;
    auto script = std::async(std::launch::async, [this] { ServeLogin(server); });
    harness.module.SendPacket(CNetHarness::LoginPacket());
    ASSERT_TRUE(harness.Pump([&] { return harness.listener.interfaceRequests > asked; }));
    EXPECT_EQ(std::vector<int>{2}, pauses.WaitFor(1));
    harness.listener.interfaceAnswer = INTERFACE_READY;
    harness.listener.interfaceName = L"127.0.0.1";
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDIN));
    script.get();
    std::wstring local;
    EXPECT_TRUE(harness.properties.GetString(L"REQUIRE_LOCAL_ADDRESS", &local));
    EXPECT_EQ(L"127.0.0.1", local);
    EXPECT_EQ(2u, harness.listener.errors.size());
    harness.module.Terminate();
}

// A wake-up given while the sender pauses (nobody waits on its queue) is meant for that moment; it must
// not end the following wait for the interface answer, which would drop the login.
TEST_F(NetModuleTest, AWakeUpDuringThePauseDoesNotEndTheNextWaitForTheInterface)
{
    harness.properties.SetString(L"ASK_FOR_REQUIRED_LOCAL_ADDRESS", L"1");
    CRecordedPauses pauses;
    pauses.Hold();
    harness.module.SetReconnectWait(pauses.Seam());
    Start();

    harness.listener.interfaceAnswer = INTERFACE_NOT_READY;
    harness.module.SendPacket(CNetHarness::LoginPacket());
    ASSERT_TRUE(harness.Pump([this] { return harness.listener.interfaceRequests == 1; }));
    ASSERT_EQ(std::vector<int>{2}, pauses.WaitFor(1));
    harness.module.PingPacketSender();
    harness.module.RequestReconnect();
    harness.listener.interfaceAnswer = INTERFACE_READY;
    harness.listener.interfaceName = L"127.0.0.1";
    auto script = std::async(std::launch::async, [this] { ServeLogin(server); });
    pauses.Release();

    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDIN));
    script.get();
    EXPECT_TRUE(harness.listener.errors.empty());
    harness.module.Terminate();
}

TEST_F(NetModuleTest, NoNetworkBeforeAnyWorkingConnectionFailsTheLogin)
{
    server.Listener().StopListening();
    Start();
    harness.module.SendPacket(CNetHarness::LoginPacket());
    ASSERT_TRUE(harness.Pump([this] { return !harness.listener.errors.empty(); }));
    EXPECT_EQ(NETWORK_ERROR_NO_NETWORK, harness.listener.errors.front());
    EXPECT_EQ(1, CRecordingNetListener::CountOf(harness.listener.sent, CHUNK_NO_NETWORK));
}

TEST_F(NetModuleTest, TheLoginsPasswordIsHeldForLoggingInAgainUntilForgotten)
{
    EXPECT_TRUE(harness.module.GetHeldPassword().empty());
    Start();
    LogIn();
    EXPECT_EQ(L"secret", harness.module.GetHeldPassword());
    harness.module.ForgetPassword();
    EXPECT_TRUE(harness.module.GetHeldPassword().empty());
}

TEST_F(NetModuleTest, DroppedConnectionResumesAndSendsWhatWasQueuedMeanwhile)
{
    Start();
    LogIn();
    std::promise<void> reconnecting;
    auto script = std::async(std::launch::async, [this, &reconnecting] {
        server.Drop();
        ASSERT_TRUE(server.Accept());
        reconnecting.set_value();
        ASSERT_TRUE(server.Handshake());
        TPacketSPtr login = server.Read();
        TByteArraySPtr sessionId;
        ASSERT_TRUE(login->GetAttrBinary(KEY_SESSION_ID, &sessionId));
        EXPECT_EQ((TByteArray{7, 7, 7}), *sessionId);
        server.Write(LoggedIn(*sessionId));
        EXPECT_EQ(CHUNK_GETRECENTCHATS, ChunkKindOf(server.Read()));
        EXPECT_EQ(CHUNK_SENDCHATMESSAGE, ChunkKindOf(server.Read()));
    });
    reconnecting.get_future().wait();
    harness.module.SendPacket(CFakeServer::Make(CHUNK_SENDCHATMESSAGE));
    ASSERT_TRUE(harness.Pump(
        [this] { return CRecordingNetListener::CountOf(harness.listener.sent, CHUNK_SENDCHATMESSAGE) == 1; }));
    script.get();
    // A resumed session is not announced again.
    EXPECT_EQ(1, CRecordingNetListener::CountOf(harness.listener.received, CHUNK_LOGGEDIN));
}

TEST_F(NetModuleTest, ServerAwayAfterAWorkingConnectionKeepsTheLoginAndRetries)
{
    CRecordedPauses pauses;
    harness.module.SetReconnectWait(pauses.Seam());
    Start();
    LogIn();
    server.Listener().StopListening();
    server.Drop();
    // Refused connections now; the client keeps its login and retries by the pattern.
    ASSERT_TRUE(
        harness.Pump([this] { return CRecordingNetListener::CountOf(harness.listener.sent, CHUNK_NO_NETWORK) > 0; }));
    EXPECT_EQ(3u, pauses.WaitFor(3).size());
    server.Listener().ResumeListening();
    auto script = std::async(std::launch::async, [this] { ServeLogin(server, {7, 7, 7}); });
    ASSERT_TRUE(
        harness.Pump([this] { return CRecordingNetListener::CountOf(harness.listener.sent, CHUNK_LOGIN) == 2; }));
    script.get();
    EXPECT_TRUE(harness.listener.errors.empty());
    harness.module.Terminate();
}

TEST_F(NetModuleTest, StallInsideAFrameClosesTheConnectionAndTheClientReconnects)
{
    harness.properties.SetString(L"SOCKET_READ_TIMEOUT_NORMAL_OPERATION", L"1");
    Start();
    LogIn();
    auto script = std::async(std::launch::async, [this] {
        server.WritePartial(CFakeServer::Make(CHUNK_CHATMESSAGES), 3);
        EXPECT_TRUE(server.PeerClosed());
        ServeLogin(server, {7, 7, 7});
    });
    ASSERT_TRUE(
        harness.Pump([this] { return CRecordingNetListener::CountOf(harness.listener.sent, CHUNK_LOGIN) == 2; }));
    script.get();
    EXPECT_EQ(0, CRecordingNetListener::CountOf(harness.listener.received, CHUNK_CHATMESSAGES));
}

TEST_F(NetModuleTest, FailedHandshakesPauseByTheReconnectPattern)
{
    for (const bool shortPattern : {false, true}) {
        CFakeServer dropping;
        CNetHarness local(dropping.Address());
        if (shortPattern) {
            local.properties.SetString(L"RECONNECT_PATTERN", L"1 2 3 7 ");
        }
        CRecordedPauses pauses;
        local.module.SetReconnectWait(pauses.Seam());
        std::atomic<bool> stop(false);
        auto script = std::async(std::launch::async, [&] {
            while (!stop) {
                if (dropping.Accept(50)) {
                    dropping.Drop();
                }
            }
        });
        ASSERT_TRUE(local.Start());
        local.module.SendPacket(CNetHarness::LoginPacket());
        const std::vector<int> waits = pauses.WaitFor(9);
        stop = true;
        script.get();
        const std::vector<int> expected =
            shortPattern ? std::vector<int>{2, 2, 7, 7, 7, 7, 7, 7, 7} : std::vector<int>{1, 1, 1, 1, 1, 1, 1, 1, 5};
        EXPECT_EQ(expected, waits);
        local.module.Terminate();
    }
}

TEST_F(NetModuleTest, RedirectsAreFreeOnlyFiveTimesPerConnect)
{
    CRecordedPauses pauses;
    pauses.Hold();
    harness.module.SetReconnectWait(pauses.Seam());
    Start();
    std::atomic<int> connections(0);
    std::atomic<bool> stop(false);
    auto script = std::async(std::launch::async, [&] {
        while (!stop) {
            if (!server.Accept(50) || !server.ReadConnect()) {
                continue;
            }
            ++connections;
            TPacketSPtr packet = CFakeServer::Make(CHUNK_REDIRECT);
            const int port = server.Listener().Port();
            const unsigned char self[6] = {
                127, 0, 0, 1, static_cast<unsigned char>(port >> 8), static_cast<unsigned char>(port & 0xFF)};
            packet->AddAttr(std::make_shared<CAttribute>(KEY_NEW_SERVER, TYPE_ADDRESS, self));
            server.Write(packet);
        }
    });
    harness.module.SendPacket(CNetHarness::LoginPacket());
    EXPECT_EQ(1u, pauses.WaitFor(1).size());
    stop = true;
    script.get();
    // Three attempts and five free redirects, then the pause before the next connect.
    EXPECT_EQ(8, connections);
    pauses.Release();
    harness.module.Terminate();
}

TEST_F(NetModuleTest, SavedCredentialsFromTheServerAreScrambledAndUsedToLogInAgain)
{
    Start();
    LogIn();
    TPacketSPtr saved = CFakeServer::Make(CHUNK_SAVEDATA);
    TPacketSPtr credentials = std::make_shared<CPacket>(CPacket::OUTGOING);
    CNetHarness::AddText(credentials, KEY_VEXLANAME, L"alice");
    CNetHarness::AddText(credentials, KEY_CREDENTIALS, L"token-123");
    saved->AddAttr(std::make_shared<CAttribute>(KEY_SAVEDDATA, TYPE_CONTAINER, credentials));
    server.Write(saved);
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_SAVEDATA));

    std::vector<unsigned char> stored;
    ASSERT_TRUE(harness.storage.GetBytes(L"SAVEDDATA", &stored));
    EXPECT_EQ(std::string::npos, std::string(stored.begin(), stored.end()).find("token-123"));
    TPacketSPtr restored = harness.module.GetSavedCredentials();
    std::wstring token;
    ASSERT_TRUE(restored && restored->GetAttrString(KEY_CREDENTIALS, &token));
    EXPECT_EQ(L"token-123", token);

    auto script = std::async(std::launch::async, [this] {
        server.Drop();
        TPacketSPtr login = ServeLogin(server, {7, 7, 7});
        TPacketSPtr container;
        ASSERT_TRUE(login && login->GetAttrContainer(KEY_SAVEDDATA, &container));
        std::wstring value;
        EXPECT_TRUE(container->GetAttrString(KEY_CREDENTIALS, &value));
        EXPECT_FALSE(login->GetAttr(KEY_PASSWORD));
    });
    ASSERT_TRUE(
        harness.Pump([this] { return CRecordingNetListener::CountOf(harness.listener.sent, CHUNK_LOGIN) == 2; }));
    script.get();
}

TEST(SavedCredentialsTest, ScramblingIsItsOwnInverse)
{
    TByteArray bytes{0x41, 0x02, 0x03, 0x00, 0xFF};
    const TByteArray original = bytes;
    CNetModule::TwoWaySimpleObfuscate(&bytes);
    EXPECT_NE(original, bytes);
    CNetModule::TwoWaySimpleObfuscate(&bytes);
    EXPECT_EQ(original, bytes);
    TByteArray empty;
    CNetModule::TwoWaySimpleObfuscate(&empty);
    EXPECT_TRUE(empty.empty());
}

TEST(SavedCredentialsTest, EraseCanBeUndoneWithTheLocalCopy)
{
    CNetHarness harness(L"127.0.0.1:1");
    ASSERT_TRUE(harness.Start());
    TPacketSPtr credentials = std::make_shared<CPacket>(CPacket::OUTGOING);
    CNetHarness::AddText(credentials, KEY_CREDENTIALS, L"token");
    harness.module.SetSavedCredentials(credentials);
    harness.storage.SetBool(L"USESAVEDDATA", true);
    std::vector<unsigned char> before;
    ASSERT_TRUE(harness.storage.GetBytes(L"SAVEDDATA", &before));

    harness.module.EraseSavedCredentials();
    EXPECT_FALSE(harness.module.GetSavedCredentials());
    bool use = false;
    EXPECT_FALSE(harness.storage.GetBool(L"USESAVEDDATA", &use));

    harness.module.RestoreLocallySavedCredentials();
    std::vector<unsigned char> after;
    ASSERT_TRUE(harness.storage.GetBytes(L"SAVEDDATA", &after));
    EXPECT_EQ(before, after);
    ASSERT_TRUE(harness.module.GetSavedCredentials());
}

TEST_F(NetModuleTest, DisconnectWithoutAConnectionIsIgnoredAndWithOneEndsIt)
{
    Start();
    // Nothing to disconnect: the request neither connects nor stands in for the login queued behind it.
    harness.module.SendPacket(CFakeServer::Make(CHUNK_DISCONNECT));
    LogIn();
    EXPECT_EQ(0, CRecordingNetListener::CountOf(harness.listener.sent, CHUNK_DISCONNECT));
    harness.module.SendPacket(CFakeServer::Make(CHUNK_DISCONNECT));
    EXPECT_TRUE(server.PeerClosed(20000));
}

TEST_F(NetModuleTest, ContinueWithoutAPausedHandshakeIsDroppedWithoutConnecting)
{
    CLogCapture::Get().Clear();
    Start();
    harness.module.Continue();
    ASSERT_TRUE(harness.Pump([] { return CLogCapture::Get().Contains(L"Missing mandatory information in packet."); }));
    // The first connection the server sees is the login's.
    LogIn();
}

namespace {

// Notes when the sender reports a send that timed out, without keeping the log (a flood of packet
// dumps comes with it).
class CSendTimeOutWatch : public ILog
{
public:
    static CSendTimeOutWatch& Get()
    {
        static CSendTimeOutWatch* watch = [] {
            CSendTimeOutWatch* sink = new CSendTimeOutWatch;
            CLog::Instance().AddStream(0x1F, sink);
            return sink;
        }();
        return *watch;
    }
    void log(const std::wstring& text) override
    {
        if (text.find(L"Send timed out, the packet stays first") != std::wstring::npos) {
            seen = true;
        }
    }
    std::atomic<bool> seen{false};
};

}  // namespace

TEST_F(NetModuleTest, ATimedOutSendKeepsItsPlaceAtTheFrontOfTheQueue)
{
    harness.properties.SetString(L"SOCKET_WRITE_TIMEOUT_NORMAL_OPERATION", L"1");
    CSendTimeOutWatch& watch = CSendTimeOutWatch::Get();
    Start();
    LogIn();
    // The server reads nothing: frames small enough never to go out in part fill the connection
    // until a send times out before its first byte.
    const std::vector<unsigned char> filler(900, 0xAB);
    int queued = 0;
    while (!watch.seen && queued < 200000) {
        for (int i = 0; i < 1000; ++i, ++queued) {
            TPacketSPtr message = CFakeServer::Make(CHUNK_SENDCHATMESSAGE);
            CNetHarness::AddInt(message, KEY_REQUEST_ID, queued);
            message->AddAttr(std::make_shared<CAttribute>(KEY_AVATARIMAGE, TYPE_BINARY, filler.data(),
                                                          static_cast<int>(filler.size())));
            harness.module.SendPacket(message);
        }
        harness.Pump([&watch] { return watch.seen.load(); }, 3000);
    }
    ASSERT_TRUE(watch.seen);
    // Read now, every message arrives once and in order: the one that timed out went again first.
    for (int expected = 0; expected < queued; ++expected) {
        const TPacketSPtr message = server.Read();
        int id = -1;
        ASSERT_TRUE(message && message->GetAttrInt32(KEY_REQUEST_ID, &id)) << "after " << expected;
        ASSERT_EQ(expected, id);
    }
    harness.module.Terminate();
}
