#pragma once
// com.vexla.call on a private bus with the phone-side call handler, a session whose library runs on
// the scripted network side and the fake clock, and platform-sim's services for the databases and
// the data connection. Tests call the service as the phone application does and script the server.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "Network/Packet.h"
#include "Public/VexlaLib.h"
#include "Tesk/App/Meridex/CallHandler.h"
#include "Tesk/App/Meridex/TeskCallService.h"
#include "Tesk/App/VexlaSession.h"
#include "Tesk/Core/BusConnection.h"
#include "Tesk/Core/BusReply.h"
#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/JSONObject.h"
#include "Tesk/Core/TeskService.h"
#include "Utils/LocalStorage.h"
#include "support/FakeClock.h"
#include "support/PlatformBus.h"
#include "support/ScriptedNetModule.h"
#include "support/TestPacket.h"

namespace VexlaTest {

// The replies one call of the test client received, in order.
using TReplies = std::shared_ptr<std::vector<CJSONObject>>;

class CTelephonyFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_bus.StartPlatform());
        m_loop = g_main_loop_new(nullptr, FALSE);
        ASSERT_TRUE(m_im.Register(nullptr, false));
        m_storage.Initialize();
        std::unique_ptr<CScriptedNetModule> net(new CScriptedNetModule);
        m_net = net.get();
        m_session.reset(new CVexlaSession(&m_storage, m_loop, &m_im, std::move(net)));
        ASSERT_TRUE(m_callService.Register("com.vexla.call", false));
        ASSERT_TRUE(m_callService.AttachMainLoop(m_loop));
        m_handler.reset(new CCallHandler(m_session.get(), &m_callService));
        std::string error;
        m_client = CBusConnection::Open(m_bus.Address(), &error);
        ASSERT_TRUE(m_client) << error;
        // The first connection status tells the session the data connection is up.
        ASSERT_TRUE(TestSupport::RunUntil([this] {
            std::wstring address;
            return m_session->OnInterfaceRequest(&address) == 0;
        }));
    }

    void TearDown() override
    {
        m_client.reset();
        m_handler.reset();
        m_callService.Shutdown();
        m_session.reset();
        m_im.Shutdown();
        m_bus.StopPlatform();
        if (m_loop != nullptr)
            g_main_loop_unref(m_loop);
    }

    VexlaLib::CVexlaLib& Library() { return *m_session->GetLibrary(); }

    // Calls `uri` from the test client; every reply lands in the returned list.
    TReplies Send(const std::string& uri, const std::string& payload, TBusReplies replies = BUS_ONE_REPLY)
    {
        TReplies received = std::make_shared<std::vector<CJSONObject>>();
        std::string error;
        EXPECT_NE(0u, m_client->Call(uri, payload, replies,
                                     [received](const CBusReply& reply) {
                                         received->push_back(CJSONObject(reply.Payload().c_str()));
                                     },
                                     &error))
            << error;
        return received;
    }
    TReplies CallService(const std::string& method, const std::string& payload = "{}",
                         TBusReplies replies = BUS_ONE_REPLY)
    {
        return Send("nylo://com.vexla.call/" + method, payload, replies);
    }
    // Waits for the `count`th reply and returns it (an empty object when none came).
    static CJSONObject Reply(const TReplies& replies, size_t count = 1)
    {
        if (!TestSupport::RunUntil([&] { return replies->size() >= count; }))
            return CJSONObject();
        return (*replies)[count - 1];
    }
    // Calls a platform service and waits for its answer.
    CJSONObject Platform(const std::string& uri, const std::string& payload) { return Reply(Send(uri, payload)); }

    // Writes the account's login-state record.
    void PutLoginState(int availability, const std::string& state)
    {
        Platform("nylo://com.nylo.db/put",
                 R"({"objects":[{"_kind":"com.nylo.imloginstate.vexla:1","username":"alice","accountId":"acc1",)"
                 R"("availability":)" + std::to_string(availability) + R"(,"state":")" + state + R"("}]})");
    }
    CJSONObject LoginState()
    {
        CJSONArray results;
        CJSONObject record;
        Platform("nylo://com.nylo.db/find", R"({"query":{"from":"com.nylo.imloginstate.vexla:1"}})")
            .GetArray("results", &results);
        results.GetObject(0, &record);
        return record;
    }
    CJSONArray GatewayRecords()
    {
        CJSONArray results;
        Platform("nylo://com.nylo.tempdb/find", R"({"query":{"from":"com.vexla.gateway:1"}})")
            .GetArray("results", &results);
        return results;
    }
    void SetConnection(const std::string& payload)
    {
        Platform("nylo://com.nylo.sim/setConnection", payload);
    }

    // Server side.
    void Deliver(const CTestPacket& packet)
    {
        m_net->Receive(packet);
        ASSERT_TRUE(TestSupport::RunUntil([this] { return m_net->m_incoming.empty(); }));
        m_session->ProcessStep();
    }
    void SignIn()
    {
        Library().Login(L"alice", L"secret");
        Deliver(CTestPacket(VexlaLib::CHUNK_LOGGEDIN));
    }
    // bob (buddy index 3) and carol (index 12) complete the list.
    void DeliverBuddyList()
    {
        CTestPacket container = CTestPacket::Record();
        container.Sub(VexlaLib::KEY_BUDDYRECORDS, Buddy(3, L"bob")).Sub(VexlaLib::KEY_BUDDYRECORDS, Buddy(12, L"carol"));
        Deliver(CTestPacket(VexlaLib::CHUNK_BUDDYLIST)
                    .Int(VexlaLib::KEY_BOOKMARK, 0)
                    .Int(VexlaLib::KEY_BUDDYLIST_STATUS, 0)
                    .Int(VexlaLib::KEY_RECORDCOUNT, 2)
                    .Sub(VexlaLib::KEY_BUDDYRECORDS, container));
    }
    void SignInWithList()
    {
        SignIn();
        DeliverBuddyList();
    }
    // Methods, a dial-in prefix with range 10 and Vexla-out on.
    static CTestPacket CallSetup(const std::vector<int>& methods)
    {
        return CTestPacket(VexlaLib::CHUNK_CALLSETUP)
            .Ints(VexlaLib::KEY_CALLMETHODS, methods)
            .Str(VexlaLib::KEY_DIALIN_NUMBER_PREFIX, L"+4420")
            .Int(VexlaLib::KEY_DIALIN_NUMBER_RANGE_SIZE, 10)
            .Int(VexlaLib::KEY_VO_ENABLED, 1);
    }
    // Signed in with the buddy list, the given methods and an "online" login-state record.
    void Online(const std::vector<int>& methods)
    {
        PutLoginState(0, "online");
        SignInWithList();
        Deliver(CallSetup(methods));
    }
    // The request id of the last number request the library sent.
    int PlaceCallRequestId(std::wstring* target = nullptr)
    {
        std::vector<VexlaLib::TPacketSPtr> sent = m_net->SentOfChunk(VexlaLib::CHUNK_PLACECALL);
        if (sent.empty())
            return 0;
        if (target != nullptr)
            sent.back()->GetAttrString(VexlaLib::KEY_CALLTARGET, target);
        int id = 0;
        sent.back()->GetAttrInt32(VexlaLib::KEY_REQUEST_ID, &id);
        return id;
    }
    bool WaitForPlaceCall(size_t count = 1)
    {
        return TestSupport::RunUntil([&] { return m_net->SentOfChunk(VexlaLib::CHUNK_PLACECALL).size() >= count; });
    }
    void AnswerPlaceCall(const std::wstring& number)
    {
        Deliver(CTestPacket(VexlaLib::CHUNK_USEPSTNNUMBER)
                    .Int(VexlaLib::KEY_REQUEST_ID, PlaceCallRequestId())
                    .Str(VexlaLib::KEY_CALLPSTNNUMBER, number));
    }

    // Runs the main loop until something quits it; false when nothing did within the deadline.
    bool RunUntilDaemonEnds()
    {
        bool expired = false;
        const guint timer = g_timeout_add(
            10000,
            [](gpointer data) -> gboolean {
                auto* self = static_cast<CTelephonyFixture*>(data);
                self->m_loopExpired = true;
                g_main_loop_quit(self->m_loop);
                return G_SOURCE_REMOVE;
            },
            this);
        m_loopExpired = false;
        g_main_loop_run(m_loop);
        expired = m_loopExpired;
        if (!expired)
            g_source_remove(timer);
        return !expired;
    }

    // Runs until the daemon ends (a failure when it does not), then returns the first reply.
    CJSONObject ReplyOnceTheDaemonEnds(const TReplies& replies)
    {
        EXPECT_TRUE(RunUntilDaemonEnds());
        return Reply(replies);
    }
    // "errorCode: errorText" of a failure reply.
    static std::wstring Error(const CJSONObject& reply)
    {
        return std::to_wstring(Int(reply, "errorCode")) + L": " + Text(reply, "errorText");
    }

    static std::wstring Text(const CJSONObject& object, const char* key)
    {
        std::wstring text;
        object.GetString(key, &text);
        return text;
    }
    static int Int(const CJSONObject& object, const char* key)
    {
        int value = -12345;
        object.GetInt(key, &value);
        return value;
    }
    static bool ReturnValue(const CJSONObject& object)
    {
        bool value = false;
        return object.GetBool("returnValue", &value) && value;
    }

    CFakeClock m_clock;
    TestSupport::CPlatformBus m_bus;
    GMainLoop* m_loop = nullptr;
    bool m_loopExpired = false;
    CTeskService m_im;
    VexlaLib::CLocalStorage m_storage;
    CScriptedNetModule* m_net = nullptr;
    std::unique_ptr<CVexlaSession> m_session;
    CTeskCallService m_callService;
    std::unique_ptr<CCallHandler> m_handler;
    TBusConnectionSPtr m_client;

private:
    static CTestPacket Buddy(int index, const std::wstring& name)
    {
        return CTestPacket::Record()
            .Int(VexlaLib::KEY_BUDDYINDEX, index)
            .Str(VexlaLib::KEY_VEXLANAME, name)
            .Int(VexlaLib::KEY_CONTACTAVAILABILITY, 2);
    }
};

}  // namespace VexlaTest
