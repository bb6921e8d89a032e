#include "Network/Socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <limits>

#include "Utils/LogStream.h"
#include "Utils/Utils.h"

namespace VexlaLib {

std::atomic<bool> CSocket::s_networkDown(false);
std::atomic<bool> CSocket::s_hadWorkingConnection(false);
std::atomic<IPersistentStorage*> CSocket::s_storage(nullptr);

namespace {

const int MAX_VARINT_BYTES = 5;

typedef std::chrono::steady_clock TClock;

TClock::time_point DeadlineIn(int seconds) { return TClock::now() + std::chrono::seconds(seconds); }

// What poll may wait for: never negative (which would wait for ever), never beyond the int range.
int MillisecondsLeft(TClock::time_point deadline)
{
    const long long left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - TClock::now()).count();
    return static_cast<int>(std::min<long long>(std::max(left, 0LL), std::numeric_limits<int>::max()));
}

int ClampTimeout(int seconds)
{
    return std::min(std::max(seconds, CSocket::MIN_TIMEOUT_SECONDS), CSocket::MAX_TIMEOUT_SECONDS);
}

}  // namespace

CSocket::CSocket(TSocketType type)
    : m_type(type)
    , m_descriptor(-1)
    , m_closed(false)
    , m_lastConnectResult(CONNECT_CONNECTED)
    , m_readTimeout(DEFAULT_TIMEOUT_SECONDS)
    , m_writeTimeout(DEFAULT_TIMEOUT_SECONDS)
{
    s_networkDown = false;
}

CSocket::CSocket(int connectedDescriptor) : CSocket(SOCKET_TYPE_CLIENT)
{
    m_descriptor = connectedDescriptor;
}

CSocket::~CSocket()
{
    Close();
    const int descriptor = m_descriptor.exchange(-1);
    if (descriptor >= 0) {
        ::close(descriptor);
    }
}

bool CSocket::Connect(const std::wstring& address, const std::wstring& local)
{
    if (m_type != SOCKET_TYPE_CLIENT || m_closed || m_descriptor >= 0) {
        m_lastConnectResult = CONNECT_NOT_ATTEMPTED;
        return false;
    }
    std::string host, port, path;
    Decompose(address, &host, &port, &path);

    const int descriptor = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
    if (descriptor < 0) {
        m_lastConnectResult = CONNECT_NOT_ATTEMPTED;
        return false;
    }
    m_descriptor = descriptor;
    // A Close from another thread either saw the descriptor and shut it down, or is seen here.
    if (m_closed) {
        m_lastConnectResult = CONNECT_FAILED;
        return false;
    }
    if (!local.empty() && !BindLocal(CUtils::ConvertWideToChar(local))) {
        Close();
        m_lastConnectResult = CONNECT_BIND_FAILED;
        return false;
    }
    if (!ConnectTo(host, port) || m_closed) {
        Close();
        m_lastConnectResult = CONNECT_FAILED;
        return false;
    }
    m_lastConnectResult = CONNECT_CONNECTED;
    s_hadWorkingConnection = true;
    return true;
}

bool CSocket::BindLocal(const std::string& local)
{
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = 0;
    if (::inet_pton(AF_INET, local.c_str(), &address.sin_addr) != 1) {
        return false;
    }
    LogInfo() << "Forcing connections to interface: " << local.c_str() << std::endl;
    return ::bind(m_descriptor, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
}

bool CSocket::ConnectTo(const std::string& host, const std::string& port)
{
    addrinfo hints = {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    addrinfo* found = nullptr;
    if (::getaddrinfo(host.c_str(), port.c_str(), &hints, &found) != 0 || found == nullptr) {
        return false;
    }
    // Connect without blocking so that the write time-out bounds the wait and a Close ends it.
    const int descriptor = m_descriptor;
    const int flags = ::fcntl(descriptor, F_GETFL);
    ::fcntl(descriptor, F_SETFL, flags | O_NONBLOCK);
    int result = ::connect(descriptor, found->ai_addr, found->ai_addrlen);
    const int connectError = errno;
    ::freeaddrinfo(found);
    if (result != 0 && connectError == EINPROGRESS && WaitFor(POLLOUT, m_writeTimeout) == WAIT_READY) {
        int error = 0;
        socklen_t length = sizeof(error);
        result = (::getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error == 0) ? 0 : -1;
    }
    ::fcntl(descriptor, F_SETFL, flags);
    return result == 0;
}

void CSocket::Close()
{
    if (m_closed.exchange(true)) {
        return;
    }
    const int descriptor = m_descriptor;
    if (descriptor >= 0) {
        ::shutdown(descriptor, SHUT_RDWR);
    }
}

bool CSocket::IsValid() const { return m_descriptor >= 0 && !m_closed; }

void CSocket::SetReadTimeout(int seconds)
{
    m_readTimeout = ClampTimeout(seconds);
}

void CSocket::SetWriteTimeout(int seconds)
{
    m_writeTimeout = ClampTimeout(seconds);
}

void CSocket::SetInputEncryption(const std::shared_ptr<CARC4>& cipher) { m_inputCipher = cipher; }

void CSocket::SetOutputEncryption(const std::shared_ptr<CARC4>& cipher) { m_outputCipher = cipher; }

CSocket::TWaitResult CSocket::WaitFor(short events, int timeoutSeconds) const
{
    pollfd watched = {m_descriptor, events, 0};
    const TClock::time_point deadline = DeadlineIn(timeoutSeconds);
    for (;;) {
        const int ready = ::poll(&watched, 1, MillisecondsLeft(deadline));
        if (ready > 0) {
            return (watched.revents & events) != 0 && (watched.revents & (POLLERR | POLLNVAL)) == 0 ? WAIT_READY
                                                                                                    : WAIT_ERROR;
        }
        if (ready == 0) {
            return WAIT_TIMEOUT;
        }
        if (errno != EINTR) {
            return WAIT_ERROR;
        }
    }
}

int CSocket::Fail(bool closeSocket)
{
    if (closeSocket) {
        Close();
    }
    return 0;
}

int CSocket::Send(unsigned char* buffer, int length)
{
    if (s_networkDown.exchange(false)) {
        Close();
        LogInfo() << "CSocket::Send - Network is signaled down, returning send failure to trigger reconnect."
                  << std::endl;
        return 0;
    }
    if (!IsValid() || length <= 0) {
        return 0;
    }
    // Nothing has happened yet: a time-out here leaves the socket and its cipher usable.
    const TWaitResult first = WaitFor(POLLOUT, m_writeTimeout);
    if (first != WAIT_READY) {
        return Fail(first == WAIT_ERROR);
    }
    if (m_outputCipher) {
        m_outputCipher->EncryptBytes(buffer, 0, length);
    }
    const TClock::time_point deadline = DeadlineIn(m_writeTimeout);
    int sent = 0;
    while (sent < length) {
        const ssize_t written = ::send(m_descriptor, buffer + sent, length - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (written > 0) {
            sent += static_cast<int>(written);
            continue;
        }
        if (written < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) {
            pollfd watched = {m_descriptor, POLLOUT, 0};
            if (MillisecondsLeft(deadline) > 0 && ::poll(&watched, 1, MillisecondsLeft(deadline)) >= 0
                && (watched.revents & (POLLERR | POLLNVAL | POLLHUP)) == 0) {
                continue;
            }
        }
        // The cipher has advanced past these bytes: the stream cannot be resumed.
        return Fail(true);
    }
    return length;
}

int CSocket::Recv(unsigned char* buffer, int length)
{
    if (!IsValid() || length <= 0) {
        return 0;
    }
    int received = 0;
    while (received < length) {
        const TWaitResult ready = WaitFor(POLLIN, m_readTimeout);
        if (ready != WAIT_READY) {
            // A time-out before the first byte leaves the stream aligned; anything else does not.
            return Fail(ready == WAIT_ERROR || received > 0);
        }
        const ssize_t got = ::recv(m_descriptor, buffer + received, length - received, 0);
        if (got <= 0) {
            if (got < 0 && errno == EINTR) {
                continue;
            }
            return Fail(true);
        }
        received += static_cast<int>(got);
    }
    if (m_inputCipher) {
        m_inputCipher->DecryptBytes(buffer, 0, length);
    }
    return length;
}

int CSocket::RecvAvailable(unsigned char* buffer, int length)
{
    if (!IsValid() || length <= 0) {
        return -1;
    }
    for (;;) {
        const TWaitResult ready = WaitFor(POLLIN, m_readTimeout);
        if (ready != WAIT_READY) {
            // Nothing was consumed: a time-out leaves the stream aligned.
            Fail(ready == WAIT_ERROR);
            return -1;
        }
        const ssize_t got = ::recv(m_descriptor, buffer, length, 0);
        if (got > 0) {
            if (m_inputCipher) {
                m_inputCipher->DecryptBytes(buffer, 0, static_cast<int>(got));
            }
            return static_cast<int>(got);
        }
        if (got == 0) {
            return 0;
        }
        if (errno != EINTR) {
            Fail(true);
            return -1;
        }
    }
}

bool CSocket::SendByte(unsigned char value) { return Send(&value, 1) == 1; }

bool CSocket::SendInt32(int value)
{
    unsigned char bytes[4];
    for (int n = 0; n < 4; ++n) {
        bytes[n] = static_cast<unsigned char>(static_cast<unsigned int>(value) >> (8 * n));
    }
    return Send(bytes, 4) == 4;
}

bool CSocket::SendVarInt32(int value)
{
    unsigned char bytes[MAX_VARINT_BYTES];
    unsigned int rest = static_cast<unsigned int>(value);
    int count = 0;
    while (rest > 127) {
        bytes[count++] = static_cast<unsigned char>((rest & 0x7F) | 0x80);
        rest >>= 7;
    }
    bytes[count++] = static_cast<unsigned char>(rest);
    return Send(bytes, count) == count;
}

bool CSocket::SendArray(const TByteArraySPtr& data)
{
    if (!data || data->empty()) {
        return false;
    }
    const int length = static_cast<int>(data->size());
    return Send(data->data(), length) == length;
}

bool CSocket::ReceiveByte(unsigned char* value) { return Recv(value, 1) == 1; }

bool CSocket::ReceiveInt32(int* value)
{
    unsigned char bytes[4];
    if (Recv(bytes, 4) != 4) {
        return false;
    }
    unsigned int result = 0;
    for (int n = 0; n < 4; ++n) {
        result |= static_cast<unsigned int>(bytes[n]) << (8 * n);
    }
    *value = static_cast<int>(result);
    return true;
}

bool CSocket::ReceiveVarInt32(int* value)
{
    unsigned int result = 0;
    for (int count = 0; count < MAX_VARINT_BYTES; ++count) {
        unsigned char byte = 0;
        if (!ReceiveByte(&byte)) {
            // Part of the number has been consumed: the stream is no longer aligned.
            Fail(count > 0);
            return false;
        }
        result |= static_cast<unsigned int>(byte & 0x7F) << (7 * count);
        if ((byte & 0x80) == 0) {
            *value = static_cast<int>(result);
            return true;
        }
    }
    // No 32-bit number takes more bytes: the peer is not speaking the protocol.
    Close();
    return false;
}

bool CSocket::ReceiveArray(const TByteArraySPtr& data)
{
    if (!data || data->empty()) {
        return data != nullptr;
    }
    const int length = static_cast<int>(data->size());
    return Recv(data->data(), length) == length;
}

bool CSocket::GetConnectedAddress(unsigned char* address)
{
    sockaddr_in local = {};
    socklen_t length = sizeof(local);
    if (!IsValid() || ::getsockname(m_descriptor, reinterpret_cast<sockaddr*>(&local), &length) != 0
        || local.sin_family != AF_INET) {
        return false;
    }
    const unsigned char* ip = reinterpret_cast<const unsigned char*>(&local.sin_addr.s_addr);
    const unsigned short port = ntohs(local.sin_port);
    for (int n = 0; n < 4; ++n) {
        address[n] = ip[n];
    }
    address[4] = static_cast<unsigned char>(port >> 8);
    address[5] = static_cast<unsigned char>(port & 0xFF);
    int asInteger = 0;
    for (int n = 3; n >= 0; --n) {
        asInteger = (asInteger << 8) | ip[n];
    }
    LogInfo() << "Connected IP is: " << ipout(asInteger).c_str() << ":" << static_cast<int>(port) << std::endl;
    return true;
}

int CSocket::GetLastConnectResult() const { return m_lastConnectResult; }

void CSocket::InitSocketCommunication(IPersistentStorage* storage) { s_storage = storage; }

void CSocket::ExitSocketCommunication() { }

void CSocket::SignalNetworkDown() { s_networkDown = true; }

bool CSocket::HaveHadWorkingConnection() { return s_hadWorkingConnection; }

void CSocket::ResetSharedState()
{
    s_networkDown = false;
    s_hadWorkingConnection = false;
}

void CSocket::Decompose(const std::wstring& address, std::string* host, std::string* port, std::string* path)
{
    const std::string text = CUtils::ConvertWideToChar(address);
    const size_t slash = text.find('/');
    const size_t colon = text.find(':');
    const bool hasPort = colon != std::string::npos && (slash == std::string::npos || colon < slash);
    *path = slash == std::string::npos ? std::string("/") : text.substr(slash);
    *port = hasPort ? text.substr(colon + 1, slash == std::string::npos ? std::string::npos : slash - colon - 1)
                    : std::string("80");
    *host = text.substr(0, hasPort ? colon : slash);
}

std::string CSocket::ipout(int address)
{
    const unsigned int value = static_cast<unsigned int>(address);
    char text[16];
    std::snprintf(text, sizeof(text), "%u.%u.%u.%u", value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF,
        (value >> 24) & 0xFF);
    return text;
}

}  // namespace VexlaLib
