#pragma once

namespace ServerSim {

class CDirectives;
class CEventLog;
class CScenario;
class CServerKeys;
class CSessionTable;

// What the handlers of every connection share: the keys, the configuration, the remembered
// sessions, the planned deviations and the event log. Owned by main; outlives every connection.
struct SSimContext {
    const CServerKeys& keys;
    CScenario& scenario;
    CSessionTable& sessions;
    CDirectives& directives;
    CEventLog& events;
};

}  // namespace ServerSim
