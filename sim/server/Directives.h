#pragma once

#include <list>
#include <mutex>
#include <string>

#include "Json.h"

namespace ServerSim {

// One planned deviation from the normal answer at a stage of a client's conversation, set through
// the control socket: at stage "connect" (instead of the server identity), "masterkey" (instead of
// the connected answer) or "login" (instead of the login answer), do action ("redirect", "error",
// "warning", "drop", "silent") with the command's parameters, for the next count clients.
struct SDirective {
    std::string stage;
    std::string action;
    std::string parameters;  // the whole control command as JSON text
    int count = 1;
};

// The directives waiting for their stage, shared by every connection.
class CDirectives {
public:
    void Add(const SDirective& directive);
    // Takes one use of the oldest directive for the stage; false when there is none.
    bool Take(const std::string& stage, SDirective& directive);
    void Clear();
    size_t Pending() const;

private:
    mutable std::mutex m_lock;
    std::list<SDirective> m_directives;
};

}  // namespace ServerSim
