#pragma once

#include "AccountDataHandler.h"
#include "AuthorizationHandler.h"
#include "BuddyListHandler.h"
#include "CallsHandler.h"
#include "ChatsHandler.h"
#include "ChunkDispatcher.h"
#include "ContactSearchHandler.h"
#include "HandshakeHandler.h"
#include "LoginHandler.h"
#include "SimPresenceHandler.h"

namespace ServerSim {

// The simulated network's areas, each a handler registered with the dispatcher by chunk kind. A
// new area is one more handler member registered in the constructor.
class CSimNetwork {
public:
    CSimNetwork();
    CSimNetwork(const CSimNetwork&) = delete;
    CSimNetwork& operator=(const CSimNetwork&) = delete;

    const CChunkDispatcher& Dispatcher() const { return m_dispatcher; }

private:
    CHandshakeHandler m_handshake;
    CLoginHandler m_login;
    CBuddyListHandler m_buddyList;
    CAuthorizationHandler m_authorization;
    CSimPresenceHandler m_presence;
    CContactSearchHandler m_search;
    CAccountDataHandler m_accountData;
    CChatsHandler m_chats;
    CCallsHandler m_calls;
    CChunkDispatcher m_dispatcher;
};

}  // namespace ServerSim
