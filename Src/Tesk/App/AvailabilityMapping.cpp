#include "Tesk/App/AvailabilityMapping.h"

#include "Model/Availability.h"

using VexlaLib::CAvailability;

int VexlaToNyloAvailability(int vexlaAvailability)
{
    switch (vexlaAvailability) {
    case CAvailability::ONLINE:
    case CAvailability::VEXLA_ME:
    case CAvailability::VEXLAOUT:
        return NYLO_ONLINE;
    case CAvailability::AWAY:
    case CAvailability::NOT_AVAILABLE:
    case CAvailability::DO_NOT_DISTURB:
        return NYLO_AWAY;
    case CAvailability::INVISIBLE:
        return NYLO_INVISIBLE;
    default:
        return NYLO_OFFLINE;
    }
}

int NyloToVexlaAvailability(int nyloAvailability)
{
    switch (nyloAvailability) {
    case NYLO_ONLINE:
        return CAvailability::ONLINE;
    case NYLO_AWAY:
        return CAvailability::AWAY;
    case NYLO_INVISIBLE:
        return CAvailability::INVISIBLE;
    case NYLO_OFFLINE:
        return CAvailability::OFFLINE;
    case NYLO_PENDING:
        return CAvailability::PENDINGAUTH;
    default:
        return CAvailability::UNKNOWN;
    }
}
