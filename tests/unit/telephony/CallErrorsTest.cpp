#include <gtest/gtest.h>

#include "Tesk/App/Meridex/CallErrors.h"
#include "Tesk/App/Meridex/GatewayRecord.h"

TEST(CallErrorsTest, DialOutErrorsHaveTheirTextsAndUnknownOnesNone)
{
    EXPECT_EQ(L"Unknown reason for failure", CCallErrors::DialOutErrorText(0));
    EXPECT_EQ(L"Vexla-out call is not allowed", CCallErrors::DialOutErrorText(2));
    EXPECT_EQ(L"Time-out occured when sending request to vexla server", CCallErrors::DialOutErrorText(5));
    EXPECT_EQ(L"The native phone call application is busy.", CCallErrors::DialOutErrorText(6));
    EXPECT_EQ(L"", CCallErrors::DialOutErrorText(7));
    EXPECT_EQ(L"", CCallErrors::DialOutErrorText(-1));
}

TEST(CallErrorsTest, OwnErrorsHaveTheirTextsAndNoConnectionNone)
{
    EXPECT_EQ(L"Call setup in progress, can only handle one call setup at a time",
              CCallErrors::CallErrorText(CCallErrors::CALL_SETUP_IN_PROGRESS));
    EXPECT_EQ(L"pCallSetup error - CallUsingGateway", CCallErrors::CallErrorText(CCallErrors::NO_CALL_SETUP));
    EXPECT_EQ(L"", CCallErrors::CallErrorText(CCallErrors::NO_CONNECTION));
    EXPECT_EQ(L"", CCallErrors::CallErrorText(5));
}

TEST(GatewayRecordTest, LeadingPlusOneIsLeftOutAndOtherNumbersKept)
{
    std::wstring number;
    std::wstring kind;
    CGatewayRecord::Build(L"+15551234").GetString("number", &number);
    CGatewayRecord::Build(L"+15551234").GetString("_kind", &kind);
    EXPECT_EQ(L"5551234", number);
    EXPECT_EQ(L"com.vexla.gateway:1", kind);
    for (const wchar_t* kept : {L"+315551234", L"15551234", L"+", L""}) {
        CGatewayRecord::Build(kept).GetString("number", &number);
        EXPECT_EQ(kept, number);
    }
}
