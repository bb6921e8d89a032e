#include "SimTestClient.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "HandshakeHandler.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/ByteArrayInputStream.h"
#include "Network/ByteArrayOutputStream.h"
#include "Network/Frame.h"
#include "Network/Value.h"
#include "Utils/RSA.h"
#include "Utils/RootKeys.h"

namespace SimTest {

using namespace VexlaLib;
using ServerSim::CHandshakeHandler;

namespace {

TByteArray Exponent()
{
    return TByteArray(RSA_PUBLIC_EXPONENT, RSA_PUBLIC_EXPONENT + RSA_PUBLIC_EXPONENT_LENGTH);
}

TByteArray Filled(size_t count, unsigned char first)
{
    TByteArray bytes(count);
    for (size_t i = 0; i < count; ++i) {
        bytes[i] = static_cast<unsigned char>(first + i * 7);
    }
    return bytes;
}

}  // namespace

CPacket MakePacket(int chunk)
{
    CPacket packet(CPacket::OUTGOING);
    packet.AddAttr(std::make_shared<CAttribute>(KEY_CHUNKTYPE, TYPE_INT32, chunk));
    return packet;
}

int ChunkOf(const TPacketSPtr& packet)
{
    int chunk = -1;
    if (packet) {
        packet->GetAttrInt32(KEY_CHUNKTYPE, &chunk);
    }
    return chunk;
}

CSimTestClient::CSimTestClient()
    : m_fd(-1), m_checksumKey(std::make_shared<TByteArray>()), m_nodeId{1, 2, 3, 4, 5, 6, 7, 8}
{
}

CSimTestClient::~CSimTestClient()
{
    if (m_fd >= 0) {
        close(m_fd);
    }
}

bool CSimTestClient::Connect(int port)
{
    m_fd = socket(AF_INET, SOCK_STREAM, 0);
    timeval timeout{5, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    sockaddr_in server{};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<uint16_t>(port));
    server.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return connect(m_fd, reinterpret_cast<sockaddr*>(&server), sizeof(server)) == 0;
}

bool CSimTestClient::SendRaw(TByteArray bytes)
{
    if (m_out && !bytes.empty()) {
        m_out->EncryptBytes(bytes.data(), 0, static_cast<int>(bytes.size()));
    }
    return send(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size());
}

bool CSimTestClient::Send(const CPacket& packet)
{
    return SendRaw(*CFrame::Encode(packet, m_checksumKey));
}

bool CSimTestClient::SendBody(const TByteArray& body)
{
    TByteArray frame{static_cast<unsigned char>(body.size())};  // bodies below 128 bytes here
    frame.insert(frame.end(), body.begin(), body.end());
    const uint32_t checksum = CFrame::Checksum(m_checksumKey, std::make_shared<TByteArray>(body));
    for (int i = 0; i < CFrame::CHECKSUM_LENGTH; ++i) {
        frame.push_back(static_cast<unsigned char>(checksum >> (8 * i)));
    }
    return SendRaw(frame);
}

bool CSimTestClient::ReadBytes(unsigned char* out, size_t count)
{
    size_t got = 0;
    while (got < count) {
        const ssize_t n = recv(m_fd, out + got, count - got, 0);
        if (n <= 0) {
            return false;
        }
        got += static_cast<size_t>(n);
    }
    if (m_in) {
        m_in->DecryptBytes(out, 0, static_cast<int>(count));
    }
    return true;
}

TPacketSPtr CSimTestClient::Receive()
{
    int length = 0;
    for (int shift = 0;; shift += 7) {
        unsigned char byte;
        if (shift > 28 || !ReadBytes(&byte, 1)) {
            return nullptr;
        }
        length |= (byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            break;
        }
    }
    auto body = std::make_shared<TByteArray>(static_cast<size_t>(length));
    unsigned char checksum[4];
    if (!ReadBytes(body->data(), body->size()) || !ReadBytes(checksum, 4)) {
        return nullptr;
    }
    const uint32_t expected = CFrame::Checksum(m_checksumKey, body);
    const uint32_t received = checksum[0] | (checksum[1] << 8) | (checksum[2] << 16) | (static_cast<uint32_t>(checksum[3]) << 24);
    if (expected != received) {
        return nullptr;
    }
    CByteArrayInputStream in(body);
    return CPacket::Deserialize(&in);
}

bool CSimTestClient::WaitClosed()
{
    unsigned char byte;
    return recv(m_fd, &byte, 1, 0) == 0;
}

bool CSimTestClient::VerifyIdentity(const TByteArray& identity, TByteArray& modulus)
{
    const std::pair<const char*, const unsigned char*> roots[] = {{"primary", ROOT_KEY_TEST_PRIMARY},
                                                                  {"backup", ROOT_KEY_TEST_BACKUP}};
    for (const auto& root : roots) {
        try {
            CRSA key(ROOT_KEY_BITS, Exponent(), TByteArray(root.second, root.second + ROOT_KEY_LENGTH));
            modulus = CRSA::DecryptServerIdentity(identity, key);
            m_verifiedBy = root.first;
            return true;
        } catch (const std::exception&) {
        }
    }
    m_verifiedBy.clear();
    return false;
}

bool CSimTestClient::Handshake(const std::wstring& name, const std::wstring& phone)
{
    const TByteArray clientRandom = Filled(20, 11);
    CPacket connect = MakePacket(CHUNK_CONNECT);
    connect.AddAttr(std::make_shared<CAttribute>(KEY_PROTOCOLVERSION, TYPE_INT32, 4));
    connect.AddAttr(std::make_shared<CAttribute>(KEY_CLIENT_RANDOM, TYPE_BINARY, clientRandom.data(), 20));
    if (!Send(connect)) {
        return false;
    }
    TPacketSPtr identityAnswer = Receive();
    TByteArraySPtr identity;
    TByteArraySPtr serverRandom;
    TByteArray modulus;
    if (!identityAnswer || !identityAnswer->GetAttrBinary(KEY_SERVER_IDENTITY, &identity) ||
        !identityAnswer->GetAttrBinary(KEY_SERVER_RANDOM, &serverRandom) || !VerifyIdentity(*identity, modulus)) {
        return false;
    }

    const TByteArray master = Filled(20, 101);
    CRSA serverKey(384, Exponent());
    serverKey.SetServerMod(modulus);
    const TByteArray secret = CRSA::EncryptSecret(master, serverKey);
    CPacket userData = MakePacket(CHUNK_USERDATA);
    userData.AddAttr(std::make_shared<CAttribute>(KEY_NODEID, TYPE_BINARY, m_nodeId.data(), 8));
    userData.AddAttr(std::make_shared<CAttribute>(KEY_VEXLANAME, TYPE_STRING, name));
    userData.AddAttr(std::make_shared<CAttribute>(KEY_DEVICE_PSTNNUMBER, TYPE_STRING, phone));
    CByteArrayOutputStream userBody;
    userData.Serialize(&userBody);
    TByteArray encrypted = *userBody.ToByteArray();
    auto derive = [&](const char* label) { return CHandshakeHandler::DeriveKey(master, clientRandom, *serverRandom, label); };
    CARC4(derive("userdata")).EncryptBytes(encrypted.data(), 0, static_cast<int>(encrypted.size()));
    CPacket masterKey = MakePacket(CHUNK_MASTERKEY);
    masterKey.AddAttr(std::make_shared<CAttribute>(KEY_SECRETMASTER, TYPE_BINARY, secret.data(), static_cast<int>(secret.size())));
    masterKey.AddAttr(std::make_shared<CAttribute>(KEY_ENCRYPTED_USERDATA, TYPE_BINARY, encrypted.data(),
                                                   static_cast<int>(encrypted.size())));
    if (!Send(masterKey)) {
        return false;
    }
    m_out.reset(new CARC4(derive("client")));
    m_in.reset(new CARC4(derive("server")));
    m_checksumKey = std::make_shared<TByteArray>(derive("hashkey"));

    m_connected = Receive();
    int chunk = 0;
    if (!m_connected || !m_connected->GetAttrInt32(KEY_CHUNKTYPE, &chunk) || chunk != CHUNK_CONNECTED) {
        return false;
    }
    CPacket clientData = MakePacket(CHUNK_CLIENTDATA);
    clientData.AddAttr(std::make_shared<CAttribute>(KEY_DEVICE_PSTNNUMBER, TYPE_STRING, phone));
    return Send(clientData);
}

TPacketSPtr CSimTestClient::Login(const std::wstring& name, const std::wstring& password, const TByteArray& sessionId)
{
    CPacket login = MakePacket(CHUNK_LOGIN);
    login.AddAttr(std::make_shared<CAttribute>(KEY_SAVEPASSWORD, TYPE_INT32, 1));
    login.AddAttr(std::make_shared<CAttribute>(KEY_VEXLANAME, TYPE_STRING, name));
    login.AddAttr(std::make_shared<CAttribute>(KEY_PASSWORD, TYPE_STRING, password));
    if (!sessionId.empty()) {
        login.AddAttr(std::make_shared<CAttribute>(KEY_SESSION_ID, TYPE_BINARY, sessionId.data(),
                                                   static_cast<int>(sessionId.size())));
    }
    return Send(login) ? Receive() : nullptr;
}

}  // namespace SimTest
