#include "Network/ConnectionSettings.h"

#include <cwchar>
#include <sstream>

#include "Utils/LogStream.h"
#include "Utils/Properties.h"
#include "Utils/RootKeys.h"
#include "Utils/Utils.h"

namespace VexlaLib {

namespace {

const wchar_t ENV_LIVE[] = L"LIVE";
const wchar_t ENV_STAGING[] = L"STAGING";
const wchar_t ENV_TEST[] = L"TEST";

const char TEST_SERVERS[] = "127.0.0.1:10010 127.0.0.2:10010";
// The LIVE and STAGING servers listen on one port; their host names are set at build time.
const wchar_t ROOT_SERVER_PORT[] = L":9010";
const char SDFSERVER_LIVE[] = VEXLA_LIVE_SDF_SERVER;
const char SDFSERVER_STAGING[] = VEXLA_STAGING_SDF_SERVER;
const char SDFSERVER_TEST[] = "127.0.0.1:2020";

std::vector<std::wstring> SplitList(const std::wstring& text)
{
    std::vector<std::wstring> entries;
    std::wistringstream stream(text);
    std::wstring entry;
    while (stream >> entry) {
        entries.push_back(entry);
    }
    return entries;
}

std::vector<unsigned char> Label(const char* word)
{
    return std::vector<unsigned char>(word, word + std::char_traits<char>::length(word));
}

}  // namespace

CConnectionSettings::CConnectionSettings(CProperties* properties) : m_properties(properties) {}

std::wstring CConnectionSettings::GetStringOr(const std::wstring& key, const std::wstring& defaultValue) const
{
    std::wstring value;
    return m_properties->GetString(key, &value) ? value : defaultValue;
}

std::wstring CConnectionSettings::GetServerEnvironment() const
{
    const std::wstring environment = GetStringOr(L"SERVER_ENVIRONMENT", ENV_LIVE);
    if (environment != ENV_LIVE && environment != ENV_STAGING && environment != ENV_TEST) {
        LogError() << "CConnectionSettings::GetServerEnvironment - unknown SERVER_ENVIRONMENT: " << environment
                   << std::endl;
    }
    return environment;
}

std::wstring CConnectionSettings::GetUseSDFServer() const
{
    const std::wstring use = GetStringOr(L"USE_SDF_SERVER", L"YES");
    if (use != L"YES" && use != L"NO") {
        LogError() << "CConnectionSettings::GetUseSDFServer - unknown USE_SDF_SERVER: " << use << std::endl;
    }
    return use;
}

std::wstring CConnectionSettings::GetDefaultSDFServer() const
{
    std::wstring address;
    if (m_properties->GetString(L"SDF_SERVER_ADDRESS", &address)) {
        return address;
    }
    const std::wstring environment = GetServerEnvironment();
    if (environment == ENV_TEST) {
        return CUtils::ConvertCharToWide(SDFSERVER_TEST);
    }
    return CUtils::ConvertCharToWide(environment == ENV_STAGING ? SDFSERVER_STAGING : SDFSERVER_LIVE);
}

int CConnectionSettings::GetCurrentProtocolVersion() const
{
    return GetIntFromString(L"PROTOCOL_VERSION", 4);
}

std::wstring CConnectionSettings::GetPlattformID() const
{
    return GetStringOr(L"PLATFORMID", L"2007/0.90.0.0");
}

std::wstring CConnectionSettings::GetLanguage() const
{
    return GetStringOr(L"LANGUAGE", L"en");
}

std::vector<int> CConnectionSettings::GetCallMethods() const
{
    std::wstring value;
    return m_properties->GetString(L"CALLMETHODS", &value) ? GetIntArrayFromString(L"CALLMETHODS")
                                                           : std::vector<int>{1, 2, 3};
}

std::vector<int> CConnectionSettings::GetReconnectPattern() const
{
    const std::vector<int> defaultPattern{1, 1, 9, 5, 15, 60, 19, 900, 67, 1200};
    std::wstring value;
    if (!m_properties->GetString(L"RECONNECT_PATTERN", &value)) {
        return defaultPattern;
    }
    const std::vector<int> pattern = GetIntArrayFromString(L"RECONNECT_PATTERN");
    if (pattern.empty() || pattern.size() % 2 != 0) {
        // A broken installation: keep retrying at the default pace rather than not at all.
        LogError() << "CConnectionSettings::GetReconnectPattern - RECONNECT_PATTERN must be even number of integers."
                   << std::endl;
        return defaultPattern;
    }
    return pattern;
}

int CConnectionSettings::GetReadTimeoutDuringHandshake() const
{
    return GetIntFromString(L"SOCKET_READ_TIMEOUT_DURING_HANDSHAKE", 30);
}

int CConnectionSettings::GetWriteTimeoutDuringHandshake() const
{
    return GetIntFromString(L"SOCKET_WRITE_TIMEOUT_DURING_HANDSHAKE", 30);
}

int CConnectionSettings::GetReadTimeoutNormalOperation() const
{
    return GetIntFromString(L"SOCKET_READ_TIMEOUT_NORMAL_OPERATION", 30);
}

int CConnectionSettings::GetWriteTimeoutNormalOperation() const
{
    return GetIntFromString(L"SOCKET_WRITE_TIMEOUT_NORMAL_OPERATION", 30);
}

std::wstring CConnectionSettings::GetRequiredLocalAddress() const
{
    return GetStringOr(L"REQUIRE_LOCAL_ADDRESS", L"");
}

void CConnectionSettings::SetRequiredLocalAddress(const std::wstring& address)
{
    m_properties->SetString(L"REQUIRE_LOCAL_ADDRESS", address);
}

bool CConnectionSettings::GetAskForRequiredLocalAddress() const
{
    return GetStringOr(L"ASK_FOR_REQUIRED_LOCAL_ADDRESS", L"1") == L"1";
}

std::wstring CConnectionSettings::GetPSTN() const
{
    return GetStringOr(L"PSTN", L"");
}

std::vector<std::wstring> CConnectionSettings::GetDefaultRootServers() const
{
    std::wstring list;
    if (m_properties->GetString(L"SERVER_ADDRESS_LIST", &list) && !SplitList(list).empty()) {
        return SplitList(list);
    }
    const std::wstring environment = GetServerEnvironment();
    if (environment == ENV_TEST) {
        return SplitList(CUtils::ConvertCharToWide(TEST_SERVERS));
    }
    std::vector<std::wstring> servers = SplitList(
        CUtils::ConvertCharToWide(environment == ENV_STAGING ? VEXLA_STAGING_SERVER_HOST : VEXLA_LIVE_SERVER_HOSTS));
    for (std::wstring& server : servers) {
        server += ROOT_SERVER_PORT;
    }
    return servers;
}

bool CConnectionSettings::UsesTestKeys() const
{
    return GetServerEnvironment() == ENV_TEST;
}

bool CConnectionSettings::GetCheckIdentityDigest() const
{
    const std::wstring check = GetStringOr(L"CHECK_IDENTITY_DIGEST", UsesTestKeys() ? L"YES" : L"NO");
    if (check != L"YES" && check != L"NO") {
        LogError() << "CConnectionSettings::GetCheckIdentityDigest - unknown CHECK_IDENTITY_DIGEST: " << check
                   << ", checking the digest" << std::endl;
    }
    return check != L"NO";
}

std::vector<unsigned char> CConnectionSettings::GetDefaultRootKeyPrimary() const
{
    const unsigned char* key = UsesTestKeys() ? ROOT_KEY_TEST_PRIMARY : ROOT_KEY_LIVE_PRIMARY;
    return std::vector<unsigned char>(key, key + ROOT_KEY_LENGTH);
}

std::vector<unsigned char> CConnectionSettings::GetDefaultRootKeyBackup() const
{
    const unsigned char* key = UsesTestKeys() ? ROOT_KEY_TEST_BACKUP : ROOT_KEY_LIVE_BACKUP;
    return std::vector<unsigned char>(key, key + ROOT_KEY_LENGTH);
}

std::vector<unsigned char> CConnectionSettings::GetDefaultCommonExp() const
{
    return std::vector<unsigned char>(RSA_PUBLIC_EXPONENT, RSA_PUBLIC_EXPONENT + RSA_PUBLIC_EXPONENT_LENGTH);
}

std::vector<unsigned char> CConnectionSettings::GetConstClient() const
{
    return Label("client");
}

std::vector<unsigned char> CConnectionSettings::GetConstServer() const
{
    return Label("server");
}

std::vector<unsigned char> CConnectionSettings::GetConstHashKey() const
{
    return Label("hashkey");
}

std::vector<unsigned char> CConnectionSettings::GetConstUserData() const
{
    return Label("userdata");
}

int CConnectionSettings::GetIntFromString(const std::wstring& key, int defaultValue) const
{
    const std::vector<int> values = GetIntArrayFromString(key);
    return values.empty() ? defaultValue : values.front();
}

std::vector<int> CConnectionSettings::GetIntArrayFromString(const std::wstring& key) const
{
    std::vector<int> values;
    std::wstring text;
    if (!m_properties->GetString(key, &text)) {
        return values;
    }
    std::wistringstream stream(text);
    int value = 0;
    while (stream >> value) {
        values.push_back(value);
    }
    return values;
}

}  // namespace VexlaLib
