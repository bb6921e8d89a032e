#include "Tesk/App/ProcessStepSource.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <climits>

#include "Utils/LogStream.h"

namespace {

// Without the pipe nothing can wake the loop early, so it looks every 100 ms as it always did.
const gint kPollWithoutPipeMs = 100;

}  // namespace

GSourceFuncs CProcessStepSource::s_funcs = {&CProcessStepSource::Prepare, &CProcessStepSource::Check,
                                            &CProcessStepSource::Dispatch, nullptr, nullptr, nullptr};

CProcessStepSource::CProcessStepSource(GMainContext* context, TDelay delay, TStep step)
    : m_delay(std::move(delay)), m_step(std::move(step))
{
    int ends[2];
    if (pipe2(ends, O_NONBLOCK | O_CLOEXEC) == 0) {
        m_readEnd = ends[0];
        m_writeEnd = ends[1];
    } else {
        VexlaLib::LogError() << "CProcessStepSource - no wake-up pipe, polling every " << kPollWithoutPipeMs
                             << " ms." << std::endl;
    }
    m_source = g_source_new(&s_funcs, sizeof(TSource));
    reinterpret_cast<TSource*>(m_source)->owner = this;
    g_source_set_name(m_source, "vexla processing step");
    if (m_readEnd >= 0)
        g_source_add_unix_fd(m_source, m_readEnd, G_IO_IN);
    g_source_attach(m_source, context);
}

CProcessStepSource::~CProcessStepSource()
{
    g_source_destroy(m_source);
    g_source_unref(m_source);
    if (m_readEnd >= 0) {
        close(m_readEnd);
        close(m_writeEnd);
    }
}

void CProcessStepSource::Wakeup()
{
    if (m_woken.exchange(true) || m_writeEnd < 0)
        return;
    const int savedErrno = errno;
    const char byte = 1;
    // A full pipe already holds a wake-up; nothing else can go wrong worth reporting here.
    ssize_t written = write(m_writeEnd, &byte, 1);
    (void)written;
    errno = savedErrno;
}

bool CProcessStepSource::IsDue() const
{
    return m_woken.load() || m_delay() == 0;
}

gboolean CProcessStepSource::Prepare(GSource* source, gint* timeout)
{
    CProcessStepSource& self = Owner(source);
    if (self.m_woken.load()) {
        *timeout = 0;
        return TRUE;
    }
    const long long delay = self.m_delay();
    if (delay == 0) {
        *timeout = 0;
        return TRUE;
    }
    // One millisecond more: the library's clock counts whole milliseconds, and waking a fraction
    // early would find nothing due and cost a second wake-up.
    *timeout = delay < 0 ? -1 : static_cast<gint>(delay < INT_MAX - 1 ? delay + 1 : INT_MAX);
    if (self.m_readEnd < 0 && (*timeout < 0 || *timeout > kPollWithoutPipeMs))
        *timeout = kPollWithoutPipeMs;
    return FALSE;
}

gboolean CProcessStepSource::Check(GSource* source)
{
    CProcessStepSource& self = Owner(source);
    return self.m_readEnd < 0 || self.IsDue();
}

gboolean CProcessStepSource::Dispatch(GSource* source, GSourceFunc, gpointer)
{
    CProcessStepSource& self = Owner(source);
    // Cleared before the step runs: whatever is pushed from now on wakes the loop again.
    self.m_woken = false;
    self.DrainPipe();
    self.m_step();
    return G_SOURCE_CONTINUE;
}

void CProcessStepSource::DrainPipe()
{
    if (m_readEnd < 0)
        return;
    char bytes[64];
    while (read(m_readEnd, bytes, sizeof(bytes)) > 0) {
    }
}
