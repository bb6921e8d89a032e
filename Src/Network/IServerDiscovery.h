#pragma once

#include <string>

namespace VexlaLib {

// Asks a discovery server for the session and operator identifiers of the phone's number before the
// session connects.
class IServerDiscovery {
public:
    virtual ~IServerDiscovery() {}
    virtual bool GetSessionID(const std::wstring& server, const std::wstring& localAddress,
                              const std::wstring& phoneNumber, std::wstring* sessionId, int* operatorId) = 0;
    // The connect result of the discovery request's socket (see CSocket::TConnectResult).
    virtual int GetLastConnectResult() const = 0;
    // Ends a request under way from another thread.
    virtual void Abort() = 0;
};

}  // namespace VexlaLib
