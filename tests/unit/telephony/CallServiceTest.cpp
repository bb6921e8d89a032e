// The answers of com.vexla.call besides placing calls: fixed answers, incoming callers, the gateway
// subscription and record, and balance queries.

#include "telephony/TelephonyFixture.h"

namespace VexlaTest {
namespace {

class CallServiceTest : public CTelephonyFixture {
protected:
    static std::wstring Element(const CJSONObject& object, const char* key, int index)
    {
        CJSONArray array;
        std::wstring text;
        object.GetArray(key, &array);
        array.GetString(index, &text);
        return text;
    }
    static CTestPacket Balance(int amount)
    {
        return CTestPacket(VexlaLib::CHUNK_BALANCE)
            .Str(VexlaLib::KEY_BALANCE_CURRENCY, L"EUR")
            .Int(VexlaLib::KEY_BALANCE_AMOUNT, amount);
    }
    static double BalanceOf(const CJSONObject& reply)
    {
        double balance = -1;
        reply.GetReal("balance", &balance);
        return balance;
    }
};

TEST_F(CallServiceTest, CapabilitiesAndRatesHaveFixedAnswers)
{
    const CJSONObject capabilities = Reply(CallService("callCapabilitiesQuery"));
    EXPECT_TRUE(ReturnValue(capabilities));
    EXPECT_EQ(L"domestic", Element(capabilities, "callTypes", 0));
    EXPECT_EQ(L"international", Element(capabilities, "callTypes", 1));
    EXPECT_EQ(L"service", Element(capabilities, "callTypes", 2));
    EXPECT_EQ(L"circuit", Element(capabilities, "networks", 0));

    const CJSONObject rate = Reply(CallService("rateQuery"));
    EXPECT_FALSE(ReturnValue(rate));
    EXPECT_EQ(L"100", Text(rate, "errorCode"));
    EXPECT_EQ(L"Information not available", Text(rate, "errorText"));
}

TEST_F(CallServiceTest, IncomingCallerIsTranslatedToTheAnnouncedUser)
{
    SignInWithList();
    Deliver(CTestPacket(VexlaLib::CHUNK_CALLINGBUDDY)
                .Str(VexlaLib::KEY_CALLTARGET, L"alice")
                .Str(VexlaLib::KEY_VEXLANAME, L"bob")
                .Str(VexlaLib::KEY_DISPLAYNAME, L"Bob B"));
    const CJSONObject reply = Reply(CallService("incomingContactTranslate", R"({"clid":"+31205550001","cnap":"",)"
                                                                             R"("uui":"","accountId":"acc1"})"));
    EXPECT_TRUE(ReturnValue(reply));
    EXPECT_EQ(L"bob", Text(reply, "address"));
}

TEST_F(CallServiceTest, GatewayReachesSubscribersAndTheRecordWithoutPlusOne)
{
    SignInWithList();
    TReplies early = CallService("incomingGatewayQuery", R"({"accountId":"acc1","subscribe":true})", BUS_MANY_REPLIES);
    EXPECT_TRUE(ReturnValue(Reply(early)));
    Deliver(CallSetup({2}).Str(VexlaLib::KEY_VI_GATEWAY_NUMBER, L"+15551230").Str(VexlaLib::KEY_VI_GATEWAY_NAME, L"Vexla"));
    EXPECT_EQ(L"+15551230", Element(Reply(early, 2), "gateways", 0));
    EXPECT_TRUE(ReturnValue(Reply(early, 2)));

    // A later subscriber hears the gateway at once; the earlier one hears it again.
    TReplies late = CallService("incomingGatewayQuery", R"({"accountId":"acc1","subscribe":true})", BUS_MANY_REPLIES);
    EXPECT_EQ(L"+15551230", Element(Reply(late, 2), "gateways", 0));
    Deliver(CallSetup({2}).Str(VexlaLib::KEY_VI_GATEWAY_NUMBER, L"+15551231").Str(VexlaLib::KEY_VI_GATEWAY_NAME, L"Vexla"));
    EXPECT_EQ(L"+15551231", Element(Reply(late, 3), "gateways", 0));

    // The handler's writes travel on its own connection: wait for them.
    EXPECT_TRUE(TestSupport::RunUntil([this] {
        CJSONArray records = GatewayRecords();
        CJSONObject record;
        records.GetObject(0, &record);
        return records.arraySize() == 1 && Text(record, "number") == L"5551231";
    }));

    EXPECT_TRUE(ReturnValue(Reply(CallService("incomingGatewayQuery", R"({"accountId":"acc1","subscribe":false})"))));
}

TEST_F(CallServiceTest, GatewayRecordsGoWithTheHandler)
{
    SignInWithList();
    Deliver(CallSetup({1}).Str(VexlaLib::KEY_VI_GATEWAY_NUMBER, L"+31205550000"));
    ASSERT_TRUE(TestSupport::RunUntil([this] { return GatewayRecords().arraySize() == 1; }));
    m_handler.reset();
    EXPECT_TRUE(TestSupport::RunUntil([this] { return GatewayRecords().arraySize() == 0; }));
}

TEST_F(CallServiceTest, BalanceIsAnsweredInUnitsToEveryHeldQueryOnce)
{
    SignInWithList();
    TReplies first = CallService("balanceQuery");
    TReplies second = CallService("balanceQuery");
    ASSERT_TRUE(TestSupport::RunUntil([this] { return !m_net->SentOfChunk(VexlaLib::CHUNK_GETBALANCE).empty(); }));
    Deliver(Balance(1234));
    for (const TReplies& replies : {first, second}) {
        const CJSONObject reply = Reply(replies);
        EXPECT_TRUE(ReturnValue(reply));
        EXPECT_DOUBLE_EQ(12.34, BalanceOf(reply));
        EXPECT_EQ(L"EUR", Text(reply, "currency"));
    }
    EXPECT_EQ(1u, m_net->SentOfChunk(VexlaLib::CHUNK_GETBALANCE).size());

    // A time-out fails the query.
    TReplies timedOut = CallService("balanceQuery");
    ASSERT_TRUE(TestSupport::RunUntil([this] { return m_net->SentOfChunk(VexlaLib::CHUNK_GETBALANCE).size() == 2; }));
    m_clock.Advance(60000);
    m_session->ProcessStep();
    const CJSONObject failed = Reply(timedOut);
    EXPECT_EQ(L"ERROR_BALANCE_FAILED", Text(failed, "errorCode"));
    EXPECT_EQ(L"unable to retrieve balance", Text(failed, "errorText"));
    EXPECT_EQ(1u, first->size());
    EXPECT_EQ(1u, timedOut->size());
}

TEST_F(CallServiceTest, BalanceBeforeTheBuddyListWaitsForItAndANewSessionFailsIt)
{
    // No complete buddy list yet: the query is asked once it is.
    SignIn();
    TReplies early = CallService("balanceQuery");
    DeliverBuddyList();
    ASSERT_TRUE(TestSupport::RunUntil([this] { return !m_net->SentOfChunk(VexlaLib::CHUNK_GETBALANCE).empty(); }));
    EXPECT_TRUE(early->empty());
    Deliver(Balance(1234));
    EXPECT_DOUBLE_EQ(12.34, BalanceOf(Reply(early)));

    TReplies held = CallService("balanceQuery");
    ASSERT_TRUE(TestSupport::RunUntil([this] { return m_net->SentOfChunk(VexlaLib::CHUNK_GETBALANCE).size() == 2; }));
    // The server starts a new session: the library forgets the request.
    Deliver(CTestPacket(VexlaLib::CHUNK_LOGGEDIN));
    EXPECT_EQ(L"ERROR_BALANCE_FAILED", Text(Reply(held), "errorCode"));
    Deliver(Balance(1));
    EXPECT_EQ(1u, held->size());
}

TEST_F(CallServiceTest, UnsubscribingFromTheGatewayEndsOnlyThatCallersSubscription)
{
    SignInWithList();
    std::string error;
    TBusConnectionSPtr other = CBusConnection::Open(m_bus.Address(), &error);
    ASSERT_TRUE(other) << error;
    TReplies theirs = std::make_shared<std::vector<CJSONObject>>();
    other->Call("nylo://com.vexla.call/incomingGatewayQuery", R"({"accountId":"acc1","subscribe":true})",
                BUS_MANY_REPLIES, [theirs](const CBusReply& reply) { theirs->push_back(CJSONObject(reply.Payload().c_str())); },
                &error);
    TReplies mine = CallService("incomingGatewayQuery", R"({"accountId":"acc1","subscribe":true})", BUS_MANY_REPLIES);
    ASSERT_TRUE(ReturnValue(Reply(mine)) && ReturnValue(Reply(theirs)));

    EXPECT_TRUE(ReturnValue(Reply(CallService("incomingGatewayQuery", R"({"accountId":"acc1","subscribe":false})"))));
    Deliver(CallSetup({2}).Str(VexlaLib::KEY_VI_GATEWAY_NUMBER, L"+15551230"));
    EXPECT_EQ(L"+15551230", Element(Reply(theirs, 2), "gateways", 0));
    EXPECT_EQ(1u, mine->size());
}

TEST_F(CallServiceTest, BalanceWhileSignedOutFailsAndTheDaemonEnds)
{
    TReplies replies = CallService("balanceQuery");
    const CJSONObject reply = ReplyOnceTheDaemonEnds(replies);
    EXPECT_FALSE(ReturnValue(reply));
    EXPECT_EQ(L"ERROR_NOT_LOGGED_IN", Text(reply, "errorCode"));
    EXPECT_EQ(L"not logged in", Text(reply, "errorText"));
}

}  // namespace
}  // namespace VexlaTest
