#pragma once

#include <string>

#include "Network/Socket.h"
#include "Utils/ByteArray.h"
#include "Utils/Lock.h"

namespace VexlaLib {

class CHttpMessage;

// A minimal HTTP/1.1 client for one request at a time: GET without a body, POST with one, following
// up to four redirects. Every attempt connects a fresh socket (a socket connects once), with the
// socket's default time-outs.
class CHttp {
public:
    static constexpr int STATUS_OK = 200;
    // Every connection or transfer failure, and an answer that cannot be used.
    static constexpr int STATUS_FAILED = 500;
    // Attempts per request: the first one and the redirects it may lead to.
    static constexpr int REDIRECT_BUDGET = 5;

    CHttp();
    ~CHttp();

    CHttp(const CHttp&) = delete;
    CHttp& operator=(const CHttp&) = delete;

    // Sends the request to `url` ("host[:port][/path]", port 80 by default), bound to `localAddress`
    // when it is not empty. `headerLines` are extra header lines, each ending in "\r\n". Returns the
    // HTTP status of the final answer.
    int Request(const std::wstring& url, const std::wstring& localAddress, const std::wstring& headerLines,
                const TByteArraySPtr& body);
    // The body of the last 200 answer (empty before one).
    TByteArraySPtr GetData() const;
    // The connect result of the last attempt's socket (CSocket::TConnectResult); not attempted before
    // the first.
    int GetLastConnectResult() const;
    // Closes the socket of a request under way, from any thread; this and every later request of the
    // object fail with STATUS_FAILED.
    void Abort();

private:
    TSocketSPtr OpenSocket(const std::wstring& url, const std::wstring& localAddress);
    bool SendRequest(CSocket* socket, const std::wstring& url, const std::string& headerLines,
                     const TByteArraySPtr& body);
    bool ReadResponse(CSocket* socket, CHttpMessage* response);
    static bool RedirectTarget(const CHttpMessage& response, const std::wstring& url, std::wstring* target);

    TByteArraySPtr m_data;
    mutable CLock m_lock;
    TSocketSPtr m_socket;  // m_lock: the current attempt's socket
    bool m_aborted;        // m_lock
};

}  // namespace VexlaLib
