#pragma once

#include <iosfwd>
#include <string>

// The command line of vexlad.
class CDaemonOptions {
public:
    enum TParseResult {
        PARSE_RUN,          // start the daemon
        PARSE_DONE,         // --help or --version was answered; exit with status 0
        PARSE_USAGE_ERROR   // the usage was printed to the error stream; exit with status 2
    };

    // Reads the options; --help and --version print to out, errors and the usage to err.
    TParseResult Parse(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

    static void PrintUsage(std::ostream& stream);

    const std::string& GetDataDir() const { return m_dataDir; }
    const std::string& GetSettingsFile() const { return m_settingsFile; }
    int GetLogLevel() const { return m_logLevel; }
    bool GetLogToStderr() const { return m_logToStderr; }
    bool GetFrameworkOnPublicBus() const { return m_frameworkOnPublicBus; }

private:
    std::string m_dataDir = "/var/vexla";
    std::string m_settingsFile;
    int m_logLevel = 5;
    bool m_logToStderr = false;
    bool m_frameworkOnPublicBus = false;
};
