#pragma once

#include <glib.h>

class CDaemonOptions;
class CVexlaSession;

// Builds the long-lived objects of the daemon on the main loop before it runs, and tears them down
// after it has returned.
class CDaemonAssembly {
public:
    CDaemonAssembly() = default;
    virtual ~CDaemonAssembly() = default;

    CDaemonAssembly(const CDaemonAssembly&) = delete;
    CDaemonAssembly& operator=(const CDaemonAssembly&) = delete;

    // Returns false when start-up must fail; what was built then stays alive until the process exits.
    bool Assemble(GMainLoop* mainLoop, const CDaemonOptions& options);
    void TearDown();

private:
    CVexlaSession* m_session = nullptr;
};
