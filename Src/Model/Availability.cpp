#include "Model/Availability.h"

namespace VexlaLib {

const char* CAvailability::Lookup(int availability)
{
    switch (availability) {
    case UNKNOWN: return "UNKNOWN";
    case OFFLINE: return "OFFLINE";
    case ONLINE: return "ONLINE";
    case AWAY: return "AWAY";
    case NOT_AVAILABLE: return "NOT_AVAILABLE";
    case DO_NOT_DISTURB: return "DO_NOT_DISTURB";
    case INVISIBLE: return "INVISIBLE";
    case VEXLA_ME: return "VEXLA_ME";
    case PENDINGAUTH: return "PENDINGAUTH";
    case BLOCKED: return "BLOCKED";
    case VEXLAOUT: return "VEXLAOUT";
    case BLOCKED_VEXLAOUT: return "BLOCKED_VEXLAOUT";
    case OFFLINE_BUT_VM_ABLE: return "OFFLINE_BUT_VM_ABLE";
    case OFFLINE_BUT_CF_ABLE: return "OFFLINE_BUT_CF_ABLE";
    case CONNECTING: return "CONNECTING";
    case DELETED: return "DELETED";
    }
    return "<Invalid>";
}

}  // namespace VexlaLib
