#include "Connection.h"

#include "ChunkDispatcher.h"
#include "EventLog.h"
#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "PacketJson.h"
#include "SessionTable.h"
#include "Utils/LogStream.h"

namespace ServerSim {

using VexlaLib::CPacket;
using VexlaLib::TByteArraySPtr;
using VexlaLib::TPacketSPtr;

CConnection::CConnection(int id, int fd, const std::string& peer, SSimContext& context,
                         const CChunkDispatcher& dispatcher)
    : m_id(id), m_peer(peer), m_context(context), m_dispatcher(dispatcher), m_channel(fd), m_stalled(false),
      m_encrypted(false), m_finished(false)
{
    if (!context.captureDir.empty()) {
        m_channel.Capture(std::make_unique<CStreamCapture>(context.captureDir + "/conn-" + std::to_string(id)));
    }
}

CConnection::~CConnection()
{
    m_channel.Shutdown();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void CConnection::Start()
{
    TJsonPtr event = NewEvent("accepted");
    json_object_object_add(event.get(), "peer", json_object_new_string(m_peer.c_str()));
    Record(std::move(event));
    m_thread = std::thread(&CConnection::Run, this);
}

void CConnection::Run()
{
    static const char* const kFaults[] = {"", "checksum", "undecodable", "length", ""};
    while (true) {
        TPacketSPtr packet;
        TByteArraySPtr body;
        const CFrameChannel::TReadResult result = m_channel.ReadFrame(packet, body);
        if (result == CFrameChannel::FRAME_CLOSED) {
            break;
        }
        if (result != CFrameChannel::FRAME_OK) {
            VexlaLib::LogWarning() << "vexla-server-sim: connection " << m_id << ": dropped a frame (" << kFaults[result]
                                   << ")";
            TJsonPtr event = NewEvent("bad_frame");
            json_object_object_add(event.get(), "reason", json_object_new_string(kFaults[result]));
            json_object_object_add(event.get(), "length",
                                   json_object_new_int64(body ? static_cast<int64_t>(body->size()) : -1));
            Record(std::move(event));
            if (result == CFrameChannel::FRAME_BAD_LENGTH) {
                break;
            }
            continue;
        }
        OnPacket(*packet);
    }
    m_channel.Shutdown();
    Record(NewEvent("closed"));
    m_finished = true;
}

void CConnection::OnPacket(const CPacket& packet)
{
    // Decided before the packet is recorded, so a test that saw the record knows it will not be answered.
    const bool stalled = m_stalled;
    int chunk = -1;
    packet.GetAttrInt32(VexlaLib::KEY_CHUNKTYPE, &chunk);
    TJsonPtr event = NewEvent("received");
    json_object_object_add(event.get(), "chunk", json_object_new_string(CPacketJson::ChunkName(chunk).c_str()));
    json_object_object_add(event.get(), "packet", CPacketJson::ToJson(packet).release());
    json_object_object_add(event.get(), "encrypted", json_object_new_boolean(m_encrypted));
    if (stalled) {
        json_object_object_add(event.get(), "stalled", json_object_new_boolean(1));
    }
    Record(std::move(event));
    if (stalled) {
        return;
    }
    const bool handshakeChunk = chunk == VexlaLib::CHUNK_CONNECT || chunk == VexlaLib::CHUNK_MASTERKEY ||
                                chunk == VexlaLib::CHUNK_CLIENTDATA;
    if (!handshakeChunk && m_state.phase != TClientPhase::eEstablished) {
        VexlaLib::LogWarning() << "vexla-server-sim: connection " << m_id << ": "
                               << CPacketJson::ChunkName(chunk) << " before the handshake completed; ignored.";
        return;
    }
    if (!m_dispatcher.Dispatch(*this, packet)) {
        VexlaLib::LogInfo() << "vexla-server-sim: connection " << m_id << ": no handler for "
                            << CPacketJson::ChunkName(chunk) << "; not answered.";
    }
}

bool CConnection::Send(const CPacket& packet)
{
    const bool written = m_channel.WritePacket(packet);
    RecordSent(&packet, nullptr, written);
    return written;
}

bool CConnection::SendBadChecksum(const CPacket& packet)
{
    const bool written = m_channel.WriteBadChecksum(packet);
    RecordSent(&packet, "checksum", written);
    return written;
}

bool CConnection::SendUndecodable(size_t bodyLength)
{
    const bool written = m_channel.WriteUndecodable(bodyLength);
    RecordSent(nullptr, "undecodable", written);
    return written;
}

bool CConnection::SendHalfFrame(const CPacket& packet)
{
    const bool written = m_channel.WriteHalfFrame(packet);
    RecordSent(&packet, "half_frame", written);
    return written;
}

void CConnection::RecordSent(const CPacket* packet, const char* fault, bool written)
{
    TJsonPtr event = NewEvent("sent");
    if (packet != nullptr) {
        int chunk = -1;
        packet->GetAttrInt32(VexlaLib::KEY_CHUNKTYPE, &chunk);
        json_object_object_add(event.get(), "chunk", json_object_new_string(CPacketJson::ChunkName(chunk).c_str()));
        json_object_object_add(event.get(), "packet", CPacketJson::ToJson(*packet).release());
    }
    if (fault != nullptr) {
        json_object_object_add(event.get(), "fault", json_object_new_string(fault));
    }
    json_object_object_add(event.get(), "encrypted", json_object_new_boolean(m_encrypted));
    json_object_object_add(event.get(), "written", json_object_new_boolean(written));
    Record(std::move(event));
}

void CConnection::SwitchKeys(const VexlaLib::TByteArray& inKey, const VexlaLib::TByteArray& outKey,
                             const VexlaLib::TByteArray& checksumKey)
{
    m_channel.SwitchKeys(inKey, outKey, checksumKey);
    m_encrypted = true;
}

void CConnection::Drop()
{
    m_channel.Shutdown();
}

TJsonPtr CConnection::NewEvent(const char* type) const
{
    TJsonPtr event(json_object_new_object());
    json_object_object_add(event.get(), "type", json_object_new_string(type));
    json_object_object_add(event.get(), "conn", json_object_new_int(m_id));
    return event;
}

void CConnection::Record(TJsonPtr event)
{
    m_context.events.Append(std::move(event));
}

}  // namespace ServerSim
