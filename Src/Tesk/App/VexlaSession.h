#pragma once

#include <glib.h>

#include <atomic>

// The session object of the daemon. For now it carries the orderly shutdown only: a 100 ms
// processing timeout on the main loop that quits the loop once a shutdown has been requested.
class CVexlaSession {
public:
    explicit CVexlaSession(GMainLoop* mainLoop);
    virtual ~CVexlaSession();

    CVexlaSession(const CVexlaSession&) = delete;
    CVexlaSession& operator=(const CVexlaSession&) = delete;

    // Only sets a flag (safe in a signal handler); the next processing tick acts on it.
    void RequestShutdown() { m_shutdownRequested = true; }
    bool IsShutdownDone() const { return m_shutdownDone; }

private:
    static gboolean OnProcessTimeout(gpointer self);
    void DoShutdown();

    std::atomic<bool> m_shutdownRequested;
    bool m_shutdownDone;
    GMainLoop* m_mainLoop;
    guint m_timeoutId;
};
