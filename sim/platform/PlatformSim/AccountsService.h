#pragma once
// com.nylo.service.accounts: "listAccounts" {"templateId"} → {"returnValue": true, "results": [{"_id",
// "templateId", "username", "beingDeleted"}]}; "getAccountInfo" {"accountId"} → {"returnValue": true,
// "result": {the same members}}; "readCredentials" {"accountId"} → {"returnValue": true, "credentials":
// {"password"}}.
//
// The control service adds, changes and deletes accounts, doing what the phone's account and messaging
// frameworks do: a new account gets the activity "Vexla loginstate" (a db watch on its login-state
// records, calling com.vexla.im's "loginStateChanged") and com.vexla.ui hears "onEnabled"; a deleted
// account is marked "beingDeleted", com.vexla.im hears "onDelete", and the account goes once that call
// is answered.

#include "PlatformSim/ActivityManager.h"
#include "PlatformSim/PlatformBus.h"
#include "PlatformSim/SimEvents.h"

#include <string>
#include <vector>

namespace PlatformSim
{
class CAccountsService
{
public:
    static constexpr char NAME[] = "com.nylo.service.accounts";

    CAccountsService(CPlatformBus& bus, CSimEvents& events, CActivityManager& activities);

    // Returns the new account's id. Without `enable` com.vexla.ui does not hear of it: the caller writes
    // the login-state record itself, as the messaging application would.
    std::string Add(const std::string& username, const std::string& password, const std::string& templateId,
                    bool enable);
    // Null members stay as they are; false for an unknown account.
    bool Change(const std::string& accountId, const char* username, const char* password);
    // False for an unknown account.
    bool Delete(const std::string& accountId);

private:
    struct CAccount
    {
        std::string id;
        std::string templateId;
        std::string username;
        std::string password;
        bool beingDeleted = false;
    };

    void ListAccounts(const TBusMessageSPtr& message);
    void GetAccountInfo(const TBusMessageSPtr& message);
    void ReadCredentials(const TBusMessageSPtr& message);
    // The account named by the request's "accountId"; answers the failure itself when there is none.
    CAccount* Requested(const TBusMessageSPtr& message);
    CAccount* Find(const std::string& accountId);
    static json_object* NewAccountObject(const CAccount& account);
    void PublishAccount(const std::string& accountId, const char* state);

    CPlatformBus& m_bus;
    CSimEvents& m_events;
    CActivityManager& m_activities;
    std::vector<CAccount> m_accounts;
    int m_lastId = 0;
};
} // namespace PlatformSim
