// Messages written on the phone are followed until the server confirms them or they fail: create and
// info requests asked again, a reconnect catching up with what the lost connection carried, a new session
// failing what waited, and merged chats reported to the listeners.

#include "ChatTestFixture.h"

#include <algorithm>

#include "Handlers/ChatHandler.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

class CChatDeliveryTest : public CChatFixture {
protected:
    void Seconds(int seconds)
    {
        for (int i = 0; i < seconds; ++i)
            Advance(1000);
    }
    bool Heard(const std::string& event) const
    {
        const auto& events = m_chatEvents.m_events;
        return std::find(events.begin(), events.end(), event) != events.end();
    }
    static CTestPacket Own(int timestamp, const std::wstring& body, int requestId = 0)
    {
        CTestPacket record = Msg(3, L"alice", timestamp, body);
        if (requestId != 0)
            record.Int(KEY_REQUEST_ID, requestId);
        return record;
    }
    void Reconnect()
    {
        Deliver(CTestPacket(CHUNK_RECONNECTED, CPacket::INTERNAL));
    }
};

}  // namespace

TEST_F(CChatDeliveryTest, AnUnansweredInfoRequestIsAskedAgainWithBackOffThenGivenUpFailingTheQueuedMessages)
{
    Deliver(ChatList({ChatRecord(200)}));
    CChat* chat = FindChat(200);
    m_lib.SendChatMsg(chat->GetHandle(), L"waiting");
    EXPECT_EQ(1u, SentCount(CHUNK_GETCHATINFO));

    Seconds(CChatHandler::REQUEST_TIMEOUT_S);
    EXPECT_EQ(2u, SentCount(CHUNK_GETCHATINFO));
    Seconds(2 * CChatHandler::REQUEST_TIMEOUT_S - 1);
    EXPECT_EQ(2u, SentCount(CHUNK_GETCHATINFO));
    Seconds(1);
    EXPECT_EQ(3u, SentCount(CHUNK_GETCHATINFO));
    Seconds(4 * CChatHandler::REQUEST_TIMEOUT_S);
    EXPECT_EQ(4u, SentCount(CHUNK_GETCHATINFO));
    EXPECT_FALSE(Heard("OnChatMessageFailed(waiting)"));
    Seconds(8 * CChatHandler::REQUEST_TIMEOUT_S);
    EXPECT_TRUE(Heard("OnChatMessageFailed(waiting)"));
    EXPECT_FALSE(chat->HasPendingChatInfo());

    // Given up, nothing more is asked; a late answer sends nothing that failed.
    Seconds(20 * CChatHandler::REQUEST_TIMEOUT_S);
    EXPECT_EQ(4u, SentCount(CHUNK_GETCHATINFO));
    Deliver(ChatInfo(200, L"alice bob"));
    EXPECT_EQ(0u, SentCount(CHUNK_SENDCHATMESSAGE));
    // The next list asks anew.
    Deliver(ChatList({ChatRecord(201)}));
    EXPECT_EQ(5u, SentCount(CHUNK_GETCHATINFO));
}

TEST_F(CChatDeliveryTest, AnAnsweredRequestIsNotAskedAgain)
{
    CChat* chat = m_lib.CreateOrOpenChat(L"bob");
    m_lib.SendChatMsg(chat->GetHandle(), L"hello");
    Seconds(CChatHandler::REQUEST_TIMEOUT_S - 1);
    Deliver(Created(chat->GetLocalId(), 300));
    Deliver(ChatInfo(300, L"alice bob"));
    Seconds(40 * CChatHandler::REQUEST_TIMEOUT_S);
    EXPECT_EQ(1u, SentCount(CHUNK_CREATECHATWITHUSER));
    EXPECT_EQ(1u, SentCount(CHUNK_GETCHATINFO));
    EXPECT_EQ(1u, SentCount(CHUNK_SENDCHATMESSAGE));
    EXPECT_FALSE(Heard("OnChatMessageFailed(hello)"));
}

TEST_F(CChatDeliveryTest, AReconnectAsksAgainAndResendsOnlyWhatTheServerDoesNotHave)
{
    CChat* known = KnownChat(100);
    m_lib.OpenChat(known->GetHandle());
    Deliver(Messages(100, 1, {Msg(3, L"bob", 1000, L"hi")}));
    m_lib.SendChatMsg(known->GetHandle(), L"lost");
    m_lib.SendChatMsg(known->GetHandle(), L"arrived");
    Deliver(ChatList({ChatRecord(101)}));  // its details are outstanding
    const size_t fetches = SentCount(CHUNK_GETCHATMESSAGES);

    Reconnect();
    EXPECT_EQ(3u, SentCount(CHUNK_GETCHATINFO)) << "the outstanding one is asked again";
    ASSERT_EQ(fetches + 1, SentCount(CHUNK_GETCHATMESSAGES));
    const TPacketSPtr fetch = LastSentOf(CHUNK_GETCHATMESSAGES);
    EXPECT_EQ(100, IntOf(fetch, KEY_CHAT));
    EXPECT_EQ(1, IntOf(fetch, KEY_BOOKMARK));
    EXPECT_EQ(1, IntOf(fetch, KEY_AUTOSYNC));

    // The answer holds one of the two, without its request id (it came on the lost connection).
    Deliver(Messages(100, 2, {Own(1010, L"arrived")}));
    EXPECT_TRUE(Heard("OnChatMessageDelivered(arrived)"));
    EXPECT_EQ((std::vector<std::wstring>{L"hi", L"lost", L"arrived"}), Bodies(*known)) << "confirmed, not added";
    EXPECT_EQ(3u, SentCount(CHUNK_SENDCHATMESSAGE));
    EXPECT_EQ(L"lost", StrOf(LastSentOf(CHUNK_SENDCHATMESSAGE), KEY_CHATMSG_BODY));

    Deliver(Messages(100, 3, {Own(1020, L"lost", IntOf(LastSentOf(CHUNK_SENDCHATMESSAGE), KEY_REQUEST_ID))}));
    EXPECT_TRUE(Heard("OnChatMessageDelivered(lost)"));
    Reconnect();
    Deliver(Messages(100, 3, {}));
    EXPECT_EQ(3u, SentCount(CHUNK_SENDCHATMESSAGE)) << "confirmed messages are not sent again";
}

TEST_F(CChatDeliveryTest, ANewSessionOrLeavingTheChatFailsEveryMessageStillWaiting)
{
    CChat* known = KnownChat(100);
    m_lib.SendChatMsg(known->GetHandle(), L"unconfirmed");
    CChat* dialog = m_lib.CreateOrOpenChat(L"carol");
    m_lib.SendChatMsg(dialog->GetHandle(), L"queued");
    CChat* left = KnownChat(102, L"dan");
    m_lib.SendChatMsg(left->GetHandle(), L"to dan");

    m_lib.LeaveChat(left->GetHandle());
    EXPECT_TRUE(Heard("OnChatMessageFailed(to dan)"));
    EXPECT_FALSE(Heard("OnChatMessageFailed(queued)"));

    Deliver(CTestPacket(CHUNK_LOGGEDIN));
    EXPECT_TRUE(Heard("OnChatMessageFailed(unconfirmed)"));
    EXPECT_TRUE(Heard("OnChatMessageFailed(queued)"));
}

TEST_F(CChatDeliveryTest, AMergedCopyIsReportedDeletedAndAChatCreatedWithoutLocalChatIsAdded)
{
    CChat* chat = m_lib.CreateOrOpenChat(L"bob");
    const int handle = chat->GetHandle();
    m_lib.SendChatMsg(handle, L"first");
    Deliver(ChatList({ChatRecord(300)}));
    CChat* copy = FindChat(300);
    ASSERT_NE(nullptr, copy);
    const int copyHandle = copy->GetHandle();
    m_lib.OpenChat(copyHandle);
    m_listener.Clear();

    Deliver(Created(chat->GetLocalId(), 300));
    EXPECT_EQ(1u, m_listener.CountNamed("OnEventDeleted")) << ::testing::PrintToString(m_listener.m_events);
    EXPECT_EQ(nullptr, m_lib.GetModel().GetChat(copyHandle));
    EXPECT_EQ(chat, FindChat(300));
    EXPECT_TRUE(chat->IsOpen()) << "the survivor keeps the copy's synchronisation";

    m_listener.Clear();
    Deliver(Created(9999, 301));
    ASSERT_NE(nullptr, FindChat(301));
    EXPECT_EQ(1u, m_listener.CountNamed("OnEventAdded"));
    Deliver(ChatInfo(301, L"alice erin"));
    EXPECT_EQ(1u, m_listener.CountNamed("OnEventUpdated"));
}

TEST_F(CChatDeliveryTest, AMessagePushedAheadOfTheFetchesAnswerLosesNothingOfIt)
{
    // A fetch of an earlier session, answered after it ended, left the server's position at 2 while
    // the chat, listed again by the new session, starts from 0.
    CChat* chat = KnownChat(100, L"carol");
    const std::string handle = std::to_string(chat->GetHandle());
    m_lib.OpenChat(chat->GetHandle());
    EXPECT_EQ(0, IntOf(LastSentOf(CHUNK_GETCHATMESSAGES), KEY_BOOKMARK));

    // A message the server pushes before it reaches the fetch, then the fetch's answer from 0.
    Deliver(Messages(100, 3, {Msg(3, L"carol", 1020, L"third")}));
    Deliver(Messages(
        100, 3,
        {Msg(3, L"carol", 1000, L"first"), Msg(3, L"carol", 1010, L"second"), Msg(3, L"carol", 1020, L"third")}));
    EXPECT_EQ((std::vector<std::wstring>{L"third", L"first", L"second"}), Bodies(*chat));
    EXPECT_TRUE(Heard("OnChatMessagesAdded(" + handle + ",1)"));
    EXPECT_TRUE(Heard("OnChatMessagesAdded(" + handle + ",2)"));
    EXPECT_EQ(3, chat->GetMsgBookmark());

    // The answer ended the wait: later pushes go on from it and a repeated batch adds nothing.
    Deliver(Messages(100, 4, {Msg(3, L"carol", 1030, L"fourth")}));
    Deliver(Messages(100, 4, {Msg(3, L"carol", 1000, L"first"), Msg(3, L"carol", 1030, L"fourth")}));
    EXPECT_EQ((std::vector<std::wstring>{L"third", L"first", L"second", L"fourth"}), Bodies(*chat));
}

TEST_F(CChatDeliveryTest, WithoutAFetchUnderWayAnOlderBatchAddsNothing)
{
    CChat* chat = KnownChat(100);
    Deliver(Messages(100, 2, {Msg(3, L"bob", 1000, L"one"), Msg(3, L"bob", 1010, L"two")}));
    Deliver(Messages(100, 2, {Msg(3, L"bob", 1005, L"late")}));
    Deliver(Messages(100, 1, {Msg(3, L"bob", 1005, L"older")}));
    EXPECT_EQ((std::vector<std::wstring>{L"one", L"two"}), Bodies(*chat));
}
