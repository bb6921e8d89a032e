#include "ChatTestFixture.h"

#include "support/LogCapture.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

class CChatMessagesTest : public CChatFixture {
protected:
    std::string Added(const CChat* chat, int count) const
    {
        return "OnChatMessagesAdded(" + std::to_string(chat->GetHandle()) + "," + std::to_string(count) + ")";
    }
};

}  // namespace

TEST_F(CChatMessagesTest, BatchIsAddedOnceAndOlderOrRepeatedBookmarksAddNothing)
{
    CChat* chat = KnownChat(7);
    const CTestPacket batch = Messages(7, 5, {Msg(3, L"bob", 100, L"hi"), Msg(3, L"alice", 110, L"hello")});
    Deliver(batch);
    EXPECT_EQ((std::vector<std::wstring>{L"hi", L"hello"}), Bodies(*chat));
    EXPECT_EQ(5, chat->GetMsgBookmark());
    EXPECT_EQ((std::vector<std::string>{Added(chat, 2)}), m_chatEvents.m_events);

    Deliver(batch);
    Deliver(Messages(7, 4, {Msg(3, L"bob", 120, L"late")}));
    EXPECT_EQ(2u, chat->GetMsgList().size());
    EXPECT_EQ(5, chat->GetMsgBookmark());
    EXPECT_EQ(1u, m_chatEvents.m_events.size());

    // A newer batch without messages only moves the bookmark.
    Deliver(Messages(7, 6, {}));
    EXPECT_EQ(6, chat->GetMsgBookmark());
    EXPECT_EQ(1u, m_chatEvents.m_events.size());
}

TEST_F(CChatMessagesTest, MessageTypesAndTheirSideEffects)
{
    CChat* chat = KnownChat(7);
    const size_t infoRequests = SentCount(CHUNK_GETCHATINFO);
    Deliver(Messages(7, 1,
                     {Msg(2, L"bob", 100, L"typing"), Msg(6, L"bob", 101, L"other"), Msg(7, L"bob", 102, L"waves"),
                      Msg(5, L"bob", 103, L"Plans"),
                      Msg(1, L"bob", 104, L"ignored").Str(KEY_MEMBERS, L"alice bob carol")}));
    EXPECT_EQ((std::vector<std::wstring>{L"waves", L"Plans", L"alice bob carol"}), Bodies(*chat));
    EXPECT_EQ(L"Plans", chat->GetTopic());
    EXPECT_EQ((std::vector<std::string>{Added(chat, 3)}), m_chatEvents.m_events);
    // Types 1 and 5 ask for the details again, once while the request is outstanding.
    EXPECT_EQ(infoRequests + 1, SentCount(CHUNK_GETCHATINFO));
    EXPECT_TRUE(chat->HasPendingChatInfo());
}

TEST_F(CChatMessagesTest, RecordsLackingARequiredAttributeAreIgnored)
{
    CChat* chat = KnownChat(7);
    CTestPacket noStatus = CTestPacket::Record()
                               .Int(KEY_TIMESTAMP, 100)
                               .Str(KEY_VEXLANAME, L"bob")
                               .Int(KEY_CHATMSG_TYPE, 3)
                               .Str(KEY_CHATMSG_BODY, L"x");
    CTestPacket noAuthor = CTestPacket::Record()
                               .Int(KEY_TIMESTAMP, 100)
                               .Int(KEY_CHATMSG_TYPE, 3)
                               .Int(KEY_CHATMSG_STATUS, 1)
                               .Str(KEY_CHATMSG_BODY, L"y");
    CTestPacket wrongType = Msg(3, L"bob", 100, L"z");
    CTestPacket recordsAsInt = CTestPacket::Record();
    recordsAsInt.Int(KEY_CHATRECORD, 5).Sub(KEY_CHATRECORD, noStatus).Sub(KEY_CHATRECORD, noAuthor);
    Deliver(CTestPacket(CHUNK_CHATMESSAGES).Int(KEY_CHAT, 7).Int(KEY_BOOKMARK, 1).Sub(KEY_CHATMSG_RECORDS, recordsAsInt));
    Deliver(CTestPacket(CHUNK_CHATMESSAGES).Int(KEY_CHAT, 7).Sub(KEY_CHATMSG_RECORDS, CTestPacket::Record().Sub(KEY_CHATRECORD, wrongType)));
    EXPECT_TRUE(chat->GetMsgList().empty());
    EXPECT_TRUE(m_chatEvents.m_events.empty());
}

TEST_F(CChatMessagesTest, ServerEchoUpdatesTheSentMessageInsteadOfAddingIt)
{
    CChat* chat = KnownChat(7);
    ASSERT_TRUE(m_lib.SendChatMsg(chat->GetHandle(), L"hello"));
    const TPacketSPtr sent = LastSentOf(CHUNK_SENDCHATMESSAGE);
    ASSERT_TRUE(sent);
    EXPECT_EQ(7, IntOf(sent, KEY_CHAT));
    EXPECT_EQ(L"hello", StrOf(sent, KEY_CHATMSG_BODY));
    const int requestId = IntOf(sent, KEY_REQUEST_ID);
    EXPECT_NE(0, requestId);
    const CChatMsg* own = chat->GetMsgList().at(0).get();
    EXPECT_TRUE(own->IsOwnMsg());
    EXPECT_EQ(CChatMsg::STATUS_SENDING, own->GetStatus());
    EXPECT_EQ(requestId, own->GetRequestId());

    CTestPacket echo = Msg(3, L"alice", 4242, L"hello").Int(KEY_REQUEST_ID, requestId);
    CTestPacket unmatched = Msg(3, L"alice", 4243, L"from elsewhere").Int(KEY_REQUEST_ID, requestId + 1000);
    CLogCapture::Get().Clear();
    Deliver(Messages(7, 3, {echo, unmatched}));
    ASSERT_EQ(2u, chat->GetMsgList().size());
    EXPECT_EQ(4242, own->GetServerTimestamp());
    EXPECT_EQ(2, own->GetStatus());
    EXPECT_EQ(L"from elsewhere", chat->GetMsgList().at(1)->GetMsgBody());
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Unable to find matching chat message for request id " +
                                            std::to_wstring(requestId + 1000) + L"."));
    EXPECT_EQ((std::vector<std::string>{Added(chat, 1), "OnChatMessageDelivered(hello)", Added(chat, 1)}),
              m_chatEvents.m_events);
}

TEST_F(CChatMessagesTest, AuthorsAreMembersAndTheChatTakesTheLatestMessageTime)
{
    CChat* chat = KnownChat(7);
    const int before = chat->GetEventLocalTimestamp();
    Deliver(Messages(7, 1, {Msg(3, L"dave", before + 500, L"hi").Str(KEY_FULLNAME, L"Dave D")}));
    const CChatMember* author = chat->GetMsgList().at(0)->GetMember();
    EXPECT_EQ(author, chat->FindMember(L"dave", false));
    EXPECT_EQ(L"Dave D", author->GetFullName());
    EXPECT_EQ(before + 500, chat->GetEventLocalTimestamp());
}

TEST_F(CChatMessagesTest, OpeningFetchesFromTheBookmarkAndClearsTheUnreadCount)
{
    Deliver(ChatList({ChatRecord(7, 4)}));
    Deliver(ChatInfo(7, L"alice bob"));
    CChat* chat = FindChat(7);
    Deliver(Messages(7, 9, {}));
    m_listener.Clear();

    ASSERT_TRUE(m_lib.OpenChat(chat->GetHandle()));
    const TPacketSPtr fetch = LastSentOf(CHUNK_GETCHATMESSAGES);
    EXPECT_EQ(7, IntOf(fetch, KEY_CHAT));
    EXPECT_EQ(9, IntOf(fetch, KEY_BOOKMARK));
    EXPECT_EQ(1, IntOf(fetch, KEY_AUTOSYNC));
    EXPECT_EQ(0, chat->GetUnreadMsgCnt());
    Step();
    EXPECT_EQ((std::vector<std::string>{"OnEventUpdated()", "OnEventListUpdated"}), m_listener.m_events);

    ASSERT_TRUE(m_lib.CloseChat(chat->GetHandle()));
    const TPacketSPtr close = LastSentOf(CHUNK_GETCHATMESSAGES);
    EXPECT_EQ(0, IntOf(close, KEY_AUTOSYNC));
    EXPECT_EQ(0, IntOf(close, KEY_MAXENTRIES));
    EXPECT_EQ(9, IntOf(close, KEY_BOOKMARK));
}

TEST_F(CChatMessagesTest, NoAnswerWithinTwentySecondsOfOpeningReportsATimeOut)
{
    CChat* chat = KnownChat(7);
    m_lib.OpenChat(chat->GetHandle());
    Advance(19999);
    EXPECT_TRUE(m_chatEvents.m_events.empty());
    Advance(1);
    EXPECT_EQ((std::vector<std::string>{"OnGetChatFailed(1)"}), m_chatEvents.m_events);
}

TEST_F(CChatMessagesTest, AnyMessageBatchStopsTheTimeOut)
{
    CChat* chat = KnownChat(7);
    m_lib.OpenChat(chat->GetHandle());
    Advance(10000);
    // Even a batch for another chat answers the wait.
    Deliver(Messages(99, 1, {}));
    Advance(30000);
    EXPECT_TRUE(m_chatEvents.m_events.empty());
}

TEST_F(CChatMessagesTest, SigningOutStopsTheTimeOut)
{
    CChat* chat = KnownChat(7);
    m_lib.OpenChat(chat->GetHandle());
    m_lib.Logout();
    Deliver(CTestPacket(CHUNK_LOGGEDOUT).Int(KEY_LOGOUTREASON, 1));
    ASSERT_FALSE(m_lib.IsLoggedIn());
    Advance(30000);
    EXPECT_TRUE(m_chatEvents.m_events.empty());
}
