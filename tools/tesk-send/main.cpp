// tesk-send: calls any method on the bus and prints each reply as one JSON line.

#include "TeskSend.h"
#include "TeskSendOptions.h"

#include <cstdio>

int main(int argc, char** argv)
{
    CTeskSendOptions options;
    std::string error;
    if (!CTeskSendOptions::Parse(argc, argv, &options, &error))
    {
        fprintf(stderr, "tesk-send: %s\n%s", error.c_str(), CTeskSendOptions::Usage());
        return CTeskSend::EXIT_NO_REPLY;
    }
    if (options.help)
    {
        fputs(CTeskSendOptions::Usage(), stdout);
        return 0;
    }
    return CTeskSend(options).Run();
}
