#pragma once

#include <string>

#include "Json.h"

namespace ServerSim {

class CChatStore;

// The control socket's chat commands, played by scripted users: chat_message, chat_topic,
// chat_member and chats (see README.md).
class CChatControl {
public:
    static bool Handles(const std::string& name);
    // The answer line; a refusal when the simulator serves no chats.
    static std::string Execute(CChatStore* store, const std::string& name, json_object* command);
};

}  // namespace ServerSim
