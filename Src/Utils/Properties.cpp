#include "Utils/Properties.h"

namespace VexlaLib {

const wchar_t* const CProperties::ASK_FOR_REQUIRED_LOCAL_ADDRESS = L"ASK_FOR_REQUIRED_LOCAL_ADDRESS";
const wchar_t* const CProperties::REQUIRE_LOCAL_ADDRESS = L"REQUIRE_LOCAL_ADDRESS";
const wchar_t* const CProperties::LANGUAGE = L"LANGUAGE";
const wchar_t* const CProperties::PLATFORMID = L"PLATFORMID";
const wchar_t* const CProperties::CALLMETHODS = L"CALLMETHODS";
const wchar_t* const CProperties::RECONNECT_PATTERN = L"RECONNECT_PATTERN";
const wchar_t* const CProperties::SERVER_ENVIRONMENT = L"SERVER_ENVIRONMENT";
const wchar_t* const CProperties::USE_SDF_SERVER = L"USE_SDF_SERVER";
const wchar_t* const CProperties::SOCKET_READ_TIMEOUT_DURING_HANDSHAKE = L"SOCKET_READ_TIMEOUT_DURING_HANDSHAKE";
const wchar_t* const CProperties::SOCKET_WRITE_TIMEOUT_DURING_HANDSHAKE = L"SOCKET_WRITE_TIMEOUT_DURING_HANDSHAKE";
const wchar_t* const CProperties::SOCKET_READ_TIMEOUT_NORMAL_OPERATION = L"SOCKET_READ_TIMEOUT_NORMAL_OPERATION";
const wchar_t* const CProperties::SOCKET_WRITE_TIMEOUT_NORMAL_OPERATION = L"SOCKET_WRITE_TIMEOUT_NORMAL_OPERATION";
const wchar_t* const CProperties::CHAT_RETRIEVAL_POLICY = L"CHAT_RETRIEVAL_POLICY";
const wchar_t* const CProperties::FORCE_CALL_METHOD = L"FORCE_CALL_METHOD";
const wchar_t* const CProperties::NO_ROAMING_CHECK = L"NO_ROAMING_CHECK";
const wchar_t* const CProperties::FAKE_IMSI = L"FAKE_IMSI";
const wchar_t* const CProperties::PSTN = L"PSTN";
const wchar_t* const CProperties::SDF_SERVER_ADDRESS = L"SDF_SERVER_ADDRESS";
const wchar_t* const CProperties::SERVER_ADDRESS_LIST = L"SERVER_ADDRESS_LIST";
const wchar_t* const CProperties::KEY_VEXLANAME = L"KEY_VEXLANAME";
const wchar_t* const CProperties::PROTOCOL_VERSION = L"PROTOCOL_VERSION";
const wchar_t* const CProperties::LOGINDLG_DEFAULT_NAME = L"LOGINDLG_DEFAULT_NAME";
const wchar_t* const CProperties::LOGINDLG_DEFAULT_PASSWORD = L"LOGINDLG_DEFAULT_PASSWORD";
const wchar_t* const CProperties::USESAVEDDATA = L"USESAVEDDATA";
const wchar_t* const CProperties::UNIQUE_DEVICE_ID = L"UNIQUE_DEVICE_ID";
const wchar_t* const CProperties::SAVEDDATA = L"SAVEDDATA";
const wchar_t* const CProperties::LOGVERBOSE = L"LOGVERBOSE";

void CProperties::Initialize()
{
    CLocalStorage::Initialize();
    SetString(ASK_FOR_REQUIRED_LOCAL_ADDRESS, L"1");
    SetString(REQUIRE_LOCAL_ADDRESS, L"");
    SetString(LANGUAGE, L"en");
    SetString(PLATFORMID, L"2007/0.90.0.0");
    SetString(CALLMETHODS, L"1 2 3 ");
    SetString(RECONNECT_PATTERN, L"1 1 9 5 15 60 19 900 67 1200 ");
    SetString(SERVER_ENVIRONMENT, L"LIVE");
    SetString(USE_SDF_SERVER, L"YES");
    SetString(SOCKET_READ_TIMEOUT_DURING_HANDSHAKE, L"30");
    SetString(SOCKET_WRITE_TIMEOUT_DURING_HANDSHAKE, L"30");
    SetString(SOCKET_READ_TIMEOUT_NORMAL_OPERATION, L"30");
    SetString(SOCKET_WRITE_TIMEOUT_NORMAL_OPERATION, L"30");
    SetString(CHAT_RETRIEVAL_POLICY, L"RECENT");
}

std::wstring CProperties::ValueForLog(const std::wstring& key, const std::wstring& value)
{
    return key.find(L"PASSWORD") == std::wstring::npos ? value : L"<redacted>";
}

}  // namespace VexlaLib
