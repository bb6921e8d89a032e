#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace VexlaTest {

// A listening TCP socket on 127.0.0.1 with an ephemeral port, and the peer end of one accepted
// connection, driven with plain system calls so tests see the exact bytes on the wire.
class CLoopbackListener {
public:
    CLoopbackListener() : m_listener(-1), m_peer(-1), m_port(0) { Listen(); }
    ~CLoopbackListener()
    {
        ClosePeer();
        StopListening();
    }

    // Refuses connections until ResumeListening, which listens on the same port again.
    void StopListening()
    {
        if (m_listener >= 0) {
            ::close(m_listener);
            m_listener = -1;
        }
    }
    void ResumeListening() { Listen(); }

    CLoopbackListener(const CLoopbackListener&) = delete;
    CLoopbackListener& operator=(const CLoopbackListener&) = delete;

    int Port() const { return m_port; }
    std::wstring Address() const { return L"127.0.0.1:" + std::to_wstring(m_port); }

    // Accepts the next connection, waiting at most `timeoutMs`.
    bool Accept(int timeoutMs = 5000)
    {
        pollfd watched = {m_listener, POLLIN, 0};
        if (::poll(&watched, 1, timeoutMs) != 1) {
            return false;
        }
        ClosePeer();
        m_peer = ::accept(m_listener, nullptr, nullptr);
        return m_peer >= 0;
    }

    bool Write(const std::vector<unsigned char>& bytes)
    {
        return ::send(m_peer, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
    }

    // Reads exactly `count` bytes, waiting at most `timeoutMs` for each part; fewer on failure.
    std::vector<unsigned char> Read(size_t count, int timeoutMs = 5000)
    {
        std::vector<unsigned char> bytes(count);
        size_t got = 0;
        while (got < count) {
            pollfd watched = {m_peer, POLLIN, 0};
            if (::poll(&watched, 1, timeoutMs) != 1) {
                break;
            }
            const ssize_t n = ::recv(m_peer, bytes.data() + got, count - got, 0);
            if (n <= 0) {
                break;
            }
            got += static_cast<size_t>(n);
        }
        bytes.resize(got);
        return bytes;
    }

    // True when the peer closed its end (end of stream within `timeoutMs`).
    bool PeerClosed(int timeoutMs = 5000)
    {
        pollfd watched = {m_peer, POLLIN, 0};
        unsigned char byte;
        return ::poll(&watched, 1, timeoutMs) == 1 && ::recv(m_peer, &byte, 1, MSG_PEEK) == 0;
    }

    void ClosePeer()
    {
        if (m_peer >= 0) {
            ::close(m_peer);
            m_peer = -1;
        }
    }

private:
    void Listen()
    {
        m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
        const int reuse = 1;
        ::setsockopt(m_listener, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof(reuse));
        sockaddr_in address = {};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = htons(static_cast<unsigned short>(m_port));
        ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof(address));
        ::listen(m_listener, 8);
        socklen_t length = sizeof(address);
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }

    int m_listener;
    int m_peer;
    int m_port;
};

}  // namespace VexlaTest
