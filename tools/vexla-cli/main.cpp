// vexla-cli: reads commands on standard input, drives the library every 100 ms and prints its
// events as JSON lines.
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "CliCommands.h"
#include "CliConnectionListener.h"
#include "CliEventPrinter.h"
#include "CliOptions.h"
#include "StreamLog.h"
#include "Tesk/App/DebugSettings.h"
#include "Network/KeyLog.h"
#include "Public/VexlaLib.h"
#include "Utils/Log.h"
#include "Utils/PersistentFileStorage.h"
#include "Utils/Properties.h"
#include "Utils/Utils.h"

namespace {

const int PROCESS_INTERVAL_MS = 100;
// How long "quit" waits for the server to confirm a sign-out.
const int LOGOUT_WAIT_MS = 3000;

class CCli {
public:
    explicit CCli(const CCliOptions& options)
        : m_options(options),
          m_storage(VexlaLib::CUtils::ConvertCharToWide(options.GetDataDir() + "/vexla.dat")),
          m_printer(&m_lib, &m_storage),
          m_commands(&m_lib)
    {
    }

    int Run()
    {
        if (mkdir(m_options.GetDataDir().c_str(), 0755) != 0 && errno != EEXIST) {
            std::fprintf(stderr, "vexla-cli: cannot create %s\n", m_options.GetDataDir().c_str());
            return 2;
        }
        m_storage.Initialize();
        if (!m_lib.Initialize(&m_storage)) {
            std::fprintf(stderr, "vexla-cli: the library did not start\n");
            m_storage.Terminate();
            return 2;
        }
        m_lib.SetProperty(VexlaLib::CProperties::PLATFORMID, L"2017/1.0.0.0");
        if (!ApplySettings())
            return Finish(2);
        m_lib.AddListener(&m_printer);
        m_lib.SetConnectionListener(&m_connectionListener);
        Loop();
        SignOut();
        return Finish(0);
    }

private:
    bool ApplySettings()
    {
        if (m_options.GetSettingsFile().empty())
            return true;
        std::vector<CDebugSettings::TSetting> settings;
        if (!CDebugSettings::Load(m_options.GetSettingsFile(), &settings)) {
            std::fprintf(stderr, "vexla-cli: cannot read %s\n", m_options.GetSettingsFile().c_str());
            return false;
        }
        CDebugSettings::Apply(settings, [this](const std::wstring& key, const std::wstring& value) {
            m_lib.SetProperty(key, value);
        });
        return true;
    }

    void Loop()
    {
        auto next = std::chrono::steady_clock::now();
        bool open = true;
        while (open) {
            const auto now = std::chrono::steady_clock::now();
            if (now >= next) {
                m_lib.Process();
                next = now + std::chrono::milliseconds(PROCESS_INTERVAL_MS);
            }
            // Rounded up: less than a millisecond left is a 1 ms sleep, not a poll that returns at once.
            const auto left = next - std::chrono::steady_clock::now();
            const int wait = static_cast<int>(std::chrono::ceil<std::chrono::milliseconds>(left).count());
            pollfd input = {STDIN_FILENO, POLLIN, 0};
            if (poll(&input, 1, wait > 0 ? wait : 0) > 0)
                open = ReadInput();
        }
    }

    // Runs the complete lines read; false at the end of input or after "quit".
    bool ReadInput()
    {
        char buffer[4096];
        const ssize_t count = read(STDIN_FILENO, buffer, sizeof(buffer));
        if (count <= 0)
            return count < 0 && errno == EINTR;
        m_pending.append(buffer, static_cast<size_t>(count));
        for (size_t end = m_pending.find('\n'); end != std::string::npos; end = m_pending.find('\n')) {
            const std::string line = m_pending.substr(0, end);
            m_pending.erase(0, end + 1);
            if (!m_commands.Execute(line))
                return false;
        }
        return true;
    }

    void SignOut()
    {
        if (!m_lib.IsLoggedIn())
            return;
        m_lib.Logout();
        for (int waited = 0; waited < LOGOUT_WAIT_MS && m_lib.IsLoggedIn(); waited += PROCESS_INTERVAL_MS) {
            m_lib.Process();
            poll(nullptr, 0, PROCESS_INTERVAL_MS);
        }
        m_lib.Process();
    }

    int Finish(int status)
    {
        m_lib.Terminate();
        m_storage.Terminate();
        return status;
    }

    const CCliOptions& m_options;
    VexlaLib::CPersistentFileStorage m_storage;
    VexlaLib::CVexlaLib m_lib;
    CCliEventPrinter m_printer;
    CCliConnectionListener m_connectionListener;
    CCliCommands m_commands;
    std::string m_pending;
};

}  // namespace

int main(int argc, char** argv)
{
    CCliOptions options;
    std::string error;
    if (!options.Parse(argc, argv, &error)) {
        std::fprintf(stderr, "vexla-cli: %s\n%s", error.c_str(), CCliOptions::Usage());
        return 2;
    }
    if (options.GetHelp()) {
        std::fputs(CCliOptions::Usage(), stdout);
        return 0;
    }
    if (options.GetStderr())
        VexlaLib::CLog::Instance().AddStream(0x1F, new CStreamLog(stderr));
    // VEXLA_KEYLOG_FILE set: each session's keys go to that file, for decoding captures of it.
    if (!VexlaLib::CKeyLog::Instance().OpenFromEnvironment()) {
        std::fprintf(stderr, "vexla-cli: cannot open the key log %s\n", std::getenv("VEXLA_KEYLOG_FILE"));
        return 2;
    }
    CCli cli(options);
    return cli.Run();
}
