#include "Tesk/App/DialOutRequests.h"

#include "Public/VexlaLib.h"
#include "Utils/LogStream.h"

CDialOutRequests::CDialOutRequests(VexlaLib::CVexlaLib* library)
    : m_pLibrary(library), m_queue(TAnswer{DIALOUT_REFUSED, std::wstring(), 0}, true)
{
    m_pLibrary->AddListener(this);
}

CDialOutRequests::~CDialOutRequests()
{
    m_pLibrary->RemoveListener(this);
}

int CDialOutRequests::Request(const std::function<bool(VexlaLib::CVexlaLib&)>& ask, TQueue::THandler handler)
{
    VexlaLib::CVexlaLib* library = m_pLibrary;
    return m_queue.Add([library, ask]() { return ask(*library) ? TQueue::ASK_SENT : TQueue::ASK_REFUSED; },
                       std::move(handler));
}

void CDialOutRequests::OnUseDialOutNumber(const std::wstring& number)
{
    if (!m_queue.Answer(TAnswer{DIALOUT_NUMBER, number, 0}))
        VexlaLib::LogWarning() << "Unhandled OnUseDialOutNumber for " << number << std::endl;
}

void CDialOutRequests::OnDialOutFailed(eDialoutError error)
{
    if (!m_queue.Answer(TAnswer{DIALOUT_FAILED, std::wstring(), error}))
        VexlaLib::LogWarning() << "Unhandled OnDialOutFailed " << static_cast<int>(error) << std::endl;
}

void CDialOutRequests::OnLogout(VexlaLib::eLogoutReason /*reason*/)
{
    m_queue.EndAll(TAnswer{DIALOUT_SESSION_ENDED, std::wstring(), 0});
}

// A replaced server session (not a login, which starts from nothing) forgets the running request.
void CDialOutRequests::OnNewSession(bool resumed)
{
    if (!resumed)
        m_queue.EndAll(TAnswer{DIALOUT_SESSION_ENDED, std::wstring(), 0});
}
