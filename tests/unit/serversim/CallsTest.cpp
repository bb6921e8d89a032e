#include "SimFixture.h"

#include <chrono>

#include "CallDesk.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "support/TestPacket.h"

using namespace SimTest;
using namespace VexlaLib;
using ServerSim::CJson;
using VexlaTest::HasAttr;
using VexlaTest::IntOf;
using VexlaTest::StrOf;

namespace {

// The simulator with calls: alice/secret has two voicemails and the default set-up; carol/pw has
// her own set-up and dave/pw none.
class CallsTest : public SimFixture {
protected:
    CallsTest()
    {
        std::string error;
        ServerSim::TJsonPtr calls = CJson::Parse(R"({
            "accounts": {"carol": {"KEY_CALLMETHODS": [1], "KEY_DIALIN_NUMBER_PREFIX": "+4420"}, "dave": null},
            "answer": {"number": "+15559999"},
            "voicemails": {"alice": [{"from": "bob", "subject": "hi", "timestamp": 1000, "duration": 7},
                                     {"index": 5, "from": "carol"}]}})");
        EXPECT_TRUE(m_calls.Apply(calls.get(), error)) << error;
        m_calls.SetServer(&m_server);
        m_context.calls = &m_calls;
        Command(R"({"cmd": "account", "name": "carol", "password": "pw"})");
        Command(R"({"cmd": "account", "name": "dave", "password": "pw"})");
    }
    ~CallsTest() override
    {
        // No connection may reach the desk once it is gone.
        m_events.Stop();
        m_server.Stop();
    }

    std::unique_ptr<CSimTestClient> SignedIn(const std::wstring& name, const std::wstring& password)
    {
        auto client = Client();
        EXPECT_TRUE(client->Handshake(name, L"1"));
        EXPECT_EQ(CHUNK_LOGGEDIN, ChunkOf(client->Login(name, password, {})));
        return client;
    }
    // The next packet that is not CHUNK_SAVEDATA.
    static TPacketSPtr Next(CSimTestClient& client)
    {
        TPacketSPtr packet = client.Receive();
        return ChunkOf(packet) == CHUNK_SAVEDATA ? client.Receive() : packet;
    }
    static CPacket NumberRequest(int chunk, int requestId)
    {
        CPacket packet = MakePacket(chunk);
        packet.AddAttr(std::make_shared<CAttribute>(KEY_CALLMETHOD, TYPE_INT32, 2));
        packet.AddAttr(std::make_shared<CAttribute>(KEY_CALLTARGET, TYPE_STRING, std::wstring(L"bob")));
        packet.AddAttr(std::make_shared<CAttribute>(KEY_REQUEST_ID, TYPE_INT32, requestId));
        return packet;
    }
    static std::vector<TPacketSPtr> Records(const TPacketSPtr& voicemails)
    {
        std::vector<TPacketSPtr> records;
        TPacketSPtr container;
        if (voicemails && voicemails->GetAttrContainer(KEY_VMRECORDS, &container)) {
            for (const TAttributeSPtr& attr : container->GetAttrList()) {
                TPacketSPtr record;
                if (attr->GetContainer(&record))
                    records.push_back(record);
            }
        }
        return records;
    }
    static bool Ok(const ServerSim::TJsonPtr& answer) { return CJson::GetBool(answer.get(), "ok", false); }

    ServerSim::CCallDesk m_calls;
};

}  // namespace

TEST_F(CallsTest, LoginBringsTheSetupAndTheVoicemails)
{
    auto alice = SignedIn(L"alice", L"secret");
    TPacketSPtr setup = Next(*alice);
    ASSERT_EQ(CHUNK_CALLSETUP, ChunkOf(setup));
    int* methods = nullptr;
    int count = 0;
    ASSERT_TRUE(setup->GetAttrIntArray(KEY_CALLMETHODS, &methods, &count));
    EXPECT_EQ((std::vector<int>{2, 3}), std::vector<int>(methods, methods + count));
    EXPECT_EQ(1, IntOf(setup, KEY_VO_ENABLED));

    const std::vector<TPacketSPtr> records = Records(alice->Receive());
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(1, IntOf(records[0], KEY_VMINDEX));
    EXPECT_EQ(L"bob", StrOf(records[0], KEY_VEXLANAME));
    EXPECT_EQ(L"hi", StrOf(records[0], KEY_SUBJECT));
    EXPECT_EQ(1000, IntOf(records[0], KEY_TIMESTAMP));
    EXPECT_EQ(7, IntOf(records[0], KEY_DURATION));
    EXPECT_EQ(5, IntOf(records[1], KEY_VMINDEX));

    auto carol = SignedIn(L"carol", L"pw");
    setup = Next(*carol);
    EXPECT_EQ(L"+4420", StrOf(setup, KEY_DIALIN_NUMBER_PREFIX));
    EXPECT_FALSE(HasAttr(setup, KEY_VO_ENABLED));
}

TEST_F(CallsTest, AccountWithoutSetupGetsNone)
{
    auto dave = SignedIn(L"dave", L"pw");
    ASSERT_TRUE(dave->Send(MakePacket(CHUNK_GETVOICEMAILS)));
    const TPacketSPtr next = Next(*dave);
    EXPECT_EQ(CHUNK_VOICEMAILS, ChunkOf(next));
    EXPECT_TRUE(Records(next).empty());
}

TEST_F(CallsTest, NumberRequestsAreAnsweredWithTheirRequestId)
{
    auto alice = SignedIn(L"alice", L"secret");
    ASSERT_TRUE(alice->Send(NumberRequest(CHUNK_PLACECALL, 41)));
    TPacketSPtr answer;
    for (int i = 0; i < 4 && ChunkOf(answer) != CHUNK_USEPSTNNUMBER; ++i)
        answer = alice->Receive();
    ASSERT_EQ(CHUNK_USEPSTNNUMBER, ChunkOf(answer));
    EXPECT_EQ(41, IntOf(answer, KEY_REQUEST_ID));
    EXPECT_EQ(L"+15559999", StrOf(answer, KEY_CALLPSTNNUMBER));

    ASSERT_TRUE(alice->Send(NumberRequest(CHUNK_LISTENVOICEMAIL, 42)));
    answer = alice->Receive();
    EXPECT_EQ(42, IntOf(answer, KEY_REQUEST_ID));
    EXPECT_EQ(L"+15550111", StrOf(answer, KEY_CALLPSTNNUMBER));
}

TEST_F(CallsTest, AnswersCanComeLateOrNotAtAll)
{
    auto dave = SignedIn(L"dave", L"pw");
    ASSERT_TRUE(Ok(Command(R"({"cmd": "call_answer", "silent": true})")));
    ASSERT_TRUE(dave->Send(NumberRequest(CHUNK_PLACECALL, 1)));
    // Requests are served in order: once the list is back, the silent request has been handled.
    ASSERT_TRUE(dave->Send(MakePacket(CHUNK_GETVOICEMAILS)));
    ASSERT_EQ(CHUNK_VOICEMAILS, ChunkOf(Next(*dave)));
    ASSERT_TRUE(Ok(Command(R"({"cmd": "call_answer", "silent": false, "delay_ms": 300, "number": ""})")));
    const auto sentAt = std::chrono::steady_clock::now();
    ASSERT_TRUE(dave->Send(NumberRequest(CHUNK_PLACECALL, 2)));
    // The silent request got nothing: the first answer is the late one, without a number.
    const TPacketSPtr answer = Next(*dave);
    EXPECT_GE(std::chrono::steady_clock::now() - sentAt, std::chrono::milliseconds(300));
    ASSERT_EQ(CHUNK_USEPSTNNUMBER, ChunkOf(answer));
    EXPECT_EQ(2, IntOf(answer, KEY_REQUEST_ID));
    EXPECT_FALSE(HasAttr(answer, KEY_CALLPSTNNUMBER));
}

TEST_F(CallsTest, ControlPushesVoicemailsSetupsAndCalls)
{
    auto alice = SignedIn(L"alice", L"secret");
    EXPECT_EQ(CHUNK_CALLSETUP, ChunkOf(Next(*alice)));
    EXPECT_EQ(CHUNK_VOICEMAILS, ChunkOf(alice->Receive()));

    ServerSim::TJsonPtr added = Command(R"({"cmd": "voicemail", "account": "alice", "from": "erin", "duration": 3})");
    ASSERT_TRUE(Ok(added));
    EXPECT_EQ(1, CJson::GetInt(added.get(), "sent", 0));
    std::vector<TPacketSPtr> records = Records(alice->Receive());
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ(6, IntOf(records[0], KEY_VMINDEX));

    ASSERT_TRUE(Ok(Command(R"({"cmd": "call_setup", "account": "alice", "setup": {"KEY_CALLMETHODS": [3]}})")));
    TPacketSPtr setup = alice->Receive();
    ASSERT_EQ(CHUNK_CALLSETUP, ChunkOf(setup));
    EXPECT_FALSE(HasAttr(setup, KEY_VO_ENABLED));
    // The default set-up no longer concerns alice.
    ASSERT_TRUE(Ok(Command(R"({"cmd": "call_setup", "setup": {"KEY_CALLMETHODS": [1]}})")));

    ServerSim::TJsonPtr call =
        Command(R"({"cmd": "incoming_call", "account": "alice", "from": "bob", "display": "Bob B", "timestamp": 77})");
    EXPECT_EQ(1, CJson::GetInt(call.get(), "sent", 0));
    const TPacketSPtr announced = alice->Receive();
    ASSERT_EQ(CHUNK_CALLINGBUDDY, ChunkOf(announced));
    EXPECT_EQ(L"bob", StrOf(announced, KEY_CALLTARGET));
    EXPECT_EQ(L"Bob B", StrOf(announced, KEY_DISPLAYNAME));
    EXPECT_EQ(77, IntOf(announced, KEY_TIMESTAMP));

    CPacket remove = MakePacket(CHUNK_DELETEVOICEMAIL);
    remove.AddAttr(std::make_shared<CAttribute>(KEY_VMINDEX, TYPE_INT32, 1));
    ASSERT_TRUE(alice->Send(remove));
    ASSERT_TRUE(alice->Send(MakePacket(CHUNK_GETVOICEMAILS)));
    records = Records(alice->Receive());
    ASSERT_EQ(2u, records.size());
    EXPECT_EQ(5, IntOf(records[0], KEY_VMINDEX));

    EXPECT_FALSE(Ok(Command(R"({"cmd": "call_setup", "setup": {"KEY_NOPE": 1}})")));
    EXPECT_FALSE(Ok(Command(R"({"cmd": "call_setup"})")));
    EXPECT_FALSE(Ok(Command(R"({"cmd": "voicemail", "from": "x"})")));
}
