// A call request while the library is not signed in: the account's login-state record decides
// whether the request brings it online, waits for the sign-in under way, or fails.

#include "telephony/TelephonyFixture.h"

namespace VexlaTest {
namespace {

class LoginStateTest : public CTelephonyFixture {};

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

TEST_F(LoginStateTest, AnyOtherLoginStateIsRefused)
{
    PutLoginState(5, "online");
    EXPECT_EQ(L"1001: unknown availability or state - CallUsingGateway",
              Error(Reply(CallService("callUsingGateway", R"({"to":"bob","isPhone":false})"))));
}

}  // namespace
}  // namespace VexlaTest
