#pragma once

#include <array>
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

    // A digest of what tells one message from another: server time, sender, recipient (or group) and
    // text. Equal fingerprints are the same message.
    using TFingerprint = std::array<unsigned char, 20>;

    CJSONObject ToJSON() const;
    TFingerprint Fingerprint() const;
    // The fingerprint of a stored record; false when it has no server time or no sender, which no
    // message written here lacks.
    static bool FingerprintOf(const CJSONObject& stored, TFingerprint* fingerprint);
    // Whether a stored record is this message: their fingerprints are equal.
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
