#pragma once

#include <json-c/json.h>
#include <sys/types.h>

#include <string>

namespace VexlaTest {

// One vexla-server-sim process on loopback with its control socket. The simulator binary comes from
// the main build folder; its port is read from the first line it prints.
class CServerSim
{
public:
    // `bindAddress` is 127.0.0.1 or 127.0.0.2; `scenario` is the scenario JSON text.
    CServerSim(const std::string& bindAddress, const std::string& scenario);
    ~CServerSim();

    CServerSim(const CServerSim&) = delete;
    CServerSim& operator=(const CServerSim&) = delete;

    bool Running() const { return m_pid > 0 && m_port > 0; }
    int Port() const { return m_port; }
    std::wstring Address() const;

    // Kills the process without a goodbye, as a crash would, and starts it again on the same port.
    void Kill();
    bool Restart();

    // Sends one control command and returns its answer (owned by the caller: json_object_put), or
    // nothing when the simulator did not answer.
    json_object* Command(const std::string& command);
    // True when the command was answered with "ok": true.
    bool Ok(const std::string& command);
    // Waits for the first event from sequence 0 on that has every member of `match` (JSON object text).
    bool WaitEvent(const std::string& match, int timeoutSeconds = 20, json_object** event = nullptr);

private:
    bool Spawn(int port);
    void CloseControl();

    std::string m_bind;
    std::string m_folder;
    pid_t m_pid;
    int m_port;
    int m_control;
};

// Shorthands for reading json-c values.
std::string JsonText(json_object* object, const char* member);
bool JsonBool(json_object* object, const char* member);

}  // namespace VexlaTest
