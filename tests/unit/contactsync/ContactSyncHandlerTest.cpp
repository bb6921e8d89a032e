// The contact sync on a scripted network side, with every platform request recorded and answered by
// the test.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Tesk/App/Meridex/AvatarCache.h"
#include "Tesk/App/Meridex/ContactSyncHandler.h"
#include "Tesk/App/Meridex/TeskIMService.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/PlatformRequest.h"
#include "TempDir.h"
#include "session/SessionTestSupport.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

const wchar_t DB_FIND[] = L"nylo://com.nylo.db/find";
const wchar_t DB_PUT[] = L"nylo://com.nylo.db/put";
const wchar_t DB_MERGE[] = L"nylo://com.nylo.db/merge";
const wchar_t DB_DEL[] = L"nylo://com.nylo.db/del";
const wchar_t TEMPDB_FIND[] = L"nylo://com.nylo.tempdb/find";
const wchar_t TEMPDB_PUT[] = L"nylo://com.nylo.tempdb/put";
const wchar_t TEMPDB_MERGE[] = L"nylo://com.nylo.tempdb/merge";
const wchar_t TEMPDB_DEL[] = L"nylo://com.nylo.tempdb/del";
const wchar_t LIST_ACCOUNTS[] = L"nylo://com.nylo.service.accounts/listAccounts";

const char NO_RECORDS[] = R"({"returnValue":true,"results":[]})";

struct TSentRequest {
    std::wstring uri;
    std::string payload;
    TBusReplyHandler handler;
};

// Keeps every request instead of putting it on the bus.
class CRecordingSyncHandler : public CContactSyncHandler {
public:
    using CContactSyncHandler::CContactSyncHandler;
    std::vector<TSentRequest> m_sent;

protected:
    void SendRequest(const CPlatformRequest& request, TBusReplyHandler handler) override
    {
        std::string payload;
        request.payload.ToString(&payload);
        m_sent.push_back({request.uri, payload, std::move(handler)});
    }
};

// The packet builders of the library fixture.
struct CPackets : CLibraryFixture {
    using CLibraryFixture::BuddyList;
    using CLibraryFixture::BuddyRecord;
};

class CContactSyncHandlerTest : public CScriptedSessionFixture {
protected:
    void SetUp() override
    {
        CScriptedSessionFixture::SetUp();
        ASSERT_FALSE(m_dir.Path().empty());
        m_dir.Touch("AVATAR_0x0000002a_bob.jpg");
        m_cache.reset(new CAvatarCache(m_dir.WidePath(), &Library()));
        ASSERT_TRUE(m_cache->Initialize());
        m_handler.reset(new CRecordingSyncHandler(m_session.get(), &m_imService, m_cache.get()));
        m_cache->AddListener(m_handler.get());
    }
    void TearDown() override
    {
        m_handler.reset();
        m_cache.reset();
        CScriptedSessionFixture::TearDown();
    }

    void Step()
    {
        m_session->ProcessStep();
        for (int i = 0; i < 1000 && !m_net->m_incoming.empty(); ++i)
            m_session->ProcessStep();
    }
    void ReceiveList(const std::vector<CTestPacket>& records, int status = 0)
    {
        m_net->Receive(CPackets::BuddyList(status, records));
        Step();
    }
    std::vector<TSentRequest>& Sent() { return m_handler->m_sent; }
    // The requests sent since the last call, as "uri payload" lines.
    std::vector<std::string> TakeSent()
    {
        std::vector<std::string> lines;
        for (size_t i = m_taken; i < Sent().size(); ++i)
            lines.push_back(std::string(Sent()[i].uri.begin(), Sent()[i].uri.end()) + " " + Sent()[i].payload);
        m_taken = Sent().size();
        return lines;
    }
    // Answers request `index` with `payload`.
    void Answer(size_t index, const std::string& payload)
    {
        ASSERT_LT(index, Sent().size());
        ASSERT_TRUE(Sent()[index].handler);
        Sent()[index].handler(CBusReply(1, ":1.1", payload, false));
    }
    // Answers the request sent last, which must go to `uri`.
    void AnswerLast(const wchar_t* uri, const std::string& payload)
    {
        ASSERT_FALSE(Sent().empty());
        ASSERT_EQ(uri, Sent().back().uri);
        Answer(Sent().size() - 1, payload);
    }
    size_t CountOf(const wchar_t* uri, size_t from = 0)
    {
        size_t count = 0;
        for (size_t i = from; i < Sent().size(); ++i)
            count += Sent()[i].uri == uri ? 1 : 0;
        return count;
    }
    // Answers the two listings with these records.
    void LoadIds(const std::string& contacts, const std::string& presence)
    {
        AnswerLast(DB_FIND, contacts);
        AnswerLast(TEMPDB_FIND, presence);
    }
    // Signs in with the list, answers the account search with "acc1" and both listings; the first
    // write, if any, is left for TakeSent.
    void SignInWithAccount(const std::vector<CTestPacket>& records, const std::string& contacts = NO_RECORDS,
                           const std::string& presence = NO_RECORDS)
    {
        SignIn();
        ReceiveList(records);
        ASSERT_EQ(LIST_ACCOUNTS, Sent().at(0).uri);
        Answer(0, R"({"returnValue":true,"results":[{"_id":"acc1"}]})");
        LoadIds(contacts, presence);
        m_taken = Sent().size() - (Sent().back().uri == TEMPDB_FIND ? 0 : 1);
    }
    // Network buddies user1 to userN.
    static std::vector<CTestPacket> Buddies(int count)
    {
        std::vector<CTestPacket> buddies;
        for (int i = 1; i <= count; ++i)
            buddies.push_back(CPackets::BuddyRecord(i, L"user" + std::to_wstring(i)));
        return buddies;
    }
    void SetBatch(int buddies, int pauseMs)
    {
        Library().SetProperty(CContactSyncHandler::BATCH_PROPERTY, std::to_wstring(buddies));
        Library().SetProperty(CContactSyncHandler::PAUSE_PROPERTY, std::to_wstring(pauseMs));
    }

    CTempDir m_dir;
    CTeskIMService m_imService;
    std::unique_ptr<CAvatarCache> m_cache;
    std::unique_ptr<CRecordingSyncHandler> m_handler;
    size_t m_taken = 0;
};

}  // namespace

TEST_F(CContactSyncHandlerTest, FindsTheAccountListsEachKindOnceAndDeletesRecordsOfContactsThatAreGone)
{
    SignIn();
    ReceiveList({CPackets::BuddyRecord(1, L"bob"), CPackets::BuddyRecord(2, L"carol")});
    EXPECT_EQ((std::vector<std::string>{
                  R"(nylo://com.nylo.service.accounts/listAccounts {"templateId":"com.vexla"})"}),
              TakeSent());
    Answer(0, R"({"returnValue":true,"results":[{"_id":"acc1"},{"_id":"acc2"}]})");
    ASSERT_EQ((std::vector<std::string>{R"(nylo://com.nylo.db/find {"query":{"from":"com.nylo.contact.vexla:1"}})"}),
              TakeSent());
    AnswerLast(DB_FIND, R"({"returnValue":true,"results":[{"_id":"r1","displayName":"bob"},{"_id":"r2","displayName":"zed"},)"
                        R"({"_id":"r3","displayName":"zed"},{"_id":"r4"}]})");
    ASSERT_EQ((std::vector<std::string>{
                  R"(nylo://com.nylo.tempdb/find {"query":{"from":"com.nylo.imbuddystatus.vexla:1"}})"}),
              TakeSent());
    AnswerLast(TEMPDB_FIND, NO_RECORDS);
    const std::vector<std::string> sent = TakeSent();
    ASSERT_EQ(2u, sent.size());
    EXPECT_EQ(R"(nylo://com.nylo.db/del {"ids":["r4","r2","r3"]})", sent[0]);
    // The first write of the batch: carol is new, bob merges into r1 next.
    EXPECT_EQ(0u, sent[1].find(R"(nylo://com.nylo.db/put {"objects":[{"displayName":"carol")"));

    // Every record belongs to a listed contact: nothing more to delete, and nothing listed again.
    ReceiveList({CPackets::BuddyRecord(2, L"carol", 3)});
    EXPECT_EQ(0u, CountOf(DB_DEL, m_taken));
    EXPECT_EQ(1u, CountOf(DB_FIND));
}

TEST_F(CContactSyncHandlerTest, NoAccountMeansNoListingAndANewSearchLater)
{
    SignIn();
    ReceiveList({CPackets::BuddyRecord(1, L"bob")});
    ASSERT_EQ(1u, CountOf(LIST_ACCOUNTS));
    Answer(0, NO_RECORDS);
    EXPECT_EQ(1u, Sent().size());
    ReceiveList({CPackets::BuddyRecord(1, L"bob", 3)});
    EXPECT_EQ(2u, CountOf(LIST_ACCOUNTS));
}

TEST_F(CContactSyncHandlerTest, AnIncompleteListIsNotUsedToDeleteRecords)
{
    SignIn();
    ReceiveList({CPackets::BuddyRecord(1, L"bob")}, 1);
    Answer(0, R"({"results":[{"_id":"acc1"}]})");
    LoadIds(R"({"results":[{"_id":"r9","displayName":"zed"}]})", NO_RECORDS);
    EXPECT_EQ(0u, CountOf(DB_DEL));
    ReceiveList({CPackets::BuddyRecord(2, L"carol")}, 0);
    EXPECT_EQ(1u, CountOf(DB_DEL));
    EXPECT_EQ(1u, CountOf(DB_FIND));
}

TEST_F(CContactSyncHandlerTest, WritesNewRecordsForANetworkBuddy)
{
    SignInWithAccount({CPackets::BuddyRecord(1, L"bob", 3)
                           .Str(KEY_FULLNAME, L"Bob B")
                           .Str(KEY_PHONE_OFFICE, L"+3115")
                           .Str(KEY_PHONE_HOME, L"+3110")
                           .Str(KEY_MOOD_TEXT, L"<i>off</i><font>x</font>")
                           .Int(152, 42)});
    const std::string picture = m_dir.Path() + "/AVATAR_0x0000002a_bob.jpg";
    EXPECT_EQ((std::vector<std::string>{
                  R"(nylo://com.nylo.db/put {"objects":[{"displayName":"bob","remoteId":"bob",)"
                  R"("ims":[{"value":"bob","type":"type_vexla","serviceName":"type_vexla"}],"accountId":"acc1",)"
                  R"("name":{"givenName":"Bob B"},"phoneNumbers":[{"value":"+3110","type":"type_home"},)"
                  R"({"value":"+3115","type":"type_work"}],"photos":[{"value":")" + picture +
                      R"(","type":"type_square","localPath":")" + picture +
                      R"("}],"avatarCRC":[{"name":"VexlaAvatarCRC","value":"42"}],"_kind":"com.nylo.contact.vexla:1"}]})"}),
              TakeSent());
    AnswerLast(DB_PUT, R"({"returnValue":true,"results":[{"id":"c1","rev":1}]})");
    EXPECT_EQ((std::vector<std::string>{
                  R"(nylo://com.nylo.tempdb/put {"objects":[{"availability":2,"status":"<i>off</i>x","username":"bob",)"
                  R"("serviceName":"type_vexla","group":"Buddies","accountId":"acc1","_kind":"com.nylo.imbuddystatus.vexla:1"}]})"}),
              TakeSent());
    AnswerLast(TEMPDB_PUT, R"({"returnValue":true,"results":[{"id":"p1","rev":2}]})");

    // The ids the puts answered are merged into from then on.
    ReceiveList({CPackets::BuddyRecord(1, L"bob", 2)});
    std::vector<std::string> sent = TakeSent();
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ(0u, sent[0].find(R"(nylo://com.nylo.db/merge)"));
    EXPECT_NE(std::string::npos, sent[0].find(R"("_id":"c1")"));
    AnswerLast(DB_MERGE, R"({"returnValue":true,"results":[{"id":"c1","rev":3}]})");
    sent = TakeSent();
    ASSERT_EQ(1u, sent.size());
    EXPECT_EQ(0u, sent[0].find(R"(nylo://com.nylo.tempdb/merge)"));
    EXPECT_NE(std::string::npos, sent[0].find(R"("_id":"p1")"));
}

TEST_F(CContactSyncHandlerTest, MergesIntoTheFirstContactRecordAndLeavesDoubledPresenceAlone)
{
    SignInWithAccount({CPackets::BuddyRecord(1, L"carol", 6), CPackets::BuddyRecord(2, L"dave", 6)},
                      R"({"results":[{"_id":"c1","displayName":"carol"},{"_id":"c2","displayName":"carol"},)"
                      R"({"_id":"d1","displayName":"dave"}]})",
                      R"({"results":[{"_id":"p1","username":"carol"},{"_id":"p2","username":"dave"},)"
                      R"({"_id":"p3","username":"dave"}]})");
    AnswerLast(DB_MERGE, R"({"returnValue":true})");
    EXPECT_EQ((std::vector<std::string>{
                  R"(nylo://com.nylo.db/merge {"objects":[{"name":{"givenName":"carol"},"phoneNumbers":[],)"
                  R"("photos":[],"avatarCRC":[],"_id":"c1"},{"name":{"givenName":"dave"},"phoneNumbers":[],)"
                  R"("photos":[],"avatarCRC":[],"_id":"d1"}]})",
                  R"(nylo://com.nylo.tempdb/merge {"objects":[{"availability":3,"status":"","_id":"p1"}]})"}),
              TakeSent());
}

TEST_F(CContactSyncHandlerTest, VexlaOutContactsAreKeyedByTheirNumberOrElseTheirName)
{
    SignInWithAccount({CTestPacket::Record()
                           .Int(KEY_BUDDYINDEX, 1)
                           .Str(KEY_VEXLANAME, L"office")
                           .Str(KEY_FULLNAME, L"Office")
                           .Str(KEY_CALLTARGET, L"+31155550000")
                           .Int(KEY_CONTACTAVAILABILITY, 10),
                       CPackets::BuddyRecord(2, L"nonumber", 11), CTestPacket::Record()
                                                                      .Int(KEY_BUDDYINDEX, 3)
                                                                      .Str(KEY_VEXLANAME, L"twice")
                                                                      .Str(KEY_CALLTARGET, L"+3177")
                                                                      .Int(KEY_CONTACTAVAILABILITY, 10)},
                      R"({"results":[{"_id":"v2","displayName":"nonumber"},{"_id":"t1","displayName":"+3177"},)"
                      R"({"_id":"t2","displayName":"+3177"}]})");
    EXPECT_EQ(L"+31155550000", CContactSyncHandler::KeyOf(*Library().GetModel().GetContactList()->FindContact(1)));
    EXPECT_EQ(L"nonumber", CContactSyncHandler::KeyOf(*Library().GetModel().GetContactList()->FindContact(2)));
    AnswerLast(DB_PUT, R"({"returnValue":true,"results":[{"id":"v1"}]})");
    EXPECT_EQ((std::vector<std::string>{
                  R"(nylo://com.nylo.db/put {"objects":[{"phoneNumbers":[{"value":"+31155550000","type":"type_other"}],)"
                  R"("name":{"givenName":"Office"},"displayName":"+31155550000","accountId":"acc1","_kind":"com.nylo.contact.vexla:1"}]})",
                  R"(nylo://com.nylo.db/merge {"objects":[{"phoneNumbers":[{"value":"","type":"type_other"}],)"
                  R"("name":{"givenName":""},"displayName":"nonumber","_id":"v2"}]})"}),
              TakeSent());
    AnswerLast(DB_MERGE, R"({"returnValue":true})");
    EXPECT_TRUE(TakeSent().empty());
}

TEST_F(CContactSyncHandlerTest, OneCallAtATimeEachWithABoundedBatchTheNextWhenTheLastIsAnswered)
{
    SetBatch(100, 0);
    SignInWithAccount(Buddies(250));
    std::vector<std::wstring> order;
    for (int answered = 0; answered < 10 && !Sent().empty(); ++answered) {
        const std::vector<std::string> sent = TakeSent();
        if (sent.empty())
            break;
        ASSERT_EQ(1u, sent.size()) << "more than one call in flight";
        order.push_back(Sent().back().uri);
        size_t records = 0;
        for (size_t at = sent[0].find("_kind"); at != std::string::npos; at = sent[0].find("_kind", at + 1))
            ++records;
        EXPECT_LE(records, 100u);
        AnswerLast(Sent().back().uri.c_str(), R"({"returnValue":true})");
    }
    EXPECT_EQ((std::vector<std::wstring>{DB_PUT, TEMPDB_PUT, DB_PUT, TEMPDB_PUT, DB_PUT, TEMPDB_PUT}), order);
}

TEST_F(CContactSyncHandlerTest, ThePacedSettingWritesFiveBuddiesEveryFiveSeconds)
{
    SetBatch(5, 5000);
    SignInWithAccount(Buddies(7));
    AnswerLast(DB_PUT, R"({"returnValue":true})");
    AnswerLast(TEMPDB_PUT, R"({"returnValue":true})");
    TakeSent();
    m_clock.Advance(4999);
    Step();
    EXPECT_TRUE(TakeSent().empty());
    m_clock.Advance(1);
    Step();
    const std::vector<std::string> sent = TakeSent();
    ASSERT_EQ(1u, sent.size());
    EXPECT_NE(std::string::npos, sent[0].find("user6"));
    EXPECT_NE(std::string::npos, sent[0].find("user7"));
}

TEST_F(CContactSyncHandlerTest, AFailedWriteIsBuiltAgainOnceFromAFreshListing)
{
    SignInWithAccount({CPackets::BuddyRecord(1, L"bob")}, R"({"results":[{"_id":"gone","displayName":"bob"}]})");
    AnswerLast(DB_MERGE, R"({"returnValue":false,"errorCode":-1,"errorText":"No record with id gone"})");
    LoadIds(NO_RECORDS, NO_RECORDS);
    ASSERT_EQ(0u, TakeSent().back().find(R"(nylo://com.nylo.db/put {"objects":[{"displayName":"bob")"));
    AnswerLast(DB_PUT, R"({"returnValue":false,"errorCode":-1,"errorText":"disk full"})");
    EXPECT_TRUE(TakeSent().empty());
}

TEST_F(CContactSyncHandlerTest, ADeletedBuddyLosesBothRecords)
{
    SignInWithAccount({CPackets::BuddyRecord(1, L"bob"), CTestPacket::Record()
                                                              .Int(KEY_BUDDYINDEX, 2)
                                                              .Str(KEY_VEXLANAME, L"office")
                                                              .Str(KEY_CALLTARGET, L"+3100")
                                                              .Int(KEY_CONTACTAVAILABILITY, 10)});
    const size_t firstWrite = Sent().size() - 1;
    ASSERT_EQ(DB_PUT, Sent()[firstWrite].uri);
    TakeSent();
    ReceiveList({CPackets::BuddyRecord(1, L"bob", 99), CTestPacket::Record()
                                                           .Int(KEY_BUDDYINDEX, 2)
                                                           .Str(KEY_VEXLANAME, L"office")
                                                           .Int(KEY_CONTACTAVAILABILITY, 99)});
    const std::vector<std::string> sent = TakeSent();
    const std::vector<std::string> expected = {
        R"(nylo://com.nylo.tempdb/del {"query":{"from":"com.nylo.imbuddystatus.vexla:1","where":[{"prop":"username","op":"=","val":"bob"}]}})",
        R"(nylo://com.nylo.db/del {"query":{"from":"com.nylo.contact.vexla:1","where":[{"prop":"displayName","op":"=","val":"bob"}]}})",
        R"(nylo://com.nylo.db/del {"query":{"from":"com.nylo.contact.vexla:1","where":[{"prop":"displayName","op":"=","val":"+3100"}]}})"};
    ASSERT_GE(sent.size(), expected.size());
    EXPECT_EQ(expected, std::vector<std::string>(sent.begin(), sent.begin() + expected.size()));
    // The presence write built before is not sent: the batch is built again without them.
    Answer(firstWrite, R"({"returnValue":true,"results":[{"id":"c1"},{"id":"c2"}]})");
    EXPECT_TRUE(TakeSent().empty());
}

TEST_F(CContactSyncHandlerTest, AChangedPictureRequeuesTheBuddyAndANewSessionEmptiesTheQueue)
{
    SignInWithAccount({CPackets::BuddyRecord(1, L"dave")});
    AnswerLast(DB_PUT, R"({"returnValue":true,"results":[{"id":"c1"}]})");
    m_handler->OnAvatarChanged(L"dave", 5);
    m_handler->OnNewSession(false);
    AnswerLast(TEMPDB_PUT, R"({"returnValue":true,"results":[{"id":"p1"}]})");
    TakeSent();
    EXPECT_TRUE(TakeSent().empty());

    m_handler->OnAvatarChanged(L"dave", 6);
    EXPECT_EQ(1u, CountOf(DB_MERGE, m_taken));
}

TEST_F(CContactSyncHandlerTest, RepliesAfterTheHandlerIsGoneAreDropped)
{
    SignIn();
    ReceiveList({CPackets::BuddyRecord(1, L"bob")});
    TBusReplyHandler late = Sent().at(0).handler;
    m_cache->RemoveListener(m_handler.get());
    m_handler.reset();
    late(CBusReply(1, ":1.1", R"({"results":[{"_id":"acc1"}]})", false));
}
