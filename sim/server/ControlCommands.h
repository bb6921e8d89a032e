#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Json.h"
#include "SimContext.h"

namespace ServerSim {

class CConnection;
class CServerSim;

// The control socket's commands: one JSON object in, one line of JSON out (see README.md for the
// list). "subscribe" and "wait" may block the calling control client, never the others.
class CControlCommands {
public:
    CControlCommands(SSimContext& context, CServerSim& server);

    // Runs one command line and returns the answer line (without the newline).
    std::string Execute(const std::string& line);

private:
    typedef std::vector<std::shared_ptr<CConnection>> TConnections;

    std::string Status();
    std::string Events(json_object* command);
    std::string Wait(json_object* command);
    std::string On(json_object* command);
    std::string Identity(json_object* command);
    std::string Connected(json_object* command);
    std::string Account(json_object* command);
    std::string Sessions();
    std::string Send(json_object* command, const std::string& name);
    std::string Stall(json_object* command, bool stalled);
    std::string Drop(json_object* command);

    // The connections a command names with "conn" (all live ones without it).
    TConnections Targets(json_object* command);
    static std::string Count(const char* member, size_t count);

    SSimContext& m_context;
    CServerSim& m_server;
};

}  // namespace ServerSim
