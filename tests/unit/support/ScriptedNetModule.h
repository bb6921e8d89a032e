#pragma once

#include <deque>
#include <string>
#include <vector>

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Public/INetworkModule.h"
#include "Utils/IWakeup.h"
#include "TestPacket.h"

namespace VexlaTest {

// A network side without sockets: keeps what the library sends, and hands the packets a test
// queued to the library, one per Process call while the library takes them, as the real module does. A
// forced disconnect queues
// the internal CHUNK_FORCED_DISCONNECT when a login or registration was waiting, like the real one.
class CScriptedNetModule : public VexlaLib::INetworkModule {
public:
    bool Initialize(VexlaLib::INetListener* listener, VexlaLib::IPersistentStorage*, VexlaLib::CProperties*) override
    {
        m_listener = listener;
        return m_initializeResult;
    }
    void Terminate() override { m_terminated = true; }
    void SendPacket(VexlaLib::TPacketSPtr packet) override
    {
        m_sent.push_back(packet);
        const int chunk = ChunkOf(packet);
        if (chunk == VexlaLib::CHUNK_LOGIN || chunk == VexlaLib::CHUNK_REGISTERUSER) {
            m_waitingRequest = chunk;
            // Like the real session, a request that names the account leaves its password held.
            if (packet->GetAttr(VexlaLib::KEY_VEXLANAME))
                packet->GetAttrString(VexlaLib::KEY_PASSWORD, &m_heldPassword);
        }
    }
    bool Process() override
    {
        if (m_incoming.empty() || !m_listener->TakesReceivedPackets())
            return false;
        VexlaLib::TPacketSPtr packet = m_incoming.front();
        m_incoming.pop_front();
        const int chunk = ChunkOf(packet);
        if (chunk == VexlaLib::CHUNK_LOGGEDIN || chunk == VexlaLib::CHUNK_LOGGEDOUT)
            m_waitingRequest = -1;
        m_listener->OnPacketReceived(packet);
        return true;
    }
    void RequestReconnect() override { ++m_reconnects; }
    void ForceDisconnect() override
    {
        ++m_forcedDisconnects;
        if (m_waitingRequest < 0)
            return;
        m_incoming.clear();
        Receive(CTestPacket(VexlaLib::CHUNK_FORCED_DISCONNECT, VexlaLib::CPacket::INTERNAL)
                    .Int(VexlaLib::KEY_WAITING_REQUEST_CHUNK, m_waitingRequest));
        m_waitingRequest = -1;
    }
    void ForceNewSessionReconnect() override {}
    void SignalNetworkDown() override {}
    std::wstring GetLocalConnectionAddress() override { return L"127.0.0.1"; }
    VexlaLib::TPacketSPtr GetSavedCredentials() override { return m_savedCredentials; }
    void SetSavedCredentials(VexlaLib::TPacketSPtr credentials) override { m_savedCredentials = credentials; }
    void EraseSavedCredentials() override
    {
        m_savedCredentials.reset();
        ++m_erasures;
    }
    void RestoreLocallySavedCredentials() override {}
    std::wstring GetHeldPassword() override { return m_heldPassword; }
    void ForgetPassword() override
    {
        m_heldPassword.clear();
        ++m_passwordWipes;
    }
    void SetWakeup(VexlaLib::IWakeup* wakeup) override { m_wakeup = wakeup; }

    // Queues the packet and, like the receiver thread, wakes whoever runs the processing step.
    void Receive(const CTestPacket& packet)
    {
        m_incoming.push_back(packet.Build());
        if (m_wakeup != nullptr)
            m_wakeup->Wakeup();
    }
    std::vector<VexlaLib::TPacketSPtr> SentOfChunk(int chunk) const
    {
        std::vector<VexlaLib::TPacketSPtr> found;
        for (const VexlaLib::TPacketSPtr& packet : m_sent)
            if (ChunkOf(packet) == chunk)
                found.push_back(packet);
        return found;
    }
    VexlaLib::TPacketSPtr LastSent() const { return m_sent.empty() ? VexlaLib::TPacketSPtr() : m_sent.back(); }

    VexlaLib::INetListener* m_listener = nullptr;
    VexlaLib::IWakeup* m_wakeup = nullptr;
    bool m_initializeResult = true;
    bool m_terminated = false;
    std::vector<VexlaLib::TPacketSPtr> m_sent;
    std::deque<VexlaLib::TPacketSPtr> m_incoming;
    VexlaLib::TPacketSPtr m_savedCredentials;
    int m_waitingRequest = -1;
    int m_reconnects = 0;
    int m_forcedDisconnects = 0;
    int m_erasures = 0;
    std::wstring m_heldPassword;
    int m_passwordWipes = 0;
};

}  // namespace VexlaTest
