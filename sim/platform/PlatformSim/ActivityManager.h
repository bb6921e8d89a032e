#pragma once
// com.nylo.activitymanager: create, adopt, complete and cancel named activities.
//
// A started activity waits for its trigger (a call to the trigger's method with its params: with a
// "key" it fires on the first reply where that member is true, without one on the first reply after the
// initial one, i.e. on a change), for its schedule (it fires every interval), or for nothing (it fires at
// once). Once fired and its requirements hold ("wan": see CConnectionManager::IsWanUsable), it runs:
// a subscribed creator hears {"event": "start"}, waiting adopters hear {"adopted": true}, and the callback
// method is called with {"$activity": {"activityId", "name", "trigger": <the trigger's reply>}}. A
// callback the bus cannot deliver is retried every retry interval for 30 s, then the activity is dropped.
// An activity blocked on its requirements runs when they come true. Complete and cancel end an activity
// and free its name. Every step is published on the event stream as
// {"event": "activity", "name", "activityId", "state"}.

#include "PlatformSim/Activity.h"
#include "PlatformSim/ConnectionManager.h"
#include "PlatformSim/PlatformBus.h"
#include "PlatformSim/SimEvents.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

class CBusReply;

namespace PlatformSim
{
class CActivityManager
{
public:
    static constexpr char NAME[] = "com.nylo.activitymanager";

    CActivityManager(CPlatformBus& bus, CSimEvents& events, const CConnectionManager& connection, unsigned retryIntervalMs);

    // Creates an activity from a request as "create" takes it; `message`, when given, is answered
    // (and kept as the subscriber when the request subscribes). Returns the reply.
    std::string Create(const std::string& request, const TBusMessageSPtr& message);
    // Runs the blocked activities whose requirements hold now.
    void OnConnectionChanged();
    // Fires every scheduled activity now; returns their names.
    std::vector<std::string> RunScheduledNow();
    // {"returnValue": true, "activities": [{"activityId", "name", "state", "activity"}]}
    std::string List() const;

private:
    void CreateMethod(const TBusMessageSPtr& message);
    void Adopt(const TBusMessageSPtr& message);
    void Complete(const TBusMessageSPtr& message);
    void Cancel(const TBusMessageSPtr& message);
    void OnCancelled(const TBusMessageSPtr& message);

    // The activity named by the request's "activityName"; answers the failure itself when there is none.
    CActivity* Named(const TBusMessageSPtr& message, json_object* request);
    CActivity* FindById(int id);
    void Arm(CActivity& activity);
    void OnTriggerReply(int id, const CBusReply& reply);
    void Fire(CActivity& activity, TJsonPtr triggerReply);
    void Run(CActivity& activity);
    void CallBack(CActivity& activity);
    void OnCallbackReply(int id, const CBusReply& reply);
    // Ends the activity: its calls are cancelled, its waiting adopters refused, its name freed.
    void End(const std::string& name, const char* how);
    void Publish(const CActivity& activity, const char* state);

    CPlatformBus& m_bus;
    CSimEvents& m_events;
    const CConnectionManager& m_connection;
    const unsigned m_retryIntervalMs;
    std::map<std::string, std::unique_ptr<CActivity>> m_activities;
    int m_lastId = 0;
};
} // namespace PlatformSim
