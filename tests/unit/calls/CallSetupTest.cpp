#include <gtest/gtest.h>

#include <limits>

#include "CallTestFixture.h"
#include "Handlers/CallHandler.h"
#include "support/LogCapture.h"

using namespace VexlaLib;
using namespace VexlaTest;

namespace {

class CCallSetupTest : public CCallFixture {
protected:
    const CCallSetup* Stored() { return m_lib.GetModel().GetCallSetup(); }
};

}  // namespace

TEST_F(CCallSetupTest, FirstSetupStoresEverythingAndReportsIt)
{
    Deliver(FullSetup({1, 2}, L"0044", 50)
                .Str(KEY_VI_GATEWAY_NUMBER, L"+31201234")
                .Str(KEY_VI_GATEWAY_NAME, L"Vexla"));
    ASSERT_NE(nullptr, Stored());
    EXPECT_EQ(L"1-2", Stored()->GetCallMethodsString());
    EXPECT_EQ(L"0044", Stored()->GetDialInNumberPrefix());
    EXPECT_EQ(50, Stored()->GetDialInNumberRange());
    EXPECT_EQ(L"5000", Stored()->GetVmNumberPrefix());
    EXPECT_EQ(20, Stored()->GetVmNumberRange());
    EXPECT_TRUE(Stored()->IsVexlaOutEnabled());
    EXPECT_EQ((std::vector<std::string>{"OnCallsEnabled(1)", "OnGatewayNumberUpdated(+31201234,Vexla)"}), CallEvents());

    // The same set-up again changes nothing worth reporting.
    ClearEvents();
    Deliver(FullSetup({1, 2}, L"0044", 50)
                .Str(KEY_VI_GATEWAY_NUMBER, L"+31201234")
                .Str(KEY_VI_GATEWAY_NAME, L"Vexla"));
    EXPECT_TRUE(CallEvents().empty());
}

TEST_F(CCallSetupTest, SetupWithoutMethodsDisablesCallsAndClearsNumbers)
{
    ApplySetup(FullSetup({2, 1}).Str(KEY_VI_GATEWAY_NUMBER, L"+3120"));
    Deliver(CTestPacket(CHUNK_CALLSETUP)
                .Str(KEY_DIALIN_NUMBER_PREFIX, L"+4420")
                .Int(KEY_DIALIN_NUMBER_RANGE_SIZE, 10));
    EXPECT_EQ((std::vector<std::string>{"OnCallsEnabled(0)", "OnGatewayNumberUpdated(,)"}), CallEvents());
    EXPECT_EQ(0, Stored()->GetCallMethodCount());
    EXPECT_EQ(L"", Stored()->GetDialInNumberPrefix());
    EXPECT_EQ(-1, Stored()->GetDialInNumberRange());
    EXPECT_EQ(-1, Stored()->GetVmNumberRange());
    // No KEY_VO_ENABLED: Vexla-out is off.
    EXPECT_FALSE(Stored()->IsVexlaOutEnabled());

    ClearEvents();
    EXPECT_TRUE(m_lib.RequestVexlaCall(L"dave"));
    EXPECT_EQ((std::vector<std::string>{"OnDialOutFailed(3)"}), CallEvents());
}

TEST_F(CCallSetupTest, FirstSetupWithUnusableMethodsReportsNothing)
{
    Deliver(CallSetup({7, 0}));
    EXPECT_TRUE(CallEvents().empty());
    EXPECT_FALSE(Stored()->IsCallEnabled());
}

TEST_F(CCallSetupTest, MoreThanEightMethodsKeepTheFirstEight)
{
    Deliver(CallSetup({9, 9, 9, 9, 9, 9, 9, 9, 2, 1}));
    EXPECT_EQ(CCallSetup::MAX_CALL_METHODS, Stored()->GetCallMethodCount());
    EXPECT_FALSE(Stored()->IsCallEnabled());
    EXPECT_TRUE(CallEvents().empty());
}

TEST_F(CCallSetupTest, SetupIsLoggedAndDroppedWithTheSession)
{
    CLogCapture::Get().Clear();
    Deliver(CallSetup({1, 3}));
    EXPECT_TRUE(CLogCapture::Get().Contains(L"Received allowed call methods: 1-3"));
    Receive(CTestPacket(CHUNK_LOGGEDOUT));
    Drain();
    EXPECT_EQ(nullptr, Stored());
}

TEST_F(CCallSetupTest, IncomingCallIsAnnouncedInLocalTime)
{
    Deliver(CTestPacket(CHUNK_CONNECTED).Int(KEY_SERVER_UTC_TIME, static_cast<int>(CUtils::CurrentTimeInSec()) + 100));
    Deliver(CTestPacket(CHUNK_CALLINGBUDDY)
                .Str(KEY_CALLTARGET, L"bob")
                .Str(KEY_VEXLANAME, L"bob")
                .Str(KEY_DISPLAYNAME, L"Bob B")
                .Int(KEY_TIMESTAMP, 5100));
    Deliver(CTestPacket(CHUNK_CALLINGBUDDY));
    // A time from the server that local time cannot hold is clamped, not wrapped.
    Deliver(CTestPacket(CHUNK_CALLINGBUDDY).Int(KEY_TIMESTAMP, std::numeric_limits<int>::min()));
    EXPECT_EQ((std::vector<std::string>{"OnCallingContact(5000,bob,bob,Bob B)", "OnCallingContact(0,,,)",
                                        "OnCallingContact(" + std::to_string(std::numeric_limits<int>::min()) + ",,,)"}),
              CallEvents());
}

TEST(CCallHandlerNumbers, DialInNumberFromPrefixAndIndex)
{
    std::wstring number;
    ASSERT_TRUE(CCallHandler::ComputeDialInNumber(L"0044", 10, 5, &number));
    EXPECT_EQ(L"49", number);
    ASSERT_TRUE(CCallHandler::ComputeDialInNumber(L"+4420", 10, 7, &number));
    EXPECT_EQ(L"+4427", number);
    // Reading stops at the first character that is not part of the number.
    ASSERT_TRUE(CCallHandler::ComputeDialInNumber(L"+31 20", 10, 10, &number));
    EXPECT_EQ(L"+41", number);

    EXPECT_FALSE(CCallHandler::ComputeDialInNumber(L"4420", 10, 11, &number));
    EXPECT_FALSE(CCallHandler::ComputeDialInNumber(L"4420", 0, 0, &number));
    EXPECT_FALSE(CCallHandler::ComputeDialInNumber(L"4420", 10, 0, &number));
    EXPECT_FALSE(CCallHandler::ComputeDialInNumber(L"", 10, 1, &number));
    EXPECT_FALSE(CCallHandler::ComputeDialInNumber(L"+", 10, 1, &number));
    EXPECT_FALSE(CCallHandler::ComputeDialInNumber(L"000", 10, 1, &number));
    EXPECT_FALSE(CCallHandler::ComputeDialInNumber(L"-44", 10, 1, &number));
    EXPECT_FALSE(CCallHandler::ComputeDialInNumber(L"abc", 10, 1, &number));
    // Too long for 64 bits, or overflowing when the index is added: no number rather than a wrong one.
    EXPECT_FALSE(CCallHandler::ComputeDialInNumber(L"99999999999999999999", 10, 1, &number));
    EXPECT_FALSE(CCallHandler::ComputeDialInNumber(L"9223372036854775807", 10, 1, &number));
}

TEST(CCallHandlerNumbers, VexlaOutNumbersStartWithPlusOrDigit)
{
    EXPECT_TRUE(CCallHandler::IsVexlaOutNumber(L"+44"));
    EXPECT_TRUE(CCallHandler::IsVexlaOutNumber(L"0044"));
    EXPECT_FALSE(CCallHandler::IsVexlaOutNumber(L""));
    EXPECT_FALSE(CCallHandler::IsVexlaOutNumber(L"x44"));
    EXPECT_FALSE(CCallHandler::IsVexlaOutNumber(L" 44"));
}
