#include "Tesk/App/DaemonAssembly.h"

#include "Tesk/App/DaemonOptions.h"
#include "Tesk/App/VexlaServiceApplication.h"
#include "Tesk/App/VexlaSession.h"

bool CDaemonAssembly::Assemble(GMainLoop* mainLoop, const CDaemonOptions&)
{
    m_session = new CVexlaSession(mainLoop);
    CVexlaServiceApplication::pVexlaSession = m_session;
    return true;
}

void CDaemonAssembly::TearDown()
{
    delete m_session;
    m_session = nullptr;
    CVexlaServiceApplication::pVexlaSession = nullptr;
}
