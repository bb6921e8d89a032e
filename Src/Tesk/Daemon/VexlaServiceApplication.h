#pragma once

#include <glib.h>

#include <atomic>
#include <string>

#include "Tesk/App/DaemonOptions.h"

namespace VexlaLib {
class CLog;
}
class CTeskService;
class CVexlaSession;

// The life of the vexlad process: log, directories, quit signal, main loop, assembly, teardown.
class CVexlaServiceApplication {
public:
    explicit CVexlaServiceApplication(const CDaemonOptions& options) : m_options(options) {}
    virtual ~CVexlaServiceApplication() = default;

    // Runs the daemon until the main loop ends; 0 after an orderly shutdown, -1 when start-up fails.
    int Execute();

    // Routes the library log to the platform log; the sinks are registered once per process.
    static void StartLogging(int contextLevel, bool mirrorToStderr);
    // Registers one platform-log sink for each library category the context level lets through.
    static void AddLogSinks(VexlaLib::CLog& log, int contextLevel);
    // Creates every missing directory along the path (mode 0755, less the umask); failures are logged.
    static void CreatePath(const std::wstring& path);
    // Registers one bus endpoint under serviceName (null: a client-only endpoint) on the private bus, and
    // on the public one too with usePublicBus, and attaches it to loop when one is given.
    static bool StartService(CTeskService* service, const char* serviceName, GMainLoop* loop, bool usePublicBus);
    // The SIGQUIT handler: asks the session, if there is one, to shut down.
    static void QuitHandler(int signal);

    // The session the quit handler reaches; set by the assembly, null outside Execute.
    static std::atomic<CVexlaSession*> pVexlaSession;
    // The main loop; null outside Execute.
    static GMainLoop* pMainLoop;

private:
    CDaemonOptions m_options;
};
