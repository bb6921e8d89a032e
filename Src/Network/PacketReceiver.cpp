#include "Network/PacketReceiver.h"

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/ByteArrayInputStream.h"
#include "Network/ChunkKind.h"
#include "Network/Frame.h"
#include "Network/Session.h"
#include "Network/Value.h"
#include "Utils/LogStream.h"

namespace VexlaLib {

namespace {

const int ERROR_SESSION_REPLACED = 26;

}  // namespace

CPacketReceiver::CPacketReceiver(CSession* session)
    : m_session(session), m_receiveQueue(new CPacketQueue()), m_stop(false), m_reset(true)
{}

CPacketReceiver::~CPacketReceiver()
{
    LogInfo() << "CPacketReceiver::~CPacketReceiver - Stopping." << std::endl;
    Stop();
    LogInfo() << "CPacketReceiver::~CPacketReceiver - Waiting." << std::endl;
    Wait();
    LogInfo() << "CPacketReceiver::~CPacketReceiver - Destroying queue." << std::endl;
    m_receiveQueue.reset();
}

TPacketSPtr CPacketReceiver::ReceivePacket(const TSocketSPtr& socket, const TByteArraySPtr& key)
{
    int length = 0;
    if (!socket->ReceiveVarInt32(&length)) {
        return TPacketSPtr();
    }
    if (length < 0 || length > MAX_FRAME_BODY) {
        // The frame cannot be skipped safely: the stream is no longer trustworthy.
        LogError() << "CPacketReceiver::ReceivePacket - invalid frame length " << length << ", closing." << std::endl;
        socket->Close();
        return TPacketSPtr();
    }
    // The body and its checksum in one read.
    const TByteArraySPtr body = std::make_shared<TByteArray>(static_cast<size_t>(length) + CFrame::CHECKSUM_LENGTH);
    if (!socket->ReceiveArray(body)) {
        // Inside a frame: reading on would start in the middle of one.
        socket->Close();
        return TPacketSPtr();
    }
    uint32_t received = 0;
    for (int n = 0; n < CFrame::CHECKSUM_LENGTH; ++n) {
        received |= static_cast<uint32_t>((*body)[static_cast<size_t>(length) + n]) << (8 * n);
    }
    body->resize(static_cast<size_t>(length));
    if (CFrame::Checksum(key, body) != received) {
        LogError() << "CPacketReceiver::ReceivePacket - checksum failed on received packet. Discarding packet. "
                   << std::endl;
        return TPacketSPtr();
    }
    CByteArrayInputStream input(body);
    const TPacketSPtr packet = CPacket::Deserialize(&input);
    if (!packet) {
        CLogStream log(CLog::LOG_ERROR, CLogStream::TIMESTAMP_AT_START);
        log << "CPacketReceiver::ReceivePacket - Error: Could not deserialize packet:\n"
            << "BINARY, [" << length << "]{";
        log.WriteHexBytes(body->data(), body->size(), DUMP_ELEMENT_LIMIT);
        log << "}";
        return TPacketSPtr();
    }
    CLogStream log(CLog::LOG_DEBUG, CLogStream::TIMESTAMP_AT_START);
    packet->dump(log);
    return packet;
}

TPacketSPtr CPacketReceiver::ReceivePacket()
{
    return m_receiveQueue->Pop();
}

void CPacketReceiver::PutPacketOnQueue(const TPacketSPtr& packet)
{
    m_receiveQueue->Push(packet);
    if (ChunkKindOf(packet) == CHUNK_LOGGEDOUT) {
        m_reset = true;
    }
}

bool CPacketReceiver::HavePackets() const
{
    return m_receiveQueue->Size() > 0;
}

void CPacketReceiver::ClearQueue()
{
    m_receiveQueue->Clear();
}

void CPacketReceiver::ResetSession()
{
    m_reset = true;
}

bool CPacketReceiver::Initialize()
{
    Start();
    return true;
}

void CPacketReceiver::Stop()
{
    m_stop = true;
    m_receiveQueue->SignalStopWait();
    m_session->SignalReceived(true);
}

void CPacketReceiver::OnExecute()
{
    LogInfo() << "CPacketReceiver::OnExecute - Enter thread." << std::endl;
    bool error26Seen = false;
    bool waitingReported = false;
    while (!m_stop) {
        const TSocketSPtr socket = m_session->GetSocket();
        if (!socket || !socket->IsValid()) {
            error26Seen = false;
            if (!waitingReported) {
                LogDebug() << "CPacketReceiver::OnExecute - Waiting for socket." << std::endl;
                waitingReported = true;
            }
            m_session->WaitForSignal();
            continue;
        }
        waitingReported = false;
        // Taken before m_stop is looked at, so that a Stop in between still ends the wait.
        const CPacketQueue::TWaitTicket ticket = m_receiveQueue->WaitTicket();
        if (!m_stop)
            m_receiveQueue->WaitForRoom(MAX_WAITING_PACKETS, ticket);
        if (m_stop)
            continue;
        LogDebug() << "CPacketReceiver::OnExecute - Waiting for packet." << std::endl;
        const TPacketSPtr packet = ReceivePacket(socket, m_session->GetMacKey());
        if (!packet) {
            LogDebug() << "CPacketReceiver::OnExecute - NULL packet." << std::endl;
            if (!socket->IsValid() && !m_stop) {
                m_session->SignalReconnectNeeded(false);
            }
            continue;
        }
        LogDebug() << "CPacketReceiver::OnExecute - Got packet." << std::endl;
        HandlePacket(packet, &error26Seen);
    }
    m_session->SignalReceived(false);
    LogInfo() << "CPacketReceiver::OnExecute - Exit thread." << std::endl;
}

void CPacketReceiver::HandlePacket(const TPacketSPtr& packet, bool* error26Seen)
{
    int value = 0;
    switch (ChunkKindOf(packet)) {
    case CHUNK_LOGGEDIN: {
        LogDebug() << "CPacketReceiver::OnExecute - CHUNK_LOGGEDIN." << std::endl;
        const bool accepted = m_session->HandlePacket_LOGGEDIN(packet);
        m_session->SignalReceived(false);
        if (!accepted) {
            m_session->SignalReconnectNeeded(true);
            return;
        }
        if (!m_reset && !m_session->IsNewSession()) {
            return;
        }
        LogDebug() << "CPacketReceiver::OnExecute - Got new session." << std::endl;
        m_reset = false;
        break;
    }
    case CHUNK_SAVEDATA:
        m_session->HandlePacket_SAVEDATA(packet);
        break;
    case CHUNK_ERROR:
        if (packet->GetAttrInt32(KEY_ERROR_CODE, &value) && value == ERROR_SESSION_REPLACED) {
            *error26Seen = true;
        }
        break;
    case CHUNK_LOGGEDOUT: {
        LogDebug() << "CPacketReceiver::OnExecute - CHUNK_LOGGEDOUT." << std::endl;
        const bool someoneWaited = m_session->SignalReceived(*error26Seen);
        *error26Seen = false;
        if (!someoneWaited && packet->GetAttrInt32(KEY_LOGOUTREASON, &value) && value == 1) {
            m_session->SignalReconnectNeeded(true);
            return;
        }
        m_session->Disconnect(true);
        m_reset = true;
        break;
    }
    default:
        break;
    }
    m_receiveQueue->Push(packet);
}

}  // namespace VexlaLib
