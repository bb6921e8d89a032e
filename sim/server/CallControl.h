#pragma once

#include <string>

#include "Json.h"

namespace ServerSim {

class CCallDesk;

// The control socket's call commands: call_setup, call_answer, voicemail, voicemails and
// incoming_call (see README.md).
class CCallControl {
public:
    static bool Handles(const std::string& name);
    // The answer line; a refusal when the simulator serves no calls.
    static std::string Execute(CCallDesk* desk, const std::string& name, json_object* command);
};

}  // namespace ServerSim
