#include "ServerSim.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "Connection.h"
#include "Utils/LogStream.h"

namespace ServerSim {

CServerSim::CServerSim(SSimContext& context, const CChunkDispatcher& dispatcher)
    : m_context(context), m_dispatcher(dispatcher), m_listenFd(-1), m_wakeFd(eventfd(0, EFD_CLOEXEC)), m_port(0),
      m_nextId(1)
{
}

CServerSim::~CServerSim()
{
    Stop();
    if (m_listenFd >= 0) {
        close(m_listenFd);
    }
    close(m_wakeFd);
}

bool CServerSim::Listen(const std::string& address, int port, std::string& error)
{
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(static_cast<uint16_t>(port));
    if (port < 0 || port > 65535 || inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1) {
        error = "bad listen address " + address + ":" + std::to_string(port);
        return false;
    }
    m_listenFd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const int on = 1;
    setsockopt(m_listenFd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    socklen_t length = sizeof(local);
    if (m_listenFd < 0 || bind(m_listenFd, reinterpret_cast<sockaddr*>(&local), sizeof(local)) != 0 ||
        listen(m_listenFd, 16) != 0 || getsockname(m_listenFd, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        error = "cannot listen on " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    m_port = ntohs(local.sin_port);
    return true;
}

void CServerSim::Start()
{
    m_thread = std::thread(&CServerSim::AcceptLoop, this);
}

void CServerSim::Stop()
{
    if (m_thread.joinable()) {
        const uint64_t one = 1;
        if (write(m_wakeFd, &one, sizeof(one)) < 0) {
            VexlaLib::LogError() << "vexla-server-sim: cannot wake the accept loop";
        }
        m_thread.join();
    }
    std::vector<std::shared_ptr<CConnection>> connections;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        connections.swap(m_connections);
    }
    connections.clear();  // each drops its client and joins its thread
}

void CServerSim::AcceptLoop()
{
    pollfd watched[2] = {{m_listenFd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
    while (true) {
        if (poll(watched, 2, -1) < 0) {
            if (errno == EINTR) {
                continue;
            }
            VexlaLib::LogError() << "vexla-server-sim: poll failed: " << std::strerror(errno);
            return;
        }
        if (watched[1].revents != 0) {
            return;
        }
        sockaddr_in peer{};
        socklen_t length = sizeof(peer);
        const int fd = accept4(m_listenFd, reinterpret_cast<sockaddr*>(&peer), &length, SOCK_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        char host[INET_ADDRSTRLEN] = "";
        inet_ntop(AF_INET, &peer.sin_addr, host, sizeof(host));
        const std::string name = std::string(host) + ":" + std::to_string(ntohs(peer.sin_port));
        std::lock_guard<std::mutex> guard(m_lock);
        ReapLocked();
        auto connection = std::make_shared<CConnection>(m_nextId++, fd, name, m_context, m_dispatcher);
        m_connections.push_back(connection);
        connection->Start();
    }
}

std::vector<std::shared_ptr<CConnection>> CServerSim::Connections()
{
    std::lock_guard<std::mutex> guard(m_lock);
    ReapLocked();
    return m_connections;
}

std::vector<std::shared_ptr<CConnection>> CServerSim::Select(int id)
{
    std::vector<std::shared_ptr<CConnection>> selected = Connections();
    if (id >= 0) {
        selected.erase(std::remove_if(selected.begin(), selected.end(),
                                      [id](const std::shared_ptr<CConnection>& c) { return c->Id() != id; }),
                       selected.end());
    }
    return selected;
}

void CServerSim::ReapLocked()
{
    m_connections.erase(std::remove_if(m_connections.begin(), m_connections.end(),
                                       [](const std::shared_ptr<CConnection>& c) { return c->Finished(); }),
                        m_connections.end());
}

}  // namespace ServerSim
