#include "SimNetwork.h"

namespace ServerSim {

CSimNetwork::CSimNetwork()
{
    m_dispatcher.Register(m_handshake);
    m_dispatcher.Register(m_login);
    m_dispatcher.Register(m_buddyList);
    m_dispatcher.Register(m_authorization);
    m_dispatcher.Register(m_presence);
    m_dispatcher.Register(m_search);
    m_dispatcher.Register(m_accountData);
    m_dispatcher.Register(m_chats);
    m_dispatcher.Register(m_calls);
}

}  // namespace ServerSim
