#include "Tesk/App/DisplayEventHandler.h"

#include "Public/VexlaLib.h"
#include "Tesk/App/DisplayServiceClient.h"
#include "Tesk/App/VexlaSession.h"
#include "Utils/LogStream.h"

CDisplayEventHandler::CDisplayEventHandler(CVexlaSession* session, CDisplayServiceClient* displayClient)
    : m_pSession(session), m_pDisplayClient(displayClient)
{
}

void CDisplayEventHandler::Start()
{
    m_pDisplayClient->RegisterForDisplayEvents(this, nullptr);
}

void CDisplayEventHandler::OnDisplayEvent(const std::wstring& state, const std::wstring& event, void*)
{
    bool screenOn = m_screenOn;
    if (state == L"on" || state == L"off")
        screenOn = state == L"on";
    else if (event == L"displayOn" || event == L"displayOff")
        screenOn = event == L"displayOn";
    if (screenOn == m_screenOn)
        return;

    m_screenOn = screenOn;
    VexlaLib::CVexlaLib* library = m_pSession->GetLibrary();
    if (m_screenOn) {
        library->SetClientState(VexlaLib::CLIENT_STATE_FOREGROUND);
        VexlaLib::LogNotice() << "- OnDisplayEvent, screen on, requesting presence updates." << std::endl;
        library->RequestPresenceUpdate();
    } else {
        library->SetClientState(VexlaLib::CLIENT_STATE_BACKGROUND);
        VexlaLib::LogNotice() << "- OnDisplayEvent, screen off." << std::endl;
    }
}
