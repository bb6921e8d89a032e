#pragma once
// The simulated network's server inside the test process: the simulator's keys, an empty scenario, the
// remembered sessions, the directives and the event log, and the server over the simulator's chunk
// dispatcher. A fixture built on it applies its scenario, then listens and starts the server; the core
// wakes whoever waits for an event and stops the server when it goes.

#include "Directives.h"
#include "EventLog.h"
#include "Scenario.h"
#include "ServerKeys.h"
#include "ServerSim.h"
#include "SessionTable.h"
#include "SimContext.h"
#include "SimNetwork.h"

namespace SimTest {

class CSimServerCore
{
protected:
    CSimServerCore()
        : m_keys(VEXLA_SERVER_SIM_KEYS_DIR),
          m_sessions(""),
          m_context{m_keys, m_scenario, m_sessions, m_directives, m_events},
          m_server(m_context, m_network.Dispatcher())
    {
    }
    ~CSimServerCore()
    {
        m_events.Stop();
        m_server.Stop();
    }
    CSimServerCore(const CSimServerCore&) = delete;
    CSimServerCore& operator=(const CSimServerCore&) = delete;

    ServerSim::CServerKeys m_keys;
    ServerSim::CScenario m_scenario;
    ServerSim::CSessionTable m_sessions;
    ServerSim::CDirectives m_directives;
    ServerSim::CEventLog m_events;
    ServerSim::SSimContext m_context;
    ServerSim::CSimNetwork m_network;
    ServerSim::CServerSim m_server;
};

}  // namespace SimTest
