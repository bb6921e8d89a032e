#include "ControlCommands.h"

#include <algorithm>
#include <chrono>
#include <set>

#include "CallControl.h"
#include "ChatControl.h"
#include "Connection.h"
#include "ContactControl.h"
#include "Directives.h"
#include "EventLog.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Frame.h"
#include "Network/OutgoingPacket.h"
#include "PacketJson.h"
#include "Scenario.h"
#include "ServerSim.h"
#include "SessionTable.h"

namespace ServerSim {

using VexlaLib::COutgoingPacket;
using VexlaLib::TPacketSPtr;

namespace {

std::string JoinEvents(const std::vector<std::string>& events)
{
    std::string list = "[";
    for (size_t i = 0; i < events.size(); ++i) {
        list += (i == 0 ? "" : ",") + events[i];
    }
    return list + "]";
}

std::string ErrorLine(const std::string& text)
{
    return CJson::ToLine(CJson::Error(text).get());
}

std::string OkLine()
{
    return CJson::ToLine(CJson::Ok().get());
}

}  // namespace

CControlCommands::CControlCommands(SSimContext& context, CServerSim& server) : m_context(context), m_server(server) {}

std::string CControlCommands::Execute(const std::string& line)
{
    TJsonPtr command = CJson::Parse(line);
    if (!command || !json_object_is_type(command.get(), json_type_object)) {
        return ErrorLine("a command is one JSON object per line");
    }
    const std::string name = CJson::GetString(command.get(), "cmd", "");
    json_object* c = command.get();
    if (name == "status") return Status();
    if (name == "events") return Events(c);
    if (name == "wait") return Wait(c);
    if (name == "on") return On(c);
    if (name == "clear") {
        m_context.directives.Clear();
        return OkLine();
    }
    if (name == "identity") return Identity(c);
    if (name == "connected") return Connected(c);
    if (name == "account") return Account(c);
    if (name == "sdf") {
        std::string error;
        return m_context.scenario.SetSdfAnswer(c, error) ? OkLine() : ErrorLine(error);
    }
    if (name == "sessions") return Sessions();
    if (name == "send" || name == "bad_checksum" || name == "undecodable") return Send(c, name);
    if (name == "stall") return Stall(c, true);
    if (name == "resume") return Stall(c, false);
    if (name == "drop") return Drop(c);
    std::string answer;
    if (CContactControl(m_context).Execute(name, c, &answer)) return answer;
    if (CChatControl::Handles(name)) return CChatControl::Execute(m_context.chats, name, c);
    if (CCallControl::Handles(name)) return CCallControl::Execute(m_context.calls, name, c);
    return ErrorLine("unknown command \"" + name + "\"");
}

std::string CControlCommands::Status()
{
    TJsonPtr answer = CJson::Ok();
    json_object_object_add(answer.get(), "port", json_object_new_int(m_server.Port()));
    json_object* connections = json_object_new_array();
    for (const auto& connection : m_server.Connections()) {
        json_object_array_add(connections, json_object_new_int(connection->Id()));
    }
    json_object_object_add(answer.get(), "connections", connections);
    json_object_object_add(answer.get(), "events", json_object_new_int64(static_cast<int64_t>(m_context.events.Size())));
    json_object_object_add(answer.get(), "directives",
                           json_object_new_int64(static_cast<int64_t>(m_context.directives.Pending())));
    return CJson::ToLine(answer.get());
}

std::string CControlCommands::Events(json_object* command)
{
    const size_t since = static_cast<size_t>(std::max<long long>(0, CJson::GetInt(command, "since", 0)));
    const std::vector<std::string> events = m_context.events.Since(since);
    return "{\"ok\":true,\"next\":" + std::to_string(since + events.size()) + ",\"events\":" + JoinEvents(events) + "}";
}

std::string CControlCommands::Wait(json_object* command)
{
    const size_t since = static_cast<size_t>(std::max<long long>(0, CJson::GetInt(command, "since", 0)));
    const double timeout = CJson::GetDouble(command, "timeout", 10.0);
    json_object* filter = CJson::Get(command, "match");
    if (filter != nullptr && !json_object_is_type(filter, json_type_object)) {
        return ErrorLine("match must be an object");
    }
    const auto deadline = std::chrono::steady_clock::now() +
                          std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(timeout));
    const std::string event = m_context.events.WaitFor(since, filter, deadline);
    if (event.empty()) {
        return ErrorLine("timeout");
    }
    return "{\"ok\":true,\"event\":" + event + "}";
}

std::string CControlCommands::On(json_object* command)
{
    static const std::set<std::string> kStages = {"connect", "masterkey", "login"};
    static const std::set<std::string> kActions = {"redirect", "error", "warning", "drop", "silent", "packet", "loggedout"};
    SDirective directive;
    directive.stage = CJson::GetString(command, "stage", "");
    directive.action = CJson::GetString(command, "action", "");
    directive.count = static_cast<int>(CJson::GetInt(command, "count", 1));
    directive.parameters = CJson::ToLine(command);
    if (kStages.count(directive.stage) == 0) {
        return ErrorLine("stage must be connect, masterkey or login");
    }
    if (kActions.count(directive.action) == 0) {
        return ErrorLine("action must be redirect, error, warning, drop, silent, packet or loggedout");
    }
    if (directive.action == "packet") {
        TPacketSPtr packet;
        std::string error;
        if (!CPacketJson::FromJson(CJson::Get(command, "packet"), packet, error)) {
            return ErrorLine(error);
        }
    }
    if (directive.count < 1) {
        return ErrorLine("count must be at least 1");
    }
    m_context.directives.Add(directive);
    return Count("pending", m_context.directives.Pending());
}

std::string CControlCommands::Identity(json_object* command)
{
    TIdentityKey key;
    if (!CScenario::ParseIdentityKey(CJson::GetString(command, "key", ""), key)) {
        return ErrorLine("key must be primary, backup, corrupt or wrong_digest");
    }
    m_context.scenario.SetIdentityKey(key);
    return OkLine();
}

std::string CControlCommands::Connected(json_object* command)
{
    json_object* fields = CJson::Get(command, "fields");
    const TPacketSPtr probe = COutgoingPacket::CreateContainer();
    std::string error;
    if (fields == nullptr || !CPacketJson::AppendFields(fields, probe, error)) {
        return ErrorLine(fields == nullptr ? "fields (an object of packet fields) is required" : error);
    }
    m_context.scenario.SetConnectedFields(CJson::ToLine(fields));
    return OkLine();
}

std::string CControlCommands::Account(json_object* command)
{
    SAccount account;
    std::string error;
    if (!m_context.scenario.ParseAccount(command, account, error)) {
        return ErrorLine(error);
    }
    m_context.scenario.SetAccount(account);
    return OkLine();
}

std::string CControlCommands::Sessions()
{
    TJsonPtr answer = CJson::Ok();
    json_object* sessions = json_object_new_object();
    for (const auto& entry : m_context.sessions.List()) {
        json_object_object_add(sessions, entry.first.c_str(), json_object_new_string(entry.second.c_str()));
    }
    json_object_object_add(answer.get(), "sessions", sessions);
    return CJson::ToLine(answer.get());
}

std::string CControlCommands::Send(json_object* command, const std::string& name)
{
    TPacketSPtr packet;
    json_object* description = CJson::Get(command, "packet");
    if (description == nullptr && name == "bad_checksum") {
        packet = COutgoingPacket::Create(VexlaLib::CHUNK_BALANCE);
    } else if (name != "undecodable") {
        std::string error;
        if (!CPacketJson::FromJson(description, packet, error)) {
            return ErrorLine(error);
        }
    }
    const long long undecodableLength =
        std::max(2LL, std::min<long long>(CJson::GetInt(command, "size", 2), VexlaLib::CFrame::MAX_BODY_LENGTH));
    size_t sent = 0;
    for (const auto& connection : Targets(command)) {
        const bool written = name == "send"           ? connection->Send(*packet)
                             : name == "bad_checksum" ? connection->SendBadChecksum(*packet)
                                                      : connection->SendUndecodable(static_cast<size_t>(undecodableLength));
        sent += written ? 1 : 0;
    }
    return Count("sent", sent);
}

std::string CControlCommands::Stall(json_object* command, bool stalled)
{
    const bool midFrame = stalled && CJson::GetBool(command, "mid_frame", false);
    TPacketSPtr packet;
    if (midFrame) {
        std::string error;
        json_object* description = CJson::Get(command, "packet");
        if (description == nullptr) {
            packet = COutgoingPacket::Create(VexlaLib::CHUNK_BALANCE);
            COutgoingPacket::AddString(packet, VexlaLib::KEY_BALANCE_CURRENCY, std::wstring(L"EUR"));
        } else if (!CPacketJson::FromJson(description, packet, error)) {
            return ErrorLine(error);
        }
    }
    size_t count = 0;
    for (const auto& connection : Targets(command)) {
        connection->SetStalled(stalled);
        if (midFrame) {
            connection->SendHalfFrame(*packet);
        }
        ++count;
    }
    return Count(stalled ? "stalled" : "resumed", count);
}

std::string CControlCommands::Drop(json_object* command)
{
    const TConnections targets = Targets(command);
    for (const auto& connection : targets) {
        connection->Drop();
    }
    return Count("dropped", targets.size());
}

CControlCommands::TConnections CControlCommands::Targets(json_object* command)
{
    return m_server.Select(static_cast<int>(CJson::GetInt(command, "conn", -1)));
}

std::string CControlCommands::Count(const char* member, size_t count)
{
    TJsonPtr answer = CJson::Ok();
    json_object_object_add(answer.get(), member, json_object_new_int64(static_cast<int64_t>(count)));
    return CJson::ToLine(answer.get());
}

}  // namespace ServerSim
