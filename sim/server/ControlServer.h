#pragma once

#include <atomic>
#include <list>
#include <mutex>
#include <string>
#include <thread>

#include "Listener.h"

namespace ServerSim {

class CControlCommands;
class CEventLog;

// The control socket: a unix stream socket at a path; each client sends one JSON command per line and
// reads one JSON answer per line, on its own thread. After {"cmd": "subscribe"} the client instead
// receives every event as one line, from "since" on, until it closes the socket; {"cmd": "quit"}
// is answered and then stops the process (SIGTERM to itself).
class CControlServer {
public:
    CControlServer(CControlCommands& commands, const CEventLog& events);
    ~CControlServer();
    CControlServer(const CControlServer&) = delete;
    CControlServer& operator=(const CControlServer&) = delete;

    // Creates the socket (a stale one at the path is replaced); false with a reason.
    bool Listen(const std::string& path, std::string& error);
    void Start();
    // Closes the socket and every client, removes the path.
    void Stop();

private:
    struct SClient {
        explicit SClient(int descriptor) : fd(descriptor), done(false) {}
        int fd;
        std::atomic<bool> done;
        std::thread thread;
    };

    void AcceptLoop();
    void Serve(SClient& client);
    void ServeLines(int fd);
    // Joins and forgets the clients that have gone.
    void ReapLocked();
    void Subscribe(int fd, size_t since);
    bool WriteLine(int fd, const std::string& line);

    CControlCommands& m_commands;
    const CEventLog& m_events;
    CListener m_listener;
    std::atomic<bool> m_stopping;
    std::thread m_thread;
    std::mutex m_lock;
    std::list<SClient> m_clients;
};

}  // namespace ServerSim
