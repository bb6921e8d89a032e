#pragma once

#include <string>

#include "Tesk/Core/JSONObject.h"

// One "com.nylo.immessage.vexla:1" record as the transport writes it for a chat message or a group
// chat's system message. Times are seconds; the record carries milliseconds.
class CIMMessageRecord {
public:
    // A message of `author` in a chat of the user `userName`. From someone else it goes to the inbox,
    // addressed to the user; from the user it goes to the outbox, addressed to `partner` (the other
    // member of a one-to-one chat, or the group name). `groupName` is empty for one-to-one chats.
    static CIMMessageRecord Chat(const std::wstring& userName, const std::wstring& author, const std::wstring& partner,
                                 const std::wstring& groupName, const std::wstring& text, long long serverTime,
                                 long long localTime);
    // A note about the group chat itself (a join, a leave, a topic), from the user to the group.
    static CIMMessageRecord System(const std::wstring& userName, const std::wstring& groupName, const std::wstring& text,
                                   long long serverTime, long long localTime);

    CJSONObject ToJSON() const;
    // Whether a stored record is this message: the same server time, sender, recipient (or group) and
    // text.
    bool Matches(const CJSONObject& stored) const;

    std::wstring userName;
    std::wstring text;
    std::wstring from;
    std::wstring to;
    std::wstring groupChatName;
    std::wstring folder;
    std::wstring imType;
    long long serverTime = 0;
    long long localTime = 0;
};
