#include "ControlServer.h"

#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>

#include "ControlCommands.h"
#include "EventLog.h"
#include "Json.h"

namespace ServerSim {

namespace {
// Longest command line accepted; a client that sends more without a newline is disconnected.
const size_t kMaxLine = 1024 * 1024;
}  // namespace

CControlServer::CControlServer(CControlCommands& commands, const CEventLog& events)
    : m_commands(commands), m_events(events), m_stopping(false)
{
}

CControlServer::~CControlServer()
{
    Stop();
}

bool CControlServer::Listen(const std::string& path, std::string& error)
{
    return m_listener.ListenUnix(path, error);
}

void CControlServer::Start()
{
    m_thread = std::thread(&CControlServer::AcceptLoop, this);
}

void CControlServer::Stop()
{
    m_stopping = true;
    if (m_thread.joinable()) {
        m_listener.Wake();
        m_thread.join();
    }
    {
        std::lock_guard<std::mutex> guard(m_lock);
        for (SClient& client : m_clients) {
            shutdown(client.fd, SHUT_RDWR);
        }
    }
    for (SClient& client : m_clients) {
        client.thread.join();
        close(client.fd);
    }
    m_clients.clear();
}

void CControlServer::AcceptLoop()
{
    int fd;
    while ((fd = m_listener.Accept()) >= 0) {
        std::lock_guard<std::mutex> guard(m_lock);
        ReapLocked();
        m_clients.emplace_back(fd);
        SClient& client = m_clients.back();
        client.thread = std::thread(&CControlServer::Serve, this, std::ref(client));
    }
}

void CControlServer::ReapLocked()
{
    for (auto it = m_clients.begin(); it != m_clients.end();) {
        if (it->done) {
            it->thread.join();
            close(it->fd);
            it = m_clients.erase(it);
        } else {
            ++it;
        }
    }
}

void CControlServer::Serve(SClient& client)
{
    ServeLines(client.fd);
    shutdown(client.fd, SHUT_RDWR);
    client.done = true;
}

void CControlServer::ServeLines(int fd)
{
    std::string pending;
    char buffer[4096];
    while (true) {
        const ssize_t got = recv(fd, buffer, sizeof(buffer), 0);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got <= 0) {
            return;
        }
        pending.append(buffer, static_cast<size_t>(got));
        size_t end;
        while ((end = pending.find('\n')) != std::string::npos) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line.find_first_not_of(" \t\r") == std::string::npos) {
                continue;
            }
            TJsonPtr command = CJson::Parse(line);
            const std::string name = CJson::GetString(command.get(), "cmd", "");
            if (name == "quit") {
                // Answered before the stop begins: stopping closes every control client.
                WriteLine(fd, CJson::ToLine(CJson::Ok().get()));
                kill(getpid(), SIGTERM);
                return;
            }
            if (name == "subscribe") {
                WriteLine(fd, CJson::ToLine(CJson::Ok().get()));
                Subscribe(fd, static_cast<size_t>(std::max<long long>(0, CJson::GetInt(command.get(), "since", 0))));
                return;
            }
            if (!WriteLine(fd, m_commands.Execute(line))) {
                return;
            }
        }
        if (pending.size() > kMaxLine) {
            WriteLine(fd, CJson::ToLine(CJson::Error("command line too long").get()));
            return;
        }
    }
}

void CControlServer::Subscribe(int fd, size_t since)
{
    while (!m_stopping) {
        // Wake up now and then to notice a subscriber that went away while nothing happened.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(500);
        for (const std::string& event : m_events.WaitNew(since, deadline)) {
            if (!WriteLine(fd, event)) {
                return;
            }
            ++since;
        }
        pollfd peer{fd, POLLIN, 0};
        char byte;
        if (poll(&peer, 1, 0) > 0 && recv(fd, &byte, 1, MSG_DONTWAIT) <= 0) {
            return;
        }
    }
}

bool CControlServer::WriteLine(int fd, const std::string& line)
{
    const std::string text = line + "\n";
    size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t written = send(fd, text.data() + sent, text.size() - sent, MSG_NOSIGNAL);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        sent += static_cast<size_t>(written);
    }
    return true;
}

}  // namespace ServerSim
