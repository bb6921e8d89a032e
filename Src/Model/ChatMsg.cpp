#include "Model/ChatMsg.h"

#include <cassert>
#include <cstddef>

namespace VexlaLib {

CChatMsg::CChatMsg(int msgType, int status, int timestamp, CChatMember* member)
    : m_msgType(msgType)
    , m_status(status)
    , m_timestamp(timestamp)
    , m_pMember(member)
{
    assert(m_pMember != NULL);
}

bool CChatMsg::SetStatus(int status)
{
    return AssignIfChanged(m_status, status);
}

bool CChatMsg::SetServerTimestamp(int timestamp)
{
    return AssignIfChanged(m_serverTimestamp, timestamp);
}

void CChatMsg::SetMember(CChatMember* member)
{
    assert(member != NULL);
    m_pMember = member;
}

}  // namespace VexlaLib
