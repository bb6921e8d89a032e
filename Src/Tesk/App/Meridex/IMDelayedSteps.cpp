#include "Tesk/App/Meridex/IMDelayedSteps.h"

#include "Public/VexlaLib.h"
#include "Utils/Timer.h"

namespace {

const int TICK_MS = 1000;

}  // namespace

CIMDelayedSteps::CIMDelayedSteps(VexlaLib::CVexlaLib* library) : m_pTimer(library->CreateTimer(this))
{
    m_pTimer->SetRepeating(true);
}

CIMDelayedSteps::~CIMDelayedSteps()
{
    m_pTimer->StopTimer();
}

void CIMDelayedSteps::After(int seconds, std::function<void()> step)
{
    m_steps.emplace_back(seconds, std::move(step));
    if (!m_pTimer->IsRunning())
        m_pTimer->StartTimer(TICK_MS, 0);
}

void CIMDelayedSteps::OnTimer(int /*id*/)
{
    std::vector<std::function<void()>> due;
    for (auto it = m_steps.begin(); it != m_steps.end();) {
        if (--it->first <= 0) {
            due.push_back(std::move(it->second));
            it = m_steps.erase(it);
        } else {
            ++it;
        }
    }
    if (m_steps.empty())
        m_pTimer->StopTimer();
    for (auto& step : due)
        step();
}
