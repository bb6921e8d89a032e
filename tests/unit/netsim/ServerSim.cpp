#include "ServerSim.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <vector>

extern char** environ;

namespace VexlaTest {

namespace {

// Reads up to the next newline, waiting at most `timeoutMs` in total.
bool ReadLine(int descriptor, int timeoutMs, std::string* line)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    line->clear();
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd watched = {descriptor, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&watched, 1, static_cast<int>(left.count())) != 1) {
            return false;
        }
        char byte;
        if (::read(descriptor, &byte, 1) != 1) {
            return false;
        }
        if (byte == '\n') {
            return true;
        }
        line->push_back(byte);
    }
}

}  // namespace

std::string JsonText(json_object* object, const char* member)
{
    json_object* value = nullptr;
    return object && json_object_object_get_ex(object, member, &value) ? json_object_get_string(value) : "";
}

bool JsonBool(json_object* object, const char* member)
{
    json_object* value = nullptr;
    return object && json_object_object_get_ex(object, member, &value) && json_object_get_boolean(value);
}

CServerSim::CServerSim(const std::string& bindAddress, const std::string& scenario)
    : m_bind(bindAddress), m_pid(-1), m_port(0), m_control(-1)
{
    char folder[] = "/tmp/vexla-netsim-XXXXXX";
    m_folder = ::mkdtemp(folder) ? folder : "/tmp";
    std::ofstream(m_folder + "/scenario.json") << scenario;
    Spawn(0);
}

CServerSim::~CServerSim()
{
    Kill();
    for (const char* name : {"/scenario.json", "/state.json", "/control.sock"}) {
        ::unlink((m_folder + name).c_str());
    }
    ::rmdir(m_folder.c_str());
}

std::wstring CServerSim::Address() const
{
    const std::string text = m_bind + ":" + std::to_string(m_port);
    return std::wstring(text.begin(), text.end());
}

bool CServerSim::Spawn(int port)
{
    const std::string binary = std::string(VEXLA_BINARY_DIR) + "/sim/server/vexla-server-sim";
    const std::string portText = std::to_string(port);
    const std::string control = m_folder + "/control.sock";
    const std::string scenario = m_folder + "/scenario.json";
    const std::string state = m_folder + "/state.json";
    std::vector<const char*> arguments = {
        binary.c_str(), "--port",         portText.c_str(), "--bind",      m_bind.c_str(), "--control", control.c_str(),
        "--scenario",   scenario.c_str(), "--state",        state.c_str(), "--log-level",  "3",         nullptr};
    int output[2];
    if (::pipe2(output, O_CLOEXEC) != 0) {
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, output[1], STDOUT_FILENO);
    const int spawned =
        posix_spawn(&m_pid, binary.c_str(), &actions, nullptr, const_cast<char* const*>(arguments.data()), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(output[1]);
    std::string first;
    const bool started = spawned == 0 && ReadLine(output[0], 20000, &first);
    ::close(output[0]);
    if (!started) {
        m_pid = spawned == 0 ? m_pid : -1;
        return false;
    }
    json_object* announced = json_tokener_parse(first.c_str());
    json_object* value = nullptr;
    m_port = announced && json_object_object_get_ex(announced, "port", &value) ? json_object_get_int(value) : 0;
    json_object_put(announced);

    m_control = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = {};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, control.c_str(), sizeof(address.sun_path) - 1);
    return ::connect(m_control, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
}

void CServerSim::CloseControl()
{
    if (m_control >= 0) {
        ::close(m_control);
        m_control = -1;
    }
}

void CServerSim::Kill()
{
    CloseControl();
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
        m_pid = -1;
    }
}

bool CServerSim::Restart()
{
    Kill();
    return Spawn(m_port);
}

json_object* CServerSim::Command(const std::string& command)
{
    const std::string line = command + "\n";
    if (m_control < 0 ||
        ::send(m_control, line.data(), line.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(line.size())) {
        return nullptr;
    }
    std::string answer;
    if (!ReadLine(m_control, 60000, &answer)) {
        return nullptr;
    }
    return json_tokener_parse(answer.c_str());
}

bool CServerSim::Ok(const std::string& command)
{
    json_object* answer = Command(command);
    const bool ok = JsonBool(answer, "ok");
    json_object_put(answer);
    return ok;
}

bool CServerSim::WaitEvent(const std::string& match, int timeoutSeconds, json_object** event)
{
    json_object* answer = Command("{\"cmd\": \"wait\", \"since\": 0, \"timeout\": " + std::to_string(timeoutSeconds) +
                                  ", \"match\": " + match + "}");
    const bool found = JsonBool(answer, "ok");
    if (found && event) {
        json_object* value = nullptr;
        json_object_object_get_ex(answer, "event", &value);
        *event = json_object_get(value);
    }
    json_object_put(answer);
    return found;
}

}  // namespace VexlaTest
