// The message side of the messaging transport against a recording bus: chat messages written once,
// group chat records, the outbox, the commands, voicemails and authorisation requests.

#include <gtest/gtest.h>

#include <deque>
#include <memory>
#include <string>

#include "Model/AuthRequest.h"
#include "Model/Chat.h"
#include "Model/Voicemail.h"
#include "Tesk/App/Meridex/IIMChatBus.h"
#include "Tesk/App/Meridex/IMChatTransport.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/JSONObject.h"
#include "Utils/Utils.h"
#include "support/LibraryFixture.h"

using VexlaLib::CChat;
using VexlaLib::CChatMember;

namespace {

const long long START = 1700000000;

struct CRecordedCall {
    std::wstring uri;
    std::string payload;
    TBusReplyHandler handler;
    bool stream = false;

    bool Contains(const char* text) const { return payload.find(text) != std::string::npos; }
    void Answer(const std::string& reply) const
    {
        if (handler)
            handler(CBusReply(1, ":1.1", reply, false));
    }
};

class CRecordingBus : public IIMChatBus {
public:
    void Call(const CPlatformRequest& request, TBusReplyHandler handler) override { Record(request, handler, false); }
    void Stream(const CPlatformRequest& request, TBusReplyHandler handler) override { Record(request, handler, true); }
    void EndStream(const CBusReply& reply) override { ended.push_back(reply.Payload()); }
    void AddIncomingMessage(const std::wstring& userName, const std::wstring& text, long long timestampMs,
                            const std::wstring& from, const std::wstring& recipient) override
    {
        messages.push_back(userName + L"|" + text + L"|" + std::to_wstring(timestampMs) + L"|" + from + L"|" +
                           recipient);
    }

    // The oldest call not yet taken; fails the test when there is none or its URI differs.
    CRecordedCall Next(const wchar_t* uri)
    {
        EXPECT_FALSE(calls.empty()) << "no call to " << VexlaLib::CUtils::ConvertWideToChar(uri);
        if (calls.empty())
            return CRecordedCall();
        CRecordedCall call = calls.front();
        calls.pop_front();
        EXPECT_EQ(call.uri, uri) << call.payload;
        return call;
    }

    std::deque<CRecordedCall> calls;
    std::vector<std::wstring> messages;
    std::vector<std::string> ended;

private:
    void Record(const CPlatformRequest& request, TBusReplyHandler handler, bool stream)
    {
        std::string payload;
        request.payload.ToString(&payload);
        calls.push_back({request.uri, payload, std::move(handler), stream});
    }
};

const wchar_t PUT[] = L"nylo://com.nylo.db/put";
const wchar_t FIND[] = L"nylo://com.nylo.db/find";
const wchar_t GET[] = L"nylo://com.nylo.db/get";
const wchar_t MERGE[] = L"nylo://com.nylo.db/merge";
const wchar_t DEL[] = L"nylo://com.nylo.db/del";
const wchar_t CREATE[] = L"nylo://com.nylo.activitymanager/create";
const wchar_t COMPLETE[] = L"nylo://com.nylo.activitymanager/complete";

class IMChatTransportTest : public VexlaTest::CLibraryFixture {
protected:
    void SetUp() override
    {
        CLibraryFixture::SetUp();
        NewTransport();
    }
    void NewTransport()
    {
        m_transport.reset();
        m_transport.reset(new CIMChatTransport(&m_lib, &m_storage, &m_bus, START));
        m_transport->SetUserName(L"me");
    }
    // A chat of the user with `others`.
    std::unique_ptr<CChat> Chat(const std::wstring& uniqueName, std::initializer_list<const wchar_t*> others)
    {
        std::unique_ptr<CChat> chat(new CChat(++m_handles));
        chat->SetUniqueName(uniqueName);
        chat->FindOrCreateMember(CChatMember::MEMBER_ACTIVE, L"me");
        for (const wchar_t* other : others)
            chat->FindOrCreateMember(CChatMember::MEMBER_ACTIVE, other);
        return chat;
    }
    static void Say(CChat& chat, const std::wstring& author, const std::wstring& body, long long serverTime,
                    int type = 3)
    {
        VexlaLib::CChatMsg* message = chat.CreateMsg(type, 0, static_cast<int>(serverTime + 1),
                                                     chat.FindMember(author, true));
        message->SetServerTimestamp(static_cast<int>(serverTime));
        message->SetMsgBody(body);
    }
    void AdvanceSeconds(int seconds)
    {
        for (int i = 0; i < seconds; ++i)
            Advance(1000);
    }

    CRecordingBus m_bus;
    std::unique_ptr<CIMChatTransport> m_transport;
    int m_handles = 100;
};

}  // namespace

TEST_F(IMChatTransportTest, MessagesAreWrittenOnceAcrossRestartsAndOldOnesAreSkipped)
{
    auto chat = Chat(L"#bob/$me;1", {L"bob"});
    Say(*chat, L"bob", L"before start", START - 10);
    Say(*chat, L"bob", L"hello", START + 1);
    Say(*chat, L"bob", L"waves", START + 2, 7);
    m_transport->OnChatMessagesAdded(*chat, 3);

    CRecordedCall hello = m_bus.Next(PUT);
    EXPECT_TRUE(hello.Contains("\"messageText\":\"hello\"")) << hello.payload;
    EXPECT_TRUE(hello.Contains("\"from\":{\"addr\":\"bob\"}")) << hello.payload;
    EXPECT_TRUE(hello.Contains("\"to\":[{\"addr\":\"me\"}]")) << hello.payload;
    EXPECT_TRUE(hello.Contains("\"folder\":\"inbox\"")) << hello.payload;
    // An emote is prefixed with the author's display string.
    EXPECT_TRUE(m_bus.Next(PUT).Contains("\"messageText\":\"bob waves\""));
    EXPECT_TRUE(m_bus.calls.empty());

    // After a restart the library lists the chat again with one message more: only that one is new.
    NewTransport();
    Say(*chat, L"bob", L"after restart", START + 100);
    m_transport->OnChatMessagesAdded(*chat, 1);
    EXPECT_TRUE(m_bus.Next(PUT).Contains("\"messageText\":\"after restart\""));
    EXPECT_TRUE(m_bus.calls.empty());
    m_transport->OnChatMessagesAdded(*chat, 0);
    EXPECT_TRUE(m_bus.calls.empty());
}

TEST_F(IMChatTransportTest, OwnMessagesWithoutServerTimeAndOtherTypesAreNotWritten)
{
    auto chat = Chat(L"#bob/$me;2", {L"bob"});
    Say(*chat, L"bob", L"no time", 0);
    Say(*chat, L"bob", L"bob,carol", START + 1, 1);
    Say(*chat, L"bob", L"<font>x</font>sane", START + 2);
    Say(*chat, L"me", L"from my other phone", START + 3);
    m_transport->OnChatMessagesAdded(*chat, 4);
    EXPECT_TRUE(m_bus.Next(PUT).Contains("\"messageText\":\"xsane\""));
    CRecordedCall mine = m_bus.Next(PUT);
    EXPECT_TRUE(mine.Contains("\"folder\":\"outbox\"")) << mine.payload;
    EXPECT_TRUE(mine.Contains("\"to\":[{\"addr\":\"bob\"}]")) << mine.payload;
    EXPECT_TRUE(m_bus.calls.empty());
}

TEST_F(IMChatTransportTest, AGroupChatGetsARecordThenItsMessagesLeavesAndTopics)
{
    auto chat = Chat(L"#group;9", {L"bob", L"carol"});
    m_transport->OnEventAdded(chat.get());  // its handle becomes known by unique name
    Say(*chat, L"bob", L"hi all", START + 1);
    m_transport->OnChatMessagesAdded(*chat, 1);
    EXPECT_TRUE(m_bus.calls.empty());  // queued until the next tick

    AdvanceSeconds(1);
    CRecordedCall find = m_bus.Next(FIND);
    EXPECT_TRUE(find.Contains("\"prop\":\"vexlaUniqueName\"")) << find.payload;
    find.Answer("{\"returnValue\":true,\"results\":[]}");
    CRecordedCall put = m_bus.Next(PUT);
    EXPECT_TRUE(put.Contains("\"_kind\":\"com.nylo.imgroupchat.vexla:1\"")) << put.payload;
    EXPECT_TRUE(put.Contains("{\"status\":\"accepted\",\"type\":\"type_vexla\",\"value\":\"carol\"}")) << put.payload;
    EXPECT_FALSE(put.Contains("\"value\":\"me\"")) << put.payload;
    put.Answer("{\"returnValue\":true,\"results\":[{\"id\":\"g1\",\"rev\":1}]}");

    AdvanceSeconds(CIMChatTransport::NEW_RECORD_DELAY_S - 1);
    EXPECT_TRUE(m_bus.calls.empty());
    AdvanceSeconds(1);
    CRecordedCall message = m_bus.Next(PUT);
    EXPECT_TRUE(message.Contains("\"groupChatName\":\"#group;9\"")) << message.payload;
    EXPECT_TRUE(message.Contains("\"messageText\":\"hi all\"")) << message.payload;

    // Carol leaves: the record is now known by its handle.
    Say(*chat, L"carol", L"", START + 2, 4);
    m_transport->OnChatMessagesAdded(*chat, 1);
    AdvanceSeconds(1);
    CRecordedCall byHandle = m_bus.Next(FIND);
    EXPECT_TRUE(byHandle.Contains("\"prop\":\"chatHandle\"")) << byHandle.payload;
    const char* record = "{\"returnValue\":true,\"results\":[{\"_id\":\"g1\",\"groupName\":\"#group;9\",\"members\":["
                         "{\"status\":\"accepted\",\"type\":\"type_vexla\",\"value\":\"bob\"},"
                         "{\"status\":\"accepted\",\"type\":\"type_vexla\",\"value\":\"carol\"}]}]}";
    byHandle.Answer(record);
    EXPECT_TRUE(m_bus.Next(MERGE).Contains("\"locked\":false"));
    m_bus.Next(GET).Answer(record);
    CRecordedCall members = m_bus.Next(MERGE);
    EXPECT_FALSE(members.Contains("carol")) << members.payload;
    EXPECT_TRUE(members.Contains("bob")) << members.payload;
    CRecordedCall left = m_bus.Next(PUT);
    EXPECT_TRUE(left.Contains("\"messageText\":\"carol left the chat.\"")) << left.payload;
    EXPECT_TRUE(left.Contains("\"folder\":\"system\"")) << left.payload;

    // Bob sets the topic.
    chat->SetTopic(L"plans");
    Say(*chat, L"bob", L"plans", START + 3, 5);
    m_transport->OnChatMessagesAdded(*chat, 1);
    AdvanceSeconds(1);
    m_bus.Next(FIND).Answer(record);
    m_bus.Next(MERGE);
    EXPECT_TRUE(m_bus.Next(MERGE).Contains("\"displayName\":\"plans\""));
    EXPECT_TRUE(m_bus.Next(PUT).Contains("bob set the topic to \\\"plans\\\"."));
    EXPECT_TRUE(m_bus.calls.empty());
}

TEST_F(IMChatTransportTest, AMemberListTurningADialogIntoAGroupAddsTheNewMembersInOneMerge)
{
    // The chat's new members arrive with its details, after the member list: the dialog still has two.
    auto chat = Chat(L"#bob/$me;3", {L"bob"});
    m_transport->OnEventAdded(chat.get());
    Say(*chat, L"bob", L"hi", START + 1);
    Say(*chat, L"bob", L"bob me carol  dan carol", START + 2, 1);
    m_transport->OnChatMessagesAdded(*chat, 2);
    EXPECT_TRUE(m_bus.Next(PUT).Contains("\"messageText\":\"hi\""));

    AdvanceSeconds(1);
    m_bus.Next(FIND).Answer("{\"returnValue\":true,\"results\":[]}");
    CRecordedCall put = m_bus.Next(PUT);
    EXPECT_TRUE(put.Contains("\"members\":[{\"status\":\"accepted\",\"type\":\"type_vexla\",\"value\":\"bob\"}]"))
        << put.payload;
    put.Answer("{\"returnValue\":true,\"results\":[{\"id\":\"g3\",\"rev\":1}]}");
    AdvanceSeconds(CIMChatTransport::NEW_RECORD_DELAY_S);
    m_bus.Next(GET).Answer("{\"returnValue\":true,\"results\":[{\"_id\":\"g3\",\"members\":["
                           "{\"status\":\"accepted\",\"type\":\"type_vexla\",\"value\":\"bob\"}]}]}");
    CRecordedCall members = m_bus.Next(MERGE);
    EXPECT_TRUE(members.Contains("\"value\":\"bob\"},{\"status\":\"accepted\",\"type\":\"type_vexla\",\"value\":"
                                 "\"carol\"},{\"status\":\"accepted\",\"type\":\"type_vexla\",\"value\":\"dan\"}]"))
        << members.payload;
    CRecordedCall carol = m_bus.Next(PUT);
    EXPECT_TRUE(carol.Contains("\"messageText\":\"bob added carol to the chat.\"")) << carol.payload;
    EXPECT_TRUE(carol.Contains("\"folder\":\"system\"")) << carol.payload;
    EXPECT_TRUE(carol.Contains("\"groupChatName\":\"#bob/$me;3\"")) << carol.payload;
    EXPECT_TRUE(m_bus.Next(PUT).Contains("\"messageText\":\"bob added dan to the chat.\""));
    // Bob and the user were there already; a name listed twice is added once.
    EXPECT_TRUE(m_bus.calls.empty());
}

TEST_F(IMChatTransportTest, AMemberListThatBringsTheUserIntoAGroupAnnouncesTheUserWithoutListingThem)
{
    auto chat = Chat(L"#group;4", {L"bob", L"carol"});
    m_transport->OnEventAdded(chat.get());
    Say(*chat, L"bob", L"bob carol me", START + 1, 1);
    m_transport->OnChatMessagesAdded(*chat, 1);
    AdvanceSeconds(1);
    const char* record = "{\"returnValue\":true,\"results\":[{\"_id\":\"g4\",\"groupName\":\"trip\",\"members\":["
                         "{\"status\":\"accepted\",\"type\":\"type_vexla\",\"value\":\"bob\"},"
                         "{\"status\":\"accepted\",\"type\":\"type_vexla\",\"value\":\"carol\"}]}]}";
    m_bus.Next(FIND).Answer(record);
    m_bus.Next(MERGE).Answer("{\"returnValue\":true}");  // bound to the chat again: the queue goes on
    m_bus.Next(GET).Answer(record);
    EXPECT_FALSE(m_bus.Next(MERGE).Contains("\"me\"")) << "the record lists the other members only";
    EXPECT_TRUE(m_bus.Next(PUT).Contains("\"messageText\":\"bob added me to the chat.\""));

    // The next member list names the user again, who is in the conversation by now.
    Say(*chat, L"bob", L"bob carol me dan", START + 2, 1);
    m_transport->OnChatMessagesAdded(*chat, 1);
    AdvanceSeconds(1);
    m_bus.Next(FIND).Answer(record);
    m_bus.Next(MERGE);
    m_bus.Next(GET).Answer(record);
    EXPECT_TRUE(m_bus.Next(MERGE).Contains("\"value\":\"dan\""));
    EXPECT_TRUE(m_bus.Next(PUT).Contains("\"messageText\":\"bob added dan to the chat.\""));
    EXPECT_TRUE(m_bus.calls.empty());
}

TEST_F(IMChatTransportTest, AnOutgoingMessageThatCannotBeSentIsMarkedErrorAndTheWatchComesBack)
{
    m_transport->ProcessOutbox();
    m_bus.Next(FIND).Answer("{\"returnValue\":true,\"results\":[{\"_id\":\"m1\",\"messageText\":\"<b>hi</b>\","
                            "\"to\":[{\"addr\":\"nobody\"}]}]}");
    m_bus.Next(FIND).Answer("{\"returnValue\":true,\"results\":[]}");
    // Signed out, the library opens no chat for "nobody".
    CRecordedCall status = m_bus.Next(MERGE);
    EXPECT_TRUE(status.Contains("\"status\":\"error\"")) << status.payload;
    status.Answer("{\"returnValue\":true}");
    EXPECT_TRUE(m_bus.Next(CREATE).Contains("Vexla immessage"));
}

TEST_F(IMChatTransportTest, CommandsAreCarriedOutAndDeletedInOneRequest)
{
    m_transport->ProcessCommands();
    m_bus.Next(FIND).Answer(
        "{\"returnValue\":true,\"results\":["
        "{\"_id\":\"c1\",\"command\":\"sendBuddyInvite\",\"targetUsername\":\"dan\",\"params\":{\"message\":\"hi\"}},"
        "{\"_id\":\"c2\",\"command\":\"receivedBuddyInvite\",\"fromUsername\":\"eve\",\"params\":{\"accept\":false}},"
        "{\"_id\":\"c3\",\"command\":\"leaveGroupChat\",\"params\":{\"groupChatId\":\"g7\"}}]}");
    CRecordedCall get = m_bus.Next(GET);
    EXPECT_TRUE(get.Contains("g7")) << get.payload;
    CRecordedCall del = m_bus.Next(DEL);
    EXPECT_TRUE(del.Contains("[\"c1\",\"c2\",\"c3\"]")) << del.payload;
    EXPECT_TRUE(m_bus.Next(CREATE).Contains("Vexla imcommand"));
    EXPECT_TRUE(m_bus.calls.empty());
    get.Answer("{\"returnValue\":true,\"results\":[{\"_id\":\"g7\",\"chatHandle\":5,\"groupName\":\"g\"}]}");
    EXPECT_TRUE(m_bus.Next(MERGE).Contains("\"locked\":true"));
}

TEST_F(IMChatTransportTest, AVoicemailBecomesOneMessageWithItsLinkAndOneWithoutServerTimeIsSkipped)
{
    VexlaLib::CVoicemail voicemail(7, 1);
    voicemail.SetVexlaName(L"abc");
    voicemail.SetDuration(12);
    voicemail.SetEventServerTimestamp(1700000000);
    voicemail.SetEventLocalTimestamp(1700000005);
    m_transport->OnEventAdded(&voicemail);
    m_transport->OnEventAdded(&voicemail);
    ASSERT_EQ(m_bus.messages.size(), 1u);
    EXPECT_EQ(m_bus.messages[0], L"me|You have a <a href=\"vexlavm://170000000012193409669\">Vexla voicemail</a>, "
                                 L"click link to listen.|1700000005000|abc|me");

    VexlaLib::CVoicemail undated(8, 2);
    undated.SetVexlaName(L"abc");
    m_transport->OnEventAdded(&undated);
    EXPECT_EQ(m_bus.messages.size(), 1u);
}

TEST_F(IMChatTransportTest, AnAuthorisationRequestBecomesOneBuddyInviteUnderAPowerActivity)
{
    VexlaLib::CAuthRequest request(9, L"fred");
    request.SetAuthMsg(L"add <i>me</i><x>!</x>");
    m_transport->OnEventAdded(&request);
    m_bus.Next(FIND).Answer("{\"returnValue\":true,\"results\":[]}");
    CRecordedCall activity = m_bus.Next(CREATE);
    EXPECT_TRUE(activity.stream);
    EXPECT_TRUE(activity.Contains("Vexla auth power request")) << activity.payload;
    activity.Answer("{\"returnValue\":true,\"activityId\":3}");
    EXPECT_TRUE(m_bus.calls.empty());
    activity.Answer("{\"activityId\":3,\"event\":\"start\"}");
    activity.Answer("{\"activityId\":3,\"event\":\"start\"}");
    CRecordedCall invite = m_bus.Next(PUT);
    EXPECT_TRUE(invite.Contains("\"command\":\"receivedBuddyInvite\"")) << invite.payload;
    EXPECT_TRUE(invite.Contains("\"message\":\"add <i>me</i>!\"")) << invite.payload;
    EXPECT_TRUE(m_bus.calls.empty());
    invite.Answer("{\"returnValue\":true,\"results\":[{\"id\":\"i1\"}]}");
    m_bus.Next(COMPLETE);
    EXPECT_EQ(m_bus.ended.size(), 1u);

    // A second request from the same user finds the invite already there.
    m_transport->OnEventAdded(&request);
    m_bus.Next(FIND).Answer("{\"returnValue\":true,\"results\":[{\"_id\":\"i1\"}]}");
    EXPECT_TRUE(m_bus.calls.empty());
}

TEST_F(IMChatTransportTest, DeleteBuddyFindsTheContactByItsLowerCaseName)
{
    SignInWithList({BuddyRecord(1, L"zed")});
    m_transport->ProcessCommands();
    m_bus.Next(FIND).Answer("{\"returnValue\":true,\"results\":["
                            "{\"_id\":\"c1\",\"command\":\"deleteBuddy\",\"targetUsername\":\"Zed\"},"
                            "{\"_id\":\"c2\",\"command\":\"deleteBuddy\",\"targetUsername\":\"nobody\"}]}");
    Drain();
    EXPECT_EQ(m_net->SentOfChunk(VexlaLib::CHUNK_DELETECONTACT).size(), 1u);
    EXPECT_TRUE(m_bus.Next(DEL).Contains("[\"c1\",\"c2\"]"));
}

TEST_F(IMChatTransportTest, DeleteBuddyReadBeforeTheBuddyListIsCarriedOutOnceTheListIsComplete)
{
    SignIn();
    m_transport->ProcessCommands();
    m_bus.Next(FIND).Answer("{\"returnValue\":true,\"results\":["
                            "{\"_id\":\"c1\",\"command\":\"deleteBuddy\",\"targetUsername\":\"Zed\"},"
                            "{\"_id\":\"c2\",\"command\":\"deleteBuddy\",\"targetUsername\":\"nobody\"}]}");
    EXPECT_TRUE(m_bus.Next(DEL).Contains("[\"c1\",\"c2\"]"));
    Drain();
    EXPECT_TRUE(m_net->SentOfChunk(VexlaLib::CHUNK_DELETECONTACT).empty());

    // A first page does not complete the list; the last one does.
    Receive(BuddyList(1, {BuddyRecord(1, L"amy")}));
    Drain();
    EXPECT_TRUE(m_net->SentOfChunk(VexlaLib::CHUNK_DELETECONTACT).empty());
    Receive(BuddyList(0, {BuddyRecord(2, L"zed")}, 2));
    Drain();
    EXPECT_EQ(m_net->SentOfChunk(VexlaLib::CHUNK_DELETECONTACT).size(), 1u);

    // Later list changes delete nothing more.
    Receive(BuddyList(0, {BuddyRecord(3, L"nobody")}, 3));
    Drain();
    EXPECT_EQ(m_net->SentOfChunk(VexlaLib::CHUNK_DELETECONTACT).size(), 1u);
}
