#pragma once

#include <string>

#include "Json.h"
#include "Network/Packet.h"

namespace ServerSim {

// Converts packets to and from the simulator's JSON form, used by the event log, the scenario
// file and the control socket. A packet is an object whose members are attribute key names (or key
// numbers as text) in wire order, with "chunk" standing for KEY_CHUNKTYPE:
//
//   {"chunk": "CHUNK_ERROR", "KEY_ERROR_CODE": 64, "KEY_ERROR_MESSAGE": "busy"}
//
// Values by type: INT32 a number (true/false read as 1/0), STRING a string, INTARRAY a list of
// numbers, CONTAINER a nested object, BINARY {"binary": "hex"}, ADDRESS {"address": "a.b.c.d:port"},
// INT64 {"int64": number}. When a received packet repeats a key, the first value is shown.
class CPacketJson {
public:
    static TJsonPtr ToJson(const VexlaLib::CPacket& packet);

    // An outgoing packet from the JSON form; "chunk" may be a name or a number and is required.
    static bool FromJson(json_object* object, VexlaLib::TPacketSPtr& packet, std::string& error);
    // Appends the members of a JSON object (without "chunk") as attributes.
    static bool AppendFields(json_object* fields, const VexlaLib::TPacketSPtr& packet, std::string& error);

    // A chunk code from its name ("CHUNK_LOGIN") or number; false when unknown.
    static bool ChunkCode(json_object* value, int& code);
    static std::string ChunkName(int code);

private:
    static TJsonPtr ContainerToJson(const VexlaLib::CPacket& packet, bool topLevel);
    static json_object* ValueToJson(const VexlaLib::CAttribute& attribute);
    static bool KeyCode(const std::string& name, int& key);
    static bool AppendValue(int key, json_object* value, const VexlaLib::TPacketSPtr& packet, std::string& error);
};

}  // namespace ServerSim
