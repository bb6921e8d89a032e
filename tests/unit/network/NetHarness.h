#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <mutex>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "Network/Attribute.h"
#include "Network/ChunkKind.h"
#include "Network/INetListener.h"
#include "Network/NetModule.h"
#include "Network/Socket.h"
#include "Utils/ILog.h"
#include "Utils/LocalStorage.h"
#include "Utils/Log.h"
#include "Utils/Properties.h"

namespace VexlaTest {

// Prints every log line to standard error, one writer at a time.
class CStderrLog : public VexlaLib::ILog {
public:
    void log(const std::wstring& text) override {
        std::lock_guard<std::mutex> guard(m_lock);
        std::fputws(text.c_str(), stderr);
    }

private:
    std::mutex m_lock;
};

// Records what the network module reports; called only from the thread that runs Process.
class CRecordingNetListener : public VexlaLib::INetListener {
public:
    int OnInterfaceRequest(std::wstring* name) override {
        ++interfaceRequests;
        *name = interfaceName;
        return interfaceAnswer;
    }
    void OnPacketSent(VexlaLib::TPacketSPtr packet) override { sent.push_back(packet); }
    void OnPacketReceived(VexlaLib::TPacketSPtr packet) override { received.push_back(packet); }
    void OnConnecting() override { ++connecting; }
    void OnNetworkError(VexlaLib::TNetworkErrorReason reason) override { errors.push_back(reason); }
    bool TakesReceivedPackets() override { return takesReceived; }

    static int CountOf(const std::vector<VexlaLib::TPacketSPtr>& packets, int chunk) {
        int count = 0;
        for (const VexlaLib::TPacketSPtr& packet : packets) {
            count += VexlaLib::ChunkKindOf(packet) == chunk ? 1 : 0;
        }
        return count;
    }
    VexlaLib::TPacketSPtr LastReceived(int chunk) const {
        for (auto it = received.rbegin(); it != received.rend(); ++it) {
            if (VexlaLib::ChunkKindOf(*it) == chunk) {
                return *it;
            }
        }
        return VexlaLib::TPacketSPtr();
    }
    // The integer attribute `key` of the last packet of the chunk received; a test failure and -1 when
    // there is no such packet or it lacks the attribute.
    int LastReceivedInt(int chunk, int key) const
    {
        int value = -1;
        VexlaLib::TPacketSPtr packet = LastReceived(chunk);
        EXPECT_TRUE(packet && packet->GetAttrInt32(key, &value)) << "chunk " << chunk << " without attribute " << key;
        return value;
    }

    int interfaceAnswer = VexlaLib::INTERFACE_READY;
    std::wstring interfaceName;
    int interfaceRequests = 0;
    int connecting = 0;
    bool takesReceived = true;
    std::vector<VexlaLib::TPacketSPtr> sent;
    std::vector<VexlaLib::TPacketSPtr> received;
    std::vector<VexlaLib::TNetworkErrorReason> errors;
};

// A network module over in-memory storage and test settings, with a recording listener; the test's
// thread plays the library's main thread through Pump.
class CNetHarness {
public:
    explicit CNetHarness(const std::wstring& servers) {
        // VEXLA_TEST_LOG=1 prints the library's log, for finding out why a case failed.
        static const bool logging = std::getenv("VEXLA_TEST_LOG") &&
                                    (VexlaLib::CLog::Instance().AddStream(0x1F, new CStderrLog), true);
        (void)logging;
        VexlaLib::CSocket::ResetSharedState();
        properties.Initialize();
        storage.Initialize();
        properties.SetString(L"SERVER_ENVIRONMENT", L"TEST");
        properties.SetString(L"USE_SDF_SERVER", L"NO");
        properties.SetString(L"SERVER_ADDRESS_LIST", servers);
        properties.SetString(L"ASK_FOR_REQUIRED_LOCAL_ADDRESS", L"0");
        properties.SetString(L"SOCKET_READ_TIMEOUT_DURING_HANDSHAKE", L"10");
        properties.SetString(L"SOCKET_READ_TIMEOUT_NORMAL_OPERATION", L"10");
    }
    ~CNetHarness() {
        module.Terminate();
        VexlaLib::CSocket::ResetSharedState();
    }

    bool Start() { return module.Initialize(&listener, &storage, &properties); }

    // Runs the processing step until `done` holds or `timeoutMs` has passed.
    bool Pump(const std::function<bool()>& done, int timeoutMs = 20000) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            module.Process();
            if (done()) {
                return true;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    }
    bool PumpUntilReceived(int chunk, int count = 1, int timeoutMs = 20000) {
        return Pump([this, chunk, count] { return CRecordingNetListener::CountOf(listener.received, chunk) >= count; },
                    timeoutMs);
    }

    static VexlaLib::TPacketSPtr LoginPacket(const std::wstring& name = L"alice") {
        VexlaLib::TPacketSPtr packet = std::make_shared<VexlaLib::CPacket>(VexlaLib::CPacket::OUTGOING);
        AddInt(packet, VexlaLib::KEY_CHUNKTYPE, VexlaLib::CHUNK_LOGIN);
        AddText(packet, VexlaLib::KEY_VEXLANAME, name);
        AddText(packet, VexlaLib::KEY_PASSWORD, L"secret");
        AddText(packet, VexlaLib::KEY_DEVICE_PSTNNUMBER, L"+15550100");
        return packet;
    }
    static void AddInt(const VexlaLib::TPacketSPtr& packet, int key, int value) {
        packet->AddAttr(std::make_shared<VexlaLib::CAttribute>(key, VexlaLib::TYPE_INT32, value));
    }
    static void AddText(const VexlaLib::TPacketSPtr& packet, int key, const std::wstring& value) {
        packet->AddAttr(std::make_shared<VexlaLib::CAttribute>(key, VexlaLib::TYPE_STRING, value));
    }

    VexlaLib::CProperties properties;
    VexlaLib::CLocalStorage storage;
    CRecordingNetListener listener;
    VexlaLib::CNetModule module;
};

}  // namespace VexlaTest
