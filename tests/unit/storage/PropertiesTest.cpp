#include <gtest/gtest.h>

#include "Utils/Properties.h"

using VexlaLib::CProperties;

TEST(Properties, DefaultsAreSetByInitialize)
{
    CProperties properties;
    properties.Initialize();
    const std::pair<const wchar_t*, const wchar_t*> defaults[] = {
        {L"ASK_FOR_REQUIRED_LOCAL_ADDRESS", L"1"},
        {L"REQUIRE_LOCAL_ADDRESS", L""},
        {L"LANGUAGE", L"en"},
        {L"PLATFORMID", L"2007/0.90.0.0"},
        {L"CALLMETHODS", L"1 2 3 "},
        {L"RECONNECT_PATTERN", L"1 1 9 5 15 60 19 900 67 1200 "},
        {L"SERVER_ENVIRONMENT", L"LIVE"},
        {L"USE_SDF_SERVER", L"YES"},
        {L"SOCKET_READ_TIMEOUT_DURING_HANDSHAKE", L"30"},
        {L"SOCKET_WRITE_TIMEOUT_DURING_HANDSHAKE", L"30"},
        {L"SOCKET_READ_TIMEOUT_NORMAL_OPERATION", L"30"},
        {L"SOCKET_WRITE_TIMEOUT_NORMAL_OPERATION", L"30"},
        {L"CHAT_RETRIEVAL_POLICY", L"RECENT"},
    };
    for (const auto& entry : defaults) {
        std::wstring value = L"unset";
        EXPECT_TRUE(properties.GetString(entry.first, &value)) << entry.first;
        EXPECT_EQ(entry.second, value) << entry.first;
    }
    for (const wchar_t* key : {CProperties::PSTN, CProperties::SDF_SERVER_ADDRESS, CProperties::SERVER_ADDRESS_LIST,
                               CProperties::LOGINDLG_DEFAULT_PASSWORD, CProperties::FORCE_CALL_METHOD}) {
        std::wstring value = L"unset";
        EXPECT_FALSE(properties.GetString(key, &value)) << key;
        EXPECT_EQ(L"unset", value);
    }

    properties.SetString(CProperties::PLATFORMID, L"2017/1.0.0.0");
    std::wstring value;
    EXPECT_TRUE(properties.GetString(CProperties::PLATFORMID, &value));
    EXPECT_EQ(L"2017/1.0.0.0", value);
    EXPECT_TRUE(properties.Synchronize());
}

TEST(Properties, PasswordValuesAreRedactedForTheLog)
{
    EXPECT_EQ(L"<redacted>", CProperties::ValueForLog(L"LOGINDLG_DEFAULT_PASSWORD", L"s3cret"));
    EXPECT_EQ(L"<redacted>", CProperties::ValueForLog(L"PASSWORD", L"s3cret"));
    EXPECT_EQ(L"en", CProperties::ValueForLog(L"LANGUAGE", L"en"));
    EXPECT_EQ(L"x", CProperties::ValueForLog(L"password", L"x"));  // keys are upper-case names
}
