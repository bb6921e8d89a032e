#include "Model/Model.h"
#include "Utils/Utils.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace VexlaLib;

namespace {

class EventListTest : public ::testing::Test
{
protected:
    CChat* Chat(int chatId)
    {
        CChat* chat = m_list.CreateChat(m_model.GetNewObjectHandle(), chatId);
        m_model.AddObject(chat);
        return chat;
    }

    CChat* Dialog(int chatId, const std::wstring& a, const std::wstring& b)
    {
        CChat* chat = Chat(chatId);
        chat->FindOrCreateMember(CChatMember::MEMBER_ACTIVE, a);
        chat->FindOrCreateMember(CChatMember::MEMBER_ACTIVE, b);
        return chat;
    }

    CModel m_model;
    CEventList m_list;
};

TEST_F(EventListTest, ChatsAreFoundByServerIdOrLocalIdButNotAcross)
{
    CChat* server = Chat(5);
    CChat* local = m_list.CreateLocalChat(m_model.GetNewObjectHandle());
    CChat* otherLocal = m_list.CreateLocalChat(m_model.GetNewObjectHandle());
    EXPECT_TRUE(server->HasChatId());
    EXPECT_FALSE(local->HasChatId());
    EXPECT_EQ(local->GetLocalId() + 1, otherLocal->GetLocalId());

    EXPECT_EQ(server, m_list.FindChat(5));
    EXPECT_EQ(local, m_list.FindLocalChat(local->GetLocalId()));
    EXPECT_EQ(nullptr, m_list.FindChat(-1)) << "a local chat's placeholder id is not a chat id";
    EXPECT_EQ(nullptr, m_list.FindLocalChat(-1)) << "a server chat has no local id";

    const int localId = local->GetLocalId();
    local->SetChatId(9);
    EXPECT_EQ(local, m_list.FindChat(9));
    EXPECT_EQ(nullptr, m_list.FindLocalChat(localId));
}

TEST_F(EventListTest, DialogLookupNeedsATwoMemberDialogWithBothNames)
{
    Dialog(1, L"me", L"carol");
    CChat* bob = Dialog(2, L"bob", L"me");
    CChat* group = Dialog(3, L"me", L"dave");
    group->FindOrCreateMember(CChatMember::MEMBER_ACTIVE, L"erin");
    CChat* notDialog = Dialog(4, L"me", L"frank");
    notDialog->SetChatType(4);

    EXPECT_EQ(bob, m_list.FindChatDialogWith(L"me", L"bob"));
    EXPECT_EQ(bob, m_list.FindChatDialogWith(L"bob", L"me"));
    EXPECT_EQ(nullptr, m_list.FindChatDialogWith(L"me", L"dave"));
    EXPECT_EQ(nullptr, m_list.FindChatDialogWith(L"me", L"frank"));
    EXPECT_EQ(nullptr, m_list.FindChatDialogWith(L"me", L"me"));
}

TEST_F(EventListTest, VoicemailsAndRequestsAreFoundByIndexAndName)
{
    CVoicemail* voicemail = m_list.CreateVoicemail(m_model.GetNewObjectHandle(), 4);
    CAuthRequest* request = m_list.CreateAuthRequest(m_model.GetNewObjectHandle(), L"eve");
    Chat(4);
    EXPECT_EQ(voicemail, m_list.FindVoicemail(4));
    EXPECT_EQ(nullptr, m_list.FindVoicemail(5));
    EXPECT_EQ(request, m_list.FindAuthRequest(L"eve"));
    EXPECT_EQ(nullptr, m_list.FindAuthRequest(L"Eve"));
    EXPECT_EQ(voicemail, m_list.GetFirstEvent(CObjectBase::OBJECT_VOICEMAIL));
    EXPECT_EQ(nullptr, m_list.GetFirstEvent(CObjectBase::OBJECT_CONTACT));

    EXPECT_EQ(L"eve", request->GetDisplayString());
    request->SetFullName(L"Eve Adams");
    EXPECT_EQ(L"Eve Adams", request->GetDisplayString());
    voicemail->SetVexlaName(L"bob");
    EXPECT_EQ(L"bob", voicemail->GetDisplayString());
}

TEST_F(EventListTest, SortedListIsNewestFirstWithUntimedEventsLast)
{
    CChat* old = Chat(1);
    CChat* untimed = Chat(2);
    CVoicemail* newest = m_list.CreateVoicemail(m_model.GetNewObjectHandle(), 1);
    CAuthRequest* middle = m_list.CreateAuthRequest(m_model.GetNewObjectHandle(), L"eve");
    old->SetEventServerTimestamp(100);
    newest->SetEventServerTimestamp(300);
    middle->SetEventServerTimestamp(200);

    std::vector<CEventBase*> order;
    for (const auto& event : m_list.GetList(true))
        order.push_back(event.get());
    EXPECT_EQ((std::vector<CEventBase*>{newest, middle, old, untimed}), order);

    old->SetEventServerTimestamp(400);
    EXPECT_EQ(newest, m_list.GetList(true)[0].get()) << "not re-sorted until invalidated";
    m_list.InvalidateSorting();
    EXPECT_EQ(old, m_list.GetList(true)[0].get());

    CChat* fresh = Chat(3);
    EXPECT_EQ(fresh, m_list.GetList(false).back().get());
    EXPECT_EQ(fresh, m_list.GetList(true).back().get()) << "a new event without server time sorts last";
}

TEST_F(EventListTest, NewEventsTakeTheLocalClockAndNoServerTime)
{
    CUtils::SetClockSource([]() -> long long { return 1700000000500LL; });
    CChat* chat = m_list.CreateLocalChat(m_model.GetNewObjectHandle());
    CVoicemail* voicemail = m_list.CreateVoicemail(m_model.GetNewObjectHandle(), 1);
    CUtils::SetClockSource(nullptr);
    EXPECT_EQ(1700000000, chat->GetEventLocalTimestamp());
    EXPECT_EQ(1700000000, chat->GetCreateTimestamp());
    EXPECT_EQ(1700000000, voicemail->GetEventLocalTimestamp());
    EXPECT_EQ(0, chat->GetEventServerTimestamp());
    EXPECT_FALSE(voicemail->SetEventLocalTimestamp(1700000000));
    EXPECT_TRUE(voicemail->SetEventLocalTimestamp(1700000001));
}

TEST_F(EventListTest, UnreadCountsAndMissedCounts)
{
    CChat* chat = Chat(1);
    EXPECT_FALSE(chat->IsMissed());
    EXPECT_TRUE(chat->SetUnreadMsgCnt(5, true));
    EXPECT_FALSE(chat->SetUnreadMsgCnt(2, true));
    EXPECT_EQ(5, chat->GetUnreadMsgCnt());
    EXPECT_FALSE(chat->SetUnreadMsgCnt(5, false));
    EXPECT_TRUE(chat->SetUnreadMsgCnt(2, false));
    EXPECT_EQ(2, chat->GetUnreadMsgCnt());
    EXPECT_TRUE(chat->IsMissed());

    Chat(2);
    CVoicemail* voicemail = m_list.CreateVoicemail(m_model.GetNewObjectHandle(), 1);
    m_list.CreateVoicemail(m_model.GetNewObjectHandle(), 2);
    m_list.CreateAuthRequest(m_model.GetNewObjectHandle(), L"eve");
    int requests = -1, voicemails = -1, chats = -1;
    m_list.CountMissedEvents(&requests, &voicemails, &chats);
    EXPECT_EQ(1, requests);
    EXPECT_EQ(2, voicemails) << "voicemails are unheard from creation";
    EXPECT_EQ(1, chats);

    EXPECT_TRUE(voicemail->SetMissed(false));
    EXPECT_FALSE(voicemail->SetMissed(false));
    EXPECT_TRUE(m_list.MarkAllChatsAsRead());
    EXPECT_FALSE(m_list.MarkAllChatsAsRead());
    EXPECT_TRUE(m_list.MarkAllVoicemailsAsRead());
    EXPECT_FALSE(m_list.MarkAllVoicemailsAsRead());
    m_list.CountMissedEvents(nullptr, &voicemails, nullptr);
    EXPECT_EQ(0, voicemails);
    m_list.CountMissedEvents(&requests, nullptr, &chats);
    EXPECT_EQ(1, requests) << "a request stays missed until answered";
    EXPECT_EQ(0, chats);
}

TEST_F(EventListTest, DeleteEventDestroysOnlyItsOwnEntries)
{
    CChat* chat = Chat(1);
    CVoicemail* voicemail = m_list.CreateVoicemail(m_model.GetNewObjectHandle(), 1);
    CEventList other;
    CChat* foreign = other.CreateChat(m_model.GetNewObjectHandle(), 1);

    m_list.DeleteEvent(foreign);
    m_list.DeleteEvent(nullptr);
    EXPECT_EQ(2u, m_list.GetCount());
    EXPECT_EQ(1, foreign->GetChatId()) << "still alive";

    m_list.DeleteEvent(chat);
    ASSERT_EQ(1u, m_list.GetCount());
    EXPECT_EQ(voicemail, m_list.GetList(false)[0].get());
    EXPECT_EQ(nullptr, m_list.FindChat(1));
}

TEST(ChatTest, MembersLeaveAndComeBackAsTheSameEntry)
{
    CChat chat(1, 10);
    CChatMember* bob = chat.FindOrCreateMember(CChatMember::MEMBER_ACTIVE, L"bob");
    chat.FindOrCreateMember(CChatMember::MEMBER_PENDING_ADD, L"carol");
    EXPECT_EQ(bob, chat.FindOrCreateMember(CChatMember::MEMBER_PENDING_ADD, L"bob"));
    EXPECT_EQ(CChatMember::MEMBER_ACTIVE, bob->GetStatus()) << "a present member keeps its status";

    EXPECT_TRUE(bob->SetStatus(CChatMember::MEMBER_LEFT));
    EXPECT_FALSE(chat.IsMember(L"bob", false));
    EXPECT_TRUE(chat.IsMember(L"bob", true));
    EXPECT_EQ(nullptr, chat.FindMember(L"bob", false));
    EXPECT_EQ(nullptr, chat.FindMember(CChatMember::MEMBER_ACTIVE));

    EXPECT_EQ(bob, chat.FindOrCreateMember(CChatMember::MEMBER_ACTIVE, L"bob"));
    EXPECT_EQ(CChatMember::MEMBER_ACTIVE, bob->GetStatus());
    EXPECT_EQ(2, chat.GetMemberCnt());
    EXPECT_EQ(bob, chat.FindMember(CChatMember::MEMBER_ACTIVE));
    EXPECT_EQ(L"carol", chat.FindMember(CChatMember::MEMBER_PENDING_ADD)->GetVexlaName());
    EXPECT_EQ(bob, chat.GetFirstMember());
    EXPECT_EQ(nullptr, CChat(2, 11).GetSecondMember());
}

TEST(ChatTest, ChatNamesListThePeopleStillPresent)
{
    CChat chat(1, 10);
    chat.FindOrCreateMember(CChatMember::MEMBER_ACTIVE, L"me");
    CChatMember* bob = chat.FindOrCreateMember(CChatMember::MEMBER_ACTIVE, L"bob");
    EXPECT_EQ(L"bob", chat.BuildChatName(L"me"));
    bob->SetFullName(L"Bob Smith");
    EXPECT_EQ(L"Bob Smith", chat.BuildChatName(L"me"));

    chat.FindOrCreateMember(CChatMember::MEMBER_PENDING_ADD, L"carol");
    chat.FindOrCreateMember(CChatMember::MEMBER_ACTIVE, L"dave")->SetStatus(CChatMember::MEMBER_LEFT);
    EXPECT_EQ(L"Bob Smith, carol", chat.BuildChatName(L"me"));
    EXPECT_EQ(L"me, Bob Smith, carol", chat.BuildChatName(L""));
    EXPECT_EQ(L"", CChat(2, 11).BuildChatName(L"me"));
}

TEST(ChatTest, DisplayStringPrefersTheTopic)
{
    CChat chat(1, 10);
    chat.SetFriendlyName(L"bob");
    EXPECT_EQ(L"bob", chat.GetDisplayString());
    EXPECT_TRUE(chat.SetTopic(L"Plans"));
    EXPECT_FALSE(chat.SetTopic(L"Plans"));
    EXPECT_EQ(L"Plans", chat.GetDisplayString());
    EXPECT_TRUE(chat.IsDialogType());
}

TEST(ChatTest, MessagesKeepArrivalOrderAndRequestIdZeroMatchesNothing)
{
    CChat chat(1, 10);
    CChatMember* bob = chat.FindOrCreateMember(CChatMember::MEMBER_ACTIVE, L"bob");
    CChatMsg* later = chat.CreateMsg(3, 2, 200, bob);
    CChatMsg* earlier = chat.CreateMsg(3, 2, 100, bob);
    CChatMsg* sent = chat.CreateMsg(CChatMsg::TYPE_TEXT, CChatMsg::STATUS_SENDING, 300, bob);
    sent->SetRequestId(7);
    ASSERT_EQ(3u, chat.GetMsgList().size());
    EXPECT_EQ(later, chat.GetMsgList()[0].get());
    EXPECT_EQ(earlier, chat.GetMsgList()[1].get());

    EXPECT_EQ(sent, chat.FindMsgWithRequestId(7));
    EXPECT_EQ(nullptr, chat.FindMsgWithRequestId(8));
    EXPECT_EQ(nullptr, chat.FindMsgWithRequestId(0));

    EXPECT_FALSE(sent->IsOwnMsg());
    sent->MarkAsOwnMsg();
    sent->MarkAsUnsent(true);
    EXPECT_TRUE(sent->IsOwnMsg());
    EXPECT_TRUE(sent->IsUnsent());
    EXPECT_TRUE(sent->SetServerTimestamp(299));
    EXPECT_FALSE(sent->SetServerTimestamp(299));
    EXPECT_TRUE(sent->SetStatus(2));
}

TEST(ChatTest, MergedMessagesFollowAndTheirAuthorsSurviveTheOtherChat)
{
    CEventList list;
    CChat* local = list.CreateLocalChat(1);
    local->FindOrCreateMember(CChatMember::MEMBER_ACTIVE, L"me");
    local->FindOrCreateMember(CChatMember::MEMBER_PENDING_CREATE, L"bob");
    local->CreateMsg(3, 1, 100, local->GetFirstMember())->SetMsgBody(L"hi");

    CChat* copy = list.CreateChat(2, 55);
    CChatMember* bob = copy->FindOrCreateMember(CChatMember::MEMBER_ACTIVE, L"bob");
    bob->SetFullName(L"Bob B");
    CChatMember* carol = copy->FindOrCreateMember(CChatMember::MEMBER_ACTIVE, L"carol");
    carol->SetFullName(L"Carol C");
    copy->CreateMsg(3, 2, 110, bob)->SetMsgBody(L"hello");
    copy->CreateMsg(3, 2, 120, carol)->SetMsgBody(L"hey");

    local->MergeChat(copy);
    EXPECT_TRUE(copy->GetMsgList().empty());
    list.DeleteEvent(copy);
    local->SetChatId(55);

    const CChat::TMsgList& msgs = local->GetMsgList();
    ASSERT_EQ(3u, msgs.size());
    EXPECT_EQ(L"hi", msgs[0]->GetMsgBody());
    EXPECT_EQ(L"hello", msgs[1]->GetMsgBody());
    EXPECT_EQ(L"hey", msgs[2]->GetMsgBody());
    // The authors are members of this chat now; reading them is safe after the copy is gone.
    EXPECT_EQ(local->FindMember(L"bob", true), msgs[1]->GetMember());
    EXPECT_EQ(CChatMember::MEMBER_PENDING_CREATE, msgs[1]->GetMember()->GetStatus());
    EXPECT_EQ(L"Bob B", msgs[1]->GetMember()->GetFullName());
    EXPECT_EQ(L"Carol C", msgs[2]->GetMember()->GetDisplayString());
    EXPECT_EQ(3, local->GetMemberCnt());
}

}  // namespace
