#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "FakeClock.h"
#include "Public/VexlaLib.h"
#include "RecordingListener.h"
#include "ScriptedNetModule.h"
#include "TestPacket.h"
#include "Utils/LocalStorage.h"

namespace VexlaTest {

// A library on a scripted network side with the fake clock: tests queue server packets, run
// processing steps, move time and look at what was sent and which events the listener heard.
class CLibraryFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_storage.Initialize();
        std::unique_ptr<CScriptedNetModule> net(new CScriptedNetModule);
        m_net = net.get();
        ASSERT_TRUE(m_lib.Initialize(&m_storage, std::move(net)));
        m_lib.AddListener(&m_listener);
    }

    void Step() { m_lib.Process(); }
    // Runs steps until the scripted network has nothing left to deliver.
    void Drain()
    {
        Step();
        for (int i = 0; i < 10000 && !m_net->m_incoming.empty(); ++i)
            Step();
    }
    void Receive(const CTestPacket& packet) { m_net->Receive(packet); }
    void Advance(long long ms)
    {
        m_clock.Advance(ms);
        Step();
    }

    void SignIn(const std::wstring& name = L"alice")
    {
        m_lib.Login(name, L"secret");
        Receive(CTestPacket(VexlaLib::CHUNK_LOGGEDIN));
        Drain();
    }
    static CTestPacket BuddyRecord(int index, const std::wstring& name, int availability = 2)
    {
        return CTestPacket::Record()
            .Int(VexlaLib::KEY_BUDDYINDEX, index)
            .Str(VexlaLib::KEY_VEXLANAME, name)
            .Int(VexlaLib::KEY_CONTACTAVAILABILITY, availability);
    }
    // A buddy list page with the given records; status 0 completes the list.
    static CTestPacket BuddyList(int status, const std::vector<CTestPacket>& records, int bookmark = 0)
    {
        CTestPacket container = CTestPacket::Record();
        for (const CTestPacket& record : records)
            container.Sub(VexlaLib::KEY_BUDDYRECORDS, record);
        CTestPacket packet(VexlaLib::CHUNK_BUDDYLIST);
        packet.Int(VexlaLib::KEY_BOOKMARK, bookmark)
            .Int(VexlaLib::KEY_BUDDYLIST_STATUS, status)
            .Int(VexlaLib::KEY_RECORDCOUNT, static_cast<int>(records.size()))
            .Sub(VexlaLib::KEY_BUDDYRECORDS, container);
        return packet;
    }
    // Signs in with a complete list and forgets the events of the sign-in.
    void SignInWithList(const std::vector<CTestPacket>& records)
    {
        SignIn();
        Receive(BuddyList(0, records));
        Drain();
        m_listener.Clear();
    }

    CFakeClock m_clock;
    VexlaLib::CLocalStorage m_storage;
    VexlaLib::CVexlaLib m_lib;
    CScriptedNetModule* m_net = nullptr;
    CRecordingListener m_listener;
};

}  // namespace VexlaTest
