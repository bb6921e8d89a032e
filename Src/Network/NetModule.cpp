#include "Network/NetModule.h"

#include <cassert>

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/ByteArrayInputStream.h"
#include "Network/ByteArrayOutputStream.h"
#include "Network/ChunkKind.h"
#include "Network/ConnectionSettings.h"
#include "Network/PacketReceiver.h"
#include "Network/PacketSender.h"
#include "Network/Session.h"
#include "Network/Socket.h"
#include "Utils/LogStream.h"
#include "Utils/IPersistentStorage.h"
#include "Utils/Synchronize.h"

namespace VexlaLib {

namespace {

const wchar_t STORAGE_SAVED_DATA[] = L"SAVEDDATA";
const wchar_t STORAGE_USE_SAVED_DATA[] = L"USESAVEDDATA";
const wchar_t NOT_READY_ADDRESS[] = L"NOT_READY";

// Constants of the credential scrambling; stored files depend on them, so they never change.
const unsigned int OBFUSCATION_SEED = 0x7A3C91E5u;
const unsigned int OBFUSCATION_MULTIPLIER = 1664525u;
const unsigned int OBFUSCATION_INCREMENT = 1013904223u;

TPacketSPtr MakeInternalPacket(int chunk)
{
    const TPacketSPtr packet = std::make_shared<CPacket>(CPacket::INTERNAL);
    packet->AddAttr(std::make_shared<CAttribute>(KEY_CHUNKTYPE, TYPE_INT32, chunk));
    return packet;
}

}  // namespace

CNetModule::CNetModule()
    : m_pNetListener(nullptr), m_lastConnecting(false), m_forcedDisconnectInProgress(false), m_storage(nullptr)
{}

CNetModule::~CNetModule()
{
    Terminate();
}

bool CNetModule::Initialize(INetListener* listener, IPersistentStorage* storage, CProperties* properties)
{
    assert(m_pNetListener == nullptr && "m_pNetListener == __null");
    m_pNetListener = listener;
    m_storage = storage;
    m_settings.reset(new CConnectionSettings(properties));
    m_session.reset(new CSession(this, storage, m_settings.get()));
    m_receiver.reset(new CPacketReceiver(m_session.get()));
    m_sender.reset(new CPacketSender(m_session.get(), m_settings.get()));
    if (m_reconnectWait) {
        m_sender->SetReconnectWait(m_reconnectWait);
    }
    SetWakeup(m_wakeup);
    const bool receiverStarted = m_receiver->Initialize();
    const bool senderStarted = m_sender->Initialize();
    return receiverStarted && senderStarted;
}

void CNetModule::Terminate()
{
    if (m_sender) {
        LogInfo() << "CNetModule::Terminate - Stopping packet sender." << std::endl;
        m_sender->Stop();
    }
    if (m_receiver) {
        LogInfo() << "CNetModule::Terminate - Stopping packet receiver." << std::endl;
        m_receiver->Stop();
    }
    if (m_session) {
        // Ends a connection attempt and wakes a thread blocked in a read or write, so the joins below
        // do not wait for time-outs.
        m_session->SetForceDisconnect(true);
    }
    if (m_sender) {
        LogInfo() << "CNetModule::Terminate - Detroying packet sender." << std::endl;
        m_sender.reset();
    }
    if (m_receiver) {
        LogInfo() << "CNetModule::Terminate - Detroying packet receiver." << std::endl;
        m_receiver.reset();
    }
    if (m_session) {
        LogInfo() << "CNetModule::Terminate - Detroying session." << std::endl;
        m_session.reset();
    }
    if (m_settings) {
        LogInfo() << "CNetModule::Terminate - Detroying connection settings." << std::endl;
        m_settings.reset();
    }
}

void CNetModule::SetWakeup(IWakeup* wakeup)
{
    m_wakeup = wakeup;
    if (m_receiver) {
        m_receiver->SetWakeup(wakeup);
    }
    if (m_sender) {
        m_sender->SetWakeup(wakeup);
    }
}

void CNetModule::SendPacket(TPacketSPtr packet)
{
    if (m_sender) {
        m_sender->SendPacket(packet);
    }
}

bool CNetModule::Process()
{
    bool delivered = false;
    while (const TPacketSPtr sent = m_sender->GetSentQueue()->Pop()) {
        HandleSentPacket(sent, &delivered);
    }
    const bool connecting = m_sender->GetConnectingState();
    if (connecting != m_lastConnecting) {
        m_lastConnecting = connecting;
        if (connecting) {
            m_pNetListener->OnConnecting();
        }
    }
    if (!delivered && m_pNetListener->TakesReceivedPackets()) {
        TPacketSPtr received;
        ReceivePacket(&received);
        if (received && !m_forcedDisconnectInProgress) {
            m_pNetListener->OnPacketReceived(received);
            delivered = true;
        }
    }
    return delivered;
}

void CNetModule::HandleSentPacket(const TPacketSPtr& packet, bool* delivered)
{
    if (!m_forcedDisconnectInProgress) {
        m_pNetListener->OnPacketSent(packet);
    }
    int waitingRequest = -1;
    switch (ChunkKindOf(packet)) {
    case CHUNK_FORCED_DISCONNECT:
        EraseSavedCredentials();
        m_receiver->ClearQueue();
        m_forcedDisconnectInProgress = false;
        if (packet->GetAttrInt32(KEY_WAITING_REQUEST_CHUNK, &waitingRequest) &&
            (waitingRequest == CHUNK_LOGIN || waitingRequest == CHUNK_REGISTERUSER)) {
            // The login attempt gets its answer.
            m_pNetListener->OnPacketReceived(packet);
            *delivered = true;
        }
        break;
    case CHUNK_NO_NETWORK:
        if (!CSocket::HaveHadWorkingConnection()) {
            FailPendingRequests(NETWORK_ERROR_NO_NETWORK);
        } else {
            SignalNetworkDown();
        }
        break;
    case CHUNK_NETWORK_IFACE_REQUEST:
        HandleInterfaceRequest();
        break;
    default:
        break;
    }
}

void CNetModule::HandleInterfaceRequest()
{
    std::wstring name;
    switch (m_pNetListener->OnInterfaceRequest(&name)) {
    case INTERFACE_READY:
        SendInterfaceAnswer(name);
        break;
    case INTERFACE_NOT_READY:
        SendInterfaceAnswer(NOT_READY_ADDRESS);
        break;
    case INTERFACE_OUTSIDE_HOME:
        FailPendingRequests(NETWORK_ERROR_OUTSIDE_HOME);
        break;
    default:
        FailPendingRequests(NETWORK_ERROR_NO_INTERFACE);
        break;
    }
}

void CNetModule::SendInterfaceAnswer(const std::wstring& address)
{
    const TPacketSPtr answer = MakeInternalPacket(CHUNK_NETWORK_IFACE_REQUEST);
    answer->AddAttr(std::make_shared<CAttribute>(KEY_LOCAL_INTERFACE_ADDRESS, TYPE_STRING, address));
    SendPacket(answer);
}

void CNetModule::FailPendingRequests(TNetworkErrorReason reason)
{
    m_sender->DiscardQueue();
    m_pNetListener->OnNetworkError(reason);
    m_receiver->ResetSession();
}

void CNetModule::Continue()
{
    SendPacket(MakeInternalPacket(CHUNK_HANDSHAKE_CONTINUE));
}

void CNetModule::Abort()
{
    SendPacket(MakeInternalPacket(CHUNK_HANDSHAKE_ABORT));
}

void CNetModule::RequestReconnect()
{
    m_session->SignalReconnectNeeded(false);
    m_sender->SignalWakeup();
}

void CNetModule::ForceDisconnect()
{
    m_forcedDisconnectInProgress = true;
    m_session->SetForceDisconnect(true);
    m_sender->Signal();
}

void CNetModule::ForceNewSessionReconnect()
{
    m_session->ForceNewSessionReconnect();
}

void CNetModule::SignalNetworkDown()
{
    CSocket::SignalNetworkDown();
    m_sender->SignalResetReconnect();
}

void CNetModule::PingPacketSender()
{
    m_sender->Signal();
}

void CNetModule::PutPacketOnReceiveQueue(TPacketSPtr packet)
{
    m_receiver->PutPacketOnQueue(packet);
}

bool CNetModule::ReceivePacket(TPacketSPtr* packet)
{
    *packet = m_receiver->ReceivePacket();
    return m_receiver->HavePackets();
}

std::wstring CNetModule::GetLocalConnectionAddress()
{
    return m_session ? m_session->GetLocalConnectionAddress() : std::wstring();
}

void CNetModule::SignalWaitWithPostingChats()
{
    m_sender->SignalWaitWithPostingChats();
}

std::wstring CNetModule::GetHeldPassword()
{
    return m_session ? m_session->GetHeldPassword() : std::wstring();
}

void CNetModule::ForgetPassword()
{
    if (m_session) {
        m_session->ForgetPassword();
    }
}

TPacketSPtr CNetModule::GetSavedCredentials()
{
    std::vector<unsigned char> stored;
    if (!m_storage->GetBytes(STORAGE_SAVED_DATA, &stored)) {
        return TPacketSPtr();
    }
    {
        CSynchronize guard(&m_savedDataLock);
        m_localSavedData = std::make_shared<TByteArray>(stored);
    }
    const TByteArraySPtr plain = std::make_shared<TByteArray>(stored);
    TwoWaySimpleObfuscate(plain.get());
    CByteArrayInputStream input(plain);
    return CPacket::Deserialize(&input);
}

void CNetModule::SetSavedCredentials(TPacketSPtr credentials)
{
    CByteArrayOutputStream body;
    credentials->Serialize(&body);
    TByteArraySPtr scrambled = body.ToByteArray();
    TwoWaySimpleObfuscate(scrambled.get());
    m_storage->SetBytes(STORAGE_SAVED_DATA, *scrambled);
    m_storage->RequestSynchronize();
    CSynchronize guard(&m_savedDataLock);
    m_localSavedData.reset();
}

void CNetModule::EraseSavedCredentials()
{
    std::vector<unsigned char> stored;
    const bool present = m_storage->GetBytes(STORAGE_SAVED_DATA, &stored);
    {
        CSynchronize guard(&m_savedDataLock);
        m_localSavedData = present ? std::make_shared<TByteArray>(stored) : TByteArraySPtr();
    }
    m_storage->Delete(STORAGE_USE_SAVED_DATA);
    m_storage->Delete(STORAGE_SAVED_DATA);
    m_storage->RequestSynchronize();
}

void CNetModule::RestoreLocallySavedCredentials()
{
    TByteArraySPtr local;
    {
        CSynchronize guard(&m_savedDataLock);
        local = m_localSavedData;
    }
    if (local) {
        m_storage->SetBytes(STORAGE_SAVED_DATA, *local);
        m_storage->RequestSynchronize();
    }
}

void CNetModule::TwoWaySimpleObfuscate(TByteArray* bytes)
{
    unsigned int state = OBFUSCATION_SEED;
    for (unsigned char& byte : *bytes) {
        byte ^= static_cast<unsigned char>(state & 0xFF);
        state = state * OBFUSCATION_MULTIPLIER + OBFUSCATION_INCREMENT;
    }
}

}  // namespace VexlaLib
