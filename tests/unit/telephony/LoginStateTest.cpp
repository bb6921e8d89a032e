// A call request while the library is not signed in: the account's login-state record decides
// whether the request brings it online, waits for the sign-in under way, or fails.

#include "support/LogCapture.h"
#include "telephony/TelephonyFixture.h"

namespace VexlaTest {
namespace {

class LoginStateTest : public CTelephonyFixture {
protected:
    // Asks for a call and returns once the handler holds it for the sign-in under way.
    TReplies CallWaitingForTheSignIn(const std::string& payload)
    {
        CLogCapture::Get().Clear();
        TReplies replies = CallService("callUsingGateway", payload);
        EXPECT_TRUE(TestSupport::RunUntil(
            [] { return CLogCapture::Get().Contains(L"-- waiting for the sign-in under way"); }));
        return replies;
    }
};

TEST_F(LoginStateTest, WithoutALoginStateRecordTheRequestFailsAndTheDaemonEnds)
{
    TReplies replies = CallService("callUsingGateway", R"({"to":"bob","isPhone":false})");
    EXPECT_EQ(L"1002: unknown imloginstate - CallUsingGateway", Error(ReplyOnceTheDaemonEnds(replies)));
}

TEST_F(LoginStateTest, AnOfflineAccountIsBroughtOnlineAndCalledOnceTheBuddyListArrives)
{
    PutLoginState(4, "offline");
    TReplies replies = CallService("callUsingGateway", R"({"to":"carol","isPhone":false})");
    ASSERT_TRUE(TestSupport::RunUntil([this] { return Int(LoginState(), "availability") == 0; }));
    EXPECT_TRUE(replies->empty());

    SignIn();
    Deliver(CallSetup({2}));
    EXPECT_TRUE(m_net->SentOfChunk(VexlaLib::CHUNK_PLACECALL).empty());
    DeliverBuddyList();
    ASSERT_TRUE(WaitForPlaceCall());
    AnswerPlaceCall(L"+31205550009");
    EXPECT_EQ(L"+31205550009", Text(Reply(replies), "gatewayNumber"));
}

TEST_F(LoginStateTest, AMissingAvailabilityCountsAsOffline)
{
    Platform("nylo://com.nylo.db/put",
             R"({"objects":[{"_kind":"com.nylo.imloginstate.vexla:1","username":"alice","state":"offline"}]})");
    TReplies replies = CallService("callUsingGateway", R"({"to":"carol","isPhone":false})");
    EXPECT_TRUE(TestSupport::RunUntil([this] { return Int(LoginState(), "availability") == 0; }));
    EXPECT_TRUE(replies->empty());
}

TEST_F(LoginStateTest, ASignInUnderWayWithoutADataConnectionFailsAndTheDaemonEnds)
{
    PutLoginState(0, "logging-on");
    SetConnection(R"({"state":"disconnected"})");
    ASSERT_TRUE(TestSupport::RunUntil([this] { return !m_session->IsConnectionAvailabile(); }));
    TReplies replies = CallService("callUsingGateway", R"({"to":"bob","isPhone":false})");
    const CJSONObject reply = ReplyOnceTheDaemonEnds(replies);
    EXPECT_EQ(L"1005: ", Error(reply));
    EXPECT_TRUE(reply.Has("errorText"));
}

TEST_F(LoginStateTest, ALoginFailureWhileTheCallWaitsFailsItAndTheDaemonEnds)
{
    PutLoginState(2, "logging-on");
    TReplies replies = CallService("callUsingGateway", R"({"to":"bob","isPhone":false})");
    // The first request is held: a second one is refused.
    const CJSONObject refused = Reply(CallService("callUsingGateway", R"({"to":"bob","isPhone":false})"));
    EXPECT_EQ(1000, Int(refused, "errorCode"));
    EXPECT_TRUE(replies->empty());
    Library().Login(L"alice", L"wrong");
    m_net->Receive(CTestPacket(VexlaLib::CHUNK_LOGGEDOUT).Int(VexlaLib::KEY_LOGOUTREASON, 8));
    EXPECT_EQ(L"1003: login failed - CallUsingGateway", Error(ReplyOnceTheDaemonEnds(replies)));
}

// A record left "logging-on" by an earlier daemon: nobody is signing in, so the wait runs out.
TEST_F(LoginStateTest, WithNoSignInUnderWayTheWaitEndsInTheLoginErrorAndTheDaemonEnds)
{
    PutLoginState(2, "logging-on");
    for (int request = 0; request < 2; ++request) {
        TReplies replies = CallWaitingForTheSignIn(R"({"to":"bob","isPhone":false})");
        m_clock.Advance(CCallHandler::SIGN_IN_WAIT_MS - 1);
        m_session->ProcessStep();
        EXPECT_TRUE(replies->empty());
        m_clock.Advance(1);
        // The next request is held again rather than refused as a second call set-up.
        EXPECT_EQ(L"1003: login failed - CallUsingGateway", Error(ReplyOnceTheDaemonEnds(replies)));
    }
}

TEST_F(LoginStateTest, AnOfflineAccountThatNobodySignsInEndsTheWaitToo)
{
    PutLoginState(4, "offline");
    TReplies replies = CallService("callUsingGateway", R"({"to":"carol","isPhone":false})");
    ASSERT_TRUE(TestSupport::RunUntil([this] { return Int(LoginState(), "availability") == 0; }));
    m_clock.Advance(CCallHandler::SIGN_IN_WAIT_MS);
    EXPECT_EQ(L"1003: login failed - CallUsingGateway", Error(ReplyOnceTheDaemonEnds(replies)));
}

// The session's own login is bounded by the library's login time-out: the call waits for it.
TEST_F(LoginStateTest, ASignInUnderWayOutlastsTheWaitAndTheCallIsMade)
{
    ASSERT_TRUE(m_session->StartNewSession(L"alice", L"secret"));
    ASSERT_TRUE(TestSupport::RunUntil(
        [this] { return m_session->GetLoginState() == CVexlaSession::LOGIN_STATE_REQUESTED; }));
    PutLoginState(2, "logging-on");
    TReplies replies = CallWaitingForTheSignIn(R"({"to":"carol","isPhone":false})");
    for (int wait = 0; wait < 2; ++wait) {
        m_clock.Advance(CCallHandler::SIGN_IN_WAIT_MS);
        m_session->ProcessStep();
    }

    Deliver(CTestPacket(VexlaLib::CHUNK_LOGGEDIN));
    Deliver(CallSetup({2}));
    DeliverBuddyList();
    ASSERT_TRUE(WaitForPlaceCall());
    AnswerPlaceCall(L"+31205550010");
    EXPECT_EQ(L"+31205550010", Text(Reply(replies), "gatewayNumber"));
    EXPECT_EQ(1u, replies->size());
}

TEST_F(LoginStateTest, AnyOtherLoginStateIsRefused)
{
    PutLoginState(5, "online");
    EXPECT_EQ(L"1001: unknown availability or state - CallUsingGateway",
              Error(Reply(CallService("callUsingGateway", R"({"to":"bob","isPhone":false})"))));
}

}  // namespace
}  // namespace VexlaTest
