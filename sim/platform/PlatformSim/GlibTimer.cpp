#include "PlatformSim/GlibTimer.h"

namespace PlatformSim
{
void CGlibTimer::Start(unsigned milliseconds, std::function<bool()> tick)
{
    Stop();
    m_tick = std::move(tick);
    m_source = g_timeout_add(milliseconds, &CGlibTimer::OnTimeout, this);
}

void CGlibTimer::Stop()
{
    if (m_source != 0)
    {
        g_source_remove(m_source);
        m_source = 0;
    }
}

gboolean CGlibTimer::OnTimeout(gpointer data)
{
    auto* self = static_cast<CGlibTimer*>(data);
    const guint source = self->m_source;
    const bool again = self->m_tick();
    if (!again && self->m_source == source)
    {
        self->m_source = 0;
    }
    // A tick that restarted the timer has its own new source; this one ends.
    return again && self->m_source == source ? G_SOURCE_CONTINUE : G_SOURCE_REMOVE;
}
} // namespace PlatformSim
