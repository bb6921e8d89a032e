#pragma once

#include <string>

#include "Json.h"
#include "SimContext.h"

namespace ServerSim {

// Control commands of the contacts side (see README.md): a user's details or presence, adding and
// removing an account's buddies, and an authorisation request to an account. Each change reaches the
// clients of the accounts concerned at once.
class CContactControl {
public:
    explicit CContactControl(SSimContext& context) : m_context(context) {}

    // False when the command is not one of these; otherwise the answer line is set.
    bool Execute(const std::string& name, json_object* command, std::string* answer);

private:
    std::string User(json_object* command);
    std::string Presence(json_object* command);
    std::string AddBuddy(json_object* command);
    std::string RemoveBuddy(json_object* command);
    std::string AuthRequest(json_object* command);

    SSimContext& m_context;
};

}  // namespace ServerSim
