#pragma once

#include <cstdint>
#include <string>

// The markers in the persistent store that keep chat messages and voicemails notified exactly once:
// under a chat's unique name the marker of the last message handled, and for every voicemail handled
// its marker key with the value "1".
class CIMMarkers {
public:
    // h = 5381; for each character c, h = (h * 33) XOR c, modulo 2^32.
    static uint32_t BodyHash(const std::wstring& body);
    // "<server timestamp>:<body hash>:<message type>"; empty without a server timestamp.
    static std::wstring MessageMarker(long long serverTimestamp, const std::wstring& body, int messageType);
    // The server timestamp a message marker begins with; 0 for anything else (CHAT_START, a damaged
    // value read from the store, nothing).
    static long long MarkerTime(const std::wstring& marker);
    // The marker of a chat none of whose messages was handled yet, stored when its first messages are
    // handed over: a crash before they are written must not leave the chat without a marker (which would
    // skip everything older than the next start). No message has it.
    static const wchar_t CHAT_START[];
    // Server timestamp, duration and the hash of the caller's user name, without separators; empty
    // without a server timestamp.
    static std::wstring VoicemailId(long long serverTimestamp, int duration, const std::wstring& caller);
    // The store key of a voicemail already notified.
    static std::wstring VoicemailMarkerKey(const std::wstring& voicemailId);
};
