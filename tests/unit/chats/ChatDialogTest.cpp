#include "ChatTestFixture.h"

#include "support/LogCapture.h"

#include <algorithm>

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

class CChatDialogTest : public CChatFixture {
protected:
    static bool IsMemberOf(const CChat& chat, const CChatMember* member)
    {
        const auto& members = chat.GetMemberList();
        return std::any_of(members.begin(), members.end(), [&](const auto& m) { return m.get() == member; });
    }
};

}  // namespace

TEST_F(CChatDialogTest, CreatingADialogTwiceGivesTheSameLocalChat)
{
    CChat* chat = m_lib.CreateOrOpenChat(L"Bob");
    ASSERT_NE(nullptr, chat);
    EXPECT_FALSE(chat->HasChatId());
    EXPECT_EQ(L"bob", chat->GetFriendlyName());
    EXPECT_EQ((std::vector<std::string>{"OnEventAdded(bob)"}), m_listener.m_events);
    EXPECT_EQ(CChatMember::MEMBER_ACTIVE, chat->GetFirstMember()->GetStatus());
    EXPECT_EQ(L"alice", chat->GetFirstMember()->GetVexlaName());
    EXPECT_EQ(CChatMember::MEMBER_PENDING_CREATE, chat->GetSecondMember()->GetStatus());

    const size_t sentBefore = m_net->m_sent.size();
    EXPECT_EQ(chat, m_lib.CreateOrOpenChat(L"bob"));
    EXPECT_EQ(2, chat->GetMemberCnt());
    EXPECT_EQ(1u, m_lib.GetModel().GetEventList()->GetCount());
    // The server learns of the chat with its first message only.
    EXPECT_EQ(sentBefore, m_net->m_sent.size());
    EXPECT_EQ(nullptr, m_lib.CreateOrOpenChat(L""));
    EXPECT_EQ(nullptr, m_lib.CreateOrOpenChat(L"Alice"));
}

TEST_F(CChatDialogTest, MessagesOfANewDialogWaitForTheServerAndGoOutInOrder)
{
    CChat* chat = m_lib.CreateOrOpenChat(L"bob");
    const int localId = chat->GetLocalId();
    m_lib.SendChatMsg(chat->GetHandle(), L"one");
    ASSERT_EQ(1u, SentCount(CHUNK_CREATECHATWITHUSER));
    const TPacketSPtr create = LastSentOf(CHUNK_CREATECHATWITHUSER);
    EXPECT_EQ(L"bob", StrOf(create, KEY_VEXLANAME));
    EXPECT_EQ(localId, IntOf(create, KEY_CLIENTCHATID));
    EXPECT_TRUE(HasAttr(create, KEY_CHATMSG_BODY));
    EXPECT_EQ(1, IntOf(create, KEY_AUTOSYNC));

    m_lib.SendChatMsg(chat->GetHandle(), L"two");
    m_lib.SendChatMsg(chat->GetHandle(), L"");
    EXPECT_EQ(1u, SentCount(CHUNK_CREATECHATWITHUSER));
    EXPECT_EQ(0u, SentCount(CHUNK_SENDCHATMESSAGE));
    EXPECT_EQ((std::vector<std::wstring>{L"one", L"two"}), Bodies(*chat));
    EXPECT_TRUE(chat->GetMsgList().at(1)->IsUnsent());

    Deliver(Created(localId, 40));
    EXPECT_EQ(chat, FindChat(40));
    EXPECT_FALSE(chat->HasPendingCreate());
    EXPECT_EQ(40, IntOf(LastSentOf(CHUNK_GETCHATINFO), KEY_CHAT));
    EXPECT_EQ(0u, SentCount(CHUNK_SENDCHATMESSAGE));

    Deliver(ChatInfo(40, L"alice bob"));
    const std::vector<TPacketSPtr> sent = m_net->SentOfChunk(CHUNK_SENDCHATMESSAGE);
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ(L"one", StrOf(sent[0], KEY_CHATMSG_BODY));
    EXPECT_EQ(L"two", StrOf(sent[1], KEY_CHATMSG_BODY));
    EXPECT_LT(IntOf(sent[0], KEY_REQUEST_ID), IntOf(sent[1], KEY_REQUEST_ID));
    for (const auto& msg : chat->GetMsgList())
        EXPECT_FALSE(msg->IsUnsent());
    EXPECT_EQ(CChatMember::MEMBER_ACTIVE, chat->GetSecondMember()->GetStatus());

    // From now on a message goes out at once.
    m_lib.SendChatMsg(chat->GetHandle(), L"three");
    EXPECT_EQ(3u, SentCount(CHUNK_SENDCHATMESSAGE));
}

TEST_F(CChatDialogTest, ServerCopyListedBeforeTheCreationAnswerIsMergedIntoTheLocalChat)
{
    CChat* chat = m_lib.CreateOrOpenChat(L"bob");
    const int localId = chat->GetLocalId();
    m_lib.SendChatMsg(chat->GetHandle(), L"one");

    // The server lists the new chat and its first batch before it answers the creation.
    Deliver(ChatList({ChatRecord(40, 1)}));
    Deliver(Messages(40, 3, {Msg(3, L"bob", 2000, L"hi alice").Str(KEY_FULLNAME, L"Bob B")}));
    m_listener.Clear();
    CLogCapture::Get().Clear();

    Deliver(Created(localId, 40));
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Chats has been merged"));
    EXPECT_EQ(chat, FindChat(40));
    EXPECT_EQ(1u, m_lib.GetModel().GetEventList()->GetCount());
    // The absorbed copy is reported gone; the local chat lives on.
    EXPECT_EQ(1u, m_listener.CountNamed("OnEventDeleted"));
    EXPECT_EQ((std::vector<std::wstring>{L"one", L"hi alice"}), Bodies(*chat));
    for (const auto& msg : chat->GetMsgList())
        EXPECT_TRUE(IsMemberOf(*chat, msg->GetMember()));
    EXPECT_EQ(L"Bob B", chat->GetMsgList().at(1)->GetMember()->GetDisplayString());
    EXPECT_EQ(3, chat->GetMsgBookmark());

    // The batch the copy already had does not come in twice.
    Deliver(Messages(40, 3, {Msg(3, L"bob", 2000, L"hi alice")}));
    EXPECT_EQ(2u, chat->GetMsgList().size());
    Deliver(ChatInfo(40, L"alice bob"));
    EXPECT_EQ(1u, SentCount(CHUNK_SENDCHATMESSAGE));
}

TEST_F(CChatDialogTest, CreationAnswerWithoutALocalChatAddsTheServerChatOnce)
{
    Deliver(Created(555, 40));
    CChat* chat = FindChat(40);
    ASSERT_NE(nullptr, chat);
    Deliver(Created(556, 40));
    EXPECT_EQ(1u, m_lib.GetModel().GetEventList()->GetCount());
    EXPECT_EQ(chat, m_lib.GetModel().GetChat(chat->GetHandle()));
}

TEST_F(CChatDialogTest, MembersAndTopicGivenBeforeCreationFollowTheChat)
{
    CChat* chat = m_lib.CreateOrOpenChat(L"bob");
    const int localId = chat->GetLocalId();
    m_listener.Clear();
    ASSERT_TRUE(m_lib.AddChatMembers(chat->GetHandle(), {L"carol", L"Dave"}));
    ASSERT_TRUE(m_lib.SetChatTopic(chat->GetHandle(), L"Weekend"));
    EXPECT_EQ(0u, SentCount(CHUNK_ADDCHATMEMBERS));
    EXPECT_EQ(0u, SentCount(CHUNK_SETCHATTOPIC));
    EXPECT_EQ(1u, m_listener.CountNamed("OnEventUpdated"));

    m_lib.SendChatMsg(chat->GetHandle(), L"hi");
    Deliver(Created(localId, 40));
    ASSERT_EQ(1u, SentCount(CHUNK_ADDCHATMEMBERS));
    EXPECT_EQ(L"carol dave", StrOf(LastSentOf(CHUNK_ADDCHATMEMBERS), KEY_MEMBERS));
    EXPECT_EQ(0u, SentCount(CHUNK_SETCHATTOPIC));

    Deliver(ChatInfo(40, L"alice bob carol dave"));
    ASSERT_EQ(1u, SentCount(CHUNK_SETCHATTOPIC));
    EXPECT_EQ(L"Weekend", StrOf(LastSentOf(CHUNK_SETCHATTOPIC), KEY_TOPIC));
    EXPECT_EQ(L"Weekend", chat->GetTopic());
    EXPECT_TRUE(chat->GetLocalTopic().empty());
    EXPECT_EQ(4, chat->GetMemberCnt());
}
