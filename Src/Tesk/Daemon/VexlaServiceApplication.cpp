#include "Tesk/Daemon/VexlaServiceApplication.h"

#include <errno.h>
#include <signal.h>
#include <string.h>
#include <sys/stat.h>

#include <mutex>

#include "Network/KeyLog.h"
#include "Tesk/Daemon/DaemonAssembly.h"
#include "Tesk/App/PlatformLog.h"
#include "Tesk/App/SyslogLogger.h"
#include "Tesk/App/VexlaSession.h"
#include "Tesk/Core/TeskService.h"
#include "Utils/Log.h"
#include "Utils/LogStream.h"
#include "Utils/Utils.h"

using VexlaLib::CLog;
using VexlaLib::CUtils;

std::atomic<CVexlaSession*> CVexlaServiceApplication::pVexlaSession{nullptr};
GMainLoop* CVexlaServiceApplication::pMainLoop = nullptr;

int CVexlaServiceApplication::Execute()
{
    StartLogging(m_options.GetLogLevel(), m_options.GetLogToStderr());
#if VEXLA_KEYLOG
    // Only in builds made for debugging: release builds never write session keys.
    VexlaLib::CKeyLog::Instance().OpenFromEnvironment();
#endif

    const std::wstring dataDir = CUtils::ConvertCharToWide(m_options.GetDataDir());
    CreatePath(dataDir + L"/avatars/cache");
    CreatePath(dataDir);

    VexlaLib::LogNotice() << "Starting vexla service." << std::endl;
    if (pMainLoop != nullptr || pVexlaSession != nullptr) {
        VexlaLib::LogError() << "CVexlaServiceApplication can only be instantiated once." << std::endl;
        return -1;
    }

    struct sigaction quit = {};
    quit.sa_handler = &CVexlaServiceApplication::QuitHandler;
    sigemptyset(&quit.sa_mask);
    quit.sa_flags = SA_RESTART;
    sigaction(SIGQUIT, &quit, nullptr);

    pMainLoop = g_main_loop_new(nullptr, FALSE);
    if (pMainLoop == nullptr) {
        VexlaLib::LogWarning() << "Failed to create main loop, bailing out." << std::endl;
        return -1;
    }

    CDaemonAssembly assembly;
    if (!assembly.Assemble(pMainLoop, m_options))
        return -1;

    VexlaLib::LogNotice() << "Initialisation done, entering main loop." << std::endl;
    g_main_loop_run(pMainLoop);

    VexlaLib::LogNotice() << "Shutting down vexla service." << std::endl;
    g_main_loop_unref(pMainLoop);
    pMainLoop = nullptr;
    assembly.TearDown();
    VexlaLib::LogNotice() << "Vexla service ended." << std::endl;
    return 0;
}

void CVexlaServiceApplication::StartLogging(int contextLevel, bool mirrorToStderr)
{
    // A second start in the same process must not add a second set of sinks: every line would be
    // logged twice.
    static std::once_flag sinksRegistered;
    std::call_once(sinksRegistered, [&] {
        CPlatformLog::Open("vexlad", contextLevel, mirrorToStderr);
        AddLogSinks(CLog::Instance(), CPlatformLog::GetContextLevel());
    });
}

void CVexlaServiceApplication::AddLogSinks(CLog& log, int contextLevel)
{
    static const struct {
        CLog::TStreamCategory category;
        int level;
    } kRoutes[] = {
        {CLog::LOG_ERROR, 3}, {CLog::LOG_WARNING, 4}, {CLog::LOG_NOTICE, 5}, {CLog::LOG_INFO, 6}, {CLog::LOG_DEBUG, 7},
    };
    for (const auto& route : kRoutes) {
        if (contextLevel >= route.level)
            log.AddStream(route.category, new CSyslogLogger(route.level));
    }
}

void CVexlaServiceApplication::CreatePath(const std::wstring& path)
{
    const std::string bytes = CUtils::ConvertWideToChar(path);
    size_t slash = 0;
    do {
        slash = bytes.find('/', slash + 1);
        const std::string prefix = bytes.substr(0, slash);
        struct stat status;
        if (prefix.empty() || stat(prefix.c_str(), &status) == 0)
            continue;
        if (mkdir(prefix.c_str(), 0755) != 0) {
            const int error = errno;
            VexlaLib::LogWarning() << "Failed creating directory " << CUtils::ConvertCharToWide(prefix)
                                   << " with error \"" << strerror(error) << "\"" << std::endl;
        }
    } while (slash != std::string::npos);
}

bool CVexlaServiceApplication::StartService(CTeskService* service, const char* serviceName, GMainLoop* loop,
                                            bool usePublicBus)
{
    const char* shownName = serviceName != nullptr ? serviceName : "NULL";
    if (!service->Register(serviceName, usePublicBus)) {
        VexlaLib::LogWarning() << "Failed to register service: " << shownName << std::endl;
        return false;
    }
    if (loop != nullptr && !service->AttachMainLoop(loop)) {
        VexlaLib::LogWarning() << "Failed to attach service " << shownName << " to mainloop" << std::endl;
        return false;
    }
    if (serviceName == nullptr)
        VexlaLib::LogInfo() << "Started Tesk client, usePublicBus=" << usePublicBus << std::endl;
    else
        VexlaLib::LogInfo() << "Started Tesk service, serviceName=" << serviceName
                            << ", usePublicBus=" << usePublicBus << std::endl;
    return true;
}

void CVexlaServiceApplication::QuitHandler(int)
{
    CVexlaSession* session = pVexlaSession.load();
    if (session != nullptr)
        session->RequestShutdown();
}
