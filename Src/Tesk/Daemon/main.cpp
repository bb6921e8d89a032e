#include <iostream>

#include "Tesk/App/DaemonOptions.h"
#include "Tesk/Daemon/VexlaServiceApplication.h"
#include "Utils/MemoryRelease.h"

int main(int argc, char** argv)
{
    VexlaLib::CMemoryRelease::Configure();
    CDaemonOptions options;
    switch (options.Parse(argc, argv, std::cout, std::cerr)) {
    case CDaemonOptions::PARSE_DONE:
        return 0;
    case CDaemonOptions::PARSE_USAGE_ERROR:
        return 2;
    case CDaemonOptions::PARSE_RUN:
        break;
    }
    CVexlaServiceApplication* application = new CVexlaServiceApplication(options);
    const int result = application->Execute();
    delete application;
    return result;
}
