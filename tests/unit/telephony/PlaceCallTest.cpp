// Calls placed while the account is signed in: the number comes from the library or the failure is
// answered with its code and text, one answer per request.

#include "telephony/TelephonyFixture.h"

namespace VexlaTest {
namespace {

class PlaceCallTest : public CTelephonyFixture {};

TEST_F(PlaceCallTest, BuddyWithinTheDialInRangeGetsTheComputedNumber)
{
    Online({1, 2});
    const CJSONObject reply = Reply(CallService("callUsingGateway", R"({"to":"Bob","isPhone":false})"));
    EXPECT_TRUE(ReturnValue(reply));
    EXPECT_EQ(L"+4423", Text(reply, "gatewayNumber"));
    EXPECT_TRUE(m_net->SentOfChunk(VexlaLib::CHUNK_PLACECALL).empty());
}

TEST_F(PlaceCallTest, SecondRequestWhilePendingIsRefusedAndTheFirstStillAnswered)
{
    Online({2});
    TReplies first = CallService("callUsingGateway", R"({"to":"carol","isPhone":false})");
    ASSERT_TRUE(WaitForPlaceCall());
    std::wstring target;
    PlaceCallRequestId(&target);
    EXPECT_EQ(L"carol", target);

    const CJSONObject refused = Reply(CallService("callUsingGateway", R"({"to":"bob","isPhone":false})"));
    EXPECT_FALSE(ReturnValue(refused));
    EXPECT_EQ(1000, Int(refused, "errorCode"));
    EXPECT_EQ(L"Call setup in progress, can only handle one call setup at a time", Text(refused, "errorText"));
    EXPECT_TRUE(first->empty());

    AnswerPlaceCall(L"+31205550001");
    const CJSONObject answer = Reply(first);
    EXPECT_TRUE(ReturnValue(answer));
    EXPECT_EQ(L"+31205550001", Text(answer, "gatewayNumber"));
    // Later buddy list changes do not ask for the number again.
    DeliverBuddyList();
    EXPECT_EQ(1u, m_net->SentOfChunk(VexlaLib::CHUNK_PLACECALL).size());
    EXPECT_EQ(1u, first->size());
}

TEST_F(PlaceCallTest, UserOutsideTheListAndPhoneNumbersAskTheServer)
{
    Online({2});
    TReplies user = CallService("callUsingGateway", R"({"to":"dave","isPhone":false})");
    ASSERT_TRUE(WaitForPlaceCall(1));
    AnswerPlaceCall(L"+31205550002");
    EXPECT_EQ(L"+31205550002", Text(Reply(user), "gatewayNumber"));

    TReplies number = CallService("callUsingGateway", R"({"to":"+3170123456","isPhone":true})");
    ASSERT_TRUE(WaitForPlaceCall(2));
    std::wstring target;
    PlaceCallRequestId(&target);
    EXPECT_EQ(L"+3170123456", target);
    AnswerPlaceCall(L"+31205550003");
    EXPECT_EQ(L"+31205550003", Text(Reply(number), "gatewayNumber"));
}

TEST_F(PlaceCallTest, DialOutErrorsReachTheCallerWithTheirTexts)
{
    Online({1});
    // Only method 1: a user outside the list has no usable method.
    CJSONObject reply = Reply(CallService("callUsingGateway", R"({"to":"dave","isPhone":false})"));
    EXPECT_EQ(0, Int(reply, "errorCode"));
    EXPECT_EQ(L"Unknown reason for failure", Text(reply, "errorText"));

    reply = Reply(CallService("callUsingGateway", R"({"to":"abc","isPhone":true})"));
    EXPECT_FALSE(ReturnValue(reply));
    EXPECT_EQ(4, Int(reply, "errorCode"));
    EXPECT_EQ(L"Invalid vexla-out PSTN number", Text(reply, "errorText"));

    Deliver(CTestPacket(VexlaLib::CHUNK_CALLSETUP).Ints(VexlaLib::KEY_CALLMETHODS, {2}));
    reply = Reply(CallService("callUsingGateway", R"({"to":"+3170123456","isPhone":true})"));
    EXPECT_EQ(2, Int(reply, "errorCode"));
    EXPECT_EQ(L"Vexla-out call is not allowed", Text(reply, "errorText"));

    TReplies timedOut = CallService("callUsingGateway", R"({"to":"carol","isPhone":false})");
    ASSERT_TRUE(WaitForPlaceCall());
    m_clock.Advance(30000);
    m_session->ProcessStep();
    reply = Reply(timedOut);
    EXPECT_EQ(5, Int(reply, "errorCode"));
    EXPECT_EQ(L"Time-out occured when sending request to vexla server", Text(reply, "errorText"));
    // The late answer finds no request to answer.
    AnswerPlaceCall(L"+31205550004");
    EXPECT_EQ(1u, timedOut->size());
}

TEST_F(PlaceCallTest, NoCallSetupOrNoUsableMethodAnswers1004)
{
    PutLoginState(2, "online");
    SignInWithList();
    CJSONObject reply = Reply(CallService("callUsingGateway", R"({"to":"bob","isPhone":false})"));
    EXPECT_EQ(1004, Int(reply, "errorCode"));
    EXPECT_EQ(L"pCallSetup error - CallUsingGateway", Text(reply, "errorText"));

    Deliver(CTestPacket(VexlaLib::CHUNK_CALLSETUP).Ints(VexlaLib::KEY_CALLMETHODS, {7}));
    reply = Reply(CallService("callUsingGateway", R"({"to":"bob","isPhone":false})"));
    EXPECT_EQ(1004, Int(reply, "errorCode"));
}

TEST_F(PlaceCallTest, LogoutWhileTheNumberIsAwaitedAnswersTheCall)
{
    Online({2});
    TReplies pending = CallService("callUsingGateway", R"({"to":"carol","isPhone":false})");
    ASSERT_TRUE(WaitForPlaceCall());
    Deliver(CTestPacket(VexlaLib::CHUNK_LOGGEDOUT));
    const CJSONObject reply = Reply(pending);
    EXPECT_FALSE(ReturnValue(reply));
    EXPECT_EQ(0, Int(reply, "errorCode"));
}

TEST_F(PlaceCallTest, ACallWaitsForTheNumberRequestOfAnotherServiceAndGetsItsOwnNumber)
{
    Online({2});
    // The voicemail screens' request is at the library first.
    std::vector<std::wstring> other;
    m_session->DialOutRequests().Request(
        [](VexlaLib::CVexlaLib& library) { return library.RequestVexlaOutCall(L"+4431"); },
        [&other](const CDialOutRequests::TAnswer& answer) { other.push_back(answer.number); });
    ASSERT_TRUE(WaitForPlaceCall(1));
    TReplies call = CallService("callUsingGateway", R"({"to":"+15551234567","isPhone":true})");
    EXPECT_FALSE(WaitForPlaceCall(2));  // held behind the other request

    AnswerPlaceCall(L"+4431000");
    EXPECT_EQ(other, (std::vector<std::wstring>{L"+4431000"}));
    ASSERT_TRUE(WaitForPlaceCall(2));
    std::wstring target;
    PlaceCallRequestId(&target);
    EXPECT_EQ(L"+15551234567", target);
    EXPECT_TRUE(call->empty());
    AnswerPlaceCall(L"+15550100");
    EXPECT_EQ(L"+15550100", Text(Reply(call), "gatewayNumber"));
    EXPECT_EQ(1u, call->size());
}

TEST_F(PlaceCallTest, ACallerWhoLeavesFreesTheNumberRequestForTheNextCaller)
{
    Online({2});
    std::string error;
    TBusConnectionSPtr leaving = CBusConnection::Open(m_bus.Address(), &error);
    ASSERT_TRUE(leaving) << error;
    leaving->Call("nylo://com.vexla.call/callUsingGateway", R"({"to":"+15551111","isPhone":true})", BUS_ONE_REPLY,
                  [](const CBusReply&) {}, &error);
    ASSERT_TRUE(WaitForPlaceCall(1));
    leaving.reset();

    // The next call is taken, not refused as a second call set-up. The departure reaches the service
    // on its own time: a call that arrives before it is refused, and made again.
    TReplies next;
    ASSERT_TRUE(TestSupport::RunUntil([&] {
        if (!next || !next->empty())
            next = CallService("callUsingGateway", R"({"to":"+15552222","isPhone":true})");
        return m_net->SentOfChunk(VexlaLib::CHUNK_PLACECALL).size() == 2;
    }));
    ASSERT_TRUE(WaitForPlaceCall(2));
    std::wstring target;
    PlaceCallRequestId(&target);
    EXPECT_EQ(L"+15552222", target);
}

TEST_F(PlaceCallTest, ACallHeldWhenTheDaemonGoesIsAnswered)
{
    Online({2});
    TReplies pending = CallService("callUsingGateway", R"({"to":"carol","isPhone":false})");
    ASSERT_TRUE(WaitForPlaceCall());
    m_handler.reset();
    const CJSONObject reply = Reply(pending);
    EXPECT_FALSE(ReturnValue(reply));
    EXPECT_EQ(L"0: Unknown reason for failure", Error(reply));
}

TEST_F(PlaceCallTest, DuringAPhoneCallRequestsAreRefused)
{
    Online({2});
    SetConnection(R"({"network":"unusable"})");
    ASSERT_TRUE(TestSupport::RunUntil([this] { return m_session->IsOnPhoneCall(); }));
    const CJSONObject reply = Reply(CallService("callUsingGateway", R"({"to":"carol","isPhone":false})"));
    EXPECT_EQ(1000, Int(reply, "errorCode"));
    EXPECT_TRUE(m_net->SentOfChunk(VexlaLib::CHUNK_PLACECALL).empty());
}

TEST_F(PlaceCallTest, DuringAPhoneCallWhileSignedOutTheDaemonEnds)
{
    SetConnection(R"({"network":"unusable"})");
    ASSERT_TRUE(TestSupport::RunUntil([this] { return m_session->IsOnPhoneCall(); }));
    TReplies replies = CallService("callUsingGateway", R"({"to":"carol","isPhone":false})");
    EXPECT_EQ(1000, Int(ReplyOnceTheDaemonEnds(replies), "errorCode"));
}

}  // namespace
}  // namespace VexlaTest
