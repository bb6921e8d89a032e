"""Running vexla-cli from a test: commands go to its standard input, its JSON lines are collected
and a test waits for the next matching one with a deadline."""

import json
import os
import subprocess
import threading
import time

import harness


def vexla_cli_path():
    return harness.binary("tools", "vexla-cli", "vexla-cli")


class VexlaCli:
    """A running vexla-cli pointed at a simulator on `port`. expect() returns the first line after the
    previous match whose members equal every member given (an "event" or "reply" name and more)."""

    def __init__(self, workdir, port, pstn="+31600000000", extra_settings=None):
        self.data_dir = os.path.join(str(workdir), "cli-data")
        settings = {"SERVER_ENVIRONMENT": "TEST", "SERVER_ADDRESS_LIST": f"127.0.0.1:{port}", "USE_SDF_SERVER": "NO"}
        if pstn:
            settings["PSTN"] = pstn
        settings.update(extra_settings or {})
        self.settings_path = os.path.join(str(workdir), "cli.settings")
        with open(self.settings_path, "w") as file:
            file.writelines(f"{key} {value}\n" for key, value in settings.items())
        self.proc = subprocess.Popen([vexla_cli_path(), "--settings", self.settings_path, "--data-dir", self.data_dir],
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
        self.lines = []
        self._cursor = 0
        self._after_reply = 0     # replies are looked for after the last one taken
        self._changed = threading.Condition()
        self._readers = [threading.Thread(target=self._read, args=(stream,), daemon=True)
                         for stream in (self.proc.stdout, self.proc.stderr)]
        for reader in self._readers:
            reader.start()

    def _read(self, stream):
        for raw in iter(stream.readline, b""):
            text = raw.decode("utf-8", errors="replace").rstrip("\n")
            try:
                line = json.loads(text)
            except ValueError:
                line = {"text": text}
            with self._changed:
                self.lines.append(line)
                self._changed.notify_all()

    def send(self, command):
        self.proc.stdin.write((command + "\n").encode("utf-8"))
        self.proc.stdin.flush()

    def expect(self, timeout=harness.DEFAULT_TIMEOUT, **members):
        deadline = time.monotonic() + timeout
        with self._changed:
            while True:
                while self._cursor < len(self.lines):
                    line = self.lines[self._cursor]
                    self._cursor += 1
                    if all(line.get(key) == value for key, value in members.items()):
                        return line
                remaining = deadline - time.monotonic()
                if remaining <= 0 or self.proc.poll() is not None and self._cursor >= len(self.lines):
                    break
                self._changed.wait(min(remaining, 0.5))
        raise AssertionError(f"vexla-cli: no line with {members} within {timeout}s; lines:\n" +
                             "\n".join(json.dumps(line) for line in self.lines))

    def run(self, command, **members):
        """Sends a command and returns its reply line (which must say ok unless members say otherwise).
        Events printed while the command ran, before its reply, stay for expect()."""
        with self._changed:
            start = self._cursor
            self._cursor = max(self._cursor, self._after_reply)
        self.send(command)
        reply = self.expect(reply=command.split()[0])
        with self._changed:
            self._after_reply = self._cursor
            self._cursor = start
        assert reply.get("ok") == members.get("ok", True), reply
        return reply

    def quit(self, timeout=harness.DEFAULT_TIMEOUT):
        if self.proc.poll() is None:
            self.send("quit")
            self.proc.stdin.close()
        status = self.proc.wait(timeout=timeout)
        for reader in self._readers:
            reader.join(timeout)
        reports = [line for line in self.lines if harness.SANITIZER_REPORT.search(json.dumps(line))]
        assert not reports, "vexla-cli: sanitizer reports:\n" + "\n".join(map(json.dumps, self.lines))
        return status

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        return False
