#pragma once

#include <string>

namespace ServerSim {

// How the discovery (SDF) server answers a request.
struct SSdfAnswer {
    int status = 200;                          // HTTP status
    std::string sessionId = "sdf-session-1";   // key 3 of the answer packet; not sent when empty
    int operatorId = -1;                       // key 4; not sent when negative
    std::string location;                      // Location header of a redirect status
};

}  // namespace ServerSim
