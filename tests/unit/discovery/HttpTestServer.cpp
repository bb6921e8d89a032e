#include "HttpTestServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>

namespace VexlaTest {

namespace {

const int WAIT_MS = 10000;

}  // namespace

CHttpTestServer::CHttpTestServer()
    : m_listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)), m_port(0), m_accepted(0), m_clientClosedFirst(false)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    ::listen(m_listener, 8);
    socklen_t length = sizeof(address);
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
}

CHttpTestServer::~CHttpTestServer()
{
    if (m_thread.joinable()) {
        m_thread.join();
    }
    ::close(m_listener);
}

std::wstring CHttpTestServer::Address() const { return L"127.0.0.1:" + std::to_wstring(m_port); }

std::string CHttpTestServer::Answer(const std::string& status, const std::string& fields, const std::string& body)
{
    return "HTTP/1.1 " + status + "\r\n" + fields + "\r\n" + body;
}

void CHttpTestServer::Serve(std::vector<TAnswer> answers)
{
    m_thread = std::thread(&CHttpTestServer::Run, this, std::move(answers));
}

std::vector<std::string> CHttpTestServer::Requests()
{
    if (m_thread.joinable()) {
        m_thread.join();
    }
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_requests;
}

bool CHttpTestServer::WaitForConnections(size_t count)
{
    std::unique_lock<std::mutex> guard(m_mutex);
    return m_changed.wait_for(guard, std::chrono::milliseconds(WAIT_MS), [&] { return m_accepted >= count; });
}

bool CHttpTestServer::ClientClosedFirst()
{
    Requests();
    return m_clientClosedFirst;
}

void CHttpTestServer::Run(std::vector<TAnswer> answers)
{
    for (const TAnswer& answer : answers) {
        pollfd watched = {m_listener, POLLIN, 0};
        if (::poll(&watched, 1, WAIT_MS) != 1) {
            return;
        }
        const int peer = ::accept(m_listener, nullptr, nullptr);
        if (peer < 0) {
            return;
        }
        if (answer.silent) {
            // Counted once the request begins to arrive: the client is then past its connect.
            pollfd request = {peer, POLLIN, 0};
            ::poll(&request, 1, WAIT_MS);
        }
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            ++m_accepted;
        }
        m_changed.notify_all();
        if (answer.silent) {
            WaitForClientClose(peer);
            ::close(peer);
            continue;
        }
        const std::string request = ReadRequest(peer);
        {
            std::lock_guard<std::mutex> guard(m_mutex);
            m_requests.push_back(request);
        }
        // The client may stop reading early (a bounded answer): a failed send is part of the test.
        ::send(peer, answer.bytes.data(), answer.bytes.size(), MSG_NOSIGNAL);
        if (answer.keepOpen) {
            const bool closed = WaitForClientClose(peer);
            std::lock_guard<std::mutex> guard(m_mutex);
            m_clientClosedFirst = closed;
        }
        ::close(peer);
    }
}

std::string CHttpTestServer::ReadRequest(int peer)
{
    std::string request;
    size_t wanted = std::string::npos;
    char chunk[4096];
    while (wanted == std::string::npos || request.size() < wanted) {
        pollfd watched = {peer, POLLIN, 0};
        if (::poll(&watched, 1, WAIT_MS) != 1) {
            break;
        }
        const ssize_t got = ::recv(peer, chunk, sizeof(chunk), 0);
        if (got <= 0) {
            break;
        }
        request.append(chunk, static_cast<size_t>(got));
        const size_t headerEnd = request.find("\r\n\r\n");
        if (wanted == std::string::npos && headerEnd != std::string::npos) {
            const size_t field = request.find("Content-Length: ");
            wanted = headerEnd + 4 +
                     (field != std::string::npos && field < headerEnd ? std::stoul(request.substr(field + 16)) : 0);
        }
    }
    return request;
}

bool CHttpTestServer::WaitForClientClose(int peer)
{
    char chunk[4096];
    for (;;) {
        pollfd watched = {peer, POLLIN, 0};
        if (::poll(&watched, 1, WAIT_MS) != 1) {
            return false;
        }
        const ssize_t got = ::recv(peer, chunk, sizeof(chunk), 0);
        if (got <= 0) {
            return true;
        }
    }
}

}  // namespace VexlaTest
