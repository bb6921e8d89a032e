"""Running vexla-server-sim from a test: start it on an ephemeral port, talk to its control socket,
wait for its events with a deadline. See sim/server/README.md for the commands and events."""

import json
import os
import socket

import harness


def server_sim_path():
    return harness.binary("sim", "server", "vexla-server-sim")


class ServerSim:
    """A running simulator. port is the bound TCP port (sdf_port the discovery server's, when asked
    for); command() sends one control command and
    returns the answer; wait() returns the first event matching a filter or fails on the deadline."""

    def __init__(self, workdir, port=0, scenario=None, state=None, bind="127.0.0.1", sdf_port=None,
                 name="server-sim", capture=None):
        self.control_path = os.path.join(str(workdir), f"{name}.sock")
        args = [server_sim_path(), "--port", port, "--bind", bind, "--control", self.control_path]
        if sdf_port is not None:
            args += ["--sdf-port", sdf_port]
        if scenario is not None:
            scenario_path = os.path.join(str(workdir), f"{name}.json")
            with open(scenario_path, "w") as file:
                json.dump(scenario, file)
            args += ["--scenario", scenario_path]
        if state is not None:
            args += ["--state", state]
        if capture is not None:
            args += ["--capture", capture]
        self.process = harness.Process(args, name=name)
        ready = json.loads(self.process.wait_for_line('{"port":'))
        self.port = ready["port"]
        self.address = f"{bind}:{self.port}"
        self.sdf_port = ready.get("sdf_port")
        self._control = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self._control.connect(self.control_path)
        self._reader = self._control.makefile("r", encoding="utf-8")

    def command(self, cmd, **members):
        members["cmd"] = cmd
        self._control.sendall((json.dumps(members) + "\n").encode("utf-8"))
        line = self._reader.readline()
        assert line, f"control socket closed; output:\n{self.process.output()}"
        return json.loads(line)

    def wait(self, match, since=0, timeout=harness.DEFAULT_TIMEOUT):
        answer = self.command("wait", match=match, since=since, timeout=timeout)
        assert answer["ok"], f"no event matching {match} within {timeout}s: {answer}"
        return answer["event"]

    def stop(self):
        self._reader.close()
        self._control.close()
        self.process.stop()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        return False
