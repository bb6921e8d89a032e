#pragma once

#include <glib.h>

#include <memory>

#include "support/LibraryFixture.h"
#include "Public/VexlaLib.h"
#include "Tesk/App/VexlaSession.h"
#include "Tesk/Core/TeskService.h"
#include "Utils/LocalStorage.h"

namespace VexlaTest {

// A session on a scripted network side and the fake clock, with a messaging endpoint that has no bus
// connection (its platform calls fail at once). Tests run processing steps themselves.
class CScriptedSessionFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_loop = g_main_loop_new(nullptr, FALSE);
        m_storage.Initialize();
        std::unique_ptr<CScriptedNetModule> net(new CScriptedNetModule);
        m_net = net.get();
        m_session.reset(new CVexlaSession(&m_storage, m_loop, &m_service, std::move(net)));
        Library().AddListener(&m_listener);
    }
    void TearDown() override
    {
        Library().RemoveListener(&m_listener);
        m_session.reset();
        g_main_loop_unref(m_loop);
    }

    VexlaLib::CVexlaLib& Library() { return *m_session->GetLibrary(); }
    // Signs the library in straight through its facade, as a login the session asked for would.
    void SignIn()
    {
        Library().Login(L"alice", L"secret");
        m_net->Receive(CTestPacket(VexlaLib::CHUNK_LOGGEDIN));
        for (int i = 0; i < 100 && !m_net->m_incoming.empty(); ++i)
            m_session->ProcessStep();
    }

    CFakeClock m_clock;
    GMainLoop* m_loop = nullptr;
    VexlaLib::CLocalStorage m_storage;
    CTeskService m_service;
    CScriptedNetModule* m_net = nullptr;
    CRecordingListener m_listener;
    std::unique_ptr<CVexlaSession> m_session;
};

}  // namespace VexlaTest
