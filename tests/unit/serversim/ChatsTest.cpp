#include "SimFixture.h"

#include "ChatStore.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Utils/Utils.h"

using namespace SimTest;
using namespace VexlaLib;
using ServerSim::CJson;

namespace {

// The simulator with chats: alice/secret and carol/pw sign in; bob and dave are scripted users.
// Chat 100 is a dialog of alice and bob with two messages from bob.
class ChatsTest : public SimFixture {
protected:
    ChatsTest()
    {
        std::string error;
        ServerSim::TJsonPtr chats = CJson::Parse(
            R"([{"members": ["alice", "bob"], "messages": [{"from": "bob", "text": "one"}, {"from": "bob", "text": "two"}]}])");
        EXPECT_TRUE(m_chats.Load(chats.get(), error)) << error;
        m_context.chats = &m_chats;
        m_chats.SetServer(&m_server);
        Command(R"({"cmd": "account", "name": "carol", "password": "pw"})");
    }

    std::unique_ptr<CSimTestClient> SignedIn(const std::wstring& name, const std::wstring& password)
    {
        auto client = Client();
        EXPECT_TRUE(client->Handshake(name, L"1"));
        EXPECT_EQ(CHUNK_LOGGEDIN, ChunkOf(client->Login(name, password, {})));
        return client;
    }
    // The next packet of that kind; others on the way are skipped.
    static TPacketSPtr Next(CSimTestClient& client, int chunk)
    {
        for (int i = 0; i < 20; ++i) {
            TPacketSPtr packet = client.Receive();
            if (!packet || ChunkOf(packet) == chunk)
                return packet;
        }
        return nullptr;
    }
    static CPacket Request(int chunk, int chatId)
    {
        CPacket packet = MakePacket(chunk);
        packet.AddAttr(std::make_shared<CAttribute>(KEY_CHAT, TYPE_INT32, chatId));
        return packet;
    }
    static void Add(CPacket& packet, int key, int value) { packet.AddAttr(std::make_shared<CAttribute>(key, TYPE_INT32, value)); }
    static void Add(CPacket& packet, int key, const std::wstring& value)
    {
        packet.AddAttr(std::make_shared<CAttribute>(key, TYPE_STRING, value));
    }
    static int Int(const TPacketSPtr& packet, int key)
    {
        int value = -1;
        packet->GetAttrInt32(key, &value);
        return value;
    }
    static std::wstring Str(const TPacketSPtr& packet, int key)
    {
        std::wstring value;
        packet->GetAttrString(key, &value);
        return value;
    }
    // The records of a list or batch container.
    static std::vector<TPacketSPtr> Records(const TPacketSPtr& packet, int key)
    {
        std::vector<TPacketSPtr> records;
        TPacketSPtr container;
        if (packet && packet->GetAttrContainer(key, &container)) {
            for (const auto& attr : container->GetAttrList()) {
                TPacketSPtr record;
                if (attr->GetContainer(&record))
                    records.push_back(record);
            }
        }
        return records;
    }
    // Opens the chat from the bookmark and returns the batch.
    static TPacketSPtr Open(CSimTestClient& client, int chatId, int bookmark)
    {
        CPacket fetch = Request(CHUNK_GETCHATMESSAGES, chatId);
        Add(fetch, KEY_BOOKMARK, bookmark);
        Add(fetch, KEY_AUTOSYNC, 1);
        return client.Send(fetch) ? Next(client, CHUNK_CHATMESSAGES) : nullptr;
    }

    ServerSim::CChatStore m_chats;
};

}  // namespace

TEST_F(ChatsTest, ListsInfoAndBatchesFollowTheBookmark)
{
    auto alice = SignedIn(L"alice", L"secret");
    ASSERT_TRUE(alice->Send(MakePacket(CHUNK_GETRECENTCHATS)));
    const std::vector<TPacketSPtr> chats = Records(Next(*alice, CHUNK_RECENTCHATS), KEY_CHATRECORDS);
    ASSERT_EQ(1u, chats.size());
    EXPECT_EQ(100, Int(chats[0], KEY_CHAT));
    EXPECT_EQ(L"bob", Str(chats[0], KEY_CHAT_FRIENDLYNAME));
    EXPECT_EQ(2, Int(chats[0], KEY_UNREAD_MSGS));

    ASSERT_TRUE(alice->Send(Request(CHUNK_GETCHATINFO, 100)));
    const TPacketSPtr info = Next(*alice, CHUNK_CHATINFO);
    ASSERT_TRUE(info);
    EXPECT_EQ(L"alice bob", Str(info, KEY_MEMBERS));
    EXPECT_EQ(2, Int(info, KEY_TYPE));

    const TPacketSPtr all = Open(*alice, 100, 0);
    EXPECT_EQ(2, Int(all, KEY_BOOKMARK));
    EXPECT_EQ(2u, Records(all, KEY_CHATMSG_RECORDS).size());
    const TPacketSPtr newer = Open(*alice, 100, 1);
    const std::vector<TPacketSPtr> records = Records(newer, KEY_CHATMSG_RECORDS);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"two", Str(records[0], KEY_CHATMSG_BODY));
    EXPECT_EQ(L"bob", Str(records[0], KEY_VEXLANAME));

    CPacket markRead = MakePacket(CHUNK_MARKCHATSREAD);
    const int ids[] = {100};
    markRead.AddAttr(std::make_shared<CAttribute>(KEY_CHATS, TYPE_INTARRAY, ids, 1));
    ASSERT_TRUE(alice->Send(markRead));
    ASSERT_TRUE(Next(*alice, CHUNK_MARKEDCHATSREAD));
    ASSERT_TRUE(alice->Send(MakePacket(CHUNK_GETUNREADCHATS)));
    EXPECT_TRUE(Records(Next(*alice, CHUNK_UNREADCHATS), KEY_CHATRECORDS).empty());
}

TEST_F(ChatsTest, DialogCreatedWithAUserEchoesMessagesAndCarriesTheAnswer)
{
    auto alice = SignedIn(L"alice", L"secret");
    CPacket create = MakePacket(CHUNK_CREATECHATWITHUSER);
    Add(create, KEY_VEXLANAME, L"dave");
    Add(create, KEY_CLIENTCHATID, 17);
    Add(create, KEY_CHATMSG_BODY, L"");
    Add(create, KEY_AUTOSYNC, 1);
    ASSERT_TRUE(alice->Send(create));
    const TPacketSPtr created = Next(*alice, CHUNK_CREATEDCHAT);
    ASSERT_TRUE(created);
    EXPECT_EQ(17, Int(created, KEY_CLIENTCHATID));
    TPacketSPtr record;
    ASSERT_TRUE(created->GetAttrContainer(KEY_CHATRECORD, &record));
    const int chatId = Int(record, KEY_CHAT);
    EXPECT_EQ(L"dave", Str(record, KEY_CHAT_FRIENDLYNAME));

    CPacket send = Request(CHUNK_SENDCHATMESSAGE, chatId);
    Add(send, KEY_CHATMSG_BODY, L"hi dave");
    Add(send, KEY_REQUEST_ID, 41);
    ASSERT_TRUE(alice->Send(send));
    const TPacketSPtr echo = Next(*alice, CHUNK_CHATMESSAGES);
    std::vector<TPacketSPtr> records = Records(echo, KEY_CHATMSG_RECORDS);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(41, Int(records[0], KEY_REQUEST_ID));
    EXPECT_EQ(1, Int(echo, KEY_BOOKMARK));

    ServerSim::TJsonPtr answer = Command(
        R"({"cmd": "chat_message", "from": "dave", "to": "alice", "text": "hi alice"})");
    EXPECT_EQ(chatId, CJson::GetInt(answer.get(), "chat", -1));
    const TPacketSPtr reply = Next(*alice, CHUNK_CHATMESSAGES);
    records = Records(reply, KEY_CHATMSG_RECORDS);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"hi alice", Str(records[0], KEY_CHATMSG_BODY));
    EXPECT_FALSE(records[0]->GetAttr(KEY_REQUEST_ID));
    EXPECT_EQ(2, Int(reply, KEY_BOOKMARK));

    const std::string listed = CJson::ToLine(Command(R"({"cmd": "chats"})").get());
    EXPECT_NE(std::string::npos, listed.find(R"("from":"alice","type":3,"text":"hi dave","request_id":41)")) << listed;
}

TEST_F(ChatsTest, MembersTopicsAndEmotesReachSynchronisingMembersOthersSeeAnUnreadRecord)
{
    auto alice = SignedIn(L"alice", L"secret");
    Open(*alice, 100, 2);
    auto carol = SignedIn(L"carol", L"pw");
    ASSERT_TRUE(carol->Send(MakePacket(CHUNK_GETRECENTCHATS)));
    EXPECT_TRUE(Records(Next(*carol, CHUNK_RECENTCHATS), KEY_CHATRECORDS).empty());

    CPacket add = Request(CHUNK_ADDCHATMEMBERS, 100);
    Add(add, KEY_MEMBERS, L"carol  dave");
    ASSERT_TRUE(alice->Send(add));
    std::vector<TPacketSPtr> records = Records(Next(*alice, CHUNK_CHATMESSAGES), KEY_CHATMSG_RECORDS);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(1, Int(records[0], KEY_CHATMSG_TYPE));
    EXPECT_EQ(L"alice bob carol dave", Str(records[0], KEY_MEMBERS));
    // Carol does not synchronise the chat: she hears of it as unread.
    const std::vector<TPacketSPtr> unread = Records(Next(*carol, CHUNK_UNREADCHATS), KEY_CHATRECORDS);
    ASSERT_EQ(1u, unread.size());
    EXPECT_EQ(100, Int(unread[0], KEY_CHAT));

    EXPECT_TRUE(CJson::GetBool(Command(R"({"cmd": "chat_topic", "from": "bob", "chat": 100, "topic": "Trip"})").get(), "ok", false));
    records = Records(Next(*alice, CHUNK_CHATMESSAGES), KEY_CHATMSG_RECORDS);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(5, Int(records[0], KEY_CHATMSG_TYPE));
    EXPECT_EQ(L"Trip", Str(records[0], KEY_CHATMSG_BODY));

    Command(R"({"cmd": "chat_message", "from": "dave", "chat": 100, "type": 7, "text": "waves"})");
    records = Records(Next(*alice, CHUNK_CHATMESSAGES), KEY_CHATMSG_RECORDS);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(7, Int(records[0], KEY_CHATMSG_TYPE));

    Command(R"({"cmd": "chat_member", "from": "bob", "chat": 100, "remove": "dave"})");
    records = Records(Next(*alice, CHUNK_CHATMESSAGES), KEY_CHATMSG_RECORDS);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(4, Int(records[0], KEY_CHATMSG_TYPE));

    ASSERT_TRUE(carol->Send(Request(CHUNK_LEAVECHAT, 100)));
    records = Records(Next(*alice, CHUNK_CHATMESSAGES), KEY_CHATMSG_RECORDS);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(L"carol", Str(records[0], KEY_VEXLANAME));
    ASSERT_TRUE(alice->Send(Request(CHUNK_GETCHATINFO, 100)));
    const TPacketSPtr info = Next(*alice, CHUNK_CHATINFO);
    EXPECT_EQ(L"alice bob", Str(info, KEY_MEMBERS));
    EXPECT_EQ(L"Trip", Str(info, KEY_TOPIC));
}

TEST_F(ChatsTest, RequestsOfStrangersAndBadCommandsAreRefused)
{
    auto carol = SignedIn(L"carol", L"pw");
    ASSERT_TRUE(carol->Send(Request(CHUNK_GETCHATINFO, 100)));
    CPacket send = Request(CHUNK_SENDCHATMESSAGE, 100);
    Add(send, KEY_CHATMSG_BODY, L"intruder");
    ASSERT_TRUE(carol->Send(send));
    ASSERT_TRUE(carol->Send(MakePacket(CHUNK_GETRECENTCHATS)));
    // Nothing answers the first two: the next packet is the list.
    TPacketSPtr next = carol->Receive();
    if (ChunkOf(next) == CHUNK_SAVEDATA)
        next = carol->Receive();
    EXPECT_EQ(CHUNK_RECENTCHATS, ChunkOf(next));
    const std::string listed = CJson::ToLine(Command(R"({"cmd": "chats"})").get());
    EXPECT_EQ(std::string::npos, listed.find("intruder"));

    EXPECT_FALSE(CJson::GetBool(Command(R"({"cmd": "chat_topic", "from": "eve", "chat": 100, "topic": "x"})").get(), "ok", true));
    EXPECT_FALSE(CJson::GetBool(Command(R"({"cmd": "chat_message", "text": "x"})").get(), "ok", true));
    EXPECT_FALSE(CJson::GetBool(Command(R"({"cmd": "chat_member", "from": "bob", "chat": 100, "add": "alice"})").get(), "ok", true));
}
