#pragma once

#include <memory>
#include <string>

#include "Network/Packet.h"
#include "Utils/ARC4.h"
#include "Utils/ByteArray.h"

namespace SimTest {

using VexlaLib::TByteArray;
using VexlaLib::TPacketSPtr;

// A minimal client of the simulator built straight from the library's packet, checksum, cipher and
// RSA classes (not from the library's session), so the simulator is checked against the protocol
// itself. Reads time out after a few seconds, so a silent simulator fails a test instead of hanging it.
class CSimTestClient {
public:
    CSimTestClient();
    ~CSimTestClient();

    bool Connect(int port);
    bool Send(const VexlaLib::CPacket& packet);
    // A frame around arbitrary body bytes, correctly checksummed.
    bool SendBody(const TByteArray& body);
    // Raw bytes through the output cipher.
    bool SendRaw(TByteArray bytes);
    // The next frame's packet; empty on a time-out, a closed stream, a bad checksum or a bad body.
    TPacketSPtr Receive();
    // True when the simulator closed the connection (read returns end of stream within the time-out).
    bool WaitClosed();

    // CONNECT → identity (checked against the test root keys) → MASTERKEY with the user data →
    // CONNECTED (encrypted) → CLIENTDATA. False at the first step that does not work out.
    bool Handshake(const std::wstring& name, const std::wstring& phone);
    // CHUNK_LOGIN with name and password (and a session identifier when not empty); the answer.
    TPacketSPtr Login(const std::wstring& name, const std::wstring& password, const TByteArray& sessionId);

    // The root key that verified the last identity: "primary", "backup" or "" for none.
    const std::string& VerifiedBy() const { return m_verifiedBy; }
    const TPacketSPtr& Connected() const { return m_connected; }
    const TByteArray& NodeId() const { return m_nodeId; }

private:
    bool ReadBytes(unsigned char* out, size_t count);
    bool VerifyIdentity(const TByteArray& identity, TByteArray& modulus);

    int m_fd;
    std::unique_ptr<VexlaLib::CARC4> m_in;
    std::unique_ptr<VexlaLib::CARC4> m_out;
    VexlaLib::TByteArraySPtr m_checksumKey;
    TByteArray m_nodeId;
    std::string m_verifiedBy;
    TPacketSPtr m_connected;
};

// A packet of the given chunk kind.
VexlaLib::CPacket MakePacket(int chunk);
// The packet's chunk kind; -1 for none or no packet.
int ChunkOf(const TPacketSPtr& packet);

}  // namespace SimTest
