#include "ChatTestFixture.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

class CChatListTest : public CChatFixture {
protected:
    static std::vector<std::pair<std::wstring, CChatMember::eMemberStatus>> Members(const CChat& chat)
    {
        std::vector<std::pair<std::wstring, CChatMember::eMemberStatus>> members;
        for (const auto& member : chat.GetMemberList())
            members.emplace_back(member->GetVexlaName(), member->GetStatus());
        return members;
    }
};

}  // namespace

TEST_F(CChatListTest, ListedChatIsAddedOnceAndItsDetailsRequestedOnce)
{
    Deliver(ChatList({ChatRecord(7, 2).Str(KEY_CHAT_FRIENDLYNAME, L"Bob").Int(KEY_ACTIVITY_TIMESTAMP, 5000)}));
    CChat* chat = FindChat(7);
    ASSERT_NE(nullptr, chat);
    EXPECT_EQ(chat, m_lib.GetModel().GetChat(chat->GetHandle()));
    EXPECT_EQ(2, chat->GetUnreadMsgCnt());
    EXPECT_EQ(5000, chat->GetEventServerTimestamp());
    EXPECT_EQ((std::vector<std::string>{"OnEventAdded(Bob)", "OnEventListUpdated"}), m_listener.m_events);
    ASSERT_EQ(1u, SentCount(CHUNK_GETCHATINFO));
    EXPECT_EQ(7, IntOf(LastSentOf(CHUNK_GETCHATINFO), KEY_CHAT));

    // The same record again changes nothing and asks nothing while the details are outstanding.
    m_listener.Clear();
    Deliver(ChatList({ChatRecord(7, 2).Str(KEY_CHAT_FRIENDLYNAME, L"Bob").Int(KEY_ACTIVITY_TIMESTAMP, 5000)},
                     CHUNK_UNREADCHATS));
    EXPECT_TRUE(m_listener.m_events.empty());
    EXPECT_EQ(1u, SentCount(CHUNK_GETCHATINFO));
    EXPECT_EQ(1u, m_lib.GetModel().GetEventList()->GetCount());
}

TEST_F(CChatListTest, ListRecordWithoutUnreadCountClearsIt)
{
    Deliver(ChatList({ChatRecord(7, 5)}));
    m_listener.Clear();
    Deliver(ChatList({ChatRecord(7)}));
    EXPECT_EQ(0, FindChat(7)->GetUnreadMsgCnt());
    EXPECT_EQ((std::vector<std::string>{"OnEventUpdated()", "OnEventListUpdated"}), m_listener.m_events);
}

TEST_F(CChatListTest, ChatInfoOnlyRaisesTheUnreadCount)
{
    Deliver(ChatList({ChatRecord(7, 5)}));
    Deliver(ChatInfo(7, L"alice bob").Int(KEY_UNREAD_MSGS, 2));
    EXPECT_EQ(5, FindChat(7)->GetUnreadMsgCnt());
    Deliver(ChatInfo(7, L"alice bob").Int(KEY_UNREAD_MSGS, 8));
    EXPECT_EQ(8, FindChat(7)->GetUnreadMsgCnt());
}

TEST_F(CChatListTest, ChatInfoFillsTheDetailsAndReportsTheChange)
{
    Deliver(ChatList({ChatRecord(7)}));
    m_listener.Clear();
    Deliver(ChatInfo(7, L"alice bob carol")
                .Int(KEY_TYPE, 1)
                .Str(KEY_CHAT_NAME, L"#alice/$abc")
                .Str(KEY_TOPIC, L"Plans")
                .Int(KEY_TIMESTAMP, 1234));
    CChat* chat = FindChat(7);
    EXPECT_TRUE(chat->HasChatInfo());
    EXPECT_FALSE(chat->HasPendingChatInfo());
    EXPECT_FALSE(chat->IsDialogType());
    EXPECT_EQ(L"#alice/$abc", chat->GetUniqueName());
    EXPECT_EQ(L"Plans", chat->GetTopic());
    EXPECT_EQ(1234, chat->GetCreateTimestamp());
    EXPECT_EQ(3, chat->GetMemberCnt());
    EXPECT_EQ((std::vector<std::string>{"OnEventUpdated(Plans)", "OnEventListUpdated"}), m_listener.m_events);

    // Unchanged details report nothing, and the chat no longer asks for them on its own.
    m_listener.Clear();
    Deliver(ChatInfo(7, L"alice bob carol").Str(KEY_TOPIC, L"Plans"));
    Deliver(ChatList({ChatRecord(7)}));
    EXPECT_TRUE(m_listener.m_events.empty());
    EXPECT_EQ(1u, SentCount(CHUNK_GETCHATINFO));
}

TEST_F(CChatListTest, MemberListSplitsOnSpacesAndMarksMissingMembersLeft)
{
    Deliver(ChatList({ChatRecord(7)}));
    Deliver(ChatInfo(7, L" alice  bob "));
    CChat* chat = FindChat(7);
    EXPECT_EQ((std::vector<std::pair<std::wstring, CChatMember::eMemberStatus>>{
                  {L"alice", CChatMember::MEMBER_ACTIVE}, {L"bob", CChatMember::MEMBER_ACTIVE}}),
              Members(*chat));

    Deliver(Messages(7, 1, {Msg(3, L"bob", 1000, L"hi")}));
    m_lib.AddChatMembers(chat->GetHandle(), {L"Carol"});
    Deliver(ChatInfo(7, L"alice"));
    // Bob left but stays for his old messages; carol waits for the server to name her.
    EXPECT_EQ((std::vector<std::pair<std::wstring, CChatMember::eMemberStatus>>{
                  {L"alice", CChatMember::MEMBER_ACTIVE},
                  {L"bob", CChatMember::MEMBER_LEFT},
                  {L"carol", CChatMember::MEMBER_PENDING_ADD}}),
              Members(*chat));

    Deliver(ChatInfo(7, L"alice bob carol"));
    EXPECT_EQ((std::vector<std::pair<std::wstring, CChatMember::eMemberStatus>>{
                  {L"alice", CChatMember::MEMBER_ACTIVE},
                  {L"bob", CChatMember::MEMBER_ACTIVE},
                  {L"carol", CChatMember::MEMBER_ACTIVE}}),
              Members(*chat));
}

TEST_F(CChatListTest, MalformedOrUnknownChatPacketsAreDropped)
{
    CTestPacket oddRecords = CTestPacket::Record();
    oddRecords.Int(KEY_CHATRECORD, 3).Sub(KEY_CHATRECORD, CTestPacket::Record().Str(KEY_CHAT_FRIENDLYNAME, L"x"));
    Deliver(CTestPacket(CHUNK_RECENTCHATS).Sub(KEY_CHATRECORDS, oddRecords));
    Deliver(CTestPacket(CHUNK_RECENTCHATS).Int(KEY_CHATRECORDS, 1));
    Deliver(ChatInfo(99, L"alice"));
    Deliver(CTestPacket(CHUNK_CHATINFO).Str(KEY_MEMBERS, L"alice"));
    Deliver(Messages(99, 5, {Msg(3, L"bob", 100, L"hi")}));
    Deliver(CTestPacket(CHUNK_CREATEDCHAT).Int(KEY_CLIENTCHATID, 1));
    Deliver(CTestPacket(CHUNK_MARKEDCHATSREAD));
    EXPECT_TRUE(m_listener.m_events.empty());
    EXPECT_TRUE(m_chatEvents.m_events.empty());
    EXPECT_EQ(nullptr, FindChat(99));
}

TEST_F(CChatListTest, ChatPacketsWhileSignedOutAreDropped)
{
    m_lib.Logout();
    Deliver(CTestPacket(CHUNK_LOGGEDOUT).Int(KEY_LOGOUTREASON, 1));
    ASSERT_FALSE(m_lib.IsLoggedIn());
    m_listener.Clear();
    Deliver(ChatList({ChatRecord(7, 1)}));
    EXPECT_EQ(nullptr, FindChat(7));
    EXPECT_TRUE(m_listener.m_events.empty());
}
