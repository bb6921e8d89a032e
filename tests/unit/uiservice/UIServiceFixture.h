#pragma once
// com.vexla.ui in the test process against both simulators: platform-sim's services on a private bus
// (as both buses), the simulated Vexla network on loopback, a real session in between, and a bus
// client that calls the service the way the Vexla screens do.

#include <gtest/gtest.h>
#include <glib.h>

#include <memory>
#include <string>
#include <vector>

#include "Public/VexlaLib.h"
#include "Tesk/App/VexlaSession.h"
#include "Tesk/App/VexlaUIService.h"
#include "Tesk/Core/BusConnection.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/BusService.h"
#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/JSONObject.h"
#include "Tesk/Core/TeskService.h"
#include "Utils/LocalStorage.h"
#include "Utils/Properties.h"
#include "serversim/SimFixture.h"
#include "support/LogCapture.h"
#include "support/PlatformBus.h"

namespace UITest {

using TestSupport::RunUntil;

// One OnLoginSuccess_setup handover as the messaging transport would get it.
struct THandover {
    std::wstring user, accountId, loginStateId, mood;
    int availability;
};

class UIServiceFixture : public SimTest::SimFixture {
protected:
    void SetUp() override
    {
        VexlaTest::CLogCapture::Get().Clear();
        ASSERT_TRUE(m_bus.StartPlatform());
        std::string error;

        // The messaging transport's name, holding "onDelete" so a deleted account stays "beingDeleted".
        ASSERT_TRUE(m_im.Register("com.vexla.im", BUS_SCOPE_PRIVATE, &error)) << error;
        ASSERT_TRUE(m_im.AddCategory("/", {{"onDelete", [this](const TBusMessageSPtr& m) { m_heldDeletes.push_back(m); }}},
                                     &error));
        ASSERT_TRUE(m_imClient.Register(nullptr, false));
        m_loop = g_main_loop_new(nullptr, FALSE);
        m_storage.Initialize();
        m_session.reset(new CVexlaSession(&m_storage, m_loop, &m_imClient));
        Library().SetProperty(VexlaLib::CProperties::SERVER_ENVIRONMENT, L"TEST");
        Library().SetProperty(L"SERVER_ADDRESS_LIST", L"127.0.0.1:" + std::to_wstring(m_server.Port()));
        Library().SetProperty(VexlaLib::CProperties::USE_SDF_SERVER, L"NO");
        ASSERT_TRUE(RunUntil([this] {
            std::wstring address;
            return m_session->OnInterfaceRequest(&address) == VexlaLib::INTERFACE_READY;
        }));

        m_ui.reset(new CVexlaUIService(m_session.get(), [this](const std::wstring& user, const std::wstring& accountId,
                                                                const std::wstring& loginStateId,
                                                                const std::wstring& mood, int availability) {
            m_handovers.push_back({user, accountId, loginStateId, mood, availability});
        }));
        ASSERT_TRUE(m_ui->Register("com.vexla.ui", true));
        ASSERT_TRUE(m_ui->AttachMainLoop(m_loop));
        m_client = CBusConnection::Open(m_bus.Address(), &error);
        ASSERT_TRUE(m_client) << error;
    }

    void TearDown() override
    {
        m_client.reset();
        m_ui.reset();
        if (m_session) {
            while (m_session->GetUseCount() > 0)
                m_session->TerminateSession();
            m_session.reset();
        }
        m_heldDeletes.clear();
        m_imClient.Shutdown();
        m_bus.StopPlatform();
        if (m_loop != nullptr)
            g_main_loop_unref(m_loop);
    }

    VexlaLib::CVexlaLib& Library() { return *m_session->GetLibrary(); }
    bool LoggedIn() const { return m_session->GetLoginState() == CVexlaSession::LOGIN_STATE_LOGGED_IN; }

    // Calls a method of com.vexla.ui; every reply lands in `replies`. Returns the call's serial.
    uint32_t Start(const std::string& method, const std::string& payload, std::vector<std::string>* replies,
                   TBusReplies kind = BUS_ONE_REPLY)
    {
        std::string error;
        const uint32_t serial = m_client->Call("nylo://com.vexla.ui/" + method, payload, kind,
                                               [replies](const CBusReply& reply) { replies->push_back(reply.Payload()); },
                                               &error);
        EXPECT_NE(serial, 0u) << error;
        return serial;
    }
    // Calls a method and waits for its first reply.
    CJSONObject Call(const std::string& method, const std::string& payload = "{}")
    {
        std::vector<std::string> replies;
        Start(method, payload, &replies);
        EXPECT_TRUE(RunUntil([&] { return !replies.empty(); }, 20000)) << "no reply to " << method;
        return CJSONObject(replies.empty() ? "" : replies.front().c_str());
    }
    // Calls a platform method over the test's own client and waits for the reply.
    CJSONObject Platform(const std::string& uri, const std::string& payload)
    {
        std::vector<std::string> replies;
        std::string error;
        m_client->Call(uri, payload, BUS_ONE_REPLY, [&](const CBusReply& reply) { replies.push_back(reply.Payload()); },
                       &error);
        EXPECT_TRUE(RunUntil([&] { return !replies.empty(); })) << uri;
        return CJSONObject(replies.empty() ? "" : replies.front().c_str());
    }
    std::wstring AddAccount(const std::string& username)
    {
        std::wstring id;
        Platform("nylo://com.nylo.sim/addAccount",
                 R"({"username": ")" + username + R"(", "password": "x", "enable": false})")
            .GetString("accountId", &id);
        return id;
    }
    // The login-state records in the db.
    CJSONArray LoginStates()
    {
        CJSONArray results;
        Platform("nylo://com.nylo.db/find", R"({"query": {"from": "com.nylo.imloginstate.vexla:1"}})")
            .GetArray("results", &results);
        return results;
    }

    void SignIn(const std::wstring& user = L"alice", const std::wstring& password = L"secret")
    {
        ASSERT_TRUE(m_session->StartNewSession(user, password));
        ASSERT_TRUE(RunUntil([this] { return LoggedIn(); })) << "not signed in";
    }
    // How often the service ended the main loop since the test began.
    static size_t Quits() { return VexlaTest::CLogCapture::Get().Count(L"nothing left to serve"); }

    static std::string Str(const CJSONObject& reply, const char* key)
    {
        std::wstring value;
        reply.GetString(key, &value);
        return std::string(value.begin(), value.end());
    }
    static bool ReturnValue(const CJSONObject& reply)
    {
        bool value = false;
        reply.GetBool("returnValue", &value);
        return value;
    }
    // Events the simulated network recorded whose text holds the fragment.
    size_t Received(const std::string& chunk) const
    {
        size_t count = 0;
        for (const std::string& line : m_events.Since(0))
            if (line.find("\"type\":\"received\"") != std::string::npos &&
                line.find("\"chunk\":\"" + chunk + "\"") != std::string::npos)
                ++count;
        return count;
    }

    TestSupport::CPlatformBus m_bus;
    CBusService m_im;
    std::vector<TBusMessageSPtr> m_heldDeletes;
    CTeskService m_imClient;
    GMainLoop* m_loop = nullptr;
    VexlaLib::CLocalStorage m_storage;
    std::unique_ptr<CVexlaSession> m_session;
    std::unique_ptr<CVexlaUIService> m_ui;
    std::vector<THandover> m_handovers;
    TBusConnectionSPtr m_client;
};

}  // namespace UITest
