#include "Model/ObjectBase.h"

#include <cassert>

namespace VexlaLib {

CObjectBase::CObjectBase(eObjectType type, int handle)
    : m_type(type)
    , m_handle(handle)
{
    assert(m_handle != 0);
}

const char* CObjectBase::GetTypeStr() const
{
    switch (m_type) {
    case OBJECT_CONTACT:
        return "(B)";
    case OBJECT_AUTHREQUEST:
        return "(A)";
    case OBJECT_VOICEMAIL:
        return "(V)";
    case OBJECT_CHAT:
        return "(C)";
    }
    assert(false);
    return "(?)";
}

}  // namespace VexlaLib
