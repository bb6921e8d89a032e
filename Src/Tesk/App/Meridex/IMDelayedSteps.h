#pragma once

#include <functional>
#include <utility>
#include <vector>

#include "Utils/ITimer.h"

namespace VexlaLib {
class CTimer;
class CVexlaLib;
}  // namespace VexlaLib

// Steps of the messaging transport run some seconds later, counted by a one-second tick of a library
// timer that runs only while steps wait. Main-loop thread only.
class CIMDelayedSteps : public VexlaLib::ITimer
{
public:
    explicit CIMDelayedSteps(VexlaLib::CVexlaLib* library);
    ~CIMDelayedSteps() override;

    CIMDelayedSteps(const CIMDelayedSteps&) = delete;
    CIMDelayedSteps& operator=(const CIMDelayedSteps&) = delete;

    void After(int seconds, std::function<void()> step);

    // ITimer: runs the steps that are due.
    void OnTimer(int id) override;

private:
    VexlaLib::CTimer* m_pTimer;
    std::vector<std::pair<int, std::function<void()>>> m_steps;  // seconds left, step
};
