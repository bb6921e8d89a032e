#pragma once

#include <glib.h>

#include <atomic>
#include <functional>

#include "Utils/IWakeup.h"

// A main-loop source that runs the processing step only when it has something to do: when it is woken
// (from any thread, also from a signal handler, through a pipe) or when the step's own next due time
// has come. In between the main loop sleeps.
class CProcessStepSource : public VexlaLib::IWakeup {
public:
    // Milliseconds until the step is due without a wake-up: 0 now, -1 never. Asked on the main-loop
    // thread before every sleep, so a timer armed by a bus callback is seen at once.
    typedef std::function<long long()> TDelay;
    typedef std::function<void()> TStep;

    CProcessStepSource(GMainContext* context, TDelay delay, TStep step);
    ~CProcessStepSource() override;

    CProcessStepSource(const CProcessStepSource&) = delete;
    CProcessStepSource& operator=(const CProcessStepSource&) = delete;

    // Runs the step at the next main-loop iteration. Async-signal-safe and callable from any thread.
    void Wakeup() override;

private:
    struct TSource {
        GSource base;
        CProcessStepSource* owner;
    };
    static gboolean Prepare(GSource* source, gint* timeout);
    static gboolean Check(GSource* source);
    static gboolean Dispatch(GSource* source, GSourceFunc, gpointer);
    static CProcessStepSource& Owner(GSource* source) { return *reinterpret_cast<TSource*>(source)->owner; }
    static GSourceFuncs s_funcs;
    bool IsDue() const;
    void DrainPipe();

    TDelay m_delay;
    TStep m_step;
    std::atomic<bool> m_woken{false};
    int m_readEnd = -1;
    int m_writeEnd = -1;
    GSource* m_source = nullptr;
};
