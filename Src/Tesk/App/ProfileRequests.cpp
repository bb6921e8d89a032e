#include "Tesk/App/ProfileRequests.h"

#include "Model/Profile.h"
#include "Public/VexlaLib.h"

CProfileRequests::CProfileRequests(VexlaLib::CVexlaLib* library)
    : m_pLibrary(library), m_queue(PROFILE_NOT_SAVED, false)
{
    m_pLibrary->AddListener(this);
}

CProfileRequests::~CProfileRequests()
{
    m_pLibrary->RemoveListener(this);
}

int CProfileRequests::Save(TChange change, TQueue::THandler handler)
{
    return m_queue.Add([this, change]() { return Ask(change); }, std::move(handler));
}

CProfileRequests::TQueue::TAskResult CProfileRequests::Ask(const TChange& change)
{
    const VexlaLib::CProfile* current = m_pLibrary->GetModel().GetProfile();
    if (!m_pLibrary->IsLoggedIn() || current == nullptr)
        return TQueue::ASK_REFUSED;
    VexlaLib::CProfile changed = *current;
    change(changed);
    // Signed in with a profile, the library refuses only while a profile request of its own runs.
    return m_pLibrary->SaveProfile(changed) ? TQueue::ASK_SENT : TQueue::ASK_WAIT;
}

// A save that is not ours (none outstanding) has ended too: a waiting save may go now.
void CProfileRequests::OnSaveProfileSuccess()
{
    if (!m_queue.Answer(PROFILE_SAVED))
        m_queue.Retry();
}

void CProfileRequests::OnSaveProfileFailed(bool /*timedOut*/)
{
    if (!m_queue.Answer(PROFILE_NOT_SAVED))
        m_queue.Retry();
}

void CProfileRequests::OnGetProfileSuccess(bool /*changed*/, const VexlaLib::CProfile& /*profile*/)
{
    m_queue.Retry();
}

void CProfileRequests::OnGetProfileFailed(bool /*timedOut*/)
{
    m_queue.Retry();
}

// The library forgets a running profile request with its session.
void CProfileRequests::OnLogout(VexlaLib::eLogoutReason /*reason*/)
{
    m_queue.EndAll(PROFILE_SESSION_ENDED);
}

// A replaced server session (not a login, which starts from nothing) forgets the running request.
void CProfileRequests::OnNewSession(bool resumed)
{
    if (!resumed)
        m_queue.EndAll(PROFILE_SESSION_ENDED);
}
