#include "Model/EventBase.h"

#include "Model/AssignIfChanged.h"
#include "Utils/Utils.h"

namespace VexlaLib {

CEventBase::CEventBase(eObjectType type, int handle)
    : CObjectBase(type, handle)
    , m_localTimestamp(static_cast<int>(CUtils::CurrentTimeInSec()))
{
}

bool CEventBase::SetEventLocalTimestamp(int timestamp)
{
    return AssignIfChanged(m_localTimestamp, timestamp);
}

bool CEventBase::SetEventServerTimestamp(int timestamp)
{
    return AssignIfChanged(m_serverTimestamp, timestamp);
}

}  // namespace VexlaLib
