#include "Tesk/App/Meridex/IMActivities.h"

#include "Tesk/App/IMDatabaseKinds.h"
#include "Tesk/Core/ActivityRequest.h"
#include "Tesk/Core/DbQuery.h"
#include "Tesk/Core/DbRequest.h"
#include "Tesk/Core/JSONObject.h"

const wchar_t CIMActivities::LOGINSTATE[] = L"Vexla loginstate";
const wchar_t CIMActivities::AVAILABILITY[] = L"Vexla loginstate.availability";
const wchar_t CIMActivities::CUSTOM_MESSAGE[] = L"Vexla loginstate.customMessage";
const wchar_t CIMActivities::IMMESSAGE[] = L"Vexla immessage";
const wchar_t CIMActivities::IMCOMMAND[] = L"Vexla imcommand";
const wchar_t CIMActivities::CONNECTION_MANAGER[] = L"Vexla connectionmanager.getstatus";
const wchar_t CIMActivities::NETWORK_STATUS[] = L"Vexla networkStatusQuery";
const wchar_t CIMActivities::KEEP_ALIVE[] = L"Vexla keep alive";

namespace {

CJSONObject Flags(std::initializer_list<const char*> names)
{
    CJSONObject flags;
    for (const char* name : names)
        flags.SetBool(name, true);
    return flags;
}

std::wstring Callback(const wchar_t* method)
{
    return std::wstring(L"nylo://com.vexla.im/") + method;
}

// A foreground activity that fires when a record matching `query` changes.
CJSONObject DbWatch(const wchar_t* name, const wchar_t* description, const CJSONObject& type, const wchar_t* method,
                    const CDbQuery& query)
{
    CJSONObject activity = CActivityRequest::Activity(name, description, type, Callback(method));
    activity.SetObject("trigger", CDbRequest::WatchTrigger(DB_PERSISTENT, query));
    return activity;
}

// A foreground activity needing the data connection that fires on the next change of a phone
// service's status subscription. It takes the place of one a killed daemon left running, which would
// never fire again and keep the daemon waiting for the network for good.
CPlatformRequest StatusWatch(const wchar_t* name, const wchar_t* description, const wchar_t* method,
                             const wchar_t* statusUri)
{
    CJSONObject activity = CActivityRequest::Activity(name, description, Flags({"foreground"}), Callback(method));
    activity.SetObject("requirements", Flags({"wan"}));
    activity.SetObject("trigger", CActivityRequest::SubscriptionTrigger(statusUri, Flags({"subscribe"})));
    return CActivityRequest::Create(activity, true);
}

}  // namespace

CPlatformRequest CIMActivities::LoginState()
{
    CJSONObject activity = DbWatch(LOGINSTATE, L"Watch for changes to the imloginstate", Flags({"foreground"}),
                                   L"loginStateChanged", CDbQuery(KIND_IMLOGINSTATE).Where("_rev", ">", 0));
    activity.SetObject("requirements", Flags({"wan"}));
    return CActivityRequest::Create(activity, true);
}

CPlatformRequest CIMActivities::Availability(int current)
{
    return CActivityRequest::Create(
        DbWatch(AVAILABILITY, L"Watch for changes to imloginstate.availability", Flags({"foreground"}),
                L"availabilityChanged", CDbQuery(KIND_IMLOGINSTATE).Where("availability", "!=", current)),
        true);
}

CPlatformRequest CIMActivities::CustomMessage(const std::wstring& current)
{
    return CActivityRequest::Create(
        DbWatch(CUSTOM_MESSAGE, L"Watch for changes to imloginstate.customMessage", Flags({"foreground"}),
                L"customMessageChanged", CDbQuery(KIND_IMLOGINSTATE).Where("customMessage", "!=", current)),
        true);
}

CPlatformRequest CIMActivities::IMMessage(long long afterRevision)
{
    CDbQuery pending = CDbQuery(KIND_IMMESSAGE).Where("folder", "=", L"outbox").Where("status", "=", L"pending");
    if (afterRevision > 0)
        pending.Where("_rev", ">", afterRevision);
    return CActivityRequest::Create(DbWatch(IMMESSAGE, L"Watch for changes to immessage",
                                            Flags({"foreground", "power", "powerDebounce"}), L"immessageChanged", pending),
                                    true);
}

CPlatformRequest CIMActivities::IMCommand()
{
    return CActivityRequest::Create(
        DbWatch(IMCOMMAND, L"Watch for changes to imcommand", Flags({"foreground", "power", "powerDebounce"}),
                L"imcommandChanged", CDbQuery(KIND_IMCOMMAND).Where("handler", "=", L"transport")),
        true);
}

CPlatformRequest CIMActivities::ConnectionManager()
{
    return StatusWatch(CONNECTION_MANAGER, L"Watch for changes to connectionmanager.getstatus",
                       L"connectionManagerStatusChanged", L"nylo://com.nylo.connectionmanager/getstatus");
}

CPlatformRequest CIMActivities::NetworkStatus()
{
    return StatusWatch(NETWORK_STATUS, L"Watch for changes to networkStatusQuery", L"networkStatusQueryChanged",
                       L"nylo://com.nylo.telephony/networkStatusQuery");
}

CPlatformRequest CIMActivities::KeepAlive()
{
    CJSONObject activity = CActivityRequest::Activity(KEEP_ALIVE, L"Requesting presence updates every 20 minutes",
                                                      Flags({"background"}), Callback(L"keepAlive"));
    CJSONObject schedule;
    schedule.SetString("interval", L"20m");
    activity.SetObject("schedule", schedule);
    return CActivityRequest::Create(activity, true);
}
