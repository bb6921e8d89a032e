#include "Tesk/App/DaemonOptions.h"

#include <ostream>

#include "Utils/Version.h"

CDaemonOptions::TParseResult CDaemonOptions::Parse(int argc, const char* const* argv, std::ostream& out,
                                                   std::ostream& err)
{
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        // Options with a value take it as "--name=VALUE" or as the next argument.
        const size_t equals = argument.find('=');
        const std::string name = argument.substr(0, equals);
        const bool takesValue = name == "--data-dir" || name == "--settings" || name == "--log-level";
        std::string value;
        if (equals != std::string::npos)
            value = argument.substr(equals + 1);
        else if (takesValue && i + 1 < argc)
            value = argv[++i];

        bool valid = !value.empty();
        if (argument == "--help") {
            PrintUsage(out);
            return PARSE_DONE;
        } else if (argument == "--version") {
            out << "vexlad " << VexlaLib::Version() << "\n";
            return PARSE_DONE;
        } else if (argument == "--stderr") {
            m_logToStderr = true;
            continue;
        } else if (argument == "--framework-on-public-bus") {
            m_frameworkOnPublicBus = true;
            continue;
        } else if (name == "--data-dir") {
            m_dataDir = value;
        } else if (name == "--settings") {
            m_settingsFile = value;
        } else if (name == "--log-level") {
            valid = value.size() == 1 && value[0] >= '0' && value[0] <= '7';
            if (valid)
                m_logLevel = value[0] - '0';
        } else {
            err << "vexlad: unknown option " << argument << "\n";
            PrintUsage(err);
            return PARSE_USAGE_ERROR;
        }
        if (!valid) {
            err << "vexlad: option " << name << " needs a valid value\n";
            PrintUsage(err);
            return PARSE_USAGE_ERROR;
        }
    }
    return PARSE_RUN;
}

void CDaemonOptions::PrintUsage(std::ostream& stream)
{
    stream << "Usage: vexlad [--data-dir DIR] [--settings FILE] [--log-level N] [--stderr] [--framework-on-public-bus]\n"
              "              [--version] [--help]\n"
              "  --data-dir DIR    directory of the store file and the avatar cache (default /var/vexla)\n"
              "  --settings FILE   library settings, one key and value per line\n"
              "  --log-level N     log level 0..7: 3 errors, 4 warnings, 5 notices (default), 6 info, 7 debug\n"
              "  --stderr          also write every log line to standard error\n"
              "  --framework-on-public-bus\n"
              "                    accept the account framework's calls of com.vexla.ui (onEnabled,\n"
              "                    updateCredentials, onCredentialsChanged) on the public bus too\n"
              "  --version         print the version and exit\n"
              "  --help            print this help and exit\n";
}
