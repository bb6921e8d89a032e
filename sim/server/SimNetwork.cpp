#include "SimNetwork.h"

namespace ServerSim {

CSimNetwork::CSimNetwork()
{
    m_dispatcher.Register(m_handshake);
    m_dispatcher.Register(m_login);
    m_dispatcher.Register(m_chats);
}

}  // namespace ServerSim
