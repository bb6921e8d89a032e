#include "ChatTestFixture.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

class CChatOperationsTest : public CChatFixture {};

}  // namespace

TEST_F(CChatOperationsTest, MarkingAllReadNamesOnlyChatsTheServerKnows)
{
    CChat* local = m_lib.CreateOrOpenChat(L"carol");
    local->SetUnreadMsgCnt(2, false);
    Deliver(ChatList({ChatRecord(7, 3), ChatRecord(8)}));
    m_listener.Clear();

    ASSERT_TRUE(m_lib.MarkAllChatsAsRead());
    ASSERT_EQ(1u, SentCount(CHUNK_MARKCHATSREAD));
    EXPECT_EQ(std::vector<int>{7}, IntsOf(LastSentOf(CHUNK_MARKCHATSREAD), KEY_CHATS));
    EXPECT_EQ(0, local->GetUnreadMsgCnt());
    EXPECT_EQ(0, FindChat(7)->GetUnreadMsgCnt());
    Step();
    EXPECT_EQ((std::vector<std::string>{"OnEventListUpdated"}), m_listener.m_events);

    // Nothing unread: nothing sent, nothing reported.
    m_listener.Clear();
    m_lib.MarkAllChatsAsRead();
    Step();
    EXPECT_EQ(1u, SentCount(CHUNK_MARKCHATSREAD));
    EXPECT_TRUE(m_listener.m_events.empty());
}

TEST_F(CChatOperationsTest, MarkingOneChatReadSendsOnlyWhenItHasUnreadMessages)
{
    Deliver(ChatList({ChatRecord(7, 3)}));
    CChat* chat = FindChat(7);
    m_listener.Clear();
    m_lib.MarkChatAsRead(chat->GetHandle());
    EXPECT_EQ(std::vector<int>{7}, IntsOf(LastSentOf(CHUNK_MARKCHATSREAD), KEY_CHATS));
    EXPECT_EQ(0, chat->GetUnreadMsgCnt());
    EXPECT_EQ(1u, m_listener.CountNamed("OnEventUpdated"));
    m_lib.MarkChatAsRead(chat->GetHandle());
    EXPECT_EQ(1u, SentCount(CHUNK_MARKCHATSREAD));
}

TEST_F(CChatOperationsTest, LeavingAChatWithoutIdOnlyRemovesItLocally)
{
    CChat* chat = m_lib.CreateOrOpenChat(L"bob");
    const int handle = chat->GetHandle();
    m_listener.Clear();
    ASSERT_TRUE(m_lib.LeaveChat(handle));
    EXPECT_EQ(0u, SentCount(CHUNK_LEAVECHAT));
    EXPECT_EQ(nullptr, m_lib.GetModel().GetChat(handle));
    EXPECT_EQ(0u, m_lib.GetModel().GetEventList()->GetCount());
    Step();
    EXPECT_EQ((std::vector<std::string>{"OnEventDeleted(bob)", "OnEventListUpdated"}), m_listener.m_events);
    EXPECT_FALSE(m_lib.LeaveChat(handle));
}

TEST_F(CChatOperationsTest, LeavingAllChatsLeavesEachServerChat)
{
    KnownChat(7);
    KnownChat(8);
    m_lib.CreateOrOpenChat(L"carol");
    m_listener.Clear();
    ASSERT_TRUE(m_lib.LeaveAllChats());
    std::vector<int> left;
    for (const TPacketSPtr& packet : m_net->SentOfChunk(CHUNK_LEAVECHAT))
        left.push_back(IntOf(packet, KEY_CHAT));
    std::sort(left.begin(), left.end());
    EXPECT_EQ((std::vector<int>{7, 8}), left);
    EXPECT_EQ(0u, m_lib.GetModel().GetEventList()->GetCount());
    Step();
    EXPECT_EQ(3u, m_listener.CountNamed("OnEventDeleted"));
    EXPECT_EQ(1u, m_listener.Count("OnEventListUpdated"));
}

TEST_F(CChatOperationsTest, TopicIsSentOnlyWhenItChangesAndTakenFromTheServersEcho)
{
    CChat* chat = KnownChat(7);
    Deliver(ChatInfo(7, L"alice bob").Str(KEY_TOPIC, L"Plans"));
    m_lib.SetChatTopic(chat->GetHandle(), L"Plans");
    EXPECT_EQ(0u, SentCount(CHUNK_SETCHATTOPIC));

    m_lib.SetChatTopic(chat->GetHandle(), L"New plans");
    ASSERT_EQ(1u, SentCount(CHUNK_SETCHATTOPIC));
    EXPECT_EQ(7, IntOf(LastSentOf(CHUNK_SETCHATTOPIC), KEY_CHAT));
    EXPECT_EQ(L"Plans", chat->GetTopic());
    Deliver(Messages(7, 1, {Msg(5, L"alice", 3000, L"New plans")}));
    EXPECT_EQ(L"New plans", chat->GetTopic());
}

TEST_F(CChatOperationsTest, AddingMembersToAKnownChatSendsThemAtOnce)
{
    CChat* chat = KnownChat(7);
    ASSERT_TRUE(m_lib.AddChatMembers(chat->GetHandle(), {L"carol", L"dave"}));
    EXPECT_EQ(L"carol dave", StrOf(LastSentOf(CHUNK_ADDCHATMEMBERS), KEY_MEMBERS));
    EXPECT_EQ(7, IntOf(LastSentOf(CHUNK_ADDCHATMEMBERS), KEY_CHAT));
}

TEST_F(CChatOperationsTest, ListRequestsAndRefusals)
{
    // The sign-in asked for the recent chats already.
    const size_t recent = SentCount(CHUNK_GETRECENTCHATS);
    const size_t unread = SentCount(CHUNK_GETUNREADCHATS);
    EXPECT_TRUE(m_lib.RequestRecentChats());
    EXPECT_EQ(recent + 1, SentCount(CHUNK_GETRECENTCHATS));
    EXPECT_TRUE(m_lib.RequestUnreadChats());
    EXPECT_EQ(unread + 1, SentCount(CHUNK_GETUNREADCHATS));
    EXPECT_FALSE(m_lib.OpenChat(12345));
    EXPECT_FALSE(m_lib.SendChatMsg(0, L"x"));

    CChat* chat = KnownChat(7);
    const int handle = chat->GetHandle();
    m_lib.Logout();
    Deliver(CTestPacket(CHUNK_LOGGEDOUT).Int(KEY_LOGOUTREASON, 1));
    ASSERT_FALSE(m_lib.IsLoggedIn());
    // Signed out, nothing can report a change to the listeners: chat changes are refused.
    EXPECT_FALSE(m_lib.SendChatMsg(handle, L"x"));
    EXPECT_EQ(nullptr, m_lib.CreateOrOpenChat(L"bob"));
    EXPECT_FALSE(m_lib.MarkAllChatsAsRead());
    EXPECT_FALSE(m_lib.LeaveAllChats());
}
