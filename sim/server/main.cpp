// vexla-server-sim: a local Vexla network for development and tests (see README.md).

#include <signal.h>

#include <cstdio>
#include <iostream>
#include <stdexcept>

#include "CallDesk.h"
#include "ContactDirectory.h"
#include "ChatStore.h"
#include "ControlCommands.h"
#include "ControlServer.h"
#include "Directives.h"
#include "EventLog.h"
#include "Json.h"
#include "Scenario.h"
#include "ServerKeys.h"
#include "SdfServer.h"
#include "ServerSim.h"
#include "SessionTable.h"
#include "SimNetwork.h"
#include "SimOptions.h"
#include "StderrLog.h"

using namespace ServerSim;

int main(int argc, char** argv)
{
    SSimOptions options;
    std::string error;
    if (!options.Parse(argc, argv, error)) {
        std::cerr << "vexla-server-sim: " << error << "\n" << SSimOptions::Usage();
        return 2;
    }
    if (options.help) {
        std::cout << SSimOptions::Usage();
        return 0;
    }
    CStderrLog::Install(options.logLevel);

    // Every thread inherits this mask; the main thread takes the signals with sigwait.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    signal(SIGPIPE, SIG_IGN);

    const std::string keysDir = options.keysDir.empty() ? VEXLA_SERVER_SIM_KEYS_DIR : options.keysDir;
    std::unique_ptr<CServerKeys> keys;
    try {
        keys.reset(new CServerKeys(keysDir));
    } catch (const std::exception& failure) {
        std::cerr << "vexla-server-sim: " << failure.what() << "\n";
        return 1;
    }
    CScenario scenario;
    if (!options.scenarioPath.empty() && !scenario.Load(options.scenarioPath, error)) {
        std::cerr << "vexla-server-sim: " << error << "\n";
        return 1;
    }
    CContactDirectory contacts;
    if (!options.scenarioPath.empty() && !contacts.Load(options.scenarioPath, error)) {
        std::cerr << "vexla-server-sim: " << error << "\n";
        return 1;
    }
    CSessionTable sessions(options.statePath);
    if (!sessions.Load(error)) {
        std::cerr << "vexla-server-sim: " << error << "\n";
        return 1;
    }
    sessions.Add(scenario.Sessions());
    CDirectives directives;
    CEventLog events;
    SSimContext context{*keys, scenario, sessions, directives, events};
    CChatStore chats(scenario.TimeOffset());
    error.clear();
    const bool restored = !options.statePath.empty() && chats.Restore(options.statePath + ".chats", error);
    if (!error.empty()) {
        std::cerr << "vexla-server-sim: " << error << "\n";
        return 1;
    }
    if (!restored && !scenario.Chats().empty()) {
        TJsonPtr list = CJson::Parse(scenario.Chats());
        if (!chats.Load(list.get(), error)) {
            std::cerr << "vexla-server-sim: " << error << "\n";
            return 1;
        }
    }
    context.chats = &chats;
    context.captureDir = options.captureDir;

    CSimNetwork network;
    CServerSim server(context, network.Dispatcher());
    context.contacts = &contacts;
    context.server = &server;
    if (!server.Listen(options.bindAddress, options.port, error)) {
        std::cerr << "vexla-server-sim: " << error << "\n";
        return 1;
    }
    chats.SetServer(&server);
    // Declared after the server, so it goes first: no delayed answer reaches a destroyed server.
    CCallDesk calls(scenario.TimeOffset());
    if (!options.scenarioPath.empty() && !calls.Load(options.scenarioPath, error)) {
        std::cerr << "vexla-server-sim: " << error << "\n";
        return 1;
    }
    calls.SetServer(&server);
    context.calls = &calls;
    CSdfServer discovery(context);
    if (options.sdfPort >= 0 && !discovery.Listen(options.bindAddress, options.sdfPort, error)) {
        std::cerr << "vexla-server-sim: " << error << "\n";
        return 1;
    }
    CControlCommands commands(context, server);
    CControlServer control(commands, events);
    if (!options.controlPath.empty() && !control.Listen(options.controlPath, error)) {
        std::cerr << "vexla-server-sim: " << error << "\n";
        return 1;
    }

    TJsonPtr ready(json_object_new_object());
    json_object_object_add(ready.get(), "port", json_object_new_int(server.Port()));
    if (options.sdfPort >= 0) {
        json_object_object_add(ready.get(), "sdf_port", json_object_new_int(discovery.Port()));
    }
    json_object_object_add(ready.get(), "control", json_object_new_string(options.controlPath.c_str()));
    std::cout << CJson::ToLine(ready.get()) << std::endl;

    server.Start();
    if (options.sdfPort >= 0) {
        discovery.Start();
    }
    if (!options.controlPath.empty()) {
        control.Start();
    }
    int received = 0;
    sigwait(&stopSignals, &received);

    events.Stop();
    control.Stop();
    discovery.Stop();
    server.Stop();
    return 0;
}
