#include "PlatformSim/Telephony.h"

#include "PlatformSim/Json.h"

#include "Tesk/Core/BusMessage.h"

namespace PlatformSim
{
namespace
{
const char NETWORK_KEY[] = "com.nylo.telephony/networkStatusQuery";
const char POWERING_OFF_KEY[] = "com.nylo.telephony/poweringOff";
const char SUCCESS[] = R"({"returnValue":true})";

json_object* NewCdma(bool inPrl)
{
    json_object* cdma = json_object_new_object();
    json_object_object_add(cdma, "inPrl", json_object_new_boolean(inPrl));
    json_object* holder = json_object_new_object();
    json_object_object_add(holder, "cdma", cdma);
    return holder;
}
} // namespace

CTelephony::CTelephony(CPlatformBus& bus, CSimEvents& events, CConnectionManager& connection, unsigned powerDownTimeoutMs)
    : m_bus(bus), m_events(events), m_connection(connection), m_powerDownTimeoutMs(powerDownTimeoutMs)
{
    m_bus.AddMethods(NAME, BUS_SCOPE_PRIVATE, "/",
                     {{"phoneNumberQuery", [this](const TBusMessageSPtr& m) { PhoneNumberQuery(m); }},
                      {"networkStatusQuery", [this](const TBusMessageSPtr& m) { NetworkStatusQuery(m); }},
                      {"poweringOff", [this](const TBusMessageSPtr& m) { PoweringOff(m); }},
                      {"registerPowerDownApplication", [this](const TBusMessageSPtr& m) { RegisterPowerDownApplication(m); }},
                      {"powerDownAck", [this](const TBusMessageSPtr& m) { PowerDownAck(m); }}});
}

void CTelephony::SetInPrl(bool inPrl)
{
    m_inPrl = inPrl;
    m_bus.Publish(NETWORK_KEY, NetworkStatus());
}

void CTelephony::StartPowerDown()
{
    if (m_poweringOff)
    {
        return;
    }
    m_poweringOff = true;
    m_acknowledgements.clear();
    m_events.Publish(R"({"event":"powerDown","state":"started"})");
    m_bus.Publish(POWERING_OFF_KEY, PoweringOffStatus());
    m_powerDownTimer.Start(m_powerDownTimeoutMs, [this] {
        FinishPowerDown();
        return false;
    });
    FinishPowerDownWhenAcknowledged();
}

std::string CTelephony::PowerDownReport() const
{
    TJsonPtr report(json_object_new_object());
    json_object* registrations = json_object_new_array();
    for (const auto& [clientId, clientName] : m_registrations)
    {
        json_object* entry = json_object_new_object();
        json_object_object_add(entry, "clientId", json_object_new_int(clientId));
        json_object_object_add(entry, "clientName", json_object_new_string(clientName.c_str()));
        json_object_array_add(registrations, entry);
    }
    json_object* acknowledgements = json_object_new_array();
    for (int clientId : m_acknowledgements)
    {
        json_object_array_add(acknowledgements, json_object_new_int(clientId));
    }
    json_object_object_add(report.get(), "returnValue", json_object_new_boolean(true));
    json_object_object_add(report.get(), "registrations", registrations);
    json_object_object_add(report.get(), "acknowledgements", acknowledgements);
    json_object_object_add(report.get(), "poweringOff", json_object_new_boolean(m_poweringOff));
    return JsonText(report.get());
}

void CTelephony::PhoneNumberQuery(const TBusMessageSPtr& message)
{
    TJsonPtr reply(json_object_new_object());
    json_object* extended = json_object_new_object();
    json_object_object_add(extended, "number", json_object_new_string(m_number.c_str()));
    json_object_object_add(reply.get(), "returnValue", json_object_new_boolean(true));
    json_object_object_add(reply.get(), "extended", extended);
    CPlatformBus::Respond(message, JsonText(reply.get()));
}

void CTelephony::NetworkStatusQuery(const TBusMessageSPtr& message)
{
    TJsonPtr request = ParseJson(message->Payload());
    CPlatformBus::Respond(message, NetworkStatus());
    if (JsonIsTrue(request.get(), "subscribe"))
    {
        m_bus.Subscribe(NETWORK_KEY, message);
    }
}

void CTelephony::PoweringOff(const TBusMessageSPtr& message)
{
    TJsonPtr request = ParseJson(message->Payload());
    CPlatformBus::Respond(message, PoweringOffStatus());
    if (JsonIsTrue(request.get(), "subscribe"))
    {
        m_bus.Subscribe(POWERING_OFF_KEY, message);
    }
}

void CTelephony::RegisterPowerDownApplication(const TBusMessageSPtr& message)
{
    TJsonPtr request = ParseJson(message->Payload());
    const char* clientName = JsonStringMember(request.get(), "clientName");
    if (!JsonIsTrue(request.get(), "register"))
    {
        for (auto it = m_registrations.begin(); it != m_registrations.end();)
        {
            it = clientName != nullptr && it->second == clientName ? m_registrations.erase(it) : std::next(it);
        }
        CPlatformBus::Respond(message, SUCCESS);
        FinishPowerDownWhenAcknowledged();
        return;
    }
    m_registrations[++m_lastClientId] = clientName != nullptr ? clientName : "";
    CPlatformBus::Respond(message, R"({"returnValue":true,"clientId":)" + std::to_string(m_lastClientId) + "}");
}

void CTelephony::PowerDownAck(const TBusMessageSPtr& message)
{
    TJsonPtr request = ParseJson(message->Payload());
    json_object* clientId = JsonMember(request.get(), "clientId");
    if (!json_object_is_type(clientId, json_type_int))
    {
        CPlatformBus::Respond(message, FailureReply(-1, "\"clientId\" must be a number"));
        return;
    }
    m_acknowledgements.insert(json_object_get_int(clientId));
    m_events.Publish(R"({"event":"powerDownAck","clientId":)" + std::to_string(json_object_get_int(clientId)) + "}");
    CPlatformBus::Respond(message, SUCCESS);
    FinishPowerDownWhenAcknowledged();
}

std::string CTelephony::NetworkStatus() const
{
    TJsonPtr status(json_object_new_object());
    json_object_object_add(status.get(), "returnValue", json_object_new_boolean(true));
    json_object_object_add(status.get(), "extended", NewCdma(m_inPrl));
    json_object_object_add(status.get(), "eventNetwork", NewCdma(m_inPrl));
    return JsonText(status.get());
}

std::string CTelephony::PoweringOffStatus() const
{
    return m_poweringOff ? R"({"returnValue":true,"poweringOff":true})" : R"({"returnValue":true,"poweringOff":false})";
}

void CTelephony::FinishPowerDownWhenAcknowledged()
{
    if (!m_poweringOff)
    {
        return;
    }
    for (const auto& registration : m_registrations)
    {
        if (m_acknowledgements.count(registration.first) == 0)
        {
            return;
        }
    }
    FinishPowerDown();
}

void CTelephony::FinishPowerDown()
{
    m_powerDownTimer.Stop();
    m_poweringOff = false;
    m_events.Publish(R"({"event":"powerDown","state":"off"})");
    m_connection.Set("disconnected", nullptr, nullptr);
}
} // namespace PlatformSim
