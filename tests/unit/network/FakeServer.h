#pragma once

#include <memory>
#include <string>
#include <vector>

#include "LoopbackListener.h"
#include "Network/Packet.h"
#include "Utils/ARC4.h"
#include "Utils/ByteArray.h"

namespace VexlaTest {

// The server end of the protocol for tests: frames in both directions, the identity answer, recovery of
// the master secret with the test server's private key, and the switch to the derived keys. Each call
// acts on the connection accepted last.
class CFakeServer
{
public:
    // IDENTITY_WRONG_DIGEST is signed by the primary root key, but its digest is not the modulus's SHA-1.
    enum TIdentity { IDENTITY_PRIMARY, IDENTITY_BACKUP, IDENTITY_CORRUPT, IDENTITY_WRONG_DIGEST };

    CFakeServer();

    std::wstring Address() const { return m_listener.Address(); }
    bool Accept(int timeoutMs = 10000);
    void Drop() { m_listener.ClosePeer(); }
    bool PeerClosed(int timeoutMs = 5000) { return m_listener.PeerClosed(timeoutMs); }
    CLoopbackListener& Listener() { return m_listener; }

    // One frame; empty on end of stream or a checksum that does not match the current key.
    VexlaLib::TPacketSPtr Read();
    // Whether the checksum of the frame read last was the plain CRC-32 of its body.
    bool LastFrameHadPlainChecksum() const { return m_lastPlainChecksum; }
    void Write(const VexlaLib::TPacketSPtr& packet);
    // A frame whose checksum is off by one.
    void WriteWithBadChecksum(const VexlaLib::TPacketSPtr& packet);
    // The first `count` bytes of the frame (encrypted as the connection is), and nothing more.
    void WritePartial(const VexlaLib::TPacketSPtr& packet, size_t count);

    // Reads the connect packet and keeps its client random.
    VexlaLib::TPacketSPtr ReadConnect();
    void SendIdentity(TIdentity identity);
    // Recovers the master secret, derives the keys, switches both directions to them and returns the
    // decrypted user data of the master-key packet.
    VexlaLib::TPacketSPtr TakeMasterKey(const VexlaLib::TPacketSPtr& masterKey);
    // Connect, identity, master key, connected (with `connected` when given) and client data.
    // Returns the user data, or nothing when a step did not go as expected.
    VexlaLib::TPacketSPtr Handshake(const VexlaLib::TPacketSPtr& connected = VexlaLib::TPacketSPtr(),
                                    TIdentity identity = IDENTITY_PRIMARY);

    static VexlaLib::TPacketSPtr Make(int chunk);

private:
    VexlaLib::TByteArraySPtr Frame(const VexlaLib::TPacketSPtr& packet, int checksumDelta);
    void Encrypt(std::vector<unsigned char>* bytes);
    std::vector<unsigned char> Derive(const char* label) const;
    bool ReadBytes(unsigned char* out, size_t count);

    CLoopbackListener m_listener;
    std::shared_ptr<VexlaLib::CARC4> m_in;
    std::shared_ptr<VexlaLib::CARC4> m_out;
    VexlaLib::TByteArraySPtr m_key;
    std::vector<unsigned char> m_clientRandom;
    std::vector<unsigned char> m_serverRandom;
    std::vector<unsigned char> m_masterSecret;
    bool m_lastPlainChecksum;
};

}  // namespace VexlaTest
