#include "FakeServer.h"

#include <gtest/gtest.h>

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/ByteArrayInputStream.h"
#include "Network/ByteArrayOutputStream.h"
#include "ServerKeys.h"
#include "Utils/BigInt.h"
#include "Utils/CRC32.h"
#include "Utils/SHA1.h"

using namespace VexlaLib;

namespace VexlaTest {

namespace {

// The test server identity (its 384-bit modulus signed by each test root key) and its key pair.
const char IDENTITY_PRIMARY_HEX[] =
    "534b9c3528104862b96f36e5da0b2e9197e17635f2ba084db2acfbe6b3fbc14cfd3a09ed"
    "b77c9847a7351ad374d68b706f102cfc800845c9699c4ba766c83c969903cc07806ed56b"
    "7e07d8965bf8e963b27d430eecbc13fbe94690b812176c59b6ea9f7b88d1399b54d3144a"
    "fbaf10a4401b847590ce427f7fc8e1200bac062d81ff";
const char IDENTITY_BACKUP_HEX[] =
    "534b5776255f2b930a7120f94a1f0b2038c80d057d9b74cbf5897bca291b01014e6dcbe5"
    "449569ff0bc6d7cb7673ae95d426e94ffb1b4c3138cc082d51fa1361d6e82014d71e1e4f"
    "28c22bdd89fb047ad7f1ed3a326d55f873d6334eae52d753cb2aa2f8cd9c99655d23d67d"
    "e77ecf4b4af64bee2ac6fa6bc76457238ac1bc87ce8b";
const char SERVER_MODULUS_HEX[] =
    "b1469de3d71f6266c7e656583954532a1b81939e11f31daec08abfef82a4832e347a50c9"
    "00d7bd28d1b69d767646707b";
const char SERVER_PRIVATE_EXPONENT_HEX[] =
    "0096371d614c0f57057acbee4c71bfc77cbdb40dcefaacc46fbfbf52387cbdc9fc6ae139"
    "678574b505bd63c55c7c2439f1";

std::vector<unsigned char> FromHex(const std::string& text)
{
    std::vector<unsigned char> bytes;
    for (size_t n = 0; n + 1 < text.size(); n += 2) {
        bytes.push_back(static_cast<unsigned char>(std::stoi(text.substr(n, 2), nullptr, 16)));
    }
    return bytes;
}

}  // namespace

CFakeServer::CFakeServer() : m_key(std::make_shared<TByteArray>()), m_lastPlainChecksum(false) {}

bool CFakeServer::Accept(int timeoutMs)
{
    m_in.reset();
    m_out.reset();
    m_key = std::make_shared<TByteArray>();
    return m_listener.Accept(timeoutMs);
}

TPacketSPtr CFakeServer::Make(int chunk)
{
    TPacketSPtr packet = std::make_shared<CPacket>(CPacket::OUTGOING);
    packet->AddAttr(std::make_shared<CAttribute>(KEY_CHUNKTYPE, TYPE_INT32, chunk));
    return packet;
}

bool CFakeServer::ReadBytes(unsigned char* out, size_t count)
{
    const std::vector<unsigned char> bytes = m_listener.Read(count, 15000);
    if (bytes.size() != count) {
        return false;
    }
    std::copy(bytes.begin(), bytes.end(), out);
    if (m_in && count > 0) {
        m_in->DecryptBytes(out, 0, static_cast<int>(count));
    }
    return true;
}

TPacketSPtr CFakeServer::Read()
{
    unsigned int length = 0;
    for (int shift = 0;; shift += 7) {
        unsigned char byte;
        if (!ReadBytes(&byte, 1)) {
            return TPacketSPtr();
        }
        length |= static_cast<unsigned int>(byte & 0x7F) << shift;
        if ((byte & 0x80) == 0) {
            break;
        }
    }
    TByteArraySPtr body = std::make_shared<TByteArray>(length);
    unsigned char checksum[4];
    if ((length > 0 && !ReadBytes(body->data(), length)) || !ReadBytes(checksum, 4)) {
        return TPacketSPtr();
    }
    const unsigned int received =
        checksum[0] | checksum[1] << 8 | checksum[2] << 16 | static_cast<unsigned int>(checksum[3]) << 24;
    CCRC32 plain;
    plain.Update(body);
    m_lastPlainChecksum = plain.GetCheckSum() == received;
    CCRC32 keyed;
    keyed.Reset(m_key);
    keyed.Update(body);
    if (keyed.GetCheckSum() != received) {
        return TPacketSPtr();
    }
    CByteArrayInputStream input(body);
    return CPacket::Deserialize(&input);
}

TByteArraySPtr CFakeServer::Frame(const TPacketSPtr& packet, int checksumDelta)
{
    CByteArrayOutputStream body;
    packet->Serialize(&body);
    CCRC32 checksum;
    checksum.Reset(m_key);
    checksum.Update(body.ToByteArray());
    const unsigned int crc = checksum.GetCheckSum() + checksumDelta;
    CByteArrayOutputStream frame;
    frame.WriteVarInt32(static_cast<int>(body.ToByteArray()->size()));
    TByteArraySPtr bytes = frame.ToByteArray();
    bytes->insert(bytes->end(), body.ToByteArray()->begin(), body.ToByteArray()->end());
    for (int n = 0; n < 4; ++n) {
        bytes->push_back(static_cast<unsigned char>(crc >> (8 * n)));
    }
    return bytes;
}

void CFakeServer::Encrypt(std::vector<unsigned char>* bytes)
{
    if (m_out && !bytes->empty()) {
        m_out->EncryptBytes(bytes->data(), 0, static_cast<int>(bytes->size()));
    }
}

void CFakeServer::Write(const TPacketSPtr& packet)
{
    std::vector<unsigned char> bytes = *Frame(packet, 0);
    Encrypt(&bytes);
    m_listener.Write(bytes);
}

void CFakeServer::WriteWithBadChecksum(const TPacketSPtr& packet)
{
    std::vector<unsigned char> bytes = *Frame(packet, 1);
    Encrypt(&bytes);
    m_listener.Write(bytes);
}

void CFakeServer::WritePartial(const TPacketSPtr& packet, size_t count)
{
    std::vector<unsigned char> bytes = *Frame(packet, 0);
    bytes.resize(count);
    Encrypt(&bytes);
    m_listener.Write(bytes);
}

void CFakeServer::SendIdentity(TIdentity identity)
{
    std::vector<unsigned char> blob = FromHex(identity == IDENTITY_BACKUP ? IDENTITY_BACKUP_HEX : IDENTITY_PRIMARY_HEX);
    if (identity == IDENTITY_CORRUPT) {
        blob[40] ^= 0x55;
    }
    if (identity == IDENTITY_WRONG_DIGEST) {
        blob = ServerSim::CServerKeys(VEXLA_SERVER_SIM_KEYS_DIR).MakeIdentity(ServerSim::TIdentityKey::eWrongDigest);
    }
    m_serverRandom.assign(20, 0);
    for (size_t n = 0; n < m_serverRandom.size(); ++n) {
        m_serverRandom[n] = static_cast<unsigned char>(0xA0 + n);
    }
    TPacketSPtr packet = Make(CHUNK_SERVERIDENTITY);
    packet->AddAttr(
        std::make_shared<CAttribute>(KEY_SERVER_IDENTITY, TYPE_BINARY, blob.data(), static_cast<int>(blob.size())));
    packet->AddAttr(std::make_shared<CAttribute>(KEY_SERVER_RANDOM, TYPE_BINARY, m_serverRandom.data(), 20));
    Write(packet);
}

std::vector<unsigned char> CFakeServer::Derive(const char* label) const
{
    std::vector<unsigned char> material = m_masterSecret;
    material.insert(material.end(), m_clientRandom.begin(), m_clientRandom.end());
    material.insert(material.end(), m_serverRandom.begin(), m_serverRandom.end());
    material.insert(material.end(), label, label + std::char_traits<char>::length(label));
    return CSHA1::Calc(material);
}

TPacketSPtr CFakeServer::TakeMasterKey(const TPacketSPtr& masterKey)
{
    TByteArraySPtr secret;
    TByteArraySPtr userData;
    if (!masterKey || !masterKey->GetAttrBinary(KEY_SECRETMASTER, &secret) || secret->size() != 50 ||
        !masterKey->GetAttrBinary(KEY_ENCRYPTED_USERDATA, &userData)) {
        return TPacketSPtr();
    }
    // Undo the RSA step with the private exponent, then take the 20-byte message out of the
    // 48-byte recovery block (marker 0x4B, five 0xBB, 0xBA, message, digest, 0xBC).
    const CBigInt cipher(1, std::vector<unsigned char>(secret->begin() + 2, secret->end()));
    std::vector<unsigned char> block =
        cipher.ModPow(CBigInt(1, FromHex(SERVER_PRIVATE_EXPONENT_HEX)), CBigInt(1, FromHex(SERVER_MODULUS_HEX)))
            .ToByteArray();
    block.erase(block.begin(), block.end() - std::min<size_t>(block.size(), 48));
    block.insert(block.begin(), 48 - block.size(), 0);
    EXPECT_EQ(0x4B, block[0]);
    EXPECT_EQ(0xBC, block[47]);
    m_masterSecret.assign(block.begin() + 7, block.begin() + 27);

    CARC4 userDataCipher(Derive("userdata"));
    userDataCipher.DecryptBytes(userData->data(), 0, static_cast<int>(userData->size()));
    m_in = std::make_shared<CARC4>(Derive("client"));
    m_out = std::make_shared<CARC4>(Derive("server"));
    m_key = std::make_shared<TByteArray>(Derive("hashkey"));
    CByteArrayInputStream input(userData);
    return CPacket::Deserialize(&input);
}

TPacketSPtr CFakeServer::ReadConnect()
{
    TPacketSPtr connect = Read();
    TByteArraySPtr clientRandom;
    if (!connect || !connect->GetAttrBinary(KEY_CLIENT_RANDOM, &clientRandom)) {
        return TPacketSPtr();
    }
    m_clientRandom = *clientRandom;
    return connect;
}

TPacketSPtr CFakeServer::Handshake(const TPacketSPtr& connected, TIdentity identity)
{
    if (!ReadConnect()) {
        return TPacketSPtr();
    }
    SendIdentity(identity);
    TPacketSPtr userData = TakeMasterKey(Read());
    if (!userData) {
        return TPacketSPtr();
    }
    Write(connected ? connected : Make(CHUNK_CONNECTED));
    TPacketSPtr clientData = Read();
    int chunk = -1;
    if (!clientData || !clientData->GetAttrInt32(KEY_CHUNKTYPE, &chunk) || chunk != CHUNK_CLIENTDATA) {
        return TPacketSPtr();
    }
    return userData;
}

}  // namespace VexlaTest
