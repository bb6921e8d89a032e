#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "Utils/ARC4.h"
#include "Utils/ByteArray.h"

namespace VexlaLib {

class IPersistentStorage;

// One blocking TCP client connection with per-call time-outs and an optional stream cipher for each
// direction. The sender writes and the receiver reads at the same time; any thread may Close, which
// wakes a thread blocked in a call on it. The descriptor itself is released only when the last shared
// reference goes, so a thread still holding the socket never acts on a reused descriptor number.
class CSocket {
public:
    enum TSocketType { SOCKET_TYPE_CLIENT = 1 };

    // Outcome of the last Connect.
    enum TConnectResult {
        CONNECT_FAILED = 0,  // resolution or connection failed
        CONNECT_BIND_FAILED = 1,  // the required local interface could not be bound
        CONNECT_NOT_ATTEMPTED = 2,  // not a client socket, or its descriptor is gone
        CONNECT_CONNECTED = 3
    };

    static const int DEFAULT_TIMEOUT_SECONDS = 1200;
    // Time-outs are clamped to what a wait in milliseconds can hold (about 24.8 days), and to at
    // least a second, so that a setting can neither wait for ever nor spin.
    static constexpr int MIN_TIMEOUT_SECONDS = 1;
    static constexpr int MAX_TIMEOUT_SECONDS = 2147483;

    explicit CSocket(TSocketType type);
    // A client socket over a stream descriptor that is already connected (one end of a socketpair,
    // say); the socket owns it from now on and never connects again.
    explicit CSocket(int connectedDescriptor);
    ~CSocket();

    CSocket(const CSocket&) = delete;
    CSocket& operator=(const CSocket&) = delete;

    // Connects to "host[:port][/path]" (port 80 by default), bound to the dotted IPv4 address `local`
    // when it is not empty. A socket is connected at most once.
    bool Connect(const std::wstring& address, const std::wstring& local);
    void Close();
    bool IsValid() const;

    void SetReadTimeout(int seconds);
    void SetWriteTimeout(int seconds);
    int GetReadTimeout() const { return m_readTimeout; }
    int GetWriteTimeout() const { return m_writeTimeout; }
    void SetInputEncryption(const std::shared_ptr<CARC4>& cipher);
    void SetOutputEncryption(const std::shared_ptr<CARC4>& cipher);

    // Encrypts the bytes in place and writes all of them within the write time-out; returns `length`,
    // or 0 on failure. A failure once the cipher has advanced or a byte has gone out closes the socket.
    int Send(unsigned char* buffer, int length);
    // Reads exactly `length` bytes within the read time-out per wait and decrypts them; returns
    // `length`, or 0 on failure. A failure after a byte has come in closes the socket.
    int Recv(unsigned char* buffer, int length);
    // Reads what has arrived, at most `length` bytes, waiting up to the read time-out for the first one,
    // and decrypts it; returns the count, 0 when the peer has closed its end, -1 on failure or time-out.
    int RecvAvailable(unsigned char* buffer, int length);

    bool SendByte(unsigned char value);
    bool SendInt32(int value);
    bool SendVarInt32(int value);
    bool SendArray(const TByteArraySPtr& data);
    bool ReceiveByte(unsigned char* value);
    bool ReceiveInt32(int* value);
    bool ReceiveVarInt32(int* value);
    // Fills the whole array.
    bool ReceiveArray(const TByteArraySPtr& data);

    // The local end of the connection in the 6-byte address layout (4 address bytes, port high first).
    bool GetConnectedAddress(unsigned char* address);
    int GetLastConnectResult() const;

    static void InitSocketCommunication(IPersistentStorage* storage);
    static void ExitSocketCommunication();
    // The next Send on any socket fails and closes it, which makes the owner reconnect.
    static void SignalNetworkDown();
    static bool HaveHadWorkingConnection();
    // Clears the process-wide flags, so that tests start from a fresh process state.
    static void ResetSharedState();

    // Splits "host[:port][/path]" into its parts; the port defaults to "80" and the path to "/".
    static void Decompose(const std::wstring& address, std::string* host, std::string* port, std::string* path);
    // An IPv4 address held in an integer, first part in the lowest byte, as dotted text.
    static std::string ipout(int address);

private:
    enum TWaitResult { WAIT_READY, WAIT_TIMEOUT, WAIT_ERROR };

    TWaitResult WaitFor(short events, int timeoutSeconds) const;
    bool BindLocal(const std::string& local);
    bool ConnectTo(const std::string& host, const std::string& port);
    int Fail(bool closeSocket);

    const TSocketType m_type;
    std::atomic<int> m_descriptor;  // -1 until Connect creates it; released by the destructor
    std::atomic<bool> m_closed;  // set by Close and by failures; never cleared
    std::shared_ptr<CARC4> m_inputCipher;
    std::shared_ptr<CARC4> m_outputCipher;
    std::atomic<int> m_lastConnectResult;
    std::atomic<int> m_readTimeout;
    std::atomic<int> m_writeTimeout;

    static std::atomic<bool> s_networkDown;
    static std::atomic<bool> s_hadWorkingConnection;
    static std::atomic<IPersistentStorage*> s_storage;
};

typedef std::shared_ptr<CSocket> TSocketSPtr;

}  // namespace VexlaLib
