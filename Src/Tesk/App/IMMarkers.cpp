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
