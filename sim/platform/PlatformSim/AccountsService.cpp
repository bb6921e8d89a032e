#include "PlatformSim/AccountsService.h"

#include "PlatformSim/Json.h"
#include "PlatformSim/SimLog.h"

#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/BusReply.h"

namespace PlatformSim
{
namespace
{
const int NO_SUCH_ACCOUNT = 3;

// What the messaging framework creates for a new account, so that the transport starts when the
// account's login state is written.
const char LOGIN_STATE_ACTIVITY[] = R"({"activity": {
    "name": "Vexla loginstate", "description": "Watch for changes to the imloginstate",
    "type": {"foreground": true}, "requirements": {"wan": true},
    "trigger": {"key": "fired", "method": "nylo://com.nylo.db/watch",
                "params": {"query": {"from": "com.nylo.imloginstate.vexla:1",
                                     "where": [{"prop": "_rev", "op": ">", "val": 0}]}}},
    "callback": {"method": "nylo://com.vexla.im/loginStateChanged"}},
  "start": true, "replace": true})";

std::string AccountIdPayload(const std::string& accountId, bool enabled)
{
    TJsonPtr payload(json_object_new_object());
    if (enabled)
    {
        json_object_object_add(payload.get(), "enabled", json_object_new_boolean(true));
    }
    json_object_object_add(payload.get(), "accountId", json_object_new_string(accountId.c_str()));
    return JsonText(payload.get());
}
} // namespace

CAccountsService::CAccountsService(CPlatformBus& bus, CSimEvents& events, CActivityManager& activities)
    : m_bus(bus), m_events(events), m_activities(activities)
{
    m_bus.AddMethods(NAME, BUS_SCOPE_PRIVATE, "/",
                     {{"listAccounts", [this](const TBusMessageSPtr& m) { ListAccounts(m); }},
                      {"getAccountInfo", [this](const TBusMessageSPtr& m) { GetAccountInfo(m); }},
                      {"readCredentials", [this](const TBusMessageSPtr& m) { ReadCredentials(m); }}});
}

std::string CAccountsService::Add(const std::string& username, const std::string& password, const std::string& templateId,
                                  bool enable)
{
    CAccount account;
    account.id = "account" + std::to_string(++m_lastId);
    account.templateId = templateId;
    account.username = username;
    account.password = password;
    m_accounts.push_back(account);
    PublishAccount(account.id, "added");
    m_activities.Create(LOGIN_STATE_ACTIVITY, nullptr);
    if (!enable)
    {
        return account.id;
    }
    m_bus.Call("nylo://com.vexla.ui/onEnabled", AccountIdPayload(account.id, true), BUS_ONE_REPLY,
               [](const CBusReply& reply) { CSimLog::Debug("onEnabled answered " + reply.Payload()); });
    return account.id;
}

bool CAccountsService::Change(const std::string& accountId, const char* username, const char* password)
{
    CAccount* account = Find(accountId);
    if (account == nullptr)
    {
        return false;
    }
    account->username = username != nullptr ? username : account->username;
    account->password = password != nullptr ? password : account->password;
    PublishAccount(accountId, "changed");
    return true;
}

bool CAccountsService::Delete(const std::string& accountId)
{
    CAccount* account = Find(accountId);
    if (account == nullptr)
    {
        return false;
    }
    account->beingDeleted = true;
    PublishAccount(accountId, "beingDeleted");
    m_bus.Call("nylo://com.vexla.im/onDelete", AccountIdPayload(accountId, false), BUS_ONE_REPLY,
               [this, accountId](const CBusReply& reply) {
                   CSimLog::Debug("onDelete answered " + reply.Payload());
                   for (auto it = m_accounts.begin(); it != m_accounts.end(); ++it)
                   {
                       if (it->id == accountId)
                       {
                           m_accounts.erase(it);
                           PublishAccount(accountId, "deleted");
                           return;
                       }
                   }
               });
    return true;
}

void CAccountsService::ListAccounts(const TBusMessageSPtr& message)
{
    TJsonPtr request = ParseJson(message->Payload());
    const char* templateId = JsonStringMember(request.get(), "templateId");
    TJsonPtr reply(json_object_new_object());
    json_object* results = json_object_new_array();
    for (const CAccount& account : m_accounts)
    {
        if (templateId == nullptr || account.templateId == templateId)
        {
            json_object_array_add(results, NewAccountObject(account));
        }
    }
    json_object_object_add(reply.get(), "returnValue", json_object_new_boolean(true));
    json_object_object_add(reply.get(), "results", results);
    CPlatformBus::Respond(message, JsonText(reply.get()));
}

void CAccountsService::GetAccountInfo(const TBusMessageSPtr& message)
{
    if (CAccount* account = Requested(message))
    {
        TJsonPtr reply(json_object_new_object());
        json_object_object_add(reply.get(), "returnValue", json_object_new_boolean(true));
        json_object_object_add(reply.get(), "result", NewAccountObject(*account));
        CPlatformBus::Respond(message, JsonText(reply.get()));
    }
}

void CAccountsService::ReadCredentials(const TBusMessageSPtr& message)
{
    if (CAccount* account = Requested(message))
    {
        TJsonPtr reply(json_object_new_object());
        json_object* credentials = json_object_new_object();
        json_object_object_add(credentials, "password", json_object_new_string(account->password.c_str()));
        json_object_object_add(reply.get(), "returnValue", json_object_new_boolean(true));
        json_object_object_add(reply.get(), "credentials", credentials);
        CPlatformBus::Respond(message, JsonText(reply.get()));
    }
}

CAccountsService::CAccount* CAccountsService::Requested(const TBusMessageSPtr& message)
{
    TJsonPtr request = ParseJson(message->Payload());
    const char* accountId = JsonStringMember(request.get(), "accountId");
    CAccount* account = accountId != nullptr ? Find(accountId) : nullptr;
    if (account == nullptr)
    {
        CPlatformBus::Respond(message, FailureReply(NO_SUCH_ACCOUNT, "No such account"));
    }
    return account;
}

CAccountsService::CAccount* CAccountsService::Find(const std::string& accountId)
{
    for (CAccount& account : m_accounts)
    {
        if (account.id == accountId)
        {
            return &account;
        }
    }
    return nullptr;
}

json_object* CAccountsService::NewAccountObject(const CAccount& account)
{
    json_object* object = json_object_new_object();
    json_object_object_add(object, "_id", json_object_new_string(account.id.c_str()));
    json_object_object_add(object, "templateId", json_object_new_string(account.templateId.c_str()));
    json_object_object_add(object, "username", json_object_new_string(account.username.c_str()));
    json_object_object_add(object, "beingDeleted", json_object_new_boolean(account.beingDeleted));
    return object;
}

void CAccountsService::PublishAccount(const std::string& accountId, const char* state)
{
    TJsonPtr event(json_object_new_object());
    json_object_object_add(event.get(), "event", json_object_new_string("account"));
    json_object_object_add(event.get(), "accountId", json_object_new_string(accountId.c_str()));
    json_object_object_add(event.get(), "state", json_object_new_string(state));
    m_events.Publish(JsonText(event.get()));
}
} // namespace PlatformSim
