#include "Tesk/App/VexlaSession.h"

namespace {

const guint kProcessIntervalMs = 100;

}  // namespace

CVexlaSession::CVexlaSession(GMainLoop* mainLoop)
    : m_shutdownRequested(false), m_shutdownDone(false), m_mainLoop(mainLoop), m_timeoutId(0)
{
    m_timeoutId = g_timeout_add(kProcessIntervalMs, &CVexlaSession::OnProcessTimeout, this);
}

CVexlaSession::~CVexlaSession()
{
    g_source_remove(m_timeoutId);
}

gboolean CVexlaSession::OnProcessTimeout(gpointer self)
{
    CVexlaSession* session = static_cast<CVexlaSession*>(self);
    if (session->m_shutdownRequested && !session->m_shutdownDone)
        session->DoShutdown();
    return TRUE;
}

void CVexlaSession::DoShutdown()
{
    g_main_loop_quit(m_mainLoop);
    m_shutdownDone = true;
}
