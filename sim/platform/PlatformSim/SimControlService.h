#pragma once
// com.nylo.sim, on the public bus: how a test or a developer drives the simulated phone and sees what
// happened on it. Methods (category "/"), each answering {"returnValue": true, ...} or a failure:
//   setConnection {"state", "network", "ipAddress"}   any of them; answers the new status
//   setNetwork {"inPrl"}                              the cellular network (home or roaming)
//   setPhoneNumber {"number"}
//   setDisplay {"state", "event"}                     "event" optional
//   addAccount {"username", "password", "templateId", "enable"} templateId defaults to "com.vexla";
//              "enable": false skips com.vexla.ui's "onEnabled"; → "accountId"
//   changeAccount {"accountId", "username", "password"}
//   deleteAccount {"accountId"}
//   powerOff {}                                       starts a power-down
//   runScheduled {}                                   fires every scheduled activity now; → "ran"
//   listActivities, listLaunches, listRedirects, listPowerDown {}
//   dump {"database", "kind"}                         every record of a kind; database defaults to com.nylo.db
//   events {}                                         a stream of every write and activity event

#include "PlatformSim/AccountsService.h"
#include "PlatformSim/ActivityManager.h"
#include "PlatformSim/ApplicationManager.h"
#include "PlatformSim/ConnectionManager.h"
#include "PlatformSim/DatabaseService.h"
#include "PlatformSim/DisplayService.h"
#include "PlatformSim/PlatformBus.h"
#include "PlatformSim/SimEvents.h"
#include "PlatformSim/Telephony.h"

namespace PlatformSim
{
struct CSimServices
{
    CDatabaseService& db;
    CDatabaseService& tempdb;
    CConnectionManager& connection;
    CTelephony& telephony;
    CActivityManager& activities;
    CAccountsService& accounts;
    CApplicationManager& applications;
    CDisplayService& display;
    CSimEvents& events;
};

class CSimControlService
{
public:
    static constexpr char NAME[] = "com.nylo.sim";

    CSimControlService(CPlatformBus& bus, const CSimServices& services);

private:
    void SetConnection(const TBusMessageSPtr& message, json_object* request);
    void SetNetwork(const TBusMessageSPtr& message, json_object* request);
    void SetPhoneNumber(const TBusMessageSPtr& message, json_object* request);
    void SetDisplay(const TBusMessageSPtr& message, json_object* request);
    void AddAccount(const TBusMessageSPtr& message, json_object* request);
    void ChangeAccount(const TBusMessageSPtr& message, json_object* request);
    void DeleteAccount(const TBusMessageSPtr& message, json_object* request);
    void RunScheduled(const TBusMessageSPtr& message);
    void Dump(const TBusMessageSPtr& message, json_object* request);
    void Events(const TBusMessageSPtr& message);

    // A method table row whose handler gets the request as a JSON object (refused when it is not one).
    CBusMethod Method(const char* name, void (CSimControlService::*handler)(const TBusMessageSPtr&, json_object*));
    // A row answering `reply()` to any request.
    static CBusMethod Report(const char* name, std::function<std::string()> reply);

    CSimServices m_services;
};
} // namespace PlatformSim
