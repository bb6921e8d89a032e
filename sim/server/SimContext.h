#pragma once

#include <string>

namespace ServerSim {

class CCallDesk;
class CContactDirectory;
class CChatStore;
class CDirectives;
class CEventLog;
class CScenario;
class CServerSim;
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
    // The contacts side and the listening server (to reach other clients); null where not served.
    CContactDirectory* contacts = nullptr;
    CServerSim* server = nullptr;
    CChatStore* chats = nullptr;  // the chats; none in setups that serve no chats
    CCallDesk* calls = nullptr;   // call set-ups, dial-out numbers and voicemails; none where not served
    std::string captureDir = {};  // where each connection's capture goes (StreamCapture); none when empty
};

}  // namespace ServerSim
