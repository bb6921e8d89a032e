#pragma once

namespace VexlaLib {

// Told when one of its CTimer objects fires; id is the one given to CTimer::StartTimer.
class ITimer {
public:
    virtual ~ITimer() = default;
    virtual void OnTimer(int id) = 0;
};

}  // namespace VexlaLib
