// The message side of the messaging transport against a recording bus: chat messages written once,
// group chat records, the outbox, the commands, voicemails and authorisation requests.

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "Model/AuthRequest.h"
#include "Model/Chat.h"
#include "Model/Voicemail.h"
#include "Tesk/App/IMMarkers.h"
#include "Tesk/App/Meridex/IMChatTransport.h"
#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/JSONObject.h"
#include "immessages/RecordingChatBus.h"
#include "support/LibraryFixture.h"

using VexlaLib::CChat;
using VexlaLib::CChatMember;
using namespace VexlaTest;

namespace {

const long long START = 1700000000;

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
    // The next message record: its duplicate check finds nothing, so it is put; the put is answered.
    CRecordedCall Write()
    {
        m_bus.Next(FIND).Answer(NOTHING);
        CRecordedCall put = m_bus.Next(PUT);
        put.Answer(PUT_DONE);
        return put;
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

    CRecordedCall hello = Write();
    EXPECT_TRUE(hello.Contains("\"messageText\":\"hello\"")) << hello.payload;
    EXPECT_TRUE(hello.Contains("\"from\":{\"addr\":\"bob\"}")) << hello.payload;
    EXPECT_TRUE(hello.Contains("\"to\":[{\"addr\":\"me\"}]")) << hello.payload;
    EXPECT_TRUE(hello.Contains("\"folder\":\"inbox\"")) << hello.payload;
    // An emote is prefixed with the author's display string.
    EXPECT_TRUE(Write().Contains("\"messageText\":\"bob waves\""));
    EXPECT_TRUE(m_bus.calls.empty());

    // After a restart the library lists the chat again with one message more: only that one is new.
    NewTransport();
    Say(*chat, L"bob", L"after restart", START + 100);
    m_transport->OnChatMessagesAdded(*chat, 1);
    CRecordedCall later = Write();
    EXPECT_TRUE(later.Contains("\"messageText\":\"after restart\"")) << later.payload;
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
    EXPECT_TRUE(Write().Contains("\"messageText\":\"xsane\""));
    CRecordedCall mine = Write();
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

    AdvanceSeconds(CIMGroupChatRecords::NEW_RECORD_DELAY_S - 1);
    EXPECT_TRUE(m_bus.calls.empty());
    AdvanceSeconds(1);
    CRecordedCall message = Write();
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
    CRecordedCall left = Write();
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
    EXPECT_TRUE(Write().Contains("bob set the topic to \\\"plans\\\"."));
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
    EXPECT_TRUE(Write().Contains("\"messageText\":\"hi\""));

    AdvanceSeconds(1);
    m_bus.Next(FIND).Answer("{\"returnValue\":true,\"results\":[]}");
    CRecordedCall put = m_bus.Next(PUT);
    EXPECT_TRUE(put.Contains("\"members\":[{\"status\":\"accepted\",\"type\":\"type_vexla\",\"value\":\"bob\"}]"))
        << put.payload;
    put.Answer("{\"returnValue\":true,\"results\":[{\"id\":\"g3\",\"rev\":1}]}");
    AdvanceSeconds(CIMGroupChatRecords::NEW_RECORD_DELAY_S);
    m_bus.Next(GET).Answer("{\"returnValue\":true,\"results\":[{\"_id\":\"g3\",\"members\":["
                           "{\"status\":\"accepted\",\"type\":\"type_vexla\",\"value\":\"bob\"}]}]}");
    CRecordedCall members = m_bus.Next(MERGE);
    EXPECT_TRUE(members.Contains("\"value\":\"bob\"},{\"status\":\"accepted\",\"type\":\"type_vexla\",\"value\":"
                                 "\"carol\"},{\"status\":\"accepted\",\"type\":\"type_vexla\",\"value\":\"dan\"}]"))
        << members.payload;
    CRecordedCall carol = Write();
    EXPECT_TRUE(carol.Contains("\"messageText\":\"bob added carol to the chat.\"")) << carol.payload;
    EXPECT_TRUE(carol.Contains("\"folder\":\"system\"")) << carol.payload;
    EXPECT_TRUE(carol.Contains("\"groupChatName\":\"#bob/$me;3\"")) << carol.payload;
    // Of the same second and sender: one find, and the two records in one put.
    EXPECT_TRUE(carol.Contains("\"messageText\":\"bob added dan to the chat.\"")) << carol.payload;
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
    EXPECT_TRUE(Write().Contains("\"messageText\":\"bob added me to the chat.\""));

    // The next member list names the user again, who is in the conversation by now.
    Say(*chat, L"bob", L"bob carol me dan", START + 2, 1);
    m_transport->OnChatMessagesAdded(*chat, 1);
    AdvanceSeconds(1);
    m_bus.Next(FIND).Answer(record);
    m_bus.Next(MERGE);
    m_bus.Next(GET).Answer(record);
    EXPECT_TRUE(m_bus.Next(MERGE).Contains("\"value\":\"dan\""));
    EXPECT_TRUE(Write().Contains("\"messageText\":\"bob added dan to the chat.\""));
    EXPECT_TRUE(m_bus.calls.empty());
}

TEST_F(IMChatTransportTest, SignedOutTheOutboxWaitsAndAMessageWithoutChatIsMarkedError)
{
    // Signed out nothing is sent, and nothing is marked: the sign-in creates the watch, which finds them.
    m_transport->ProcessOutbox();
    EXPECT_TRUE(m_bus.calls.empty());

    SignIn(L"me");
    m_transport->ProcessOutbox();
    m_bus.Next(FIND).Answer("{\"returnValue\":true,\"results\":[{\"_id\":\"m1\",\"_rev\":7,\"messageText\":\"hi\","
                            "\"to\":[{\"addr\":\"me\"}]}]}");
    CRecordedCall group = m_bus.Next(FIND);
    // The watch comes back for records written after the ones seen.
    CRecordedCall watch = m_bus.Next(CREATE);
    EXPECT_TRUE(watch.Contains("\"prop\":\"_rev\",\"op\":\">\",\"val\":7")) << watch.payload;
    EXPECT_EQ(m_transport->OutboxRevision(), 7);
    group.Answer(NOTHING);
    // A dialog with oneself cannot be opened.
    EXPECT_TRUE(m_bus.Next(MERGE).Contains("\"status\":\"error\""));
}

TEST_F(IMChatTransportTest, AnOutboxRecordStaysPendingUntilTheEchoAndIsSentOnce)
{
    SignIn(L"me");
    const char* pending = "{\"returnValue\":true,\"results\":[{\"_id\":\"m1\",\"_rev\":3,\"messageText\":\"hi\","
                          "\"to\":[{\"addr\":\"bob\"}]}]}";
    m_transport->ProcessOutbox();
    m_bus.Next(FIND).Answer(pending);
    CRecordedCall group = m_bus.Next(FIND);
    m_bus.Next(CREATE);
    group.Answer(NOTHING);
    EXPECT_TRUE(m_bus.calls.empty()) << "no status before the server confirmed it";

    // The watch fires again while the record is on its way: it is not sent a second time.
    m_transport->ProcessOutbox();
    m_bus.Next(FIND).Answer(pending);
    m_bus.Next(CREATE);
    EXPECT_TRUE(m_bus.calls.empty());
    Drain();
    EXPECT_EQ(m_net->SentOfChunk(VexlaLib::CHUNK_CREATECHATWITHUSER).size(), 1u);

    // The dialog is created, its details arrive, the message goes out and its echo comes back.
    int localId = 0;
    ASSERT_EQ(m_net->SentOfChunk(VexlaLib::CHUNK_CREATECHATWITHUSER).size(), 1u);
    m_net->SentOfChunk(VexlaLib::CHUNK_CREATECHATWITHUSER).back()->GetAttrInt32(VexlaLib::KEY_CLIENTCHATID, &localId);
    Receive(VexlaTest::CTestPacket(VexlaLib::CHUNK_CREATEDCHAT)
                .Int(VexlaLib::KEY_CLIENTCHATID, localId)
                .Sub(VexlaLib::KEY_CHATRECORD, VexlaTest::CTestPacket::Record().Int(VexlaLib::KEY_CHAT, 300)));
    Receive(VexlaTest::CTestPacket(VexlaLib::CHUNK_CHATINFO).Int(VexlaLib::KEY_CHAT, 300).Str(VexlaLib::KEY_MEMBERS,
                                                                                               L"me bob"));
    Drain();
    int requestId = 0;
    ASSERT_EQ(m_net->SentOfChunk(VexlaLib::CHUNK_SENDCHATMESSAGE).size(), 1u);
    m_net->SentOfChunk(VexlaLib::CHUNK_SENDCHATMESSAGE).back()->GetAttrInt32(VexlaLib::KEY_REQUEST_ID, &requestId);
    EXPECT_TRUE(m_bus.calls.empty());
    VexlaTest::CTestPacket echo = VexlaTest::CTestPacket::Record()
                                      .Int(VexlaLib::KEY_TIMESTAMP, START + 5)
                                      .Str(VexlaLib::KEY_VEXLANAME, L"me")
                                      .Int(VexlaLib::KEY_CHATMSG_TYPE, 3)
                                      .Int(VexlaLib::KEY_CHATMSG_STATUS, 2)
                                      .Str(VexlaLib::KEY_CHATMSG_BODY, L"hi")
                                      .Int(VexlaLib::KEY_REQUEST_ID, requestId);
    Receive(VexlaTest::CTestPacket(VexlaLib::CHUNK_CHATMESSAGES)
                .Int(VexlaLib::KEY_CHAT, 300)
                .Int(VexlaLib::KEY_BOOKMARK, 1)
                .Sub(VexlaLib::KEY_CHATMSG_RECORDS, VexlaTest::CTestPacket::Record().Sub(VexlaLib::KEY_CHATRECORD, echo)));
    Drain();
    CRecordedCall status = m_bus.Next(MERGE);
    EXPECT_TRUE(status.Contains("\"_id\":\"m1\"") && status.Contains("\"status\":\"successful\"")) << status.payload;

    // Each later session fetches the history again: the server's copy is known as this run's every time.
    for (const wchar_t* name : {L"#bob/$me;8", L"#bob/$me;9"}) {
        auto copy = Chat(name, {L"bob"});
        Say(*copy, L"me", L"hi", START + 5);
        m_transport->OnChatMessagesAdded(*copy, 1);
        EXPECT_TRUE(m_bus.calls.empty()) << "written again as a message sent elsewhere";
    }
}

TEST_F(IMChatTransportTest, AMessageThatCanNoLongerBeSentTurnsItsRecordToError)
{
    SignIn(L"me");
    m_transport->ProcessOutbox();
    m_bus.Next(FIND).Answer("{\"returnValue\":true,\"results\":[{\"_id\":\"m2\",\"_rev\":4,\"messageText\":\"hi\","
                            "\"to\":[{\"addr\":\"bob\"}]}]}");
    CRecordedCall group = m_bus.Next(FIND);
    m_bus.Next(CREATE);
    group.Answer(NOTHING);
    Drain();
    EXPECT_TRUE(m_bus.calls.empty());

    // The server never answers the create: after the last attempt the message fails.
    for (int second = 0; second < 200 && m_bus.calls.empty(); ++second) {
        Advance(1000);
        Drain();
    }
    EXPECT_EQ(m_net->SentOfChunk(VexlaLib::CHUNK_CREATECHATWITHUSER).size(), 4u);
    CRecordedCall status = m_bus.Next(MERGE);
    EXPECT_TRUE(status.Contains("\"_id\":\"m2\"") && status.Contains("\"status\":\"error\"")) << status.payload;
}

TEST_F(IMChatTransportTest, AfterTheMarkerEveryMessageIsNewHoweverOldAndTheMarkerFollowsTheWrites)
{
    auto chat = Chat(L"#bob/$me;5", {L"bob"});
    Say(*chat, L"bob", L"seen", START - 100);
    m_transport->OnChatMessagesAdded(*chat, 1);
    EXPECT_TRUE(m_bus.calls.empty()) << "without a marker, the history before the start is not written";

    std::wstring marker;
    ASSERT_TRUE(m_storage.GetString(L"#bob/$me;5", &marker));
    // Written while the daemon was down: older than this start, but after the marker.
    Say(*chat, L"bob", L"while down", START - 50);
    Say(*chat, L"me", L"my own, older than the start", START - 40);
    NewTransport();
    m_transport->OnChatMessagesAdded(*chat, 2);
    m_bus.Next(FIND).Answer(NOTHING);
    CRecordedCall put = m_bus.Next(PUT);
    EXPECT_TRUE(put.Contains("\"messageText\":\"while down\"")) << put.payload;
    std::wstring stored;
    m_storage.GetString(L"#bob/$me;5", &stored);
    EXPECT_EQ(stored, marker) << "the marker moves only once the write was answered";

    // Killed now: the next run hands the message over again, and its write finds it there.
    NewTransport();
    m_transport->OnChatMessagesAdded(*chat, 2);
    CRecordedCall check = m_bus.Next(FIND);
    EXPECT_TRUE(check.Contains("\"prop\":\"from.addr\"")) << check.payload;
    check.Answer("{\"returnValue\":true,\"results\":[{\"_id\":\"x\",\"timestamp\":" + std::to_string((START - 50) * 1000) +
                 ",\"from\":{\"addr\":\"bob\"},\"to\":[{\"addr\":\"me\"}],\"messageText\":\"while down\"}]}");
    EXPECT_TRUE(m_bus.calls.empty()) << "a record already there is not written again";
    m_storage.GetString(L"#bob/$me;5", &stored);
    EXPECT_NE(stored, marker);
}

TEST_F(IMChatTransportTest, AStoredMarkerNoneOfTheMessagesHasStillTellsWhereDeliveryStands)
{
    auto chat = Chat(L"#bob/$me;10", {L"bob"});
    Say(*chat, L"bob", L"seen", START - 100);
    m_transport->OnChatMessagesAdded(*chat, 1);
    ASSERT_TRUE(m_bus.calls.empty());

    // The next run's chat holds what the server sent since, not the marked message: the one written
    // while the daemon was down is after the marker, the other one before it.
    auto later = Chat(L"#bob/$me;10", {L"bob"});
    Say(*later, L"bob", L"older than the marker", START - 150);
    Say(*later, L"bob", L"while down", START - 50);
    NewTransport();
    m_transport->OnChatMessagesAdded(*later, 2);
    EXPECT_TRUE(Write().Contains("\"messageText\":\"while down\""));
    EXPECT_TRUE(m_bus.calls.empty());
    std::wstring stored;
    m_storage.GetString(L"#bob/$me;10", &stored);
    EXPECT_EQ(stored, CIMMarkers::MessageMarker(START - 50, L"while down", 3));
}

TEST_F(IMChatTransportTest, AMessagePushedAheadOfTheHistoryIsNewThoughTheMarkedMessageIsListedAfterIt)
{
    auto chat = Chat(L"#bob/$me;11", {L"bob"});
    Say(*chat, L"bob", L"marked", START + 1);
    m_transport->OnChatMessagesAdded(*chat, 1);
    EXPECT_TRUE(Write().Contains("\"messageText\":\"marked\""));

    // The next run's chat: a message the server pushed before the answer to the chat's fetch, then the
    // history that answer brings.
    auto later = Chat(L"#bob/$me;11", {L"bob"});
    Say(*later, L"bob", L"pushed", START + 30);
    Say(*later, L"bob", L"marked", START + 1);
    Say(*later, L"bob", L"while down", START + 20);
    NewTransport();
    m_transport->OnChatMessagesAdded(*later, 3);
    const std::string first = Write().payload;
    const std::string second = Write().payload;
    EXPECT_NE(first.find("\"messageText\":\"pushed\""), std::string::npos) << first;
    EXPECT_NE(second.find("\"messageText\":\"while down\""), std::string::npos) << second;
    EXPECT_TRUE(m_bus.calls.empty());
    std::wstring stored;
    m_storage.GetString(L"#bob/$me;11", &stored);
    EXPECT_EQ(stored, CIMMarkers::MessageMarker(START + 30, L"pushed", 3)) << "the latest message, not the last listed";

    // Listed after the marked message, the older ones are looked at again: the database has them.
    m_transport->OnChatMessagesAdded(*later, 0);
    m_bus.Next(FIND).Answer("{\"returnValue\":true,\"results\":[{\"_id\":\"x\",\"timestamp\":" +
                            std::to_string((START + 1) * 1000) +
                            ",\"from\":{\"addr\":\"bob\"},\"to\":[{\"addr\":\"me\"}],\"messageText\":\"marked\"}]}");
    EXPECT_TRUE(m_bus.calls.empty()) << "written again";
}

TEST_F(IMChatTransportTest, InABurstOfOneSecondTheMarkerFollowsTheLastListedAndOnlyNewMessagesAreHandedOver)
{
    auto chat = Chat(L"#bob/$me;12", {L"bob"});
    Say(*chat, L"bob", L"one", START + 1);
    Say(*chat, L"bob", L"two", START + 1);
    m_transport->OnChatMessagesAdded(*chat, 2);
    Write();
    std::wstring stored;
    m_storage.GetString(L"#bob/$me;12", &stored);
    EXPECT_EQ(stored, CIMMarkers::MessageMarker(START + 1, L"two", 3));

    Say(*chat, L"bob", L"three", START + 1);
    m_transport->OnChatMessagesAdded(*chat, 1);
    CRecordedCall put = m_bus.Next(PUT);
    EXPECT_TRUE(put.Contains("\"messageText\":\"three\"") && !put.Contains("\"messageText\":\"one\"")) << put.payload;
    put.Answer(PUT_DONE);
    EXPECT_TRUE(m_bus.calls.empty());
    m_storage.GetString(L"#bob/$me;12", &stored);
    EXPECT_EQ(stored, CIMMarkers::MessageMarker(START + 1, L"three", 3));
}

TEST_F(IMChatTransportTest, MessagesOfAChatWhoseNameIsStillAskedForWaitForItAndResumeAfterTheMarker)
{
    auto chat = Chat(L"#bob/$me;7", {L"bob"});
    Say(*chat, L"bob", L"seen", START - 100);
    m_transport->OnChatMessagesAdded(*chat, 1);
    ASSERT_TRUE(m_bus.calls.empty());

    // The next run gets the chat's messages (one written while the daemon was down) before its info:
    // without the name, where delivery stopped is not known yet.
    Say(*chat, L"bob", L"while down", START - 50);
    chat->SetUniqueName(L"");
    chat->SetChatId(7);
    chat->MarkPendingChatInfo(true);
    NewTransport();
    m_transport->OnChatMessagesAdded(*chat, 2);
    EXPECT_TRUE(m_bus.calls.empty()) << "taken for history from before the start";

    chat->SetUniqueName(L"#bob/$me;7");
    chat->MarkPendingChatInfo(false);
    m_transport->OnEventUpdated(chat.get());
    EXPECT_TRUE(Write().Contains("\"messageText\":\"while down\""));
    EXPECT_TRUE(m_bus.calls.empty());
    m_transport->OnEventUpdated(chat.get());
    EXPECT_TRUE(m_bus.calls.empty()) << "looked at once";
}

TEST_F(IMChatTransportTest, MessagesOfOneSecondAreCheckedOnceAndPutTogetherUntilTheSignOut)
{
    auto chat = Chat(L"#bob/$me;6", {L"bob"});
    Say(*chat, L"bob", L"one", START + 1);
    Say(*chat, L"bob", L"two", START + 1);
    Say(*chat, L"bob", L"three", START + 1);
    m_transport->OnChatMessagesAdded(*chat, 3);
    m_bus.Next(FIND).Answer(NOTHING);
    CRecordedCall put = m_bus.Next(PUT);
    const size_t one = put.payload.find("\"messageText\":\"one\"");
    const size_t two = put.payload.find("\"messageText\":\"two\"");
    const size_t three = put.payload.find("\"messageText\":\"three\"");
    EXPECT_TRUE(one < two && two < three && three != std::string::npos) << put.payload;
    put.Answer(PUT_DONE);
    EXPECT_TRUE(m_bus.calls.empty());

    // Another session may find a database changed meanwhile: it is asked again.
    m_transport->OnLogout(VexlaLib::LOGOUT_REASON_OTHER);
    Say(*chat, L"bob", L"four", START + 1);
    m_transport->OnChatMessagesAdded(*chat, 1);
    EXPECT_TRUE(Write().Contains("\"messageText\":\"four\""));
    EXPECT_TRUE(m_bus.calls.empty());
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
