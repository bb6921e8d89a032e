#pragma once

#include <string>

namespace ServerSim {

// A listening socket (TCP on an IPv4 address, or unix at a path) whose blocking Accept another
// thread can end with Wake. Closes the socket (and removes a unix path) on destruction.
class CListener {
public:
    CListener();
    ~CListener();
    CListener(const CListener&) = delete;
    CListener& operator=(const CListener&) = delete;

    // Port 0 picks a free port; Port() tells which. False with a reason.
    bool ListenTcp(const std::string& address, int port, std::string& error);
    // A stale socket file at the path is replaced. False with a reason.
    bool ListenUnix(const std::string& path, std::string& error);
    int Port() const { return m_port; }

    // The next client's descriptor (close-on-exec); -1 once Wake was called.
    int Accept();
    // Ends the current and every later Accept.
    void Wake();
    // Text "address:port" of the last accepted TCP client.
    const std::string& LastPeer() const { return m_lastPeer; }

private:
    int m_fd;
    int m_wakeFd;
    int m_port;
    std::string m_unixPath;
    std::string m_lastPeer;
};

}  // namespace ServerSim
