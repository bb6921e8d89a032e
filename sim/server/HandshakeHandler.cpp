#include "HandshakeHandler.h"

#include <sys/random.h>

#include <cstring>
#include <ctime>

#include "Connection.h"
#include "DirectiveAnswer.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/ByteArrayInputStream.h"
#include "Network/OutgoingPacket.h"
#include "Network/Value.h"
#include "PacketJson.h"
#include "Scenario.h"
#include "ServerKeys.h"
#include "Utils/ARC4.h"
#include "Utils/LogStream.h"
#include "Utils/SHA1.h"

namespace ServerSim {

using namespace VexlaLib;

const char* const CHandshakeHandler::CONST_CLIENT = "client";
const char* const CHandshakeHandler::CONST_SERVER = "server";
const char* const CHandshakeHandler::CONST_HASHKEY = "hashkey";
const char* const CHandshakeHandler::CONST_USERDATA = "userdata";

namespace {

const size_t kRandomBytes = 20;

TByteArray RandomBytes(size_t count)
{
    TByteArray bytes(count);
    size_t filled = 0;
    while (filled < count) {
        const ssize_t got = getrandom(bytes.data() + filled, count - filled, 0);
        if (got > 0) {
            filled += static_cast<size_t>(got);
        }
    }
    return bytes;
}

bool GetBinary(const CPacket& packet, int key, TByteArray& out)
{
    TByteArraySPtr bytes;
    if (!packet.GetAttrBinary(key, &bytes)) {
        return false;
    }
    out = *bytes;
    return true;
}

}  // namespace

std::vector<int> CHandshakeHandler::Chunks() const
{
    return {CHUNK_CONNECT, CHUNK_MASTERKEY, CHUNK_CLIENTDATA};
}

void CHandshakeHandler::Handle(CConnection& connection, const CPacket& packet)
{
    int chunk = 0;
    packet.GetAttrInt32(KEY_CHUNKTYPE, &chunk);
    const TClientPhase phase = connection.State().phase;
    if (chunk == CHUNK_CONNECT && phase == TClientPhase::eAwaitConnect) {
        OnConnect(connection, packet);
    } else if (chunk == CHUNK_MASTERKEY && phase == TClientPhase::eAwaitMasterKey) {
        OnMasterKey(connection, packet);
    } else if (chunk == CHUNK_CLIENTDATA && phase == TClientPhase::eAwaitClientData) {
        OnClientData(connection);
    } else {
        Fail(connection, CPacketJson::ChunkName(chunk) + " out of order");
    }
}

void CHandshakeHandler::OnConnect(CConnection& connection, const CPacket& packet)
{
    SClientState& state = connection.State();
    if (!GetBinary(packet, KEY_CLIENT_RANDOM, state.clientRandom) || state.clientRandom.empty()) {
        Fail(connection, "CHUNK_CONNECT without KEY_CLIENT_RANDOM");
        return;
    }
    if (CDirectiveAnswer::Apply(connection, "connect")) {
        return;
    }
    state.serverRandom = RandomBytes(kRandomBytes);
    const TByteArray identity = connection.Context().keys.MakeIdentity(connection.Context().scenario.IdentityKey());
    const TPacketSPtr answer = COutgoingPacket::Create(CHUNK_SERVERIDENTITY);
    COutgoingPacket::AddBinary(answer, KEY_SERVER_IDENTITY, identity);
    COutgoingPacket::AddBinary(answer, KEY_SERVER_RANDOM, state.serverRandom);
    state.phase = TClientPhase::eAwaitMasterKey;
    connection.Send(*answer);
}

void CHandshakeHandler::OnMasterKey(CConnection& connection, const CPacket& packet)
{
    SClientState& state = connection.State();
    TByteArray secret;
    TByteArray master;
    if (!GetBinary(packet, KEY_SECRETMASTER, secret) || !connection.Context().keys.DecryptSecret(secret, master)) {
        Fail(connection, "KEY_SECRETMASTER missing or not decodable with the server key");
        return;
    }
    const TByteArray userDataKey = DeriveKey(master, state.clientRandom, state.serverRandom, CONST_USERDATA);
    if (!RecordUserData(connection, packet, userDataKey)) {
        Fail(connection, "KEY_ENCRYPTED_USERDATA missing or not decodable");
        return;
    }
    connection.SwitchKeys(DeriveKey(master, state.clientRandom, state.serverRandom, CONST_CLIENT),
                          DeriveKey(master, state.clientRandom, state.serverRandom, CONST_SERVER),
                          DeriveKey(master, state.clientRandom, state.serverRandom, CONST_HASHKEY));
    state.phase = TClientPhase::eAwaitClientData;
    if (CDirectiveAnswer::Apply(connection, "masterkey")) {
        return;
    }
    SendConnected(connection);
}

bool CHandshakeHandler::RecordUserData(CConnection& connection, const CPacket& packet, const TByteArray& key)
{
    TByteArray encrypted;
    if (!GetBinary(packet, KEY_ENCRYPTED_USERDATA, encrypted) || encrypted.empty()) {
        return false;
    }
    CARC4 cipher(key);
    cipher.DecryptBytes(encrypted.data(), 0, static_cast<int>(encrypted.size()));
    CByteArrayInputStream in(std::make_shared<TByteArray>(encrypted));
    TPacketSPtr userData = CPacket::Deserialize(&in);
    if (!userData) {
        return false;
    }
    TJsonPtr event = connection.NewEvent("userdata");
    json_object_object_add(event.get(), "chunk", json_object_new_string("CHUNK_USERDATA"));
    json_object_object_add(event.get(), "packet", CPacketJson::ToJson(*userData).release());
    connection.Record(std::move(event));
    return true;
}

void CHandshakeHandler::SendConnected(CConnection& connection)
{
    CScenario& scenario = connection.Context().scenario;
    const TPacketSPtr answer = COutgoingPacket::Create(CHUNK_CONNECTED);
    COutgoingPacket::AddInt32(answer, KEY_SERVER_UTC_TIME,
                              static_cast<int>(std::time(nullptr) + scenario.TimeOffset()));
    const std::string fields = scenario.ConnectedFields();
    if (!fields.empty()) {
        TJsonPtr object = CJson::Parse(fields);
        std::string error;
        if (!CPacketJson::AppendFields(object.get(), answer, error)) {
            LogError() << "vexla-server-sim: connected fields: " << error;
        }
    }
    connection.Send(*answer);
}

void CHandshakeHandler::OnClientData(CConnection& connection)
{
    connection.State().phase = TClientPhase::eEstablished;
    TJsonPtr event = connection.NewEvent("handshake");
    json_object_object_add(event.get(), "result", json_object_new_string("complete"));
    connection.Record(std::move(event));
}

void CHandshakeHandler::Fail(CConnection& connection, const std::string& reason)
{
    LogWarning() << "vexla-server-sim: connection " << connection.Id() << ": handshake failed: " << reason;
    TJsonPtr event = connection.NewEvent("handshake");
    json_object_object_add(event.get(), "result", json_object_new_string("failed"));
    json_object_object_add(event.get(), "reason", json_object_new_string(reason.c_str()));
    connection.Record(std::move(event));
    connection.Drop();
}

TByteArray CHandshakeHandler::DeriveKey(const TByteArray& master, const TByteArray& clientRandom,
                                        const TByteArray& serverRandom, const char* label)
{
    TByteArray input(master);
    input.insert(input.end(), clientRandom.begin(), clientRandom.end());
    input.insert(input.end(), serverRandom.begin(), serverRandom.end());
    input.insert(input.end(), label, label + std::strlen(label));
    return CSHA1::Calc(input);
}

}  // namespace ServerSim
