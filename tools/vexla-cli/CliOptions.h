#pragma once

#include <string>

// The command line of vexla-cli.
class CCliOptions {
public:
    // False with a message when the arguments cannot be used.
    bool Parse(int argc, char** argv, std::string* error);
    static const char* Usage();

    const std::string& GetDataDir() const { return m_dataDir; }
    const std::string& GetSettingsFile() const { return m_settingsFile; }
    bool GetHelp() const { return m_help; }
    bool GetStderr() const { return m_stderr; }

private:
    std::string m_dataDir = "/var/vexla";
    std::string m_settingsFile;
    bool m_help = false;
    bool m_stderr = false;
};
