#pragma once

namespace VexlaLib {

// Availability codes of contacts and of the user; plain ints on the wire and in the model.
class CAvailability
{
public:
    enum eAvailability
    {
        UNKNOWN = 0,
        OFFLINE = 1,
        ONLINE = 2,
        AWAY = 3,
        NOT_AVAILABLE = 4,
        DO_NOT_DISTURB = 5,
        INVISIBLE = 6,
        VEXLA_ME = 7,
        PENDINGAUTH = 8,
        BLOCKED = 9,
        VEXLAOUT = 10,
        BLOCKED_VEXLAOUT = 11,
        OFFLINE_BUT_VM_ABLE = 12,
        OFFLINE_BUT_CF_ABLE = 13,
        CONNECTING = 14,
        DELETED = 99
    };

    // Name of a code for log lines; "<Invalid>" for codes outside the table.
    static const char* Lookup(int availability);
};

}  // namespace VexlaLib
