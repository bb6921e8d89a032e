#pragma once

#include <memory>
#include <string>

#include "Network/IServerDiscovery.h"

namespace VexlaLib {

class CHttp;

// Asks the discovery server for the discovery session identifier and the operator identifier of
// the phone's number: one HTTP POST whose body, and whose answer's body, are packet bodies (no frame)
// with their own small key numbers.
class CSDFHandler : public IServerDiscovery {
public:
    // Request keys.
    static constexpr int SDF_KEY_REQUEST = 1;  // INT32, always 1
    static constexpr int SDF_KEY_PHONE_NUMBER = 2;
    // Answer keys.
    static constexpr int SDF_KEY_SESSION_ID = 3;
    static constexpr int SDF_KEY_OPERATOR_ID = 4;

    // Extra header lines of the request.
    static constexpr wchar_t HEADER_LINES[] =
        L"Content-Transfer-Encoding: binary\r\nContent-Type: application/x-sdf-ac\r\n";

    CSDFHandler();
    ~CSDFHandler() override;

    CSDFHandler(const CSDFHandler&) = delete;
    CSDFHandler& operator=(const CSDFHandler&) = delete;

    // `server` is "host:port[/path]". On success the session identifier is key 3 of the answer (left
    // alone when absent) and the operator identifier key 4 (-1 when absent).
    bool GetSessionID(const std::wstring& server, const std::wstring& localAddress, const std::wstring& phoneNumber,
                      std::wstring* sessionId, int* operatorId) override;
    // The connect result of the request's last socket (CSocket::TConnectResult).
    int GetLastConnectResult() const override;
    // Ends a request under way at once, from any thread; a later request fails too.
    void Abort() override;

private:
    const std::unique_ptr<CHttp> m_http;
};

}  // namespace VexlaLib
