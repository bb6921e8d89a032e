#include "Network/Session.h"

#include <sys/random.h>

#include <cerrno>
#include <cstdio>
#include <exception>
#include <utility>

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/ByteArrayOutputStream.h"
#include "Network/ChunkKind.h"
#include "Network/ConnectionSettings.h"
#include "Network/KeyLog.h"
#include "Network/LoginPacket.h"
#include "Network/NetModule.h"
#include "Network/OutgoingPacket.h"
#include "Network/PacketReceiver.h"
#include "Network/PacketSender.h"
#include "Network/SDFHandler.h"
#include "Utils/ARC4.h"
#include "Utils/LogStream.h"
#include "Utils/IPersistentStorage.h"
#include "Utils/SHA1.h"
#include "Utils/Synchronize.h"
#include "Utils/Utils.h"
#include "Utils/Thread.h"

namespace VexlaLib {

namespace {

const int RANDOM_LENGTH = 20;
const int NODE_ID_LENGTH = 8;
const int ROOT_KEY_BITS_LENGTH = 1024;
const int SERVER_KEY_BITS = 384;
const int ATTEMPTS_PER_CONNECT = 3;
// An unauthenticated peer could otherwise redirect the client for ever.
const int FREE_REDIRECTS_PER_CONNECT = 5;
const int ERROR_INTERNAL_SERVER = 64;
const int RECEIVER_POLL_MS = 50;
const wchar_t STORAGE_NODE_ID[] = L"UNIQUE_DEVICE_ID";
const wchar_t STORAGE_USER_NAME[] = L"KEY_VEXLANAME";

// Warning codes that need no decision from the user.
bool IsIgnorableWarning(int code)
{
    static const int codes[] = {2, 3, 4, 5, 7, 8, 9, 16, 17, 20, 22};
    for (int ignorable : codes) {
        if (code == ignorable) {
            return true;
        }
    }
    return false;
}

std::unique_ptr<IServerDiscovery> NewSDFHandler()
{
    return std::unique_ptr<IServerDiscovery>(new CSDFHandler);
}

}  // namespace

CSession::CSession(CNetModule* netModule, IPersistentStorage* storage, CConnectionSettings* settings)
    : m_nodeId(LoadOrCreateNodeId(storage)),
      m_newSession(false),
      m_operatorId(-1),
      m_netModule(netModule),
      m_useWaitSignal(false),
      m_waitingForLogout(false),
      m_forcedDisconnect(false),
      m_AllowReconnect(false),
      m_connectRunning(false),
      m_dropConnect(false),
      m_sessionState(STATE_IDLE),
      m_discoveryFactory(NewSDFHandler),
      m_discovery(nullptr),
      m_serverIndex(0),
      m_localAddress(),
      m_serverKey(SERVER_KEY_BITS, settings->GetDefaultCommonExp()),
      m_storage(storage),
      m_settings(settings)
{
    CSocket::InitSocketCommunication(storage);
    std::vector<unsigned char> indexByte(1);
    GenerateRandomBytes(&indexByte);
    m_serverIndex = indexByte[0];
}

CSession::~CSession()
{
    CUtils::WipeText(&m_password);
}

TByteArraySPtr CSession::LoadOrCreateNodeId(IPersistentStorage* storage)
{
    TByteArraySPtr nodeId = std::make_shared<TByteArray>();
    if (storage->GetBytes(STORAGE_NODE_ID, nodeId.get()) && !nodeId->empty()) {
        return nodeId;
    }
    nodeId->resize(NODE_ID_LENGTH);
    GenerateRandomBytes(nodeId.get());
    storage->SetBytes(STORAGE_NODE_ID, *nodeId);
    storage->RequestSynchronize();
    return nodeId;
}

void CSession::SetDiscoveryFactory(const TDiscoveryFactory& factory)
{
    m_discoveryFactory = factory;
}

CSession::TConnectResult CSession::Connect(TPacketSPtr& login)
{
    {
        CSynchronize connectGuard(&m_connectLock);
        CSynchronize stateGuard(&m_stateLock);
        m_connectRunning = true;
        m_dropConnect = false;
    }
    const TConnectResult result = RunConnect(login);
    CSynchronize stateGuard(&m_stateLock);
    m_connectRunning = false;
    if (!m_dropConnect) {
        return result;
    }
    // A disconnect came while connecting: whatever the attempt produced is not used.
    m_dropConnect = false;
    if (m_connectionSocket) {
        m_connectionSocket->Close();
        m_connectionSocket.reset();
    }
    return CONNECT_STOP;
}

bool CSession::ConnectCancelled() const
{
    return m_forcedDisconnect || m_dropConnect;
}

CSession::TConnectResult CSession::RunConnect(TPacketSPtr& login)
{
    if (m_forcedDisconnect) {
        return CONNECT_STOP;
    }
    const int chunk = ChunkKindOf(login);
    TSocketSPtr socket;
    if (login->GetType() == CPacket::INTERNAL && chunk == CHUNK_HANDSHAKE_CONTINUE) {
        LogInfo() << "*** CSession - Handshake Continue after warning. ***" << std::endl;
        if (!ResumePausedHandshake(login, &socket)) {
            // Nothing is paused any more (the connection was cleaned up meanwhile).
            return CONNECT_MISSING_INFORMATION;
        }
    } else if (login->GetType() == CPacket::INTERNAL && chunk == CHUNK_HANDSHAKE_ABORT) {
        LogInfo() << "*** CSession - Handshake Abort after warning. ***" << std::endl;
        return CONNECT_STOP;
    } else {
        TConnectResult result = CONNECT_TEMPORARY_FAILURE;
        if (!PrepareNewConnect(login, &result)) {
            return result;
        }
    }
    return RunAttempts(login, socket);
}

bool CSession::ResumePausedHandshake(TPacketSPtr& login, TSocketSPtr* socket)
{
    CSynchronize stateGuard(&m_stateLock);
    if (!m_savedLoginPacket || !m_handshakeSocket) {
        return false;
    }
    // Taken, not copied: the login (and its password) is kept only while the handshake is paused.
    login = std::move(m_savedLoginPacket);
    *socket = m_handshakeSocket;
    return true;
}

bool CSession::PrepareNewConnect(const TPacketSPtr& login, TConnectResult* result)
{
    const int chunk = ChunkKindOf(login);
    if ((chunk == CHUNK_LOGIN || chunk == CHUNK_REGISTERUSER) && !TakeCredentials(login)) {
        *result = CONNECT_MISSING_INFORMATION;
        return false;
    }
    {
        CSynchronize stateGuard(&m_stateLock);
        m_sdfSessionId.clear();
    }
    m_operatorId = -1;
    return m_settings->GetUseSDFServer() != L"YES" || RunDiscovery(result);
}

CSession::TConnectResult CSession::RunAttempts(const TPacketSPtr& login, TSocketSPtr socket)
{
    int attempts = ATTEMPTS_PER_CONNECT;
    int freeRedirects = FREE_REDIRECTS_PER_CONNECT;
    TConnectResult outcome = CONNECT_TEMPORARY_FAILURE;
    for (;;) {
        if (!socket) {
            const TAttemptStart start = StartAttempt(&attempts, &socket, &outcome);
            if (start == ATTEMPT_ENDS_CONNECT) {
                return outcome;
            }
            if (start == ATTEMPT_NOT_OPENED) {
                continue;
            }
        }
        const THandshakeResult result = ConnectCancelled() ? HANDSHAKE_RETRY : PerformHandshake(socket);

        CSynchronize stateGuard(&m_stateLock);
        if (ConnectCancelled()) {
            ResetHandshake(true);
            return CONNECT_TEMPORARY_FAILURE;
        }
        if (ConcludeHandshake(result, socket, login, &attempts, &freeRedirects, &outcome)) {
            return outcome;
        }
        socket.reset();
    }
}

CSession::TAttemptStart CSession::StartAttempt(int* attempts, TSocketSPtr* socket, TConnectResult* outcome)
{
    {
        CSynchronize stateGuard(&m_stateLock);
        if (m_connectionSocket && m_connectionSocket->IsValid()) {
            *outcome = CONNECT_CONNECTED;
            return ATTEMPT_ENDS_CONNECT;
        }
        // A connection that failed and was not cleaned up yet is no connection.
        m_connectionSocket.reset();
    }
    if (--*attempts < 0) {
        *outcome = GiveUp();
        return ATTEMPT_ENDS_CONNECT;
    }
    if (!ConnectCancelled() && !OpenHandshakeSocket()) {
        return ATTEMPT_NOT_OPENED;
    }
    CSynchronize stateGuard(&m_stateLock);
    *socket = m_handshakeSocket;
    return ATTEMPT_OPENED;
}

bool CSession::ConcludeHandshake(THandshakeResult result, const TSocketSPtr& socket, const TPacketSPtr& login,
                                 int* attempts, int* freeRedirects, TConnectResult* outcome)
{
    switch (result) {
    case HANDSHAKE_SUCCESS:
        socket->SetReadTimeout(m_settings->GetReadTimeoutNormalOperation());
        socket->SetWriteTimeout(m_settings->GetWriteTimeoutNormalOperation());
        m_connectionSocket = socket;
        m_handshakeSocket.reset();
        *outcome = CONNECT_CONNECTED;
        return true;
    case HANDSHAKE_REDIRECT:
        LogInfo() << "*** CSession - Redirecting to server: " << m_currentServerAddress << " ***" << std::endl;
        ResetHandshake(false);
        if (*freeRedirects > 0) {
            --*freeRedirects;
            ++*attempts;
        }
        return false;
    case HANDSHAKE_ERROR:
        LogInfo() << "*** CSession - Handshake error. ***" << std::endl;
        ResetHandshake(false);
        *outcome = CONNECT_STOP;
        return true;
    case HANDSHAKE_WARNING:
        m_savedLoginPacket = login;
        *outcome = CONNECT_PAUSED;
        return true;
    default:
        if (result != HANDSHAKE_RETRY) {
            LogError() << "CSession::Connect - unknown CSession::THandshakeResult: " << result << std::endl;
        }
        LogInfo() << "*** CSession - Handshake failed. ***" << std::endl;
        ResetHandshake(false);
        // The next attempt goes to the next server.
        m_currentServerAddress.clear();
        if (socket->GetLastConnectResult() == CSocket::CONNECT_BIND_FAILED) {
            *outcome = CONNECT_NO_INTERFACE;
            return true;
        }
        if (socket->GetLastConnectResult() == CSocket::CONNECT_FAILED) {
            *outcome = CONNECT_NO_NETWORK;
            return true;
        }
        return false;
    }
}

bool CSession::TakeCredentials(const TPacketSPtr& login)
{
    std::wstring name;
    std::wstring password;
    std::wstring phoneNumber;
    TPacketSPtr savedData;
    const bool withName = login->GetAttrString(KEY_VEXLANAME, &name);
    if (withName) {
        if (!login->GetAttrString(KEY_PASSWORD, &password) ||
            !login->GetAttrString(KEY_DEVICE_PSTNNUMBER, &phoneNumber)) {
            return false;
        }
        m_storage->SetString(STORAGE_USER_NAME, name);
        // The login goes on once the name, and every change asked to be written before it, is on disk.
        m_storage->Synchronize();
    } else if (!(ChunkKindOf(login) == CHUNK_LOGIN && login->GetAttrContainer(KEY_SAVEDDATA, &savedData) &&
                 m_storage->GetString(STORAGE_USER_NAME, &name) &&
                 login->GetAttrString(KEY_DEVICE_PSTNNUMBER, &phoneNumber))) {
        return false;
    }
    CSynchronize stateGuard(&m_stateLock);
    m_userName = name;
    if (withName) {
        CUtils::WipeText(&m_password);
        m_password.swap(password);
    }
    m_devicePstnNumber = phoneNumber;
    if (m_sessionId && !m_sessionId->empty() && !login->GetAttr(KEY_SESSION_ID)) {
        COutgoingPacket::AddBinary(login, KEY_SESSION_ID, *m_sessionId);
    }
    return true;
}

bool CSession::RunDiscovery(TConnectResult* result)
{
    LogInfo() << "Connecting to SDF server, asking for SDF session ID...\n" << std::endl;
    std::unique_ptr<IServerDiscovery> discovery = m_discoveryFactory ? m_discoveryFactory() : nullptr;
    std::wstring phoneNumber;
    {
        CSynchronize stateGuard(&m_stateLock);
        m_discovery = discovery.get();
        phoneNumber = m_devicePstnNumber;
    }
    std::wstring sessionId;
    int operatorId = -1;
    const bool found =
        discovery && discovery->GetSessionID(m_settings->GetDefaultSDFServer(), m_settings->GetRequiredLocalAddress(),
                                             phoneNumber, &sessionId, &operatorId);
    const int lastConnectResult = discovery ? discovery->GetLastConnectResult() : CSocket::CONNECT_NOT_ATTEMPTED;
    {
        CSynchronize stateGuard(&m_stateLock);
        m_discovery = nullptr;
        if (found) {
            m_sdfSessionId = sessionId;
        }
    }
    discovery.reset();
    if (found) {
        m_operatorId = operatorId;
        LogInfo() << "Got SDF session ID: " << sessionId << std::endl;
    } else {
        LogInfo() << "Failed getting SDF session ID" << std::endl;
        if (lastConnectResult == CSocket::CONNECT_BIND_FAILED) {
            *result = CONNECT_NO_INTERFACE;
            return false;
        }
        if (lastConnectResult == CSocket::CONNECT_FAILED) {
            *result = CONNECT_NO_NETWORK;
            return false;
        }
        if (m_settings->GetServerEnvironment() == L"LIVE") {
            *result = CONNECT_TEMPORARY_FAILURE;
            return false;
        }
    }
    if (ConnectCancelled()) {
        *result = CONNECT_STOP;
        return false;
    }
    return true;
}

bool CSession::OpenHandshakeSocket()
{
    TSocketSPtr socket = std::make_shared<CSocket>(CSocket::SOCKET_TYPE_CLIENT);
    socket->SetReadTimeout(m_settings->GetReadTimeoutDuringHandshake());
    socket->SetWriteTimeout(m_settings->GetWriteTimeoutDuringHandshake());
    {
        CSynchronize stateGuard(&m_stateLock);
        m_handshakeSocket = socket;
    }
    if (m_currentServerAddress.empty()) {
        m_currentServerAddress = GetServerAddress();
    }
    if (!socket->Connect(m_currentServerAddress, m_settings->GetRequiredLocalAddress())) {
        m_currentServerAddress.clear();
        return false;
    }
    if (!socket->GetConnectedAddress(m_localAddress)) {
        const unsigned char fallback[6] = {127, 0, 0, 1, 0x50, 0x00};
        std::copy(fallback, fallback + 6, m_localAddress);
    }
    return true;
}

CSession::TConnectResult CSession::GiveUp()
{
    TSocketSPtr last;
    {
        CSynchronize stateGuard(&m_stateLock);
        last = m_handshakeSocket;
        ResetHandshake(true);
    }
    const int connectResult = last ? last->GetLastConnectResult() : -1;
    if (connectResult == CSocket::CONNECT_BIND_FAILED) {
        return CONNECT_NO_INTERFACE;
    }
    if (connectResult == CSocket::CONNECT_FAILED) {
        return CONNECT_NO_NETWORK;
    }
    return CONNECT_TEMPORARY_FAILURE;
}

void CSession::ResetHandshake(bool clearIdentifiers)
{
    m_handshakeSocket.reset();
    m_sessionState = STATE_IDLE;
    if (clearIdentifiers) {
        m_sdfSessionId.clear();
        m_sessionId.reset();
    }
}

CSession::THandshakeResult CSession::PerformHandshake(const TSocketSPtr& socket)
{
    for (;;) {
        const int state = m_sessionState;
        switch (state) {
        case STATE_IDLE: {
            LogInfo() << "*** CSession::PerformHandshake - Handshake start. ***" << std::endl;
            m_AllowReconnect = false;
            {
                CSynchronize stateGuard(&m_stateLock);
                m_macKey = std::make_shared<TByteArray>();
            }
            if (!SendPacket_Connect(socket)) {
                return HANDSHAKE_RETRY;
            }
            m_sessionState = STATE_WAIT_IDENTITY;
            break;
        }
        case STATE_WAIT_IDENTITY: {
            const THandshakeResult answer = WaitForPacket(socket, CHUNK_SERVERIDENTITY);
            if (answer != HANDSHAKE_SUCCESS) {
                return answer;
            }
            if (!SendPacket_MasterKey(socket)) {
                return HANDSHAKE_RETRY;
            }
            // From here on every byte in both directions is encrypted.
            const TByteArray serverKey = GenerateKey(m_settings->GetConstServer());
            const TByteArray clientKey = GenerateKey(m_settings->GetConstClient());
            const TByteArray checksumKey = GenerateKey(m_settings->GetConstHashKey());
            socket->SetInputEncryption(std::make_shared<CARC4>(serverKey));
            socket->SetOutputEncryption(std::make_shared<CARC4>(clientKey));
            {
                CSynchronize stateGuard(&m_stateLock);
                m_macKey = std::make_shared<TByteArray>(checksumKey);
            }
            CKeyLog::Instance().Record(m_clientRandom, m_serverRandom, clientKey, serverKey, checksumKey);
            m_sessionState = STATE_WAIT_CONNECTED;
            break;
        }
        case STATE_WAIT_CONNECTED: {
            const THandshakeResult answer = WaitForPacket(socket, CHUNK_CONNECTED);
            if (answer != HANDSHAKE_SUCCESS) {
                return answer;
            }
            if (!SendPacket_ClientData(socket)) {
                return HANDSHAKE_RETRY;
            }
            m_sessionState = STATE_HANDSHAKE_DONE;
            LogInfo() << "*** CSession::PerformHandshake - Handshake succesful. ***" << std::endl;
            break;
        }
        case STATE_HANDSHAKE_DONE:
            return HANDSHAKE_SUCCESS;
        default:
            LogError() << "CSession::PerformHandshake - unknown session state: " << state << std::endl;
            return HANDSHAKE_RETRY;
        }
    }
}

CSession::THandshakeResult CSession::WaitForPacket(const TSocketSPtr& socket, int expectedChunk)
{
    for (;;) {
        const TPacketSPtr packet = CPacketReceiver::ReceivePacket(socket, GetMacKey());
        if (!packet || ChunkKindOf(packet) < 0) {
            return HANDSHAKE_RETRY;
        }
        const THandshakeResult result = HandleHandshakeResponse(packet, expectedChunk);
        if (result != HANDSHAKE_NOT_AN_ANSWER) {
            return result;
        }
    }
}

CSession::THandshakeResult CSession::HandleHandshakeResponse(const TPacketSPtr& packet, int expectedChunk)
{
    const int chunk = ChunkKindOf(packet);
    switch (chunk) {
    case CHUNK_SERVERIDENTITY:
    case CHUNK_CONNECTED:
        // Only the answer the handshake is waiting for moves it on.
        if (chunk != expectedChunk) {
            LogInfo() << "CSession::HandleHandshakeResponse - unexpected answer " << CAttrChunk::Lookup(chunk)
                      << " while waiting for " << CAttrChunk::Lookup(expectedChunk) << std::endl;
            return HANDSHAKE_RETRY;
        }
        return chunk == CHUNK_CONNECTED ? HandlePacket_CONNECTED(packet) : HandlePacket_SERVERIDENTITY(packet);
    case CHUNK_REDIRECT:
        return HandlePacket_REDIRECT(packet);
    case CHUNK_ERROR:
        return HandlePacket_ERROR(packet);
    case CHUNK_WARNING:
        return HandlePacket_WARNING(packet);
    default:
        return HANDSHAKE_NOT_AN_ANSWER;
    }
}

bool CSession::SendPacket_Connect(const TSocketSPtr& socket)
{
    const TPacketSPtr packet = COutgoingPacket::Create(CHUNK_CONNECT);
    const int protocolVersion = m_settings->GetCurrentProtocolVersion();
    COutgoingPacket::AddInt32(packet, KEY_PROTOCOLVERSION, protocolVersion);
    COutgoingPacket::AddInt32(packet, KEY_CAPABILITIES, 1);
    COutgoingPacket::AddString(packet, KEY_PLATFORMID, m_settings->GetPlattformID());
    COutgoingPacket::AddString(packet, KEY_LANGUAGE, m_settings->GetLanguage());
    m_clientRandom.assign(RANDOM_LENGTH, 0);
    GenerateRandomBytes(&m_clientRandom);
    COutgoingPacket::AddBinary(packet, KEY_CLIENT_RANDOM, m_clientRandom);
    bool withDiscoverySession;
    {
        CSynchronize stateGuard(&m_stateLock);
        withDiscoverySession = !m_sdfSessionId.empty();
    }
    if (withDiscoverySession && m_operatorId >= 0 && protocolVersion > 3) {
        COutgoingPacket::AddInt32(packet, KEY_OPERATOR_ID, m_operatorId);
    }
    return CPacketSender::SendPacket(socket, packet, GetMacKey());
}

bool CSession::SendPacket_MasterKey(const TSocketSPtr& socket)
{
    m_masterSecret.assign(RANDOM_LENGTH, 0);
    GenerateRandomBytes(&m_masterSecret);
    TByteArray encryptedSecret;
    try {
        encryptedSecret = CRSA::EncryptSecret(m_masterSecret, m_serverKey);
    } catch (const std::exception& error) {
        LogError() << "CSession::SendPacket_MasterKey - cannot encrypt the master secret: " << error.what()
                   << std::endl;
        return false;
    }

    const TPacketSPtr userData = COutgoingPacket::Create(CHUNK_USERDATA);
    COutgoingPacket::AddBinary(userData, KEY_NODEID, *m_nodeId);
    {
        CSynchronize stateGuard(&m_stateLock);
        COutgoingPacket::AddString(userData, KEY_VEXLANAME, m_userName);
        if (m_sdfSessionId.empty()) {
            COutgoingPacket::AddString(userData, KEY_DEVICE_PSTNNUMBER, m_devicePstnNumber);
        } else {
            COutgoingPacket::AddString(userData, KEY_SDFSESSIONID, m_sdfSessionId);
        }
    }
    {
        CLogStream log(CLog::LOG_DEBUG, CLogStream::TIMESTAMP_AT_START);
        log << "MASTERKEY contains USERDATA: \n";
        userData->dump(log);
    }
    CByteArrayOutputStream body;
    userData->Serialize(&body);
    const TByteArraySPtr encryptedUserData = body.ToByteArray();
    CARC4 userDataCipher(GenerateKey(m_settings->GetConstUserData()));
    userDataCipher.EncryptBytes(encryptedUserData->data(), 0, static_cast<int>(encryptedUserData->size()));

    const TPacketSPtr packet = COutgoingPacket::Create(CHUNK_MASTERKEY);
    COutgoingPacket::AddBinary(packet, KEY_SECRETMASTER, encryptedSecret);
    COutgoingPacket::AddBinary(packet, KEY_ENCRYPTED_USERDATA, *encryptedUserData);
    return CPacketSender::SendPacket(socket, packet, GetMacKey());
}

bool CSession::SendPacket_ClientData(const TSocketSPtr& socket)
{
    const TPacketSPtr packet = COutgoingPacket::Create(CHUNK_CLIENTDATA);
    packet->AddAttr(std::make_shared<CAttribute>(KEY_CLIENT_PRIVATE_IP_ADDRESS, TYPE_ADDRESS, m_localAddress));
    {
        CSynchronize stateGuard(&m_stateLock);
        COutgoingPacket::AddString(packet, KEY_DEVICE_PSTNNUMBER, m_devicePstnNumber);
    }
    const std::vector<int> callMethods = m_settings->GetCallMethods();
    if (!callMethods.empty()) {
        packet->AddAttr(std::make_shared<CAttribute>(KEY_CALLMETHODS, TYPE_INTARRAY, callMethods.data(),
                                                     static_cast<int>(callMethods.size())));
    }
    return CPacketSender::SendPacket(socket, packet, GetMacKey());
}

CSession::THandshakeResult CSession::HandlePacket_SERVERIDENTITY(const TPacketSPtr& packet)
{
    TByteArraySPtr identity;
    if (!packet->GetAttrBinary(KEY_SERVER_IDENTITY, &identity)) {
        return HANDSHAKE_RETRY;
    }
    const TByteArray exponent = m_settings->GetDefaultCommonExp();
    const bool checkDigest = m_settings->GetCheckIdentityDigest();
    try {
        TByteArray serverModulus;
        try {
            serverModulus = CRSA::DecryptServerIdentity(
                *identity, CRSA(ROOT_KEY_BITS_LENGTH, exponent, m_settings->GetDefaultRootKeyPrimary()), checkDigest);
        } catch (const std::exception&) {
            serverModulus = CRSA::DecryptServerIdentity(
                *identity, CRSA(ROOT_KEY_BITS_LENGTH, exponent, m_settings->GetDefaultRootKeyBackup()), checkDigest);
        }
        m_serverKey.SetServerMod(serverModulus);
    } catch (const std::exception& error) {
        LogInfo() << "CSession::HandlePacket_SERVERIDENTITY - server identity refused: " << error.what() << std::endl;
        return HANDSHAKE_RETRY;
    }
    TByteArraySPtr serverRandom;
    if (!packet->GetAttrBinary(KEY_SERVER_RANDOM, &serverRandom)) {
        return HANDSHAKE_RETRY;
    }
    m_serverRandom = *serverRandom;
    return HANDSHAKE_SUCCESS;
}

CSession::THandshakeResult CSession::HandlePacket_CONNECTED(const TPacketSPtr& packet)
{
    m_netModule->PutPacketOnReceiveQueue(packet);
    if (packet->GetAttr(KEY_SUBSCRIPTION_ERROR_MESSAGE) || !PassesUpgradeCheck(packet)) {
        return HANDSHAKE_ERROR;
    }
    return HANDSHAKE_SUCCESS;
}

bool CSession::PassesUpgradeCheck(const TPacketSPtr& connected) const
{
    std::wstring latestVersion;
    if (!connected->GetAttr(KEY_UPGRADEURL) || !connected->GetAttrString(KEY_LATEST_VERSION, &latestVersion) ||
        latestVersion.empty() || latestVersion[0] != L'F') {
        return true;
    }
    // The client version is the platform identifier's part between its first and second "/".
    const std::wstring platformId = m_settings->GetPlattformID();
    const size_t first = platformId.find(L'/');
    std::wstring ownVersion;
    if (first != std::wstring::npos) {
        const size_t second = platformId.find(L'/', first + 1);
        ownVersion =
            platformId.substr(first + 1, second == std::wstring::npos ? std::wstring::npos : second - first - 1);
    }
    return latestVersion.substr(1) == ownVersion;
}

CSession::THandshakeResult CSession::HandlePacket_REDIRECT(const TPacketSPtr& packet)
{
    unsigned char* address = nullptr;
    if (!packet->GetAttrAddress(KEY_NEW_SERVER, &address)) {
        m_currentServerAddress.clear();
        return HANDSHAKE_RETRY;
    }
    char text[32];
    std::snprintf(text, sizeof(text), "%d.%d.%d.%d:%d", address[0], address[1], address[2], address[3],
                  address[4] * 256 + address[5]);
    m_currentServerAddress = CUtils::ConvertCharToWide(text);
    return HANDSHAKE_REDIRECT;
}

CSession::THandshakeResult CSession::HandlePacket_ERROR(const TPacketSPtr& packet)
{
    int code = 0;
    if (packet->GetAttrInt32(KEY_ERROR_CODE, &code) && code == ERROR_INTERNAL_SERVER) {
        LogDebug() << "CSession::HandlePacket_ERROR - Internal server error, trying with another server." << std::endl;
        m_currentServerAddress.clear();
        return HANDSHAKE_RETRY;
    }
    m_netModule->PutPacketOnReceiveQueue(packet);
    return HANDSHAKE_ERROR;
}

CSession::THandshakeResult CSession::HandlePacket_WARNING(const TPacketSPtr& packet)
{
    int code = 0;
    if (!packet->GetAttrInt32(KEY_ERROR_CODE, &code) || IsIgnorableWarning(code)) {
        return HANDSHAKE_NOT_AN_ANSWER;
    }
    m_netModule->PutPacketOnReceiveQueue(packet);
    return HANDSHAKE_WARNING;
}

std::vector<unsigned char> CSession::GenerateKey(const std::vector<unsigned char>& label) const
{
    std::vector<unsigned char> material;
    material.reserve(m_masterSecret.size() + m_clientRandom.size() + m_serverRandom.size() + label.size());
    material.insert(material.end(), m_masterSecret.begin(), m_masterSecret.end());
    material.insert(material.end(), m_clientRandom.begin(), m_clientRandom.end());
    material.insert(material.end(), m_serverRandom.begin(), m_serverRandom.end());
    material.insert(material.end(), label.begin(), label.end());
    return CSHA1::Calc(material);
}

void CSession::GenerateRandomBytes(std::vector<unsigned char>* bytes)
{
    size_t filled = 0;
    while (filled < bytes->size()) {
        const ssize_t got = ::getrandom(bytes->data() + filled, bytes->size() - filled, 0);
        if (got > 0) {
            filled += static_cast<size_t>(got);
        } else if (got < 0 && errno != EINTR) {
            // Without the kernel's generator no secret can be made safely.
            LogError() << "CSession::GenerateRandomBytes - getrandom failed." << std::endl;
            std::terminate();
        }
    }
}

std::wstring CSession::GetServerAddress()
{
    const std::vector<std::wstring> servers = m_settings->GetDefaultRootServers();
    if (servers.empty()) {
        return std::wstring();
    }
    return servers[m_serverIndex++ % servers.size()];
}

TSocketSPtr CSession::GetSocket()
{
    CSynchronize stateGuard(&m_stateLock);
    return m_connectionSocket;
}

TByteArraySPtr CSession::GetMacKey()
{
    CSynchronize stateGuard(&m_stateLock);
    return m_macKey;
}

std::wstring CSession::GetLocalConnectionAddress()
{
    const TSocketSPtr socket = GetSocket();
    unsigned char address[6];
    if (!socket || !socket->IsValid() || !socket->GetConnectedAddress(address)) {
        return std::wstring();
    }
    char text[32];
    std::snprintf(text, sizeof(text), "%d.%d.%d.%d:%d", address[0], address[1], address[2], address[3],
                  address[4] * 256 + address[5]);
    return CUtils::ConvertCharToWide(text);
}

void CSession::Disconnect(bool clearSession)
{
    CSynchronize connectGuard(&m_connectLock);
    if (!DropRunningConnect(clearSession)) {
        DisconnectLocked(clearSession);
    }
}

bool CSession::DropRunningConnect(bool clearSession)
{
    CSynchronize stateGuard(&m_stateLock);
    if (!m_connectRunning) {
        return false;
    }
    LogInfo() << "Disconnecting/Cleaning up session." << std::endl;
    m_dropConnect = true;
    // Wakes the connect where it waits on the network; it then ends with CONNECT_STOP.
    if (m_handshakeSocket) {
        m_handshakeSocket->Close();
    }
    if (m_discovery) {
        m_discovery->Abort();
    }
    if (clearSession) {
        m_sdfSessionId.clear();
        m_sessionId.reset();
    }
    return true;
}

void CSession::DisconnectLocked(bool clearSession)
{
    LogInfo() << "Disconnecting/Cleaning up session." << std::endl;
    {
        CSynchronize stateGuard(&m_stateLock);
        m_savedLoginPacket.reset();
        if (m_handshakeSocket) {
            m_handshakeSocket->Close();
        }
        ResetHandshake(clearSession);
        if (m_connectionSocket) {
            m_connectionSocket->Close();
            m_connectionSocket.reset();
        }
    }
    // Wake a sender waiting for a login answer. A signal already given stays set until the waiter has
    // taken it: every wait is armed (which drops a stale signal) before its request goes out.
    if (m_useWaitSignal) {
        SignalReceived(true);
    }
}

void CSession::SetForceDisconnect(bool state)
{
    CSynchronize stateGuard(&m_stateLock);
    m_forcedDisconnect = state;
    LogDebug() << "CSession::SetForceDisconnect - state = " << (state ? "TRUE" : "FALSE") << std::endl;
    if (state) {
        CloseSocketsLocked();
    }
}

void CSession::CloseSocketsLocked()
{
    if (m_handshakeSocket) {
        m_handshakeSocket->Close();
        LogDebug() << "CSession::SetForceDisconnect - Closed handshake socket" << std::endl;
    }
    if (m_connectionSocket) {
        m_connectionSocket->Close();
        LogDebug() << "CSession::SetForceDisconnect - Closed connection socket" << std::endl;
    }
    if (m_discovery) {
        m_discovery->Abort();
        LogDebug() << "CSession::SetForceDisconnect - Closed sdf socket" << std::endl;
    }
}

bool CSession::DisconnectWasForced() const
{
    return m_forcedDisconnect;
}

bool CSession::SignalReconnectNeeded(bool clearSession)
{
    bool waitingForLogin;
    bool waitingForLogout;
    {
        CSynchronize connectGuard(&m_connectLock);
        {
            CSynchronize stateGuard(&m_stateLock);
            LogInfo() << "CSession::SignalReconnectNeeded - State: m_sessionState = " << m_sessionState.load()
                      << " m_forcedDisconnect = " << m_forcedDisconnect.load()
                      << " m_AllowReconnect = " << m_AllowReconnect.load()
                      << " m_useWaitSignal = " << m_useWaitSignal.load() << std::endl;
            // A connect that runs is a reconnect already under way.
            const bool allowed =
                !m_connectRunning &&
                ((m_sessionState != STATE_IDLE && !m_forcedDisconnect && m_AllowReconnect) || m_useWaitSignal);
            if (!allowed) {
                LogInfo() << "CSession::SignalReconnectNeeded - Reconnection rejected." << std::endl;
                return false;
            }
        }
        waitingForLogin = m_useWaitSignal;
        waitingForLogout = m_waitingForLogout;
        // Checked and disconnected under one lock, so two threads noticing the same loss reconnect once.
        DisconnectLocked(clearSession);
    }
    if (waitingForLogout) {
        LogInfo() << "CSession::SignalReconnectNeeded - Reconnection rejected due to waiting for logout." << std::endl;
        PutFakeLoggedoutPacketOnReceivedQueue();
    } else if (waitingForLogin) {
        LogInfo() << "CSession::SignalReconnectNeeded - Reconnection rejected due to prepared login/logout."
                  << std::endl;
    } else {
        LogInfo() << "CSession::SignalReconnectNeeded - Reconnection accepted." << std::endl;
        m_netModule->SendPacket(MakeLoginPacket());
    }
    return true;
}

void CSession::ForceNewSessionReconnect()
{
    LogInfo() << "CSession::ForceNewSessionReconnect -  Forcing a reconnect to a new session state." << std::endl;
    Disconnect(true);
    m_netModule->SendPacket(MakeLoginPacket());
}

void CSession::PutFakeLoggedoutPacketOnReceivedQueue()
{
    const TPacketSPtr packet = std::make_shared<CPacket>(CPacket::INTERNAL);
    COutgoingPacket::AddInt32(packet, KEY_CHUNKTYPE, CHUNK_LOGGEDOUT);
    COutgoingPacket::AddInt32(packet, KEY_LOGOUTREASON, 1);
    m_netModule->PutPacketOnReceiveQueue(packet);
}

TPacketSPtr CSession::MakeLoginPacket()
{
    const TPacketSPtr savedCredentials = m_netModule->GetSavedCredentials();
    CSynchronize stateGuard(&m_stateLock);
    return CLoginPacket::ForReconnect(savedCredentials, m_userName, m_password, m_devicePstnNumber);
}

std::wstring CSession::GetHeldPassword()
{
    CSynchronize stateGuard(&m_stateLock);
    return m_password;
}

void CSession::ForgetPassword()
{
    CSynchronize stateGuard(&m_stateLock);
    CUtils::WipeText(&m_password);
}

bool CSession::HandlePacket_LOGGEDIN(TPacketSPtr packet)
{
    TByteArraySPtr sessionId;
    if (!packet->GetAttrBinary(KEY_SESSION_ID, &sessionId)) {
        m_newSession = false;
        return false;
    }
    CSynchronize stateGuard(&m_stateLock);
    const bool resumed = m_sessionId && !m_sessionId->empty() && *m_sessionId == *sessionId;
    m_newSession = !resumed;
    m_sessionId = sessionId;
    return true;
}

void CSession::HandlePacket_SAVEDATA(TPacketSPtr packet)
{
    TPacketSPtr savedData;
    if (packet->GetAttrContainer(KEY_SAVEDDATA, &savedData)) {
        m_netModule->SetSavedCredentials(savedData);
    } else {
        m_netModule->EraseSavedCredentials();
    }
}

bool CSession::IsNewSession() const
{
    return m_newSession;
}

bool CSession::SignalReceived(bool force)
{
    m_AllowReconnect = true;
    m_waitingForLogout = false;
    // The answer is delivered: from now on a lost connection is an ordinary one to re-establish,
    // even before the waiting sender has woken up.
    const bool someoneWaits = m_useWaitSignal.exchange(false);
    if (someoneWaits || force) {
        m_receivedSignal.Signal();
        return true;
    }
    return false;
}

void CSession::WaitForReceivedSignal(bool arm, bool waitingForLogout)
{
    if (arm) {
        m_useWaitSignal = true;
        m_receivedSignal.ClearIfSignalled();
        return;
    }
    m_waitingForLogout = waitingForLogout;
    m_receivedSignal.Wait(0);
    m_useWaitSignal = false;
}

void CSession::WaitForSignal()
{
    CThread::Sleep(RECEIVER_POLL_MS);
}

}  // namespace VexlaLib
