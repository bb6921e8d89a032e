#pragma once

namespace ServerSim {

class CChatStore;
class CDirectives;
class CEventLog;
class CScenario;
class CServerKeys;
class CSessionTable;

// What the handlers of every connection share: the keys, the configuration, the remembered
// sessions, the planned deviations, the event log and the chats. Owned by main; outlives every connection.
struct SSimContext {
    const CServerKeys& keys;
    CScenario& scenario;
    CSessionTable& sessions;
    CDirectives& directives;
    CEventLog& events;
    CChatStore* chats = nullptr;  // the chats; none in setups that serve no chats
};

}  // namespace ServerSim
