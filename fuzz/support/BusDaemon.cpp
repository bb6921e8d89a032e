#include "BusDaemon.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "ScratchDir.h"

namespace FuzzSupport {

namespace {

pid_t g_daemon = -1;

void StopDaemon()
{
    if (g_daemon > 0) {
        kill(g_daemon, SIGTERM);
        waitpid(g_daemon, nullptr, 0);
        g_daemon = -1;
    }
}

std::string Start()
{
    const std::string socketPath = ScratchDir() + "/bus";
    const std::string configPath = ScratchDir() + "/bus.conf";
    std::ofstream(configPath) << "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                                 "<busconfig><type>session</type><listen>unix:path="
                              << socketPath
                              << "</listen><auth>EXTERNAL</auth><policy context=\"default\">"
                                 "<allow user=\"*\"/><allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
                                 "<allow own=\"*\"/></policy></busconfig>\n";
    int ready[2];
    if (pipe(ready) != 0) {
        perror("pipe");
        abort();
    }
    const pid_t parent = getpid();
    g_daemon = fork();
    if (g_daemon == 0) {
        prctl(PR_SET_PDEATHSIG, SIGTERM);
        if (getppid() != parent)
            _exit(1);
        close(ready[0]);
        // Its complaints about the harness's unrequested replies would drown the fuzzer's output.
        const int quiet = open("/dev/null", O_WRONLY);
        dup2(quiet, STDERR_FILENO);
        const std::string config = "--config-file=" + configPath;
        const std::string printAddress = "--print-address=" + std::to_string(ready[1]);
        execlp("dbus-daemon", "dbus-daemon", config.c_str(), printAddress.c_str(), "--nofork", "--nopidfile",
               static_cast<char*>(nullptr));
        _exit(127);
    }
    if (g_daemon < 0) {
        perror("fork");
        abort();
    }
    close(ready[1]);
    atexit(StopDaemon);
    // The daemon prints its address once it takes connections; end of file means it failed.
    char first = 0;
    const ssize_t got = read(ready[0], &first, 1);
    close(ready[0]);
    if (got != 1) {
        fprintf(stderr, "dbus-daemon did not start\n");
        abort();
    }
    return "unix:path=" + socketPath;
}

}  // namespace

const std::string& CBusDaemon::Address()
{
    static const std::string address = Start();
    return address;
}

}  // namespace FuzzSupport
