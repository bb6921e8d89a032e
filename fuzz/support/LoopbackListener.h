#pragma once

#include <string>

namespace FuzzSupport {

// A listening TCP socket on 127.0.0.1 with a port the system picked: the peer end of the connections
// a harness makes the code under test open.
class CLoopbackListener {
public:
    CLoopbackListener();
    ~CLoopbackListener();

    CLoopbackListener(const CLoopbackListener&) = delete;
    CLoopbackListener& operator=(const CLoopbackListener&) = delete;

    // "127.0.0.1:<port>", the form CSocket::Connect takes.
    std::wstring Address() const;
    int Descriptor() const { return m_fd; }
    // The next connection's descriptor (the caller closes it); -1 on failure.
    int Accept() const;

    // Writes all of `bytes` to `fd`; false when the peer went away.
    static bool WriteAll(int fd, const unsigned char* bytes, size_t length);

private:
    int m_fd;
    int m_port;
};

}  // namespace FuzzSupport
