#include "Listener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace ServerSim {

CListener::CListener() : m_fd(-1), m_wakeFd(eventfd(0, EFD_CLOEXEC)), m_port(0) {}

CListener::~CListener()
{
    if (m_fd >= 0) {
        close(m_fd);
    }
    if (!m_unixPath.empty()) {
        unlink(m_unixPath.c_str());
    }
    close(m_wakeFd);
}

bool CListener::ListenTcp(const std::string& address, int port, std::string& error)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    if (port < 0 || port > 65535 || inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
        error = "bad listen address " + address + ":" + std::to_string(port);
        return false;
    }
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    socklen_t length = sizeof(local);
    if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 || listen(m_fd, 16) != 0 ||
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        error = "cannot listen on " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    m_port = ntohs(local.sin_port);
    return true;
}

bool CListener::ListenUnix(const std::string& path, std::string& error)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.empty() || path.size() >= sizeof(address.sun_path)) {
        error = "socket path is empty or too long: " + path;
        return false;
    }
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    unlink(path.c_str());
    m_fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 || listen(m_fd, 8) != 0) {
        error = "cannot listen on " + path + ": " + std::strerror(errno);
        return false;
    }
    m_unixPath = path;
    return true;
}

int CListener::Accept()
{
    pollfd watched[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    while (true) {
        if (poll(watched, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            return -1;
        }
        if (watched[1].revents != 0) {
            return -1;
        }
        if ((watched[0].revents & POLLIN) == 0) {
            continue;
        }
        sockaddr_storage peer{};
        socklen_t length = sizeof(peer);
        const int fd = accept4(m_fd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        if (peer.ss_family == AF_INET) {
            const sockaddr_in& inet = reinterpret_cast<const sockaddr_in&>(peer);
            char host[INET_ADDRSTRLEN] = "";
            inet_ntop(AF_INET, &inet.sin_addr, host, sizeof(host));
            m_lastPeer = std::string(host) + ":" + std::to_string(ntohs(inet.sin_port));
        }
        return fd;
    }
}

void CListener::Wake()
{
    const uint64_t one = 1;
    while (write(m_wakeFd, &one, sizeof(one)) < 0 && errno == EINTR) {
    }
}

}  // namespace ServerSim
