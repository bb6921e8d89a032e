#include <gtest/gtest.h>

#include <future>

#include "FakeServer.h"
#include "NetHarness.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

TPacketSPtr WithInt(TPacketSPtr packet, int key, int value)
{
    CNetHarness::AddInt(packet, key, value);
    return packet;
}

TPacketSPtr WithText(TPacketSPtr packet, int key, const std::wstring& value)
{
    CNetHarness::AddText(packet, key, value);
    return packet;
}

TPacketSPtr LoggedIn(const TByteArray& sessionId)
{
    TPacketSPtr packet = CFakeServer::Make(CHUNK_LOGGEDIN);
    packet->AddAttr(std::make_shared<CAttribute>(KEY_SESSION_ID, TYPE_BINARY, sessionId.data(),
                                                 static_cast<int>(sessionId.size())));
    return packet;
}

// Reads the login of a fresh connection and answers it; returns the login.
TPacketSPtr AnswerLogin(CFakeServer& server, const TByteArray& sessionId = {1, 2, 3, 4})
{
    TPacketSPtr login = server.Read();
    EXPECT_EQ(CHUNK_LOGIN, ChunkKindOf(login));
    server.Write(LoggedIn(sessionId));
    return login;
}

std::wstring Text(const TPacketSPtr& packet, int key)
{
    std::wstring value;
    EXPECT_TRUE(packet && packet->GetAttrString(key, &value)) << key;
    return value;
}

// Accepts the next connection on whichever of two servers gets it.
CFakeServer* AcceptEither(CFakeServer& first, CFakeServer& second)
{
    for (int round = 0; round < 200; ++round) {
        if (first.Accept(25)) {
            return &first;
        }
        if (second.Accept(25)) {
            return &second;
        }
    }
    return nullptr;
}

// Runs `serverSide` on its own thread while the harness logs in; true when the login was answered.
bool LogIn(CNetHarness& harness, const std::function<void()>& serverSide)
{
    auto script = std::async(std::launch::async, serverSide);
    harness.module.SendPacket(CNetHarness::LoginPacket());
    const bool answered = harness.PumpUntilReceived(CHUNK_LOGGEDIN);
    script.get();
    return answered;
}

// Two servers in the list; the first connection may go to either of them.
struct TwoServers
{
    CFakeServer first;
    CFakeServer second;
    CNetHarness harness{first.Address() + L" " + second.Address()};

    CFakeServer* AcceptFirst() { return AcceptEither(first, second); }
    CFakeServer* Other(CFakeServer* one) { return one == &first ? &second : &first; }
};

class OneServerTest : public ::testing::Test
{
protected:
    void SetUp() override { ASSERT_TRUE(harness.Start()); }

    CFakeServer server;
    CNetHarness harness{server.Address()};
};

}  // namespace

TEST_F(OneServerTest, LoginRunsOverEncryptedKeyedFramesAndLogoutEndsIt)
{
    auto script = std::async(std::launch::async, [this] {
        ASSERT_TRUE(server.Accept());
        TPacketSPtr connect = server.ReadConnect();
        ASSERT_TRUE(connect);
        EXPECT_TRUE(server.LastFrameHadPlainChecksum());
        int version = 0;
        EXPECT_TRUE(connect->GetAttrInt32(KEY_PROTOCOLVERSION, &version));
        EXPECT_EQ(4, version);
        EXPECT_EQ(L"2007/0.90.0.0", Text(connect, KEY_PLATFORMID));
        EXPECT_EQ(L"en", Text(connect, KEY_LANGUAGE));

        server.SendIdentity(CFakeServer::IDENTITY_PRIMARY);
        TPacketSPtr masterKey = server.Read();
        EXPECT_TRUE(server.LastFrameHadPlainChecksum());
        TPacketSPtr userData = server.TakeMasterKey(masterKey);
        ASSERT_TRUE(userData);
        EXPECT_EQ(CHUNK_USERDATA, ChunkKindOf(userData));
        TByteArraySPtr nodeId;
        EXPECT_TRUE(userData->GetAttrBinary(KEY_NODEID, &nodeId));
        EXPECT_EQ(8u, nodeId->size());
        EXPECT_EQ(L"alice", Text(userData, KEY_VEXLANAME));
        EXPECT_EQ(L"+15550100", Text(userData, KEY_DEVICE_PSTNNUMBER));

        server.Write(CFakeServer::Make(CHUNK_CONNECTED));
        TPacketSPtr clientData = server.Read();
        ASSERT_EQ(CHUNK_CLIENTDATA, ChunkKindOf(clientData));
        EXPECT_FALSE(server.LastFrameHadPlainChecksum());
        int* methods = nullptr;
        int count = 0;
        EXPECT_TRUE(clientData->GetAttrIntArray(KEY_CALLMETHODS, &methods, &count));
        EXPECT_EQ(3, count);
        unsigned char* address = nullptr;
        EXPECT_TRUE(clientData->GetAttrAddress(KEY_CLIENT_PRIVATE_IP_ADDRESS, &address));
        EXPECT_EQ(127, address[0]);

        TPacketSPtr login = AnswerLogin(server);
        EXPECT_EQ(L"secret", Text(login, KEY_PASSWORD));
        EXPECT_EQ(CHUNK_LOGOUT, ChunkKindOf(server.Read()));
        server.Write(WithInt(CFakeServer::Make(CHUNK_LOGGEDOUT), KEY_LOGOUTREASON, 0));
    });

    harness.module.SendPacket(CNetHarness::LoginPacket());
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDIN));
    EXPECT_EQ(CHUNK_CONNECTED, ChunkKindOf(harness.listener.received.front()));
    // The sender reports the login as sent once it has woken up from waiting for the answer.
    EXPECT_TRUE(
        harness.Pump([this] { return CRecordingNetListener::CountOf(harness.listener.sent, CHUNK_LOGIN) == 1; }));
    EXPECT_EQ(1, harness.listener.connecting);
    EXPECT_FALSE(harness.module.GetLocalConnectionAddress().empty());
    std::wstring storedName;
    EXPECT_TRUE(harness.storage.GetString(L"KEY_VEXLANAME", &storedName));
    EXPECT_EQ(L"alice", storedName);

    harness.module.SendPacket(CFakeServer::Make(CHUNK_LOGOUT));
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDOUT));
    script.get();
    EXPECT_EQ(1, CRecordingNetListener::CountOf(harness.listener.sent, CHUNK_LOGOUT));
}

TEST(HandshakeTest, NodeIdentifierIsMadeOnceAndKept)
{
    CNetHarness harness(L"127.0.0.1:1");
    ASSERT_TRUE(harness.Start());
    std::vector<unsigned char> first;
    ASSERT_TRUE(harness.storage.GetBytes(L"UNIQUE_DEVICE_ID", &first));
    EXPECT_EQ(8u, first.size());
    harness.module.Terminate();
    CNetModule again;
    CRecordingNetListener listener;
    ASSERT_TRUE(again.Initialize(&listener, &harness.storage, &harness.properties));
    std::vector<unsigned char> second;
    ASSERT_TRUE(harness.storage.GetBytes(L"UNIQUE_DEVICE_ID", &second));
    EXPECT_EQ(first, second);
}

TEST_F(OneServerTest, BackupRootKeyIdentityIsAccepted)
{
    EXPECT_TRUE(LogIn(harness, [this] {
        ASSERT_TRUE(server.Accept());
        ASSERT_TRUE(server.Handshake(TPacketSPtr(), CFakeServer::IDENTITY_BACKUP));
        AnswerLogin(server);
    }));
}

// The first server sends an identity that is refused; the client logs in through the other one.
static void ExpectRefusedIdentityMovesToTheNextServer(CFakeServer::TIdentity identity)
{
    TwoServers servers;
    ASSERT_TRUE(servers.harness.Start());
    EXPECT_TRUE(LogIn(servers.harness, [&servers, identity] {
        CFakeServer* refused = servers.AcceptFirst();
        ASSERT_TRUE(refused);
        ASSERT_TRUE(refused->ReadConnect());
        refused->SendIdentity(identity);
        EXPECT_TRUE(refused->PeerClosed());
        CFakeServer* next = servers.Other(refused);
        ASSERT_TRUE(next->Accept());
        ASSERT_TRUE(next->Handshake());
        AnswerLogin(*next);
    }));
}

TEST(HandshakeTest, CorruptIdentityMovesToTheNextServer)
{
    ExpectRefusedIdentityMovesToTheNextServer(CFakeServer::IDENTITY_CORRUPT);
}

// The TEST environment checks the digest beside the modulus by default.
TEST(HandshakeTest, IdentityWithAWrongDigestMovesToTheNextServer)
{
    ExpectRefusedIdentityMovesToTheNextServer(CFakeServer::IDENTITY_WRONG_DIGEST);
}

TEST(HandshakeTest, IdentityWithAWrongDigestPassesWhenTheCheckIsOff)
{
    CFakeServer server;
    CNetHarness harness{server.Address()};
    harness.properties.SetString(L"CHECK_IDENTITY_DIGEST", L"NO");
    ASSERT_TRUE(harness.Start());
    EXPECT_TRUE(LogIn(harness, [&server] {
        ASSERT_TRUE(server.Accept());
        ASSERT_TRUE(server.Handshake(TPacketSPtr(), CFakeServer::IDENTITY_WRONG_DIGEST));
        AnswerLogin(server);
    }));
}

TEST_F(OneServerTest, AnswerOutOfTurnFailsTheAttempt)
{
    EXPECT_TRUE(LogIn(harness, [this] {
        ASSERT_TRUE(server.Accept());
        ASSERT_TRUE(server.ReadConnect());
        // A connected answer while the identity is awaited: the client drops this connection.
        server.Write(CFakeServer::Make(CHUNK_CONNECTED));
        EXPECT_TRUE(server.PeerClosed());
        ASSERT_TRUE(server.Accept());
        ASSERT_TRUE(server.Handshake());
        AnswerLogin(server);
    }));
    EXPECT_EQ(1, CRecordingNetListener::CountOf(harness.listener.received, CHUNK_CONNECTED));
}

TEST_F(OneServerTest, RedirectsDoNotUseUpAttempts)
{
    EXPECT_TRUE(LogIn(harness, [this] {
        // Four redirects exceed the three attempts only if redirects counted.
        for (int redirect = 0; redirect < 4; ++redirect) {
            ASSERT_TRUE(server.Accept());
            ASSERT_TRUE(server.ReadConnect());
            TPacketSPtr packet = CFakeServer::Make(CHUNK_REDIRECT);
            const unsigned char self[6] = {127,
                                           0,
                                           0,
                                           1,
                                           static_cast<unsigned char>(server.Listener().Port() >> 8),
                                           static_cast<unsigned char>(server.Listener().Port() & 0xFF)};
            packet->AddAttr(std::make_shared<CAttribute>(KEY_NEW_SERVER, TYPE_ADDRESS, self));
            server.Write(packet);
        }
        ASSERT_TRUE(server.Accept());
        ASSERT_TRUE(server.Handshake());
        AnswerLogin(server);
    }));
}

TEST(HandshakeTest, InternalServerErrorMovesOnAndOtherErrorsStop)
{
    TwoServers servers;
    CNetHarness& harness = servers.harness;
    ASSERT_TRUE(harness.Start());
    auto script = std::async(std::launch::async, [&servers] {
        CFakeServer* busy = servers.AcceptFirst();
        ASSERT_TRUE(busy);
        ASSERT_TRUE(busy->ReadConnect());
        busy->Write(WithInt(CFakeServer::Make(CHUNK_ERROR), KEY_ERROR_CODE, 64));
        CFakeServer* next = servers.Other(busy);
        ASSERT_TRUE(next->Accept());
        ASSERT_TRUE(next->ReadConnect());
        next->Write(WithText(WithInt(CFakeServer::Make(CHUNK_ERROR), KEY_ERROR_CODE, 5), KEY_ERROR_MESSAGE, L"no"));
        EXPECT_TRUE(next->PeerClosed());
    });
    harness.module.SendPacket(CNetHarness::LoginPacket());
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_ERROR));
    script.get();
    EXPECT_EQ(5, harness.listener.LastReceivedInt(CHUNK_ERROR, KEY_ERROR_CODE));
    EXPECT_EQ(0, CRecordingNetListener::CountOf(harness.listener.received, CHUNK_LOGGEDIN));
}

TEST_F(OneServerTest, MinorWarningIsSkippedAndAMajorOneWaitsForContinue)
{
    auto script = std::async(std::launch::async, [this] {
        ASSERT_TRUE(server.Accept());
        ASSERT_TRUE(server.ReadConnect());
        server.Write(WithInt(CFakeServer::Make(CHUNK_WARNING), KEY_ERROR_CODE, 7));
        server.Write(WithInt(CFakeServer::Make(CHUNK_WARNING), KEY_ERROR_CODE, 6));
        server.SendIdentity(CFakeServer::IDENTITY_PRIMARY);
        ASSERT_TRUE(server.TakeMasterKey(server.Read()));
        server.Write(CFakeServer::Make(CHUNK_CONNECTED));
        EXPECT_EQ(CHUNK_CLIENTDATA, ChunkKindOf(server.Read()));
        AnswerLogin(server);
    });
    harness.module.SendPacket(CNetHarness::LoginPacket());
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_WARNING));
    EXPECT_EQ(6, harness.listener.LastReceivedInt(CHUNK_WARNING, KEY_ERROR_CODE));
    EXPECT_EQ(1, CRecordingNetListener::CountOf(harness.listener.received, CHUNK_WARNING));
    harness.module.Continue();
    EXPECT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDIN));
    script.get();
}

TEST_F(OneServerTest, AbortAfterAWarningDropsTheConnection)
{
    auto script = std::async(std::launch::async, [this] {
        ASSERT_TRUE(server.Accept());
        ASSERT_TRUE(server.ReadConnect());
        server.Write(WithInt(CFakeServer::Make(CHUNK_WARNING), KEY_ERROR_CODE, 6));
        EXPECT_TRUE(server.PeerClosed());
    });
    harness.module.SendPacket(CNetHarness::LoginPacket());
    ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_WARNING));
    harness.module.Abort();
    script.get();
    EXPECT_EQ(0, CRecordingNetListener::CountOf(harness.listener.received, CHUNK_LOGGEDIN));
}

TEST(HandshakeTest, ForcedUpgradeCheckComparesTheOwnVersion)
{
    for (const std::wstring& latest : {std::wstring(L"F0.90.0.0"), std::wstring(L"F1.0.0.0")}) {
        CFakeServer server;
        CNetHarness harness(server.Address());
        ASSERT_TRUE(harness.Start());
        const bool own = latest == L"F0.90.0.0";
        auto script = std::async(std::launch::async, [&server, &latest, own] {
            ASSERT_TRUE(server.Accept());
            TPacketSPtr connected = CFakeServer::Make(CHUNK_CONNECTED);
            CNetHarness::AddText(connected, KEY_UPGRADEURL, L"http://upgrade.invalid/");
            CNetHarness::AddText(connected, KEY_LATEST_VERSION, latest);
            ASSERT_TRUE(server.ReadConnect());
            server.SendIdentity(CFakeServer::IDENTITY_PRIMARY);
            ASSERT_TRUE(server.TakeMasterKey(server.Read()));
            server.Write(connected);
            if (own) {
                EXPECT_EQ(CHUNK_CLIENTDATA, ChunkKindOf(server.Read()));
                AnswerLogin(server);
            } else {
                EXPECT_TRUE(server.PeerClosed());
            }
        });
        harness.module.SendPacket(CNetHarness::LoginPacket());
        ASSERT_TRUE(harness.PumpUntilReceived(CHUNK_CONNECTED));
        if (own) {
            EXPECT_TRUE(harness.PumpUntilReceived(CHUNK_LOGGEDIN));
        }
        script.get();
        EXPECT_EQ(own ? 1 : 0, CRecordingNetListener::CountOf(harness.listener.received, CHUNK_LOGGEDIN));
    }
}
