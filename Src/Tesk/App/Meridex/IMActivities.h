#pragma once

#include <string>

#include "Tesk/Core/PlatformRequest.h"

// The named activities through which the messaging transport outlives its own process: their names
// and the create requests sent to the activity manager. Each callback is a com.vexla.im method. The
// watches a sign-in creates replace an activity of the same name: one that a killed process had
// adopted and never completed stays running, so it never fires again, and a create refused in its
// favour would leave the outbox, the commands or the mood message unwatched for good.
class CIMActivities {
public:
    static const wchar_t LOGINSTATE[];
    static const wchar_t AVAILABILITY[];
    static const wchar_t CUSTOM_MESSAGE[];
    static const wchar_t IMMESSAGE[];
    static const wchar_t IMCOMMAND[];
    static const wchar_t CONNECTION_MANAGER[];
    static const wchar_t NETWORK_STATUS[];
    static const wchar_t KEEP_ALIVE[];

    // Starts the transport when any login-state record is written (it replaces an earlier one).
    static CPlatformRequest LoginState();
    // Fires when the wanted availability differs from `current` (it replaces an earlier one).
    static CPlatformRequest Availability(int current);
    // Fires when the mood message differs from `current` (it replaces an earlier one).
    static CPlatformRequest CustomMessage(const std::wstring& current);
    // Fires on a pending outgoing message written after the record revision `afterRevision` (every one
    // with 0): messages already on their way, still pending until the server confirms them, do not
    // wake it again. It replaces an earlier one.
    static CPlatformRequest IMMessage(long long afterRevision = 0);
    // Fires on a command for the transport (it replaces an earlier one).
    static CPlatformRequest IMCommand();
    // Fire on the next change of the data connection and of the cellular network.
    static CPlatformRequest ConnectionManager();
    static CPlatformRequest NetworkStatus();
    // Every 20 minutes, in the background (it replaces an earlier one).
    static CPlatformRequest KeepAlive();
};
