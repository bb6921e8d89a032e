#include "Tesk/App/UIContacts.h"

#include <string>

#include "Model/Search.h"
#include "Public/VexlaLib.h"
#include "Tesk/App/VexlaUIService.h"
#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/JSONArray.h"
#include "Tesk/Core/JSONObject.h"
#include "Utils/LogStream.h"

using VexlaLib::LogInfo;

CUIContacts::CUIContacts(CVexlaUIService& service) : m_service(service), m_searches(&service, service.Library()) {}

void CUIContacts::SearchContacts(const TBusMessageSPtr& message)
{
    if (!m_service.ValidateSession(message, false))
        return;
    const CJSONObject payload(message->Payload().c_str());
    bool subscribe = false;
    std::wstring searchString;
    payload.GetBool("subscribe", &subscribe);
    LogInfo() << "CVexlaUIService::SearchContacts subscribe=" << subscribe << std::endl;
    if (!payload.GetString("searchString", &searchString)) {
        m_service.SendError(message, CUIErrors::SEARCH_STRING_MISSING);
        return;
    }
    if (!subscribe) {
        m_service.SendError(message, CUIErrors::SEARCH_WITHOUT_SUBSCRIPTION);
        return;
    }
    m_searches.Start(message, searchString);
}

void CUIContacts::OnSearchFinished(const VexlaLib::CSearch& search, bool extendable)
{
    CJSONObject reply = CContactSearches::Outcome(extendable);
    if (search.GetResultCount() > 0) {
        CJSONArray results;
        for (const auto& result : search.GetResults()) {
            CJSONObject entry;
            entry.SetString("fullName", result->GetFullName());
            entry.SetString("vexlaName", result->GetVexlaName());
            entry.SetString("country", result->GetCountry());
            results.AddObject(entry);
        }
        reply.SetArray("resultList", results);
    }
    m_searches.Report(reply);
}

void CUIContacts::OnSearchFailed()
{
    m_searches.Report(CContactSearches::Outcome(false));
}

void CUIContacts::ExtendContactSearch(const TBusMessageSPtr& message)
{
    if (!m_service.ValidateSession(message, false))
        return;
    m_service.Library()->ExtendContactSearch();
    m_service.SendSuccessResponse(message);
}

void CUIContacts::AddContact(const TBusMessageSPtr& message)
{
    if (!m_service.ValidateSession(message, false))
        return;
    const CJSONObject payload(message->Payload().c_str());
    std::wstring vexlaName;
    std::wstring authMessage;
    std::wstring callTarget;
    std::wstring fullName;
    const bool hasName = payload.GetString("vexlaName", &vexlaName);
    const bool hasMessage = payload.GetString("authMessage", &authMessage);
    const bool hasTarget = payload.GetString("callTarget", &callTarget);
    const bool hasFullName = payload.GetString("fullName", &fullName);
    VexlaLib::CVexlaLib* library = m_service.Library();
    if (hasName && hasMessage) {
        library->AddContact(vexlaName, authMessage);
    } else if (hasTarget && hasFullName) {
        if (hasName)
            library->AddContact(vexlaName, L"");
        else
            library->AddVexlaOutContact(callTarget, fullName);
    } else {
        m_service.SendError(message, CUIErrors::ADD_CONTACT_DATA_MISSING);
        return;
    }
    m_service.SendSuccessResponse(message);
}

void CUIContacts::SendAuthRequest(const TBusMessageSPtr& message)
{
    if (!m_service.ValidateSession(message, false))
        return;
    const CJSONObject payload(message->Payload().c_str());
    std::wstring vexlaName;
    std::wstring text;
    if (!payload.GetString("vexlaName", &vexlaName) || !payload.GetString("message", &text)) {
        m_service.SendError(message, CUIErrors::AUTH_REQUEST_DATA_MISSING);
        return;
    }
    m_service.Library()->SendAuthRequest(vexlaName, text);
    m_service.SendSuccessResponse(message);
}
