#include "PlatformSim/SimControlService.h"

#include "PlatformSim/Json.h"

#include "Tesk/Core/BusMessage.h"

namespace PlatformSim
{
namespace
{
const int BAD_REQUEST = -1;
const char SUCCESS[] = R"({"returnValue":true})";
} // namespace

CSimControlService::CSimControlService(CPlatformBus& bus, const CSimServices& services) : m_services(services)
{
    bus.AddMethods(NAME, BUS_SCOPE_PUBLIC, "/",
                   {Method("setConnection", &CSimControlService::SetConnection),
                    Method("setNetwork", &CSimControlService::SetNetwork),
                    Method("setPhoneNumber", &CSimControlService::SetPhoneNumber),
                    Method("setDisplay", &CSimControlService::SetDisplay),
                    Method("addAccount", &CSimControlService::AddAccount),
                    Method("changeAccount", &CSimControlService::ChangeAccount),
                    Method("deleteAccount", &CSimControlService::DeleteAccount),
                    Method("dump", &CSimControlService::Dump),
                    {"powerOff",
                     [this](const TBusMessageSPtr& m) {
                         CPlatformBus::Respond(m, SUCCESS);
                         m_services.telephony.StartPowerDown();
                     }},
                    {"runScheduled", [this](const TBusMessageSPtr& m) { RunScheduled(m); }},
                    {"events", [this](const TBusMessageSPtr& m) { Events(m); }},
                    Report("listActivities", [this] { return m_services.activities.List(); }),
                    Report("listLaunches", [this] { return m_services.applications.Launches(); }),
                    Report("listRedirects", [this] { return m_services.applications.Redirects(); }),
                    Report("listPowerDown", [this] { return m_services.telephony.PowerDownReport(); })});
}

CBusMethod CSimControlService::Method(const char* name, void (CSimControlService::*handler)(const TBusMessageSPtr&, json_object*))
{
    return {name, [this, handler](const TBusMessageSPtr& message) {
                TJsonPtr request = ParseJson(message->Payload());
                if (!json_object_is_type(request.get(), json_type_object))
                {
                    CPlatformBus::Respond(message, FailureReply(BAD_REQUEST, "The payload is not a JSON object"));
                    return;
                }
                (this->*handler)(message, request.get());
            }};
}

CBusMethod CSimControlService::Report(const char* name, std::function<std::string()> reply)
{
    return {name, [reply](const TBusMessageSPtr& message) { CPlatformBus::Respond(message, reply()); }};
}

void CSimControlService::SetConnection(const TBusMessageSPtr& message, json_object* request)
{
    CPlatformBus::Respond(message, SUCCESS);
    m_services.connection.Set(JsonStringMember(request, "state"), JsonStringMember(request, "network"),
                              JsonStringMember(request, "ipAddress"));
}

void CSimControlService::SetNetwork(const TBusMessageSPtr& message, json_object* request)
{
    json_object* inPrl = JsonMember(request, "inPrl");
    if (!json_object_is_type(inPrl, json_type_boolean))
    {
        CPlatformBus::Respond(message, FailureReply(BAD_REQUEST, "\"inPrl\" must be true or false"));
        return;
    }
    CPlatformBus::Respond(message, SUCCESS);
    m_services.telephony.SetInPrl(json_object_get_boolean(inPrl));
}

void CSimControlService::SetPhoneNumber(const TBusMessageSPtr& message, json_object* request)
{
    const char* number = JsonStringMember(request, "number");
    if (number == nullptr)
    {
        CPlatformBus::Respond(message, FailureReply(BAD_REQUEST, "\"number\" must be a string"));
        return;
    }
    m_services.telephony.SetPhoneNumber(number);
    CPlatformBus::Respond(message, SUCCESS);
}

void CSimControlService::SetDisplay(const TBusMessageSPtr& message, json_object* request)
{
    const char* state = JsonStringMember(request, "state");
    const char* event = JsonStringMember(request, "event");
    if (state == nullptr)
    {
        CPlatformBus::Respond(message, FailureReply(BAD_REQUEST, "\"state\" must be a string"));
        return;
    }
    CPlatformBus::Respond(message, SUCCESS);
    m_services.display.Set(state, event != nullptr ? event : "");
}

void CSimControlService::AddAccount(const TBusMessageSPtr& message, json_object* request)
{
    const char* username = JsonStringMember(request, "username");
    const char* password = JsonStringMember(request, "password");
    const char* templateId = JsonStringMember(request, "templateId");
    if (username == nullptr || password == nullptr)
    {
        CPlatformBus::Respond(message, FailureReply(BAD_REQUEST, "\"username\" and \"password\" are needed"));
        return;
    }
    // Only "enable": false keeps com.vexla.ui from hearing of the account.
    json_object* enable = JsonMember(request, "enable");
    const bool enabled = enable == nullptr || JsonIsTrue(request, "enable");
    const std::string accountId =
        m_services.accounts.Add(username, password, templateId != nullptr ? templateId : "com.vexla", enabled);
    CPlatformBus::Respond(message, R"({"returnValue":true,"accountId":")" + accountId + "\"}");
}

void CSimControlService::ChangeAccount(const TBusMessageSPtr& message, json_object* request)
{
    const char* accountId = JsonStringMember(request, "accountId");
    const bool changed = accountId != nullptr && m_services.accounts.Change(accountId, JsonStringMember(request, "username"),
                                                                            JsonStringMember(request, "password"));
    CPlatformBus::Respond(message, changed ? SUCCESS : FailureReply(BAD_REQUEST, "No such account"));
}

void CSimControlService::DeleteAccount(const TBusMessageSPtr& message, json_object* request)
{
    const char* accountId = JsonStringMember(request, "accountId");
    const bool deleting = accountId != nullptr && m_services.accounts.Delete(accountId);
    CPlatformBus::Respond(message, deleting ? SUCCESS : FailureReply(BAD_REQUEST, "No such account"));
}

void CSimControlService::RunScheduled(const TBusMessageSPtr& message)
{
    TJsonPtr reply(json_object_new_object());
    json_object* ran = json_object_new_array();
    for (const std::string& name : m_services.activities.RunScheduledNow())
    {
        json_object_array_add(ran, json_object_new_string(name.c_str()));
    }
    json_object_object_add(reply.get(), "returnValue", json_object_new_boolean(true));
    json_object_object_add(reply.get(), "ran", ran);
    CPlatformBus::Respond(message, JsonText(reply.get()));
}

void CSimControlService::Dump(const TBusMessageSPtr& message, json_object* request)
{
    const char* database = JsonStringMember(request, "database");
    const char* kind = JsonStringMember(request, "kind");
    CDatabaseService* store = database == nullptr || m_services.db.Name() == database ? &m_services.db
                              : m_services.tempdb.Name() == database               ? &m_services.tempdb
                                                                                   : nullptr;
    if (store == nullptr || kind == nullptr)
    {
        CPlatformBus::Respond(message, FailureReply(BAD_REQUEST, "\"kind\" and a known \"database\" are needed"));
        return;
    }
    CPlatformBus::Respond(message, store->Dump(kind));
}

void CSimControlService::Events(const TBusMessageSPtr& message)
{
    CPlatformBus::Respond(message, R"({"returnValue":true,"subscribed":true})");
    m_services.events.Subscribe(message);
}
} // namespace PlatformSim
