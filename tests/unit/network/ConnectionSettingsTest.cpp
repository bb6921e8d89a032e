#include <gtest/gtest.h>

#include "Network/ConnectionSettings.h"
#include "Utils/Properties.h"
#include "Utils/RootKeys.h"
#include "support/LogCapture.h"

using namespace VexlaLib;
using VexlaTest::CLogCapture;

namespace {

class ConnectionSettingsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        properties.Initialize();
        CLogCapture::Get().Clear();
    }

    std::vector<unsigned char> Key(const unsigned char* key)
    {
        return std::vector<unsigned char>(key, key + ROOT_KEY_LENGTH);
    }

    CProperties properties;
    CConnectionSettings settings{&properties};
};

}  // namespace

TEST_F(ConnectionSettingsTest, DefaultsAreTheDocumentedOnes)
{
    EXPECT_EQ(L"LIVE", settings.GetServerEnvironment());
    EXPECT_EQ(L"YES", settings.GetUseSDFServer());
    EXPECT_EQ(4, settings.GetCurrentProtocolVersion());
    EXPECT_EQ(L"2007/0.90.0.0", settings.GetPlattformID());
    EXPECT_EQ(L"en", settings.GetLanguage());
    EXPECT_EQ((std::vector<int>{1, 2, 3}), settings.GetCallMethods());
    EXPECT_EQ((std::vector<int>{1, 1, 9, 5, 15, 60, 19, 900, 67, 1200}), settings.GetReconnectPattern());
    EXPECT_EQ(30, settings.GetReadTimeoutDuringHandshake());
    EXPECT_EQ(30, settings.GetWriteTimeoutNormalOperation());
    EXPECT_EQ(L"", settings.GetRequiredLocalAddress());
    EXPECT_TRUE(settings.GetAskForRequiredLocalAddress());
    EXPECT_EQ((std::vector<unsigned char>{1, 0, 1}), settings.GetDefaultCommonExp());
    EXPECT_EQ(Key(ROOT_KEY_LIVE_PRIMARY), settings.GetDefaultRootKeyPrimary());
    const std::vector<unsigned char> client = settings.GetConstClient();
    EXPECT_EQ(std::string("client"), std::string(client.begin(), client.end()));
    EXPECT_EQ(6u, settings.GetConstServer().size());
    EXPECT_EQ(7u, settings.GetConstHashKey().size());
    EXPECT_EQ(8u, settings.GetConstUserData().size());
    EXPECT_FALSE(CLogCapture::Get().Contains(L"CConnectionSettings"));
}

TEST_F(ConnectionSettingsTest, EnvironmentsChooseServersAndRootKeys)
{
    properties.SetString(L"SERVER_ENVIRONMENT", L"TEST");
    EXPECT_EQ((std::vector<std::wstring>{L"127.0.0.1:10010", L"127.0.0.2:10010"}), settings.GetDefaultRootServers());
    EXPECT_EQ(Key(ROOT_KEY_TEST_PRIMARY), settings.GetDefaultRootKeyPrimary());
    EXPECT_EQ(Key(ROOT_KEY_TEST_BACKUP), settings.GetDefaultRootKeyBackup());
    EXPECT_EQ(L"127.0.0.1:2020", settings.GetDefaultSDFServer());

    properties.SetString(L"SERVER_ENVIRONMENT", L"STAGING");
    const std::vector<std::wstring> staging = settings.GetDefaultRootServers();
    ASSERT_FALSE(staging.empty());
    EXPECT_NE(std::wstring::npos, staging.front().find(L"staging"));
    EXPECT_EQ(Key(ROOT_KEY_LIVE_PRIMARY), settings.GetDefaultRootKeyPrimary());
    EXPECT_EQ(Key(ROOT_KEY_LIVE_BACKUP), settings.GetDefaultRootKeyBackup());

    properties.SetString(L"SERVER_ADDRESS_LIST", L" 127.0.0.1:4000  127.0.0.2:4001 ");
    EXPECT_EQ((std::vector<std::wstring>{L"127.0.0.1:4000", L"127.0.0.2:4001"}), settings.GetDefaultRootServers());
    properties.SetString(L"SDF_SERVER_ADDRESS", L"127.0.0.1:5000");
    EXPECT_EQ(L"127.0.0.1:5000", settings.GetDefaultSDFServer());
}

TEST_F(ConnectionSettingsTest, LiveHasEightServersAndStagingOneAllOnPort9010)
{
    const auto onPort9010 = [](const std::vector<std::wstring>& servers) {
        for (const std::wstring& server : servers) {
            const size_t colon = server.find(L':');
            if (colon == 0 || colon == std::wstring::npos || server.substr(colon) != L":9010") {
                return false;
            }
        }
        return true;
    };
    const std::vector<std::wstring> live = settings.GetDefaultRootServers();
    EXPECT_EQ(8u, live.size());
    EXPECT_TRUE(onPort9010(live));
    properties.SetString(L"SERVER_ENVIRONMENT", L"STAGING");
    const std::vector<std::wstring> staging = settings.GetDefaultRootServers();
    EXPECT_EQ(1u, staging.size());
    EXPECT_TRUE(onPort9010(staging));
}

TEST_F(ConnectionSettingsTest, NumbersAndListsAreParsedFromText)
{
    properties.SetString(L"PROTOCOL_VERSION", L" 3 7");
    properties.SetString(L"CALLMETHODS", L"2 ");
    properties.SetString(L"SOCKET_READ_TIMEOUT_NORMAL_OPERATION", L"soon");
    EXPECT_EQ(3, settings.GetCurrentProtocolVersion());
    EXPECT_EQ(std::vector<int>{2}, settings.GetCallMethods());
    EXPECT_EQ(30, settings.GetReadTimeoutNormalOperation());
    EXPECT_EQ(-1, settings.GetIntFromString(L"NO_SUCH_SETTING", -1));
    EXPECT_TRUE(settings.GetIntArrayFromString(L"NO_SUCH_SETTING").empty());
    settings.SetRequiredLocalAddress(L"10.1.2.3");
    EXPECT_EQ(L"10.1.2.3", settings.GetRequiredLocalAddress());
}

TEST_F(ConnectionSettingsTest, InvalidValuesAreReportedAsConfigurationErrors)
{
    properties.SetString(L"RECONNECT_PATTERN", L"1 1 9");
    EXPECT_EQ((std::vector<int>{1, 1, 9, 5, 15, 60, 19, 900, 67, 1200}), settings.GetReconnectPattern());
    EXPECT_TRUE(CLogCapture::Get().Contains(
        L"CConnectionSettings::GetReconnectPattern - RECONNECT_PATTERN must be even number of integers."));
    properties.SetString(L"RECONNECT_PATTERN", L"1 1 9 5");
    EXPECT_EQ((std::vector<int>{1, 1, 9, 5}), settings.GetReconnectPattern());

    properties.SetString(L"SERVER_ENVIRONMENT", L"MARS");
    settings.GetServerEnvironment();
    EXPECT_TRUE(
        CLogCapture::Get().Contains(L"CConnectionSettings::GetServerEnvironment - unknown SERVER_ENVIRONMENT: MARS"));
    properties.SetString(L"USE_SDF_SERVER", L"MAYBE");
    settings.GetUseSDFServer();
    EXPECT_TRUE(CLogCapture::Get().Contains(L"CConnectionSettings::GetUseSDFServer - unknown USE_SDF_SERVER: MAYBE"));
}
