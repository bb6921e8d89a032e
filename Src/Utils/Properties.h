#pragma once

#include "Utils/LocalStorage.h"

namespace VexlaLib {

// The library's settings: string values in memory, with compiled-in defaults set by Initialize.
class CProperties : public CLocalStorage
{
public:
    // Keys with a default.
    static const wchar_t* const ASK_FOR_REQUIRED_LOCAL_ADDRESS;
    static const wchar_t* const REQUIRE_LOCAL_ADDRESS;
    static const wchar_t* const LANGUAGE;
    static const wchar_t* const PLATFORMID;
    static const wchar_t* const CALLMETHODS;
    static const wchar_t* const RECONNECT_PATTERN;
    static const wchar_t* const SERVER_ENVIRONMENT;
    static const wchar_t* const USE_SDF_SERVER;
    static const wchar_t* const SOCKET_READ_TIMEOUT_DURING_HANDSHAKE;
    static const wchar_t* const SOCKET_WRITE_TIMEOUT_DURING_HANDSHAKE;
    static const wchar_t* const SOCKET_READ_TIMEOUT_NORMAL_OPERATION;
    static const wchar_t* const SOCKET_WRITE_TIMEOUT_NORMAL_OPERATION;
    static const wchar_t* const CHAT_RETRIEVAL_POLICY;
    // Keys without a default: unset until someone sets them.
    static const wchar_t* const FORCE_CALL_METHOD;
    static const wchar_t* const NO_ROAMING_CHECK;
    static const wchar_t* const FAKE_IMSI;
    static const wchar_t* const PSTN;
    static const wchar_t* const SDF_SERVER_ADDRESS;
    static const wchar_t* const SERVER_ADDRESS_LIST;
    static const wchar_t* const KEY_VEXLANAME;
    static const wchar_t* const PROTOCOL_VERSION;
    static const wchar_t* const LOGINDLG_DEFAULT_NAME;
    static const wchar_t* const LOGINDLG_DEFAULT_PASSWORD;
    static const wchar_t* const USESAVEDDATA;
    static const wchar_t* const UNIQUE_DEVICE_ID;
    static const wchar_t* const SAVEDDATA;
    static const wchar_t* const LOGVERBOSE;

    // Creates the lock and sets every default.
    void Initialize() override;

    // The value as it may appear in a log: "<redacted>" for any key that contains "PASSWORD".
    static std::wstring ValueForLog(const std::wstring& key, const std::wstring& value);
};

}  // namespace VexlaLib
