#include "Network/PacketSender.h"

#include <algorithm>

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/ChunkKind.h"
#include "Network/ConnectionSettings.h"
#include "Network/Frame.h"
#include "Network/ReconnectPattern.h"
#include "Network/Session.h"
#include "Utils/LogStream.h"

namespace VexlaLib {

namespace {

const int PASSES_PER_REQUEST = 3;
const int INTERFACE_RETRY_SECONDS = 2;
const wchar_t INTERFACE_NOT_READY[] = L"NOT_READY";

bool IsConnectionRequest(int chunk)
{
    return chunk == CHUNK_LOGIN || chunk == CHUNK_REGISTERUSER || chunk == CHUNK_HANDSHAKE_CONTINUE ||
           chunk == CHUNK_HANDSHAKE_ABORT || chunk == CHUNK_DISCONNECT;
}

TPacketSPtr MakePacket(CPacket::TType type, int chunk)
{
    const TPacketSPtr packet = std::make_shared<CPacket>(type);
    packet->AddAttr(std::make_shared<CAttribute>(KEY_CHUNKTYPE, TYPE_INT32, chunk));
    return packet;
}

}  // namespace

CPacketSender::CPacketSender(CSession* session, CConnectionSettings* settings)
    : m_session(session),
      m_sendQueue(new CPacketQueue()),
      m_stop(false),
      m_connecting(false),
      m_sentQueue(new CPacketQueue()),
      m_settings(settings),
      m_friendlyNetworkError(false),
      m_reconnectAttempts(0),
      m_waitWithPostingChats(false),
      m_discards(0),
      m_lastRequestChunk(-1),
      m_reconnectWait([this](int seconds) { m_wakeupSignal.Wait(seconds); })
{}

CPacketSender::~CPacketSender()
{
    LogInfo() << "CPacketSender::~CPacketSender - Stopping." << std::endl;
    Stop();
    LogInfo() << "CPacketSender::~CPacketSender - Waiting." << std::endl;
    Wait();
    LogInfo() << "CPacketSender::~CPacketSender - Destroying queue." << std::endl;
    m_sendQueue.reset();
    LogInfo() << "CPacketSender::~CPacketSender - Destroying sent queue." << std::endl;
    m_sentQueue.reset();
}

bool CPacketSender::SendPacket(const TSocketSPtr& socket, const TPacketSPtr& packet, const TByteArraySPtr& key)
{
    // The whole frame goes out in one write: one cipher run, and no pause between its parts.
    if (!socket->SendArray(CFrame::Encode(*packet, key))) {
        return false;
    }
    CLogStream log(CLog::LOG_DEBUG, CLogStream::TIMESTAMP_AT_START);
    packet->dump(log);
    return true;
}

void CPacketSender::SendPacket(const TPacketSPtr& packet)
{
    m_sendQueue->Push(packet);
}

void CPacketSender::DiscardQueue()
{
    ++m_discards;
    m_sendQueue->Clear();
    m_sendQueue->SignalStopWait();
}

void CPacketSender::Signal()
{
    m_wakeupSignal.Signal();
    m_sendQueue->SignalStopWait();
    m_session->SignalReceived(true);
}

void CPacketSender::SignalWakeup()
{
    m_friendlyNetworkError = true;
    m_reconnectAttempts = 0;
    Signal();
}

void CPacketSender::SignalResetReconnect()
{
    m_friendlyNetworkError = true;
    m_reconnectAttempts = 0;
    m_wakeupSignal.Signal();
}

void CPacketSender::SignalWaitWithPostingChats()
{
    m_waitWithPostingChats = true;
}

bool CPacketSender::Initialize()
{
    Start();
    return true;
}

void CPacketSender::Stop()
{
    m_stop = true;
    Signal();
}

void CPacketSender::SetWakeup(IWakeup* wakeup)
{
    m_wakeup = wakeup;
    m_sentQueue->SetWakeup(wakeup);
}

void CPacketSender::SetConnecting(bool connecting)
{
    if (m_connecting.exchange(connecting) == connecting) {
        return;
    }
    if (IWakeup* wakeup = m_wakeup.load()) {
        wakeup->Wakeup();
    }
}

void CPacketSender::SetReconnectWait(const TReconnectWait& wait)
{
    m_reconnectWait = wait;
}

void CPacketSender::OnExecute()
{
    LogInfo() << "CPacketSender::OnExecute - Enter thread." << std::endl;
    while (!m_stop) {
        if (RunConnectionPhase()) {
            RunNormalLoop();
        }
    }
    LogInfo() << "CPacketSender::OnExecute - Exit thread." << std::endl;
}

void CPacketSender::ReportInternal(int chunk)
{
    m_sentQueue->Push(MakePacket(CPacket::INTERNAL, chunk));
}

bool CPacketSender::RunConnectionPhase()
{
    LogDebug() << "CPacketSender::OnExecute - entering connection loop." << std::endl;
    bool loggedIn = false;
    for (;;) {
        // Taken before the checks, so that a stop request made while they run still ends the wait below.
        const CPacketQueue::TWaitTicket ticket = m_sendQueue->WaitTicket();
        if (m_stop || loggedIn) {
            break;
        }
        if (m_session->DisconnectWasForced()) {
            LogDebug() << "CPacketSender::OnExecute - Canceled connection." << std::endl;
            m_session->Disconnect(true);
            const TPacketSPtr report = MakePacket(CPacket::INTERNAL, CHUNK_FORCED_DISCONNECT);
            report->AddAttr(std::make_shared<CAttribute>(KEY_WAITING_REQUEST_CHUNK, TYPE_INT32, m_lastRequestChunk));
            m_sentQueue->Push(report);
            SetConnecting(false);
            m_sendQueue->Clear();
            m_session->SetForceDisconnect(false);
        }
        if (const TPacketSPtr logout = m_sendQueue->PeekPacket(CHUNK_LOGOUT)) {
            LogDebug() << "CPacketSender::OnExecute - connectionless logout." << std::endl;
            m_sentQueue->Push(logout);
            m_session->PutFakeLoggedoutPacketOnReceivedQueue();
            m_sendQueue->Clear();
            m_session->Disconnect(true);
        }
        // A logout wakes the wait too, so that it is answered at once (above) rather than when the
        // next connection request arrives.
        const TPacketSPtr request =
            m_sendQueue->WaitForSpecificPacket({CHUNK_LOGIN, CHUNK_REGISTERUSER, CHUNK_HANDSHAKE_CONTINUE,
                                                CHUNK_HANDSHAKE_ABORT, CHUNK_DISCONNECT, CHUNK_LOGOUT},
                                               ticket);
        if (!request) {
            continue;
        }
        if (ChunkKindOf(request) == CHUNK_LOGOUT) {
            m_sendQueue->PushFront(request);
            continue;
        }
        LogDebug() << "CPacketSender::OnExecute - got specific packet from queue." << std::endl;
        m_lastRequestChunk = ChunkKindOf(request);
        if (m_lastRequestChunk == CHUNK_DISCONNECT) {
            // Without a connection there is nothing to disconnect, and no reason to connect.
            const TSocketSPtr socket = m_session->GetSocket();
            if (socket && socket->IsValid()) {
                LogDebug() << "CPacketSender::OnExecute - CHUNK_DISCONNECT." << std::endl;
                m_session->Disconnect(true);
            }
            continue;
        }
        SetConnecting(true);
        if (m_settings->GetAskForRequiredLocalAddress() && !AskForInterface(request)) {
            continue;
        }
        loggedIn = ConnectAndLogIn(request);
    }
    SetConnecting(false);
    return loggedIn;
}

bool CPacketSender::AskForInterface(const TPacketSPtr& request)
{
    LogDebug() << "CPacketSender::OnExecute - Asking for specific network interface." << std::endl;
    // Only a wake-up given from here on ends the wait; an answer to an earlier question is stale.
    const CPacketQueue::TWaitTicket ticket = m_sendQueue->WaitTicket();
    const unsigned int discards = m_discards;
    m_sendQueue->Remove(CHUNK_NETWORK_IFACE_REQUEST);
    ReportInternal(CHUNK_NETWORK_IFACE_REQUEST);
    const TPacketSPtr answer = m_stop || m_session->DisconnectWasForced()
                                   ? TPacketSPtr()
                                   : m_sendQueue->WaitForSpecificPacket({CHUNK_NETWORK_IFACE_REQUEST}, ticket);
    if (!answer) {
        LogDebug() << "CPacketSender::OnExecute - Stopped waiting for specific network interface." << std::endl;
        // A plain wake-up keeps the request for the next round; a stop, a forced disconnect (which
        // answers it) or a discarded queue ends it.
        if (!m_stop && !m_session->DisconnectWasForced() && m_discards == discards) {
            m_sendQueue->PushFront(request);
        }
        SetConnecting(false);
        return false;
    }
    std::wstring address;
    if (!answer->GetAttrString(KEY_LOCAL_INTERFACE_ADDRESS, &address)) {
        LogDebug() << "CPacketSender::OnExecute - Got interafce packet without address." << std::endl;
        SetConnecting(false);
        return false;
    }
    if (address == INTERFACE_NOT_READY) {
        LogDebug() << "CPacketSender::OnExecute - Waiting for specific network interface, looping..." << std::endl;
        m_sendQueue->PushFront(request);
        if (!m_session->DisconnectWasForced() && !m_stop) {
            m_reconnectWait(INTERFACE_RETRY_SECONDS);
        }
        return false;
    }
    m_settings->SetRequiredLocalAddress(address);
    LogDebug() << "CPacketSender::OnExecute - Got specific network interface." << std::endl;
    return true;
}

bool CPacketSender::ConnectAndLogIn(TPacketSPtr request)
{
    for (int pass = 0; pass < PASSES_PER_REQUEST; ++pass) {
        bool stopped = false;
        const int result = ConnectWithRetries(request, &stopped);
        m_friendlyNetworkError = false;
        if (stopped) {
            m_sendQueue->PushFront(request);
            return false;
        }
        switch (result) {
        case CSession::CONNECT_CONNECTED: {
            const TSocketSPtr socket = m_session->GetSocket();
            if (!socket || !socket->IsValid()) {
                break;
            }
            LogDebug() << "CPacketSender::OnExecute - Working connection, sending login packet." << std::endl;
            m_session->WaitForReceivedSignal(true, false);
            if (SendPacket(socket, request, m_session->GetMacKey())) {
                LogDebug() << "CPacketSender::OnExecute - Waiting for loggedin packet signal." << std::endl;
                m_session->WaitForReceivedSignal(false, false);
                LogDebug() << "CPacketSender::OnExecute - Got loggedin packet signal." << std::endl;
                m_sentQueue->Push(request);
                return true;
            }
            if (socket->IsValid()) {
                LogDebug() << "CPacketSender::OnExecute - Unlikely timed out." << std::endl;
            }
            // Start the next pass from a clean connection, whether the write timed out or failed.
            m_session->Disconnect(false);
            break;
        }
        case CSession::CONNECT_MISSING_INFORMATION: {
            CLogStream log(CLog::LOG_ERROR, CLogStream::TIMESTAMP_AT_START);
            log << "CPacketSender::OnExecute - Missing mandatory information in packet. ";
            request->dump(log);
            SetConnecting(false);
            return false;
        }
        case CSession::CONNECT_STOP:
            LogDebug() << "CPacketSender::OnExecute - Disconnecting." << std::endl;
            m_session->Disconnect(true);
            SetConnecting(false);
            return false;
        case CSession::CONNECT_PAUSED:
            LogDebug() << "CPacketSender::OnExecute - Paused connection, waiting for client response." << std::endl;
            return false;
        default:
            // A network verdict before any connection ever worked: the request is dropped.
            SetConnecting(false);
            return false;
        }
    }
    SetConnecting(false);
    return false;
}

int CPacketSender::ConnectWithRetries(TPacketSPtr& request, bool* stopped)
{
    m_reconnectAttempts = 0;
    for (;;) {
        if (m_stop) {
            *stopped = true;
            return CSession::CONNECT_TEMPORARY_FAILURE;
        }
        int result = m_session->Connect(request);
        if (m_session->DisconnectWasForced()) {
            LogDebug() << "CPacketSender::OnExecute - Got a forced disconnect." << std::endl;
            return CSession::CONNECT_STOP;
        }
        if (m_sendQueue->PeekPacket(CHUNK_LOGOUT)) {
            LogDebug() << "CPacketSender::OnExecute - Got a logout before login - disconnecting." << std::endl;
            return CSession::CONNECT_STOP;
        }
        if (result == CSession::CONNECT_NO_INTERFACE || result == CSession::CONNECT_NO_NETWORK) {
            LogDebug() << "CPacketSender::OnExecute - Network error detected." << std::endl;
            if (!m_friendlyNetworkError) {
                ReportInternal(CHUNK_NO_NETWORK);
                if (!CSocket::HaveHadWorkingConnection()) {
                    return result;
                }
                // A connection worked before: keep the request; the module answers the report by
                // arming the friendly retry, which goes on by the reconnect pattern.
                WaitBeforeReconnect();
                continue;
            }
            LogDebug() << "CPacketSender::OnExecute - Network error friendly handling - pretending to be a "
                          "temporary failure."
                       << std::endl;
            result = CSession::CONNECT_TEMPORARY_FAILURE;
        }
        if (result != CSession::CONNECT_TEMPORARY_FAILURE) {
            return result;
        }
        WaitBeforeReconnect();
    }
}

void CPacketSender::WaitBeforeReconnect()
{
    const int attempt = ++m_reconnectAttempts;
    m_reconnectWait(std::max(1, CReconnectPattern::WaitSeconds(m_settings->GetReconnectPattern(), attempt)));
}

void CPacketSender::RunNormalLoop()
{
    if (!m_session->IsNewSession()) {
        m_sendQueue->PushFront(MakePacket(CPacket::OUTGOING, CHUNK_GETRECENTCHATS));
    }
    LogDebug() << "CPacketSender::OnExecute - entering normal packet loop." << std::endl;
    for (;;) {
        // A forced disconnect may have been asked while the login was still waiting for its answer.
        const CPacketQueue::TWaitTicket ticket = m_sendQueue->WaitTicket();
        if (m_stop || m_session->DisconnectWasForced()) {
            return;
        }
        const TPacketSPtr packet = m_sendQueue->WaitAndPop(ticket);
        if (!packet || packet->GetType() == CPacket::INTERNAL) {
            continue;
        }
        const TSocketSPtr socket = m_session->GetSocket();
        // Packets that cannot go out now keep their place at the front, so the order is kept.
        if (!socket || !socket->IsValid()) {
            m_sendQueue->PushFront(packet);
            m_session->SignalReconnectNeeded(false);
            return;
        }
        const int chunk = ChunkKindOf(packet);
        if (IsConnectionRequest(chunk)) {
            m_sendQueue->PushFront(packet);
            return;
        }
        if (chunk == CHUNK_LOGOUT) {
            m_session->WaitForReceivedSignal(true, false);
        }
        if (SendPacket(socket, packet, m_session->GetMacKey())) {
            m_sentQueue->Push(packet);
            if (chunk == CHUNK_LOGOUT) {
                m_session->WaitForReceivedSignal(false, true);
                return;
            }
            continue;
        }
        m_sendQueue->PushFront(packet);
        if (!socket->IsValid()) {
            m_session->SignalReconnectNeeded(false);
            return;
        }
        LogDebug() << "CPacketSender::OnExecute - Send timed out, the packet stays first in the queue." << std::endl;
    }
}

}  // namespace VexlaLib
