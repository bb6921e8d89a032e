#include "PlatformSim/ActivityManager.h"

#include "PlatformSim/SimLog.h"

#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/BusReply.h"

#include <algorithm>

namespace PlatformSim
{
namespace
{
const int BAD_REQUEST = -1;
const int NO_SUCH_ACTIVITY = 2;
const int NAME_TAKEN = 17;
const int NOT_RUNNING = 18;
const int64_t CALLBACK_RETRY_WINDOW_US = 30 * G_USEC_PER_SEC;
const char SUCCESS[] = R"({"returnValue":true})";

bool IsFailure(const CBusReply& reply, json_object* payload)
{
    json_object* returnValue = JsonMember(payload, "returnValue");
    return reply.IsBusFailure() || (json_object_is_type(returnValue, json_type_boolean) && !json_object_get_boolean(returnValue));
}
} // namespace

CActivityManager::CActivityManager(CPlatformBus& bus, CSimEvents& events, const CConnectionManager& connection,
                                   unsigned retryIntervalMs)
    : m_bus(bus), m_events(events), m_connection(connection), m_retryIntervalMs(retryIntervalMs)
{
    m_bus.AddMethods(NAME, BUS_SCOPE_PRIVATE, "/",
                     {{"create", [this](const TBusMessageSPtr& m) { CreateMethod(m); }},
                      {"adopt", [this](const TBusMessageSPtr& m) { Adopt(m); }},
                      {"complete", [this](const TBusMessageSPtr& m) { Complete(m); }},
                      {"cancel", [this](const TBusMessageSPtr& m) { Cancel(m); }}});
    m_bus.SetCancelHandler(NAME, [this](const TBusMessageSPtr& m) { OnCancelled(m); });
}

std::string CActivityManager::Create(const std::string& requestText, const TBusMessageSPtr& message)
{
    TJsonPtr request = ParseJson(requestText);
    auto activity = std::make_unique<CActivity>();
    std::string error = "The request needs an \"activity\" object";
    if (!json_object_is_type(JsonMember(request.get(), "activity"), json_type_object) ||
        !activity->Read(JsonMember(request.get(), "activity"), &error))
    {
        const std::string reply = FailureReply(BAD_REQUEST, error);
        if (message)
        {
            CPlatformBus::Respond(message, reply);
        }
        return reply;
    }
    if (m_activities.count(activity->name) != 0)
    {
        if (!JsonIsTrue(request.get(), "replace"))
        {
            const std::string reply = FailureReply(NAME_TAKEN, "An activity named \"" + activity->name + "\" exists already");
            if (message)
            {
                CPlatformBus::Respond(message, reply);
            }
            return reply;
        }
        End(activity->name, "replaced");
    }
    activity->id = ++m_lastId;
    if (message && JsonIsTrue(request.get(), "subscribe"))
    {
        activity->subscriber = message;
    }
    CActivity& created = *activity;
    m_activities[created.name] = std::move(activity);
    Publish(created, "created");
    const bool start = JsonIsTrue(request.get(), "start");
    if (start)
    {
        // The trigger call goes out before the answer, so a change made after the answer is seen.
        Arm(created);
    }
    const std::string reply = R"({"returnValue":true,"activityId":)" + std::to_string(created.id) + "}";
    if (message)
    {
        CPlatformBus::Respond(message, reply);
    }
    if (start && !created.hasTrigger && created.scheduleSeconds == 0)
    {
        Fire(created, nullptr);
    }
    return reply;
}

void CActivityManager::OnConnectionChanged()
{
    std::vector<CActivity*> ready;
    for (auto& entry : m_activities)
    {
        if (entry.second->state == CActivity::BLOCKED && (!entry.second->requiresWan || m_connection.IsWanUsable()))
        {
            ready.push_back(entry.second.get());
        }
    }
    std::sort(ready.begin(), ready.end(), [](const CActivity* a, const CActivity* b) { return a->id < b->id; });
    for (CActivity* activity : ready)
    {
        Run(*activity);
    }
}

std::vector<std::string> CActivityManager::RunScheduledNow()
{
    std::vector<std::string> names;
    for (auto& entry : m_activities)
    {
        if (entry.second->scheduleSeconds != 0)
        {
            names.push_back(entry.first);
            Fire(*entry.second, nullptr);
        }
    }
    return names;
}

std::string CActivityManager::List() const
{
    TJsonPtr reply(json_object_new_object());
    json_object* list = json_object_new_array();
    for (const auto& entry : m_activities)
    {
        const CActivity& activity = *entry.second;
        json_object* item = json_object_new_object();
        json_object_object_add(item, "activityId", json_object_new_int(activity.id));
        json_object_object_add(item, "name", json_object_new_string(activity.name.c_str()));
        json_object_object_add(item, "state", json_object_new_string(CActivity::StateName(activity.state)));
        json_object_object_add(item, "activity", json_object_get(activity.definition.get()));
        json_object_array_add(list, item);
    }
    json_object_object_add(reply.get(), "returnValue", json_object_new_boolean(true));
    json_object_object_add(reply.get(), "activities", list);
    return JsonText(reply.get());
}

void CActivityManager::CreateMethod(const TBusMessageSPtr& message)
{
    Create(message->Payload(), message);
}

void CActivityManager::Adopt(const TBusMessageSPtr& message)
{
    TJsonPtr request = ParseJson(message->Payload());
    CActivity* activity = Named(message, request.get());
    if (activity == nullptr)
    {
        return;
    }
    if (activity->state == CActivity::RUNNING)
    {
        CPlatformBus::Respond(message, R"({"returnValue":true,"adopted":true,"activityId":)" + std::to_string(activity->id) + "}");
        if (JsonIsTrue(request.get(), "subscribe"))
        {
            activity->adopters.push_back(message);
        }
    }
    else if (JsonIsTrue(request.get(), "wait"))
    {
        activity->adopters.push_back(message);
    }
    else
    {
        CPlatformBus::Respond(message, FailureReply(NOT_RUNNING, "The activity is not running"));
    }
}

void CActivityManager::Complete(const TBusMessageSPtr& message)
{
    TJsonPtr request = ParseJson(message->Payload());
    if (CActivity* activity = Named(message, request.get()))
    {
        End(activity->name, "completed");
        CPlatformBus::Respond(message, SUCCESS);
    }
}

void CActivityManager::Cancel(const TBusMessageSPtr& message)
{
    TJsonPtr request = ParseJson(message->Payload());
    if (CActivity* activity = Named(message, request.get()))
    {
        End(activity->name, "cancelled");
        CPlatformBus::Respond(message, SUCCESS);
    }
}

void CActivityManager::OnCancelled(const TBusMessageSPtr& message)
{
    for (auto& entry : m_activities)
    {
        std::vector<TBusMessageSPtr>& adopters = entry.second->adopters;
        adopters.erase(std::remove(adopters.begin(), adopters.end(), message), adopters.end());
        if (entry.second->subscriber == message)
        {
            entry.second->subscriber.reset();
        }
    }
}

CActivity* CActivityManager::Named(const TBusMessageSPtr& message, json_object* request)
{
    const char* name = JsonStringMember(request, "activityName");
    auto it = name != nullptr ? m_activities.find(name) : m_activities.end();
    if (it == m_activities.end())
    {
        CPlatformBus::Respond(message, FailureReply(NO_SUCH_ACTIVITY, "No such activity"));
        return nullptr;
    }
    return it->second.get();
}

CActivity* CActivityManager::FindById(int id)
{
    for (auto& entry : m_activities)
    {
        if (entry.second->id == id)
        {
            return entry.second.get();
        }
    }
    return nullptr;
}

void CActivityManager::Arm(CActivity& activity)
{
    const int id = activity.id;
    if (activity.hasTrigger)
    {
        activity.triggerCall = m_bus.Call(activity.triggerMethod, activity.triggerParams, BUS_MANY_REPLIES,
                                          [this, id](const CBusReply& reply) { OnTriggerReply(id, reply); });
        if (activity.triggerCall == 0)
        {
            Publish(activity, "triggerFailed");
        }
    }
    if (activity.scheduleSeconds != 0)
    {
        activity.scheduleTimer.Start(activity.scheduleSeconds * 1000, [this, id] {
            if (CActivity* scheduled = FindById(id))
            {
                Fire(*scheduled, nullptr);
            }
            return true;
        });
    }
}

void CActivityManager::OnTriggerReply(int id, const CBusReply& reply)
{
    CActivity* activity = FindById(id);
    if (activity == nullptr || activity->state != CActivity::WAITING || activity->triggerCall != reply.Serial())
    {
        return;
    }
    TJsonPtr payload = ParseJson(reply.Payload());
    const bool fired = activity->triggerKey.empty() ? activity->triggerReplies > 0
                                                    : JsonIsTrue(payload.get(), activity->triggerKey.c_str());
    ++activity->triggerReplies;
    if (!fired && IsFailure(reply, payload.get()))
    {
        m_bus.CancelCall(activity->triggerCall);
        activity->triggerCall = 0;
        CSimLog::Info("The trigger of \"" + activity->name + "\" failed: " + reply.Payload());
        Publish(*activity, "triggerFailed");
        return;
    }
    if (!fired)
    {
        Publish(*activity, "armed");
        return;
    }
    m_bus.CancelCall(activity->triggerCall);
    activity->triggerCall = 0;
    Fire(*activity, std::move(payload));
}

void CActivityManager::Fire(CActivity& activity, TJsonPtr triggerReply)
{
    activity.triggerReply = std::move(triggerReply);
    Publish(activity, "fired");
    if (activity.requiresWan && !m_connection.IsWanUsable())
    {
        activity.state = CActivity::BLOCKED;
        Publish(activity, "blocked");
        return;
    }
    Run(activity);
}

void CActivityManager::Run(CActivity& activity)
{
    activity.state = CActivity::RUNNING;
    Publish(activity, "running");
    if (activity.subscriber)
    {
        CPlatformBus::Respond(activity.subscriber,
                              R"({"returnValue":true,"event":"start","activityId":)" + std::to_string(activity.id) + "}");
    }
    const std::string adopted = R"({"returnValue":true,"adopted":true,"activityId":)" + std::to_string(activity.id) + "}";
    for (const TBusMessageSPtr& adopter : activity.adopters)
    {
        if (!adopter->IsAnswered())
        {
            CPlatformBus::Respond(adopter, adopted);
        }
    }
    if (!activity.callbackMethod.empty())
    {
        activity.callbackSince = g_get_monotonic_time();
        CallBack(activity);
    }
}

void CActivityManager::CallBack(CActivity& activity)
{
    TJsonPtr payload(json_object_new_object());
    json_object* about = json_object_new_object();
    json_object_object_add(about, "activityId", json_object_new_int(activity.id));
    json_object_object_add(about, "name", json_object_new_string(activity.name.c_str()));
    if (activity.triggerReply)
    {
        json_object_object_add(about, "trigger", json_object_get(activity.triggerReply.get()));
    }
    json_object_object_add(payload.get(), "$activity", about);
    if (activity.callbackCall != 0)
    {
        m_bus.CancelCall(activity.callbackCall);
    }
    const int id = activity.id;
    activity.callbackCall = m_bus.Call(activity.callbackMethod, JsonText(payload.get()), BUS_ONE_REPLY,
                                       [this, id](const CBusReply& reply) { OnCallbackReply(id, reply); });
    if (activity.callbackCall == 0)
    {
        Publish(activity, "callbackFailed");
    }
}

void CActivityManager::OnCallbackReply(int id, const CBusReply& reply)
{
    CActivity* activity = FindById(id);
    if (activity == nullptr || activity->callbackCall != reply.Serial())
    {
        return;
    }
    activity->callbackCall = 0;
    if (!reply.IsBusFailure())
    {
        Publish(*activity, "calledBack");
        return;
    }
    if (g_get_monotonic_time() - activity->callbackSince >= CALLBACK_RETRY_WINDOW_US)
    {
        CSimLog::Info("Giving up the callback of \"" + activity->name + "\": " + reply.Payload());
        Publish(*activity, "callbackFailed");
        End(activity->name, "dropped");
        return;
    }
    Publish(*activity, "callbackRetry");
    activity->retryTimer.Start(m_retryIntervalMs, [this, id] {
        if (CActivity* retried = FindById(id))
        {
            CallBack(*retried);
        }
        return false;
    });
}

void CActivityManager::End(const std::string& name, const char* how)
{
    auto it = m_activities.find(name);
    if (it == m_activities.end())
    {
        return;
    }
    std::unique_ptr<CActivity> activity = std::move(it->second);
    m_activities.erase(it);
    for (uint32_t call : {activity->triggerCall, activity->callbackCall})
    {
        if (call != 0)
        {
            m_bus.CancelCall(call);
        }
    }
    for (const TBusMessageSPtr& adopter : activity->adopters)
    {
        if (!adopter->IsAnswered())
        {
            CPlatformBus::Respond(adopter, FailureReply(NOT_RUNNING, "The activity ended before it ran"));
        }
    }
    if (activity->subscriber)
    {
        CPlatformBus::Respond(activity->subscriber, std::string(R"({"returnValue":true,"event":")") + how + "\"}");
    }
    Publish(*activity, how);
}

void CActivityManager::Publish(const CActivity& activity, const char* state)
{
    TJsonPtr event(json_object_new_object());
    json_object_object_add(event.get(), "event", json_object_new_string("activity"));
    json_object_object_add(event.get(), "name", json_object_new_string(activity.name.c_str()));
    json_object_object_add(event.get(), "activityId", json_object_new_int(activity.id));
    json_object_object_add(event.get(), "state", json_object_new_string(state));
    m_events.Publish(JsonText(event.get()));
}
} // namespace PlatformSim
