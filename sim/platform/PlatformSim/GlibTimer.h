#pragma once
// A glib timeout owned by an object: stopped when the object goes, so it never calls into a dead one.
// The tick must not destroy its own timer.

#include <glib.h>

#include <functional>

namespace PlatformSim
{
class CGlibTimer
{
public:
    CGlibTimer() = default;
    ~CGlibTimer() { Stop(); }
    CGlibTimer(const CGlibTimer&) = delete;
    CGlibTimer& operator=(const CGlibTimer&) = delete;

    // Calls `tick` after `milliseconds`, and again every `milliseconds` while it returns true.
    void Start(unsigned milliseconds, std::function<bool()> tick);
    void Stop();
    bool IsRunning() const { return m_source != 0; }

private:
    static gboolean OnTimeout(gpointer data);

    guint m_source = 0;
    std::function<bool()> m_tick;
};
} // namespace PlatformSim
