#include "LoopbackListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace FuzzSupport {

CLoopbackListener::CLoopbackListener() : m_fd(socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)), m_port(0)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (m_fd < 0 || bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        listen(m_fd, 16) != 0 || getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        perror("loopback listener");
        abort();
    }
    m_port = ntohs(address.sin_port);
}

CLoopbackListener::~CLoopbackListener() { close(m_fd); }

std::wstring CLoopbackListener::Address() const { return L"127.0.0.1:" + std::to_wstring(m_port); }

int CLoopbackListener::Accept() const { return accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC); }

bool CLoopbackListener::WriteAll(int fd, const unsigned char* bytes, size_t length)
{
    while (length > 0) {
        const ssize_t written = send(fd, bytes, length, MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes += written;
        length -= static_cast<size_t>(written);
    }
    return true;
}

}  // namespace FuzzSupport
