// platform-sim: the phone platform's services on the bus, until SIGTERM or SIGINT.

#include "PlatformSim/PlatformSim.h"
#include "PlatformSim/SimLog.h"
#include "PlatformSim/SimOptions.h"

#include <glib-unix.h>
#include <glib.h>

#include <csignal>
#include <cstdio>

using namespace PlatformSim;

namespace
{
gboolean Quit(gpointer loop)
{
    g_main_loop_quit(static_cast<GMainLoop*>(loop));
    return G_SOURCE_CONTINUE;
}
} // namespace

int main(int argc, char** argv)
{
    CSimOptions options;
    std::string error;
    if (!CSimOptions::Parse(argc, argv, &options, &error))
    {
        fprintf(stderr, "%s\n%s", error.c_str(), CSimOptions::Usage());
        return 2;
    }
    if (options.help)
    {
        fputs(CSimOptions::Usage(), stdout);
        return 0;
    }
    CSimLog::SetVerbose(options.verbose);

    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    int status = 0;
    {
        CPlatformSim sim(options);
        if (sim.Start(&error))
        {
            g_unix_signal_add(SIGTERM, &Quit, loop);
            g_unix_signal_add(SIGINT, &Quit, loop);
            CSimLog::Info("ready");
            g_main_loop_run(loop);
            sim.Stop();
            CSimLog::Info("stopped");
        }
        else
        {
            CSimLog::Info("cannot start: " + error);
            status = 1;
        }
    }
    g_main_loop_unref(loop);
    return status;
}
