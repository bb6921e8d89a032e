#pragma once

#include <string>

#include "SimHandler.h"
#include "Utils/ByteArray.h"

namespace ServerSim {

// The server side of the connection handshake: CHUNK_CONNECT is answered with the server identity
// and a server random; CHUNK_MASTERKEY yields the master secret (server key) and the client's user
// data, both sides derive the traffic keys, the ciphers switch, and CHUNK_CONNECTED goes out
// encrypted; CHUNK_CLIENTDATA completes the handshake. Directives of the stages "connect" and
// "masterkey" replace the identity and the connected answer.
class CHandshakeHandler : public ISimHandler {
public:
    // Key-derivation labels, shared with the client.
    static const char* const CONST_CLIENT;
    static const char* const CONST_SERVER;
    static const char* const CONST_HASHKEY;
    static const char* const CONST_USERDATA;

    std::vector<int> Chunks() const override;
    void Handle(CConnection& connection, const VexlaLib::CPacket& packet) override;

    // SHA-1(master secret ‖ client random ‖ server random ‖ label).
    static VexlaLib::TByteArray DeriveKey(const VexlaLib::TByteArray& master, const VexlaLib::TByteArray& clientRandom,
                                         const VexlaLib::TByteArray& serverRandom, const char* label);

private:
    void OnConnect(CConnection& connection, const VexlaLib::CPacket& packet);
    void OnMasterKey(CConnection& connection, const VexlaLib::CPacket& packet);
    void OnClientData(CConnection& connection);
    // Decrypts and records the user data of the master-key packet; false when it does not decode.
    bool RecordUserData(CConnection& connection, const VexlaLib::CPacket& packet, const VexlaLib::TByteArray& key);
    void SendConnected(CConnection& connection);
    // Records why the handshake ended and drops the connection.
    void Fail(CConnection& connection, const std::string& reason);
};

}  // namespace ServerSim
