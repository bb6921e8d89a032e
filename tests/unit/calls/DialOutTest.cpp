#include <gtest/gtest.h>

#include "CallTestFixture.h"
#include "Handlers/CallHandler.h"
#include "support/LogCapture.h"
#include "Utils/Properties.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

class CDialOutTest : public CCallFixture {
protected:
    // The request id of the last number request sent.
    int LastRequestId(int chunk = CHUNK_PLACECALL) const
    {
        const std::vector<TPacketSPtr> sent = Sent(chunk);
        return sent.empty() ? 0 : IntOf(sent.back(), KEY_REQUEST_ID);
    }
    std::vector<std::string> Failed(int code) const { return {"OnDialOutFailed(" + std::to_string(code) + ")"}; }
    std::vector<std::string> Dial(const std::string& number) const { return {"OnUseDialOutNumber(" + number + ")"}; }
};

}  // namespace

TEST_F(CDialOutTest, ContactOutsideDialInRangeIsAskedOfTheServer)
{
    ApplySetup(FullSetup({1, 2}, L"+4420", 10));
    ASSERT_TRUE(m_lib.RequestContactCall(ContactHandle(12)));
    ASSERT_EQ(1u, Sent(CHUNK_PLACECALL).size());
    const TPacketSPtr request = Sent(CHUNK_PLACECALL).back();
    EXPECT_EQ(2, IntOf(request, KEY_CALLMETHOD));
    EXPECT_EQ(L"carol", StrOf(request, KEY_CALLTARGET));
    EXPECT_GT(IntOf(request, KEY_REQUEST_ID), 0);
    EXPECT_TRUE(CallEvents().empty());

    Deliver(Answer(LastRequestId(), L"+4930555"));
    EXPECT_EQ(Dial("+4930555"), CallEvents());
}

TEST_F(CDialOutTest, ContactInsideDialInRangeGetsTheComputedNumberAtOnce)
{
    ApplySetup(FullSetup({1, 2}, L"+4420", 10));
    const size_t sentBefore = m_net->m_sent.size();
    ASSERT_TRUE(m_lib.RequestContactCall(ContactHandle(3)));
    EXPECT_EQ(Dial("+4423"), CallEvents());
    EXPECT_EQ(sentBefore, m_net->m_sent.size());

    // Leading zeros are dropped.
    ApplySetup(FullSetup({1, 2}, L"0044", 10));
    ASSERT_TRUE(m_lib.RequestVexlaCall(L"BOB"));
    EXPECT_EQ(Dial("47"), CallEvents());
    EXPECT_EQ(sentBefore, m_net->m_sent.size());
}

TEST_F(CDialOutTest, VexlaOutContactIsCalledByItsNumber)
{
    ApplySetup(FullSetup({3}));
    ASSERT_TRUE(m_lib.RequestContactCall(ContactHandle(4)));
    const TPacketSPtr request = Sent(CHUNK_PLACECALL).back();
    EXPECT_EQ(3, IntOf(request, KEY_CALLMETHOD));
    EXPECT_EQ(L"+3170123", StrOf(request, KEY_CALLTARGET));
}

TEST_F(CDialOutTest, RequestsFailWithTheirCodes)
{
    // No call set-up yet.
    ASSERT_TRUE(m_lib.RequestContactCall(ContactHandle(3)));
    EXPECT_EQ(Failed(1), CallEvents());

    // Only method 1: a user who is not a contact cannot be reached; nor a contact outside the range.
    ApplySetup(FullSetup({1}, L"+4420", 10));
    ASSERT_TRUE(m_lib.RequestVexlaCall(L"dave"));
    EXPECT_EQ(Failed(0), CallEvents());
    ClearEvents();
    ASSERT_TRUE(m_lib.RequestContactCall(ContactHandle(12)));
    EXPECT_EQ(Failed(0), CallEvents());
    EXPECT_TRUE(Sent(CHUNK_PLACECALL).empty());

    // Nobody named: no contact is taken for it and nothing is asked of the server.
    ApplySetup(FullSetup({2, 1}, L"+4420", 10));
    ClearEvents();
    ASSERT_TRUE(m_lib.RequestVexlaCall(L""));
    EXPECT_EQ(Failed(0), CallEvents());
    EXPECT_TRUE(Sent(CHUNK_PLACECALL).empty());
}

TEST_F(CDialOutTest, VexlaOutNumbersAreCheckedOnlyWhenVexlaOutIsEnabled)
{
    ApplySetup(FullSetup({1, 2}));
    ASSERT_TRUE(m_lib.RequestVexlaOutCall(L"abc123"));
    EXPECT_EQ(Failed(4), CallEvents());

    ApplySetup(CallSetup({1, 2}));
    ASSERT_TRUE(m_lib.RequestVexlaOutCall(L"abc123"));
    EXPECT_EQ(Failed(2), CallEvents());
    ClearEvents();
    ASSERT_TRUE(m_lib.RequestVexlaOutCall(L"+4412"));
    EXPECT_EQ(Failed(2), CallEvents());
}

TEST_F(CDialOutTest, VexlaOutNumberWithMethodOneIsAskedOfTheServer)
{
    ApplySetup(FullSetup({5, 1, 2}));
    ASSERT_TRUE(m_lib.RequestVexlaOutCall(L"+441234"));
    const TPacketSPtr request = Sent(CHUNK_PLACECALL).back();
    EXPECT_EQ(1, IntOf(request, KEY_CALLMETHOD));
    EXPECT_EQ(L"+441234", StrOf(request, KEY_CALLTARGET));
}

TEST_F(CDialOutTest, UnansweredRequestTimesOutAfterThirtySeconds)
{
    ApplySetup(FullSetup({2}));
    CLogCapture::Get().Clear();
    ASSERT_TRUE(m_lib.RequestVexlaCall(L"dave"));
    const int requestId = LastRequestId();
    Advance(CCallHandler::NUMBER_REQUEST_TIMEOUT_MS - 1);
    EXPECT_TRUE(CallEvents().empty());
    Advance(1);
    EXPECT_EQ(Failed(5), CallEvents());
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Place call request time-out."));

    // A late answer finds no request outstanding.
    Deliver(Answer(requestId, L"+4930555"));
    EXPECT_EQ(Failed(5), CallEvents());
}

TEST_F(CDialOutTest, SecondRequestReplacesTheFirstAndStillGetsItsNumber)
{
    ApplySetup(FullSetup({2}));
    ASSERT_TRUE(m_lib.RequestVexlaCall(L"dave"));
    const int first = LastRequestId();
    m_clock.Advance(10000);
    CLogCapture::Get().Clear();
    ASSERT_TRUE(m_lib.RequestVexlaCall(L"erin"));
    const int second = LastRequestId();
    EXPECT_NE(first, second);
    EXPECT_TRUE(CLogCapture::Get().Contains(L"is already in progress, cancelling previous request."));

    Deliver(Answer(first, L"+111"));
    EXPECT_TRUE(CallEvents().empty());
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Received CHUNK_USEPSTNNUMBER for unknown request."));
    Deliver(Answer(second, L"+222"));
    EXPECT_EQ(Dial("+222"), CallEvents());
    Advance(CCallHandler::NUMBER_REQUEST_TIMEOUT_MS);
    EXPECT_EQ(Dial("+222"), CallEvents());
}

TEST_F(CDialOutTest, SecondRequestStillTimesOutAfterAnAnswerToTheFirst)
{
    ApplySetup(FullSetup({2}));
    ASSERT_TRUE(m_lib.RequestVexlaCall(L"dave"));
    const int first = LastRequestId();
    m_clock.Advance(10000);
    ASSERT_TRUE(m_lib.RequestVexlaCall(L"erin"));
    Deliver(Answer(first, L"+111"));
    Advance(CCallHandler::NUMBER_REQUEST_TIMEOUT_MS - 1);
    EXPECT_TRUE(CallEvents().empty());
    Advance(1);
    EXPECT_EQ(Failed(5), CallEvents());
}

TEST_F(CDialOutTest, AnswerWithoutNumberFallsBackToTheDialInPrefix)
{
    ApplySetup(FullSetup({2}, L"+4420", 10));
    ASSERT_TRUE(m_lib.RequestVexlaCall(L"dave"));
    Deliver(Answer(LastRequestId(), L""));
    EXPECT_EQ(Dial("+4420"), CallEvents());

    ApplySetup(CallSetup({2}));
    CLogCapture::Get().Clear();
    ASSERT_TRUE(m_lib.RequestVexlaCall(L"dave"));
    Deliver(Answer(LastRequestId(), L""));
    EXPECT_EQ(Failed(0), CallEvents());
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Received CHUNK_USEPSTNNUMBER with empty dial-out number."));
}

TEST_F(CDialOutTest, AnswerWithoutRequestIdOrWithoutRequestIsIgnored)
{
    ApplySetup(FullSetup({2}));
    Deliver(Answer(0, L"+111"));
    EXPECT_TRUE(CallEvents().empty());
    ASSERT_TRUE(m_lib.RequestVexlaCall(L"dave"));
    Deliver(CTestPacket(CHUNK_USEPSTNNUMBER).Str(KEY_CALLPSTNNUMBER, L"+111"));
    EXPECT_TRUE(CallEvents().empty());
    Deliver(Answer(LastRequestId(), L"+222"));
    EXPECT_EQ(Dial("+222"), CallEvents());
}

TEST_F(CDialOutTest, ForcedCallMethodReplacesTheMethodOfPlaceCallOnly)
{
    ApplySetup(FullSetup({2, 1}));
    m_lib.SetProperty(CProperties::FORCE_CALL_METHOD, L"7");
    ASSERT_TRUE(m_lib.RequestVexlaCall(L"dave"));
    EXPECT_EQ(7, IntOf(Sent(CHUNK_PLACECALL).back(), KEY_CALLMETHOD));

    Deliver(Voicemails({VoicemailRecord(30, L"bob")}));
    ASSERT_TRUE(m_lib.RequestListenVoicemail(Voicemail(30)->GetHandle()));
    EXPECT_EQ(2, IntOf(Sent(CHUNK_LISTENVOICEMAIL).back(), KEY_CALLMETHOD));

    m_lib.SetProperty(CProperties::FORCE_CALL_METHOD, L"3x");
    ASSERT_TRUE(m_lib.RequestVexlaCall(L"dave"));
    EXPECT_EQ(2, IntOf(Sent(CHUNK_PLACECALL).back(), KEY_CALLMETHOD));
}

TEST_F(CDialOutTest, SignOutEndsTheRequestWithoutAReport)
{
    ApplySetup(FullSetup({2}));
    ASSERT_TRUE(m_lib.RequestVexlaCall(L"dave"));
    Deliver(CTestPacket(CHUNK_LOGGEDOUT));
    Advance(CCallHandler::NUMBER_REQUEST_TIMEOUT_MS);
    EXPECT_TRUE(CallEvents().empty());
    // Signed out, the library refuses call requests instead of reporting to nobody.
    EXPECT_FALSE(m_lib.RequestVexlaCall(L"dave"));
    EXPECT_FALSE(m_lib.RequestVexlaOutCall(L"+44"));
    EXPECT_FALSE(m_lib.DeleteAllVoicemails());
}

TEST_F(CDialOutTest, UnknownHandlesAreRefused)
{
    ApplySetup(FullSetup({2}));
    EXPECT_FALSE(m_lib.RequestContactCall(987654));
    EXPECT_FALSE(m_lib.RequestListenVoicemail(ContactHandle(3)));
    EXPECT_TRUE(CallEvents().empty());
}
