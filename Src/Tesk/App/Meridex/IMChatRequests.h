#pragma once

#include <string>
#include <vector>

#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/JSONObject.h"
#include "Tesk/Core/PlatformRequest.h"

// The database and activity requests of the transport's message side: chat messages, group chat
// records, the outbox and the commands of the messaging application.
class CIMChatRequests {
public:
    // A member object of a group chat record: {"status": "accepted", "type": "type_vexla", "value": user}.
    static CJSONObject Member(const std::wstring& userName);

    // Puts one record, or several in one call (no reply expected but its answer).
    static CPlatformRequest Put(const CJSONObject& record);
    static CPlatformRequest Put(const CJSONArray& records);
    // Reads one record by id.
    static CPlatformRequest Get(const std::wstring& id);

    // Group chat records by library chat handle, by the chat's unique name and by group name.
    static CPlatformRequest FindGroupChatByHandle(int chatHandle);
    static CPlatformRequest FindGroupChatByUniqueName(const std::wstring& uniqueName);
    static CPlatformRequest FindGroupChatByGroupName(const std::wstring& groupName);
    // A new group chat record.
    static CJSONObject NewGroupChat(const std::wstring& groupName, const std::wstring& uniqueName,
                                    const std::wstring& topic, const CJSONArray& members, int chatHandle);
    // Binds an existing record to the library chat again and unlocks it.
    static CPlatformRequest RebindGroupChat(const std::wstring& id, const std::wstring& uniqueName, int chatHandle);
    static CPlatformRequest MergeChatHandle(const std::wstring& id, int chatHandle);
    static CPlatformRequest MergeMembers(const std::wstring& id, const CJSONArray& members);
    static CPlatformRequest MergeDisplayName(const std::wstring& id, const std::wstring& displayName);
    // A group chat the user left.
    static CPlatformRequest LockGroupChat(const std::wstring& id);

    // The message records of one sender at one server time (milliseconds).
    static CPlatformRequest FindMessages(long long timestampMs, const std::wstring& from);

    // The outbox records waiting to be sent, and the status written back to one of them.
    static CPlatformRequest FindPendingOutbox();
    static CPlatformRequest MergeStatus(const std::wstring& id, const std::wstring& status);

    // The commands addressed to the transport, and their deletion in one request.
    static CPlatformRequest FindTransportCommands();
    static CPlatformRequest DeleteCommands(const std::vector<std::wstring>& ids);

    // The buddy-invite command of a requester, and the activity that keeps the phone powered while one
    // is written.
    static CPlatformRequest FindBuddyInvite(const std::wstring& fromUsername);
    static CJSONObject BuddyInvite(const std::wstring& userName, const std::wstring& fromUsername,
                                   const std::wstring& message, const std::wstring& displayName);
    static CPlatformRequest AuthPowerActivity();
    static const wchar_t AUTH_POWER_ACTIVITY[];
};
