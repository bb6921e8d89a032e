// Bus payloads for every method of com.vexla.im, com.vexla.call and com.vexla.ui. The daemon is
// assembled once, as vexlad builds it, on a private dbus-daemon inside a network namespace of the
// process's own; an input is the method as a URI path ("com.vexla.ui/checkCredentials"), a line feed and the payload (a first line that
// names no method picks one by its bytes), which the harness hands to the
// method's handler in-process, as the bus connection does with an incoming call (replies go out on
// the real connection to a harness client). The main loop then runs what became due, so handlers
// and the callbacks of their outgoing calls both see the fuzzed state.

#include <gio/gio.h>
#include <stdlib.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "BusDaemon.h"
#include "FuzzLog.h"
#include "NetworkSandbox.h"
#include "ScratchDir.h"
#include "Tesk/Daemon/DaemonAssembly.h"
#include "Tesk/App/DaemonOptions.h"
#include "Tesk/Core/BusConnection.h"
#include "Tesk/Core/BusMessage.h"
#include "Tesk/Core/TeskService.h"

namespace {

struct CMethod {
    std::string service;
    std::string category;
    std::string name;
    CTeskService* owner;
};

// At most this many main-loop iterations run after each input; what is left runs after the next.
const int kLoopIterations = 64;

std::vector<CMethod> g_methods;
TBusConnectionSPtr g_caller;

void Assemble()
{
    const std::string& address = FuzzSupport::CBusDaemon::Address();
    setenv("TESK_PRIVATE_BUS_ADDRESS", address.c_str(), 1);
    setenv("TESK_PUBLIC_BUS_ADDRESS", address.c_str(), 1);

    const std::string dataDir = FuzzSupport::ScratchDir() + "/data";
    std::filesystem::create_directories(dataDir + "/avatars/cache");
    const char* const argv[] = {"vexlad", "--data-dir", dataDir.c_str()};
    static CDaemonOptions options;
    std::ostringstream ignored;
    options.Parse(3, argv, ignored, ignored);
    static CDaemonAssembly assembly;
    static GMainLoop* const loop = g_main_loop_new(nullptr, FALSE);
    if (!assembly.Assemble(loop, options)) {
        fprintf(stderr, "the daemon could not be assembled\n");
        abort();
    }
    for (const auto& [name, service] : assembly.Services()) {
        const IBusDispatcher* dispatcher = service->Dispatcher();
        for (const std::string& category : dispatcher->Categories()) {
            for (const std::string& method : dispatcher->Methods(category))
                g_methods.push_back({name, category, method, service});
        }
    }
    std::string error;
    g_caller = CBusConnection::Open(address, &error);
    if (!g_caller) {
        fprintf(stderr, "no caller connection: %s\n", error.c_str());
        abort();
    }
}

const CMethod& PickMethod(const std::string& line)
{
    size_t hash = 0;
    for (const CMethod& method : g_methods) {
        if (line == method.service + method.category + (method.category == "/" ? "" : "/") + method.name)
            return method;
    }
    for (unsigned char c : line)
        hash = hash * 31 + c;
    return g_methods[hash % g_methods.size()];
}

// What the bus carries: UTF-8 text without NUL.
std::string BusText(std::string text)
{
    text.resize(text.find('\0') == std::string::npos ? text.size() : text.find('\0'));
    gchar* valid = g_utf8_make_valid(text.c_str(), -1);
    std::string result(valid);
    g_free(valid);
    return result;
}

void Call(const CMethod& method, const std::string& payload)
{
    static guint32 serial = 0;
    GDBusMessage* call =
        g_dbus_message_new_method_call(method.service.c_str(), method.category.c_str(), TESK_INTERFACE,
                                       method.name.c_str());
    g_dbus_message_set_sender(call, g_caller->UniqueName().c_str());
    g_dbus_message_set_serial(call, ++serial);
    g_dbus_message_set_body(call, g_variant_new("(s)", payload.c_str()));
    const TBusMessageHandler handler = *method.owner->Dispatcher()->FindMethod(method.category, method.name);
    handler(std::make_shared<CBusMessage>(method.owner->PublicConnection(), call, payload));
    g_object_unref(call);
}

// The daemon keeps state from input to input, so memory that outlives an input is no leak; checking
// after every such input would stop the world each time. Leaks are still checked at exit.
void DisablePerInputLeakChecks(int* argc, char*** argv)
{
    static std::vector<char*> arguments(*argv, *argv + *argc);
    static char flag[] = "-detect_leaks=0";
    arguments.insert(arguments.begin() + 1, flag);
    arguments.push_back(nullptr);
    *argc = static_cast<int>(arguments.size()) - 1;
    *argv = arguments.data();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    DisablePerInputLeakChecks(argc, argv);
    if (!FuzzSupport::IsolateNetwork())
        fprintf(stderr, "no network namespace: the daemon may try the network\n");
    FuzzSupport::InstallDiscardingLog();
    Assemble();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const size_t lineEnd = std::min(text.find('\n'), text.size());
    Call(PickMethod(text.substr(0, lineEnd)), BusText(text.substr(std::min(lineEnd + 1, text.size()))));
    for (int n = 0; n < kLoopIterations && g_main_context_iteration(nullptr, FALSE); ++n) {
    }
    return 0;
}
