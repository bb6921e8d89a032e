#pragma once

#include <string>
#include <vector>

#include "Tesk/Core/PlatformRequest.h"

// The database, accounts and telephony requests of the messaging transport's sign-in side.
class CIMRequests {
public:
    // Every login-state record.
    static CPlatformRequest FindLoginState();
    // {"objects": [{"_id", "state"}]} into the db.
    static CPlatformRequest MergeState(const std::wstring& loginStateId, const std::wstring& state);
    // {"objects": [{"_id", "availability"}]} into the db.
    static CPlatformRequest MergeAvailability(const std::wstring& loginStateId, int availability);
    // The account's stored password, "credentials"."password" in the reply.
    static CPlatformRequest ReadCredentials(const std::wstring& accountId);

    // The offline clean-up: every buddy status record, then those ids set offline (4) ...
    static CPlatformRequest FindBuddyStatus();
    static CPlatformRequest MergeBuddiesOffline(const std::vector<std::wstring>& ids);
    // ... every group chat unbound from its library chat ...
    static CPlatformRequest UnbindGroupChats();
    // ... and the group chats without a unique name locked.
    static CPlatformRequest LockUnnamedGroupChats();

    // The platform's sync states (tempdb); the transport's own is the one whose "busAddress" is
    // "com.vexla.im".
    static CPlatformRequest FindSyncState();
    static CPlatformRequest MergeSyncStateIdle(const std::wstring& syncStateId);
    // The sync state of an account whose password was refused: a merge into `syncStateId`, or a new
    // record when it is empty.
    static CPlatformRequest WriteSyncStateUnauthorized(const std::wstring& accountId, const std::wstring& syncStateId);

    // Every record of the kind in the db or, with `temporary`, in the tempdb.
    static CPlatformRequest DeleteAll(const wchar_t* kind, bool temporary);
    // The transport's sync states of that account.
    static CPlatformRequest DeleteSyncState(const std::wstring& accountId);

    // Telephony's power-down: the subscription, the client registration and the acknowledgement.
    static CPlatformRequest SubscribePoweringOff();
    static CPlatformRequest RegisterPowerDown(bool registered);
    static CPlatformRequest PowerDownAck(int clientId);

    // The transport's bus address, as sync states and power-down registrations name it.
    static const wchar_t BUS_ADDRESS[];
};
