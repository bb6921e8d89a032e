#pragma once

#include <string>
#include <thread>

#include "Listener.h"
#include "SdfAnswer.h"
#include "SimContext.h"

namespace ServerSim {

// The discovery (SDF) server: one HTTP/1.1 request per connection, whose body is a packet body
// with key 1 = 1 and key 2 = the phone number; the answer (by the scenario's "sdf" member) is a
// packet body with key 3 = the discovery session identifier and key 4 = the operator identifier,
// or another status. Requests are served one at a time; each is recorded as an "sdf" event.
class CSdfServer {
public:
    explicit CSdfServer(SSimContext& context);
    ~CSdfServer();
    CSdfServer(const CSdfServer&) = delete;
    CSdfServer& operator=(const CSdfServer&) = delete;

    bool Listen(const std::string& address, int port, std::string& error);
    int Port() const { return m_listener.Port(); }
    void Start();
    void Stop();

private:
    void AcceptLoop();
    void Serve(int fd);
    // Reads the header and the Content-Length body; false when the request is incomplete or too big.
    static bool ReadRequest(int fd, std::string& header, std::string& body);
    std::string Answer(const std::string& requestLine, const std::string& body);
    // The bytes of the answer to a request from `phone` (nothing at all for the fault "close").
    static std::string Compose(const SSdfAnswer& answer, const std::string& phone);

    SSimContext& m_context;
    CListener m_listener;
    std::thread m_thread;
};

}  // namespace ServerSim
