#pragma once

#include <map>
#include <string>

#include "SimChat.h"

namespace ServerSim {

// The chats of the simulated network in a file, so that a simulator killed and started again with the
// same state keeps every chat and message (a message is saved before the sender sees its echo).
class CChatState {
public:
    // Writes the chats and the next chat id through a temporary file; false when it cannot.
    static bool Save(const std::string& path, int nextChatId, const std::map<int, SSimChat>& chats);
    // Reads them back; false with a reason when the file exists but is unusable, false with an empty
    // reason when there is none.
    static bool Load(const std::string& path, int& nextChatId, std::map<int, SSimChat>& chats, std::string& error);
};

}  // namespace ServerSim
