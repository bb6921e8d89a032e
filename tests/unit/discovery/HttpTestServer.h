#pragma once

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace VexlaTest {

// A scripted HTTP server on 127.0.0.1 with an ephemeral port. Serve() starts a thread that takes the
// next connections in order and gives each its answer; the requests it read are kept, bytes as sent.
class CHttpTestServer {
public:
    struct TAnswer {
        std::string bytes;
        // Wait for the client to close before closing (a server that keeps the connection open).
        bool keepOpen = false;
        // Accept and hold the connection without reading or answering until the client closes.
        bool silent = false;
    };

    CHttpTestServer();
    ~CHttpTestServer();

    CHttpTestServer(const CHttpTestServer&) = delete;
    CHttpTestServer& operator=(const CHttpTestServer&) = delete;

    int Port() const { return m_port; }
    std::wstring Address() const;

    void Serve(std::vector<TAnswer> answers);
    // Waits for the answering thread to finish and returns every request read.
    std::vector<std::string> Requests();
    // Waits until `count` connections were accepted (a silent one once its request began to arrive).
    bool WaitForConnections(size_t count);
    // For keepOpen answers: whether the client closed before the server would have given up.
    bool ClientClosedFirst();

    // "HTTP/1.1 STATUS\r\n" + fields + "\r\n" + body; fields each end in "\r\n".
    static std::string Answer(const std::string& status, const std::string& fields, const std::string& body);

private:
    void Run(std::vector<TAnswer> answers);
    std::string ReadRequest(int peer);
    bool WaitForClientClose(int peer);

    int m_listener;
    int m_port;
    std::thread m_thread;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_accepted;
    std::vector<std::string> m_requests;
    bool m_clientClosedFirst;
};

}  // namespace VexlaTest
