#pragma once

namespace FuzzSupport {

// Moves the process into a network namespace of its own with only the loopback interface up, so that
// no address a fuzzed input names (a redirect, a server list) can reach beyond the process. Call it
// before any thread starts. False when the system does not allow it (not root, no namespaces).
bool IsolateNetwork();

}  // namespace FuzzSupport
