#pragma once

#include <string>

namespace FuzzSupport {

// A dbus-daemon of the process's own on a socket in the scratch directory, started once and sent
// SIGTERM at exit (and when the process dies, through the parent-death signal).
class CBusDaemon {
public:
    // Starts the daemon and waits until it takes connections; aborts the process on failure.
    static const std::string& Address();
};

}  // namespace FuzzSupport
