#include "DirectiveAnswer.h"

#include "Connection.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/OutgoingPacket.h"
#include "PacketJson.h"
#include "Utils/LogStream.h"

namespace ServerSim {

using VexlaLib::COutgoingPacket;
using VexlaLib::TPacketSPtr;

bool CDirectiveAnswer::Apply(CConnection& connection, const std::string& stage)
{
    SDirective directive;
    if (!connection.Context().directives.Take(stage, directive)) {
        return false;
    }
    TJsonPtr parameters = CJson::Parse(directive.parameters);
    VexlaLib::LogInfo() << "vexla-server-sim: connection " << connection.Id() << ": " << directive.action << " at "
                        << stage;
    TJsonPtr event = connection.NewEvent("directive");
    json_object_object_add(event.get(), "stage", json_object_new_string(stage.c_str()));
    json_object_object_add(event.get(), "action", json_object_new_string(directive.action.c_str()));
    connection.Record(std::move(event));
    return Carry(connection, directive, parameters.get());
}

bool CDirectiveAnswer::Carry(CConnection& connection, const SDirective& directive, json_object* parameters)
{
    using namespace VexlaLib;
    const std::string& action = directive.action;
    if (action == "drop") {
        connection.Drop();
        return true;
    }
    if (action == "silent") {
        return true;
    }
    if (action == "packet") {
        TPacketSPtr packet;
        std::string error;
        if (CPacketJson::FromJson(CJson::Get(parameters, "packet"), packet, error)) {
            connection.Send(*packet);
        }
        return true;
    }
    TPacketSPtr answer;
    if (action == "redirect") {
        answer = COutgoingPacket::Create(CHUNK_REDIRECT);
        std::string error;
        if (json_object* address = CJson::Get(parameters, "address")) {
            TJsonPtr fields(json_object_new_object());
            TJsonPtr value(json_object_new_object());
            json_object_object_add(value.get(), "address", json_object_get(address));
            json_object_object_add(fields.get(), "KEY_NEW_SERVER", value.release());
            CPacketJson::AppendFields(fields.get(), answer, error);
        }
    } else if (action == "error" || action == "warning") {
        const int chunk = action == "error" ? CHUNK_ERROR : CHUNK_WARNING;
        answer = COutgoingPacket::Create(chunk);
        const int code = static_cast<int>(CJson::GetInt(parameters, "code", action == "error" ? 64 : 7));
        COutgoingPacket::AddInt32(answer, KEY_ERROR_CODE, code);
        const std::string message = CJson::GetString(parameters, "message", "");
        if (!message.empty()) {
            COutgoingPacket::AddString(answer, KEY_ERROR_MESSAGE, message);
        }
    } else if (action == "loggedout") {
        answer = COutgoingPacket::Create(CHUNK_LOGGEDOUT);
        COutgoingPacket::AddInt32(answer, KEY_LOGOUTREASON, static_cast<int>(CJson::GetInt(parameters, "code", 0)));
    } else {
        return false;  // refused when the directive was added; nothing to do
    }
    connection.Send(*answer);
    return action != "warning";
}

}  // namespace ServerSim
