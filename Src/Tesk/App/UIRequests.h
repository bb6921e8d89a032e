#pragma once

#include <string>
#include <vector>

#include "Tesk/Core/PlatformRequest.h"

// The platform requests of the UI service: the accounts service and the login-state record.
class CUIRequests {
public:
    // {"templateId": "com.vexla"}; the reply's "results" are the accounts, each maybe "beingDeleted".
    static CPlatformRequest ListAccounts();
    // {"accountId"}; the reply carries "result" with "username".
    static CPlatformRequest GetAccountInfo(const std::wstring& accountId);
    // A new login-state record of the account, signing on with no mood message.
    static CPlatformRequest PutLoginState(const std::wstring& accountId, const std::wstring& username);
    // {"_id", "state": "logging-on", "availability": 0} into an existing login-state record.
    static CPlatformRequest MergeLoggingOn(const std::wstring& loginStateId);
};
