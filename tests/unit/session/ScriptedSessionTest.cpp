// The session's processing step and the display handler, on a scripted network side.

#include <gtest/gtest.h>

#include "Network/AttrChunk.h"
#include "Network/AttrKey.h"
#include "SessionTestSupport.h"
#include "Tesk/App/DisplayEventHandler.h"
#include "Tesk/App/DisplayServiceClient.h"

namespace VexlaTest {
namespace {

class SessionStepTest : public CScriptedSessionFixture {};

TEST_F(SessionStepTest, IdleEventRaisedOncePerIdlePeriodWhileLoggedIn)
{
    m_session->ProcessStep();
    EXPECT_EQ(m_listener.CountNamed("OnCustomEvent"), 0u);

    SignIn();
    ASSERT_EQ(m_session->GetLoginState(), CVexlaSession::LOGIN_STATE_LOGGED_IN);
    m_listener.Clear();
    for (int i = 0; i < 5; ++i)
        m_session->ProcessStep();
    EXPECT_EQ(m_listener.Count("OnCustomEvent(1)"), 1u);

    m_net->Receive(CTestPacket(VexlaLib::CHUNK_GETPRESENCEUPDATE));
    m_session->ProcessStep();
    EXPECT_EQ(m_listener.Count("OnCustomEvent(1)"), 1u);
    m_session->ProcessStep();
    m_session->ProcessStep();
    EXPECT_EQ(m_listener.Count("OnCustomEvent(1)"), 2u);
}

TEST_F(SessionStepTest, ShutdownRequestTakesEffectAtTheNextStep)
{
    m_session->RequestShutdown();
    EXPECT_FALSE(m_session->IsShutdownDone());
    m_session->ProcessStep();
    EXPECT_TRUE(m_session->IsShutdownDone());
}

TEST_F(SessionStepTest, QuitRequestQuitsTheMainLoopAtTheNextTickNotAtOnce)
{
    struct TContext {
        CVexlaSession* session;
        bool doneRightAfterRequest;
    } context{m_session.get(), true};
    g_idle_add(
        [](gpointer data) -> gboolean {
            TContext* context = static_cast<TContext*>(data);
            context->session->RequestShutdown();
            context->doneRightAfterRequest = context->session->IsShutdownDone();
            return G_SOURCE_REMOVE;
        },
        &context);
    g_main_loop_run(m_loop);
    EXPECT_FALSE(context.doneRightAfterRequest);
    EXPECT_TRUE(m_session->IsShutdownDone());
}

TEST_F(SessionStepTest, TerminatingAnUnusedSessionChangesNothing)
{
    m_session->TerminateSession();
    EXPECT_EQ(m_session->GetUseCount(), 0);
    EXPECT_TRUE(m_net->SentOfChunk(VexlaLib::CHUNK_LOGOUT).empty());
}

TEST_F(SessionStepTest, NoAddressYetUntilTheConnectionManagerReports)
{
    std::wstring address = L"untouched";
    EXPECT_EQ(m_session->OnInterfaceRequest(&address), VexlaLib::INTERFACE_NOT_READY);
    EXPECT_EQ(address, L"untouched");
    EXPECT_TRUE(m_session->IsConnectionAvailabile());
    EXPECT_FALSE(m_session->IsOnPhoneCall());
}

class DisplayEventHandlerTest : public CScriptedSessionFixture {
protected:
    void SetUp() override
    {
        CScriptedSessionFixture::SetUp();
        m_handler.reset(new CDisplayEventHandler(m_session.get(), &m_displayClient));
        SignIn();
        m_net->m_sent.clear();
    }
    void TearDown() override
    {
        m_handler.reset();
        CScriptedSessionFixture::TearDown();
    }

    // The client states sent so far, in order.
    std::vector<int> ClientStates() const
    {
        std::vector<int> states;
        for (const VexlaLib::TPacketSPtr& packet : m_net->SentOfChunk(VexlaLib::CHUNK_CHANGEONLINESTATUS))
            states.push_back(IntOf(packet, VexlaLib::KEY_CLIENTSTATE));
        return states;
    }
    size_t PresenceRequests() const { return m_net->SentOfChunk(VexlaLib::CHUNK_GETPRESENCEUPDATE).size(); }

    CDisplayServiceClient m_displayClient;
    std::unique_ptr<CDisplayEventHandler> m_handler;
};

TEST_F(DisplayEventHandlerTest, OffThenOnGoesBackgroundThenForegroundWithOnePresenceRequest)
{
    m_handler->OnDisplayEvent(L"on", L"displayOn", nullptr);
    EXPECT_TRUE(ClientStates().empty());

    m_handler->OnDisplayEvent(L"off", L"displayOff", nullptr);
    EXPECT_EQ(ClientStates(), std::vector<int>{1});
    EXPECT_EQ(PresenceRequests(), 0u);
    EXPECT_FALSE(m_handler->IsScreenOn());

    m_handler->OnDisplayEvent(L"on", L"displayOn", nullptr);
    EXPECT_EQ(ClientStates(), (std::vector<int>{1, 0}));
    EXPECT_EQ(PresenceRequests(), 1u);
}

TEST_F(DisplayEventHandlerTest, EventDecidesOnlyWithoutAState)
{
    m_handler->OnDisplayEvent(L"", L"displayOff", nullptr);
    EXPECT_FALSE(m_handler->IsScreenOn());
    m_handler->OnDisplayEvent(L"", L"", nullptr);
    m_handler->OnDisplayEvent(L"dimmed", L"somethingElse", nullptr);
    EXPECT_FALSE(m_handler->IsScreenOn());
    // A state wins over a contradicting event.
    m_handler->OnDisplayEvent(L"on", L"displayOff", nullptr);
    EXPECT_TRUE(m_handler->IsScreenOn());
    EXPECT_EQ(ClientStates(), (std::vector<int>{1, 0}));
}

TEST_F(DisplayEventHandlerTest, IdenticalRepliesChangeNothing)
{
    m_handler->OnDisplayEvent(L"off", L"displayOff", nullptr);
    m_handler->OnDisplayEvent(L"off", L"displayOff", nullptr);
    m_handler->OnDisplayEvent(L"on", L"displayOn", nullptr);
    m_handler->OnDisplayEvent(L"on", L"displayOn", nullptr);
    EXPECT_EQ(ClientStates(), (std::vector<int>{1, 0}));
    EXPECT_EQ(PresenceRequests(), 1u);
}

}  // namespace
}  // namespace VexlaTest
