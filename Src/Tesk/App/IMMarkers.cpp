#include "Tesk/App/IMMarkers.h"

const wchar_t CIMMarkers::CHAT_START[] = L"0:0:0";

uint32_t CIMMarkers::BodyHash(const std::wstring& body)
{
    uint32_t hash = 5381;
    for (wchar_t c : body)
        hash = (hash * 33) ^ static_cast<uint32_t>(c);
    return hash;
}

std::wstring CIMMarkers::MessageMarker(long long serverTimestamp, const std::wstring& body, int messageType)
{
    if (serverTimestamp == 0)
        return std::wstring();
    return std::to_wstring(serverTimestamp) + L":" + std::to_wstring(BodyHash(body)) + L":" +
           std::to_wstring(messageType);
}

long long CIMMarkers::MarkerTime(const std::wstring& marker)
{
    long long time = 0;
    size_t digits = 0;
    for (; digits < marker.size() && digits < 12 && marker[digits] >= L'0' && marker[digits] <= L'9'; ++digits)
        time = time * 10 + (marker[digits] - L'0');
    return digits > 0 && digits < marker.size() && marker[digits] == L':' ? time : 0;
}

std::wstring CIMMarkers::VoicemailId(long long serverTimestamp, int duration, const std::wstring& caller)
{
    if (serverTimestamp == 0)
        return std::wstring();
    return std::to_wstring(serverTimestamp) + std::to_wstring(duration) + std::to_wstring(BodyHash(caller));
}

std::wstring CIMMarkers::VoicemailMarkerKey(const std::wstring& voicemailId)
{
    return L"##VoicemailMarker##" + voicemailId;
}
