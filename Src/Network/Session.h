#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "Network/IServerDiscovery.h"
#include "Network/Packet.h"
#include "Network/Socket.h"
#include "Utils/ByteArray.h"
#include "Utils/Lock.h"
#include "Utils/RSA.h"
#include "Utils/Signal.h"

namespace VexlaLib {

class CConnectionSettings;
class CNetModule;
class IPersistentStorage;

// One logical connection to a Vexla server: picks the server, runs the handshake that authenticates
// it and agrees the traffic keys, holds the credentials and the session identifier for logging in
// again, and decides whether a lost connection may be re-established.
//
// Locks: the connect lock serialises Disconnect, the reconnection gate and the start of Connect. A
// running Connect (which may wait on the network for the handshake time-out) is marked instead of
// holding the lock, so those calls never wait for it: the gate rejects (a reconnect is under way) and
// Disconnect stops it. The state lock guards the sockets, the identifiers, the credentials, the
// checksum key, the saved login packet and that mark, and is only ever taken inside the connect lock,
// never the other way round. Flags shared between threads are atomic.
class CSession
{
public:
    enum TSessionState {
        STATE_IDLE = 0,
        STATE_HANDSHAKE_DONE = 1,
        STATE_WAIT_IDENTITY = 2,
        STATE_WAIT_CONNECTED = 3,
    };

    enum THandshakeResult {
        HANDSHAKE_SUCCESS = 0,
        HANDSHAKE_REDIRECT = 1,
        HANDSHAKE_RETRY = 2,
        HANDSHAKE_ERROR = 3,
        HANDSHAKE_WARNING = 4,
        HANDSHAKE_NOT_AN_ANSWER = 5,
    };

    enum TConnectResult {
        CONNECT_TEMPORARY_FAILURE = 0,
        CONNECT_NO_INTERFACE = 1,
        CONNECT_NO_NETWORK = 2,
        CONNECT_CONNECTED = 3,
        CONNECT_PAUSED = 4,
        CONNECT_MISSING_INFORMATION = 5,
        CONNECT_STOP = 6,
    };

    typedef std::function<std::unique_ptr<IServerDiscovery>()> TDiscoveryFactory;

    CSession(CNetModule* netModule, IPersistentStorage* storage, CConnectionSettings* settings);
    ~CSession();

    CSession(const CSession&) = delete;
    CSession& operator=(const CSession&) = delete;

    // The sender thread's entry: connects, runs the handshake and keeps what the login needs. A handshake
    // continue request is replaced by the login packet whose handshake it resumes. A Disconnect while it
    // runs makes it end with CONNECT_STOP.
    TConnectResult Connect(TPacketSPtr& login);

    TSocketSPtr GetSocket();
    TByteArraySPtr GetMacKey();
    std::wstring GetLocalConnectionAddress();

    void Disconnect(bool clearSession);
    void SetForceDisconnect(bool state);
    bool DisconnectWasForced() const;
    bool SignalReconnectNeeded(bool clearSession);
    void ForceNewSessionReconnect();
    void PutFakeLoggedoutPacketOnReceivedQueue();
    TPacketSPtr MakeLoginPacket();
    // The password of the last login or registration that named the account, kept for logging in
    // again (reconnects, a new server session, a relogin the library's user asks for); empty when none.
    std::wstring GetHeldPassword();
    // Overwrites and drops that password: the account signed out or failed to sign in for good. The
    // destructor does the same.
    void ForgetPassword();

    bool HandlePacket_LOGGEDIN(TPacketSPtr packet);
    void HandlePacket_SAVEDATA(TPacketSPtr packet);
    bool IsNewSession() const;

    bool SignalReceived(bool force);
    void WaitForReceivedSignal(bool arm, bool waitingForLogout);
    // The receiver's pause while there is no connection socket.
    void WaitForSignal();

    const TByteArraySPtr& GetNodeId() const { return m_nodeId; }
    // Replaces the discovery client used when "USE_SDF_SERVER" is "YES" (by default a CSDFHandler);
    // without one, discovery counts as failed without a network verdict.
    void SetDiscoveryFactory(const TDiscoveryFactory& factory);

private:
    // How a handshake attempt begins: with a socket, without one (opening failed: the next attempt
    // follows), or not at all (connected already, or no attempts left).
    enum TAttemptStart {
        ATTEMPT_OPENED,
        ATTEMPT_NOT_OPENED,
        ATTEMPT_ENDS_CONNECT,
    };

    // The phases of Connect: what the packet asks for, discovery, then handshake attempts until one
    // connects, pauses or ends the connect.
    TConnectResult RunConnect(TPacketSPtr& login);
    // Replaces `login` by the saved login and `*socket` by the handshake socket of the paused handshake;
    // false when nothing is paused any more.
    bool ResumePausedHandshake(TPacketSPtr& login, TSocketSPtr* socket);
    // Takes the credentials of a login or registration and runs discovery; false with `*result` when
    // the connect ends there.
    bool PrepareNewConnect(const TPacketSPtr& login, TConnectResult* result);
    // Runs handshakes, on `socket` first when given, then on new sockets, until one ends the connect.
    TConnectResult RunAttempts(const TPacketSPtr& login, TSocketSPtr socket);
    // Uses up an attempt and opens the socket for its handshake; `*outcome` when the connect ends.
    TAttemptStart StartAttempt(int* attempts, TSocketSPtr* socket, TConnectResult* outcome);
    // Acts on a handshake's result under the state lock: true with `*outcome` when the connect ends,
    // false when another attempt follows (a redirect gives a free attempt while `*freeRedirects` last).
    bool ConcludeHandshake(THandshakeResult result, const TSocketSPtr& socket, const TPacketSPtr& login, int* attempts,
                           int* freeRedirects, TConnectResult* outcome);
    bool ConnectCancelled() const;
    bool DropRunningConnect(bool clearSession);
    bool TakeCredentials(const TPacketSPtr& login);
    bool RunDiscovery(TConnectResult* result);
    bool OpenHandshakeSocket();
    TConnectResult GiveUp();
    void DisconnectLocked(bool clearSession);
    void CloseSocketsLocked();
    void ResetHandshake(bool clearIdentifiers);

    THandshakeResult PerformHandshake(const TSocketSPtr& socket);
    THandshakeResult WaitForPacket(const TSocketSPtr& socket, int expectedChunk);
    THandshakeResult HandleHandshakeResponse(const TPacketSPtr& packet, int expectedChunk);
    bool SendPacket_Connect(const TSocketSPtr& socket);
    bool SendPacket_MasterKey(const TSocketSPtr& socket);
    bool SendPacket_ClientData(const TSocketSPtr& socket);
    THandshakeResult HandlePacket_SERVERIDENTITY(const TPacketSPtr& packet);
    THandshakeResult HandlePacket_CONNECTED(const TPacketSPtr& packet);
    THandshakeResult HandlePacket_REDIRECT(const TPacketSPtr& packet);
    THandshakeResult HandlePacket_ERROR(const TPacketSPtr& packet);
    THandshakeResult HandlePacket_WARNING(const TPacketSPtr& packet);
    bool PassesUpgradeCheck(const TPacketSPtr& connected) const;
    std::vector<unsigned char> GenerateKey(const std::vector<unsigned char>& label) const;
    static void GenerateRandomBytes(std::vector<unsigned char>* bytes);
    static TByteArraySPtr LoadOrCreateNodeId(IPersistentStorage* storage);
    std::wstring GetServerAddress();

    // Credentials and identifiers (state lock).
    std::wstring m_userName;
    std::wstring m_password;
    std::wstring m_devicePstnNumber;
    const TByteArraySPtr m_nodeId;
    TByteArraySPtr m_sessionId;
    std::wstring m_sdfSessionId;
    std::atomic<bool> m_newSession;
    int m_operatorId;

    CLock m_connectLock;
    CLock m_stateLock;
    CNetModule* const m_netModule;

    CSignal m_receivedSignal;
    std::atomic<bool> m_useWaitSignal;
    std::atomic<bool> m_waitingForLogout;
    std::atomic<bool> m_forcedDisconnect;
    std::atomic<bool> m_AllowReconnect;
    bool m_connectRunning;            // state lock
    std::atomic<bool> m_dropConnect;  // set under the state lock

    TSocketSPtr m_connectionSocket;  // state lock
    std::atomic<int> m_sessionState;
    TDiscoveryFactory m_discoveryFactory;
    IServerDiscovery* m_discovery;  // state lock; owned by RunDiscovery while it runs
    TSocketSPtr m_handshakeSocket;  // state lock

    // Handshake data, used by the sender thread inside Connect only.
    std::wstring m_currentServerAddress;
    unsigned int m_serverIndex;
    unsigned char m_localAddress[6];
    std::vector<unsigned char> m_clientRandom;
    std::vector<unsigned char> m_serverRandom;
    std::vector<unsigned char> m_masterSecret;
    CRSA m_serverKey;
    TByteArraySPtr m_macKey;         // state lock
    TPacketSPtr m_savedLoginPacket;  // state lock; only while a handshake warning pauses

    IPersistentStorage* const m_storage;
    CConnectionSettings* const m_settings;
};

}  // namespace VexlaLib
