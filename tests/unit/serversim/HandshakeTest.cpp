#include "SimFixture.h"

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/Value.h"

using namespace SimTest;
using namespace VexlaLib;

namespace {

class HandshakeTest : public SimFixture {};

TEST_F(HandshakeTest, LoginThroughTheHandshakeRecordsTheUserData)
{
    auto client = Client();
    ASSERT_TRUE(client->Handshake(L"alice", L"+15550001"));
    EXPECT_EQ(client->VerifiedBy(), "primary");
    int serverTime = 0;
    EXPECT_TRUE(client->Connected()->GetAttrInt32(KEY_SERVER_UTC_TIME, &serverTime));
    EXPECT_NEAR(serverTime, static_cast<double>(time(nullptr)), 60);

    TPacketSPtr answer = client->Login(L"alice", L"secret", {});
    ASSERT_EQ(ChunkOf(answer), CHUNK_LOGGEDIN);
    TByteArraySPtr sessionId;
    ASSERT_TRUE(answer->GetAttrBinary(KEY_SESSION_ID, &sessionId));
    EXPECT_EQ(sessionId->size(), 16u);
    std::wstring help;
    EXPECT_TRUE(answer->GetAttrString(KEY_HELP_URL, &help));
    EXPECT_EQ(help, L"http://help");
    TPacketSPtr saved = client->Receive();
    ASSERT_EQ(ChunkOf(saved), CHUNK_SAVEDATA);
    TPacketSPtr credentials;
    EXPECT_TRUE(saved->GetAttrContainer(KEY_SAVEDDATA, &credentials));

    const std::string userData = WaitEvent(R"({"type": "userdata"})");
    EXPECT_NE(userData.find(R"("KEY_NODEID":{"binary":"0102030405060708"})"), std::string::npos) << userData;
    EXPECT_NE(userData.find(R"("KEY_VEXLANAME":"alice")"), std::string::npos) << userData;
    EXPECT_NE(userData.find(R"("KEY_DEVICE_PSTNNUMBER":"+15550001")"), std::string::npos) << userData;
    EXPECT_NE(WaitEvent(R"({"type": "handshake", "result": "complete"})"), "");
    EXPECT_NE(WaitEvent(R"({"type": "received", "chunk": "CHUNK_MASTERKEY", "encrypted": false})"), "");
    EXPECT_NE(WaitEvent(R"({"type": "sent", "chunk": "CHUNK_CONNECTED", "encrypted": true})"), "");
    EXPECT_NE(WaitEvent(R"({"type": "received", "chunk": "CHUNK_CLIENTDATA", "encrypted": true})"), "");
}

TEST_F(HandshakeTest, ResumesOnlyTheAccountsOwnSession)
{
    auto first = Client();
    ASSERT_TRUE(first->Handshake(L"alice", L"1"));
    TByteArraySPtr issued;
    ASSERT_TRUE(first->Login(L"alice", L"secret", {})->GetAttrBinary(KEY_SESSION_ID, &issued));

    auto second = Client();
    ASSERT_TRUE(second->Handshake(L"alice", L"1"));
    TByteArraySPtr resumed;
    ASSERT_TRUE(second->Login(L"alice", L"secret", *issued)->GetAttrBinary(KEY_SESSION_ID, &resumed));
    EXPECT_EQ(*resumed, *issued);

    auto third = Client();
    ASSERT_TRUE(third->Handshake(L"alice", L"1"));
    TByteArraySPtr fresh;
    ASSERT_TRUE(third->Login(L"alice", L"secret", TByteArray(16, 0xAB))->GetAttrBinary(KEY_SESSION_ID, &fresh));
    EXPECT_NE(*fresh, *issued);
}

TEST_F(HandshakeTest, RefusedLoginsCarryTheirReasons)
{
    const std::pair<std::wstring, std::wstring> logins[] = {{L"alice", L"wrong"}, {L"nobody", L"x"}, {L"bob", L"pw"}};
    const int reasons[] = {8, 7, 9};
    for (size_t i = 0; i < 3; ++i) {
        auto client = Client();
        ASSERT_TRUE(client->Handshake(logins[i].first, L"1"));
        TPacketSPtr answer = client->Login(logins[i].first, logins[i].second, {});
        ASSERT_EQ(ChunkOf(answer), CHUNK_LOGGEDOUT);
        int reason = 0;
        EXPECT_TRUE(answer->GetAttrInt32(KEY_LOGOUTREASON, &reason));
        EXPECT_EQ(reason, reasons[i]);
    }
}

TEST_F(HandshakeTest, LogoutEndsTheSession)
{
    auto client = Client();
    ASSERT_TRUE(client->Handshake(L"alice", L"1"));
    TByteArraySPtr issued;
    ASSERT_TRUE(client->Login(L"alice", L"secret", {})->GetAttrBinary(KEY_SESSION_ID, &issued));
    ASSERT_EQ(ChunkOf(client->Receive()), CHUNK_SAVEDATA);
    ASSERT_TRUE(client->Send(MakePacket(CHUNK_LOGOUT)));
    TPacketSPtr answer = client->Receive();
    ASSERT_EQ(ChunkOf(answer), CHUNK_LOGGEDOUT);
    int reason = 0;
    EXPECT_TRUE(answer->GetAttrInt32(KEY_LOGOUTREASON, &reason));
    EXPECT_EQ(reason, 1);
    EXPECT_TRUE(m_sessions.List().empty());
}

TEST_F(HandshakeTest, BackupSignedIdentityWhenTheScenarioAsks)
{
    ASSERT_TRUE(Command(R"({"cmd": "identity", "key": "backup"})"));
    auto client = Client();
    ASSERT_TRUE(client->Handshake(L"alice", L"1"));
    EXPECT_EQ(client->VerifiedBy(), "backup");
}

TEST_F(HandshakeTest, BadFramesAreDroppedAndTheConnectionServesOn)
{
    auto client = Client();
    ASSERT_TRUE(client->Handshake(L"alice", L"1"));
    // A frame (encrypted like any other) whose checksum is wrong, then one whose body does not
    // decode: both dropped, the connection stays aligned.
    ASSERT_TRUE(client->SendRaw({0x02, 0x41, 0x00, 0xDE, 0xAD, 0xBE, 0xEF}));
    ASSERT_TRUE(client->SendBody({0x41, 0x01, 0x07}));  // type code 7 does not exist
    ASSERT_NE(WaitEvent(R"({"type": "bad_frame", "reason": "checksum"})"), "");
    ASSERT_NE(WaitEvent(R"({"type": "bad_frame", "reason": "undecodable"})"), "");
    EXPECT_EQ(ChunkOf(client->Login(L"alice", L"secret", {})), CHUNK_LOGGEDIN);
}

TEST_F(HandshakeTest, HostileFramesNeverStopTheServer)
{
    auto plain = Client();
    ASSERT_TRUE(plain->SendRaw({0x02, 0x42, 0x00, 0x00, 0x00, 0x00, 0x00}));  // wrong mark, wrong checksum
    ASSERT_TRUE(plain->SendRaw({0xFF, 0xFF, 0xFF, 0xFF, 0x7F}));               // length out of range
    EXPECT_TRUE(plain->WaitClosed());
    EXPECT_NE(WaitEvent(R"({"type": "bad_frame", "reason": "length"})"), "");

    auto early = Client();
    ASSERT_TRUE(early->Send(MakePacket(CHUNK_MASTERKEY)));  // out of order
    EXPECT_TRUE(early->WaitClosed());

    auto client = Client();
    ASSERT_TRUE(client->Handshake(L"alice", L"1"));
    EXPECT_EQ(ChunkOf(client->Login(L"alice", L"secret", {})), CHUNK_LOGGEDIN);
}

}  // namespace

namespace {

TEST_F(HandshakeTest, RegistrationAddsTheAccountOrSuggestsNames)
{
    auto registering = [&](const std::wstring& name) {
        auto client = Client();
        EXPECT_TRUE(client->Handshake(name, L"1"));
        CPacket request = MakePacket(CHUNK_REGISTERUSER);
        request.AddAttr(std::make_shared<CAttribute>(KEY_VEXLANAME, TYPE_STRING, name));
        request.AddAttr(std::make_shared<CAttribute>(KEY_PASSWORD, TYPE_STRING, std::wstring(L"new-pw")));
        EXPECT_TRUE(client->Send(request));
        return client->Receive();
    };
    EXPECT_EQ(ChunkOf(registering(L"zoe")), CHUNK_LOGGEDIN);
    TPacketSPtr taken = registering(L"zoe");
    ASSERT_EQ(ChunkOf(taken), CHUNK_LOGGEDOUT);
    std::wstring suggestions;
    EXPECT_TRUE(taken->GetAttrString(KEY_SUGGESTED_VEXLANAMES, &suggestions));
    EXPECT_EQ(suggestions, L"zoe1 zoe2");

    auto client = Client();
    ASSERT_TRUE(client->Handshake(L"zoe", L"1"));
    EXPECT_EQ(ChunkOf(client->Login(L"zoe", L"new-pw", {})), CHUNK_LOGGEDIN);
}

}  // namespace
