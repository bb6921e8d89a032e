"""Shared helpers of the end-to-end suites: where the binaries are, and running a process whose
standard error is read line by line so a test can wait for a line with a deadline."""

import json
import os
import queue
import re
import shutil
import signal
import subprocess
import tempfile
import threading
import time

import pytest

SOURCE_DIR = os.environ.get("VEXLA_SOURCE_DIR", os.path.abspath(os.path.join(os.path.dirname(__file__), "..", "..")))
BUILD_DIR = os.environ.get("VEXLA_BUILD_DIR", os.path.join(SOURCE_DIR, "build", "dev"))

DEFAULT_TIMEOUT = 20.0

SANITIZER_REPORT = re.compile(r"ERROR: (Address|Leak)Sanitizer|runtime error:|SUMMARY: \w+Sanitizer")


def binary(*parts):
    """Path of a built program, e.g. binary("Src", "vexlad")."""
    path = os.path.join(BUILD_DIR, *parts)
    if not os.path.exists(path):
        raise FileNotFoundError(f"{path} is not built (VEXLA_BUILD_DIR={BUILD_DIR})")
    return path


def vexlad_path():
    return binary("Src", "vexlad")


class Process:
    """A running program. Its standard error (and, unless passed on, standard output) is collected
    line by line; wait_for_line blocks until a matching line arrives or the deadline passes."""

    def __init__(self, args, env=None, cwd=None, name=None):
        self.args = [str(a) for a in args]
        self.name = name or os.path.basename(self.args[0])
        full_env = dict(os.environ)
        if env:
            full_env.update(env)
        self.proc = subprocess.Popen(self.args, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, env=full_env, cwd=cwd)
        self._lines = []          # every line read so far, from both streams, in arrival order
        self._lock = threading.Lock()
        self._new_line = threading.Condition(self._lock)
        self._open_streams = 2
        self._readers = [threading.Thread(target=self._read, args=(stream,), daemon=True)
                         for stream in (self.proc.stdout, self.proc.stderr)]
        for reader in self._readers:
            reader.start()
        self._cursor = 0          # wait_for_line searches from here on

    def _read(self, stream):
        for raw in iter(stream.readline, b""):
            line = raw.decode("utf-8", errors="replace").rstrip("\n")
            with self._new_line:
                self._lines.append(line)
                self._new_line.notify_all()
        with self._new_line:
            self._open_streams -= 1
            self._new_line.notify_all()

    @property
    def lines(self):
        with self._lock:
            return list(self._lines)

    def output(self):
        return "\n".join(self.lines)

    def wait_for_line(self, pattern, timeout=DEFAULT_TIMEOUT):
        """Returns the first line after the previous match that contains pattern (a string) or
        matches it (a compiled regular expression); fails with the output so far on the deadline."""
        matches = pattern.search if isinstance(pattern, re.Pattern) else (lambda line: pattern in line)
        deadline = time.monotonic() + timeout
        with self._new_line:
            while True:
                while self._cursor < len(self._lines):
                    line = self._lines[self._cursor]
                    self._cursor += 1
                    if matches(line):
                        return line
                remaining = deadline - time.monotonic()
                if self._open_streams == 0 or remaining <= 0:
                    break
                self._new_line.wait(remaining)
        raise AssertionError(f"{self.name}: no line matching {pattern!r} within {timeout}s; "
                             f"exit status {self.proc.poll()}; output:\n" + "\n".join(self._lines))

    def send_signal(self, signum):
        self.proc.send_signal(signum)

    def wait_exit(self, timeout=DEFAULT_TIMEOUT):
        """Waits for the process to end, then for its output to be read; returns the exit status."""
        status = self.proc.wait(timeout=timeout)
        for reader in self._readers:
            reader.join(timeout)
        return status

    def assert_no_sanitizer_reports(self):
        reports = [line for line in self.lines if SANITIZER_REPORT.search(line)]
        assert not reports, f"{self.name}: sanitizer reports:\n" + self.output()

    def stop(self, timeout=DEFAULT_TIMEOUT):
        """Ends the process if it still runs (SIGTERM, then SIGKILL) and checks for sanitizer reports."""
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(timeout=timeout)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        for reader in self._readers:
            reader.join(timeout)
        self.assert_no_sanitizer_reports()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
        return False


def start_vexlad(data_dir, *extra_args, env=None):
    """Starts vexlad logging to standard error with a private data directory."""
    return Process([vexlad_path(), "--data-dir", data_dir, "--stderr", *extra_args], env=env, name="vexlad")


def wait_ready(daemon):
    """Waits until vexlad runs its main loop (its quit handler is installed by then)."""
    daemon.wait_for_line("Initialisation done, entering main loop.")


def quit_vexlad(daemon):
    """Asks vexlad for the orderly shutdown and returns its exit status."""
    daemon.send_signal(signal.SIGQUIT)
    daemon.wait_for_line("Vexla service ended.")
    return daemon.wait_exit()


# --- Private buses -------------------------------------------------------------------------------

WRITE_BUS_SERVICES = os.path.join(SOURCE_DIR, "scripts", "write-bus-services")


class Buses:
    """A private and a public dbus-daemon, each starting services from its own directory (written by
    scripts/write-bus-services), with both TESK_*_BUS_ADDRESS variables in `env` and in the buses'
    own environment, so activated programs find both. With two=False one daemon serves as both.
    `services` adds names: {"private": {"com.test.x": "COMMAND"}, "public": {...}}. Output of
    activated programs shows up in the daemon's lines (`daemon(bus).wait_for_line`)."""

    def __init__(self, two=True, services=None, vexlad_args="", marlo_args=""):
        self.dir = tempfile.mkdtemp(prefix="vexla-bus-", dir="/tmp")
        command = ["/usr/bin/python3", WRITE_BUS_SERVICES, "--out", self.dir, "--build-dir", BUILD_DIR,
                   f"--vexlad-args={vexlad_args}", f"--marlo-args={marlo_args}"]
        for bus, names in (services or {}).items():
            command += [f"--service={bus}:{name}={exec_line}" for name, exec_line in names.items()]
        if not two:
            command.append("--one-bus")
        written = subprocess.run(command, check=True, capture_output=True, text=True).stdout
        addresses = dict(line.split("=", 1) for line in written.splitlines())
        self.private_address = addresses["TESK_PRIVATE_BUS_ADDRESS"]
        self.public_address = addresses["TESK_PUBLIC_BUS_ADDRESS"] if two else self.private_address
        self.env = {"TESK_PRIVATE_BUS_ADDRESS": self.private_address, "TESK_PUBLIC_BUS_ADDRESS": self.public_address}
        self.daemons = {}
        for bus in ("private", "public") if two else ("private",):
            daemon = Process(["dbus-daemon", "--config-file", os.path.join(self.dir, f"{bus}-bus.conf"), "--nofork",
                              "--print-address"], env=self.env, name=f"dbus-daemon ({bus})")
            self.daemons[bus] = daemon
            daemon.wait_for_line("unix:path=")
        if not two:
            self.daemons["public"] = self.daemons["private"]

    def daemon(self, bus="private"):
        return self.daemons[bus]

    def stop(self):
        for daemon in set(self.daemons.values()):
            daemon.stop()
        shutil.rmtree(self.dir, ignore_errors=True)


def start_buses(**kwargs):
    return Buses(**kwargs)


def tesk_send_path():
    return binary("tools", "tesk-send", "tesk-send")


def tesk_send(buses, *args, timeout=DEFAULT_TIMEOUT):
    """Runs tesk-send on `buses` and returns the finished process (stdout and stderr as text)."""
    return subprocess.run([tesk_send_path(), *args], capture_output=True, text=True, timeout=timeout,
                          env={**os.environ, **buses.env})


def owner_pid(address, name):
    """The process id of the connection owning `name` on the bus at `address`, or None when nobody does."""
    out = subprocess.run(["gdbus", "call", "--address", address, "--dest", "org.freedesktop.DBus", "--object-path",
                          "/org/freedesktop/DBus", "--method", "org.freedesktop.DBus.GetConnectionUnixProcessID", name],
                         capture_output=True, text=True, timeout=DEFAULT_TIMEOUT).stdout
    found = re.search(r"uint32 (\d+)", out)
    return int(found.group(1)) if found else None


def reply_lines(run):
    """The JSON replies tesk-send printed, parsed."""
    return [json.loads(line) for line in run.stdout.splitlines()]


@pytest.fixture
def private_bus():
    """One private dbus-daemon serving as both the private and the public bus."""
    buses = Buses(two=False)
    yield buses
    buses.stop()


@pytest.fixture
def two_buses():
    """A private and a public dbus-daemon."""
    buses = Buses(two=True)
    yield buses
    buses.stop()


def wait_until(condition, what, timeout=DEFAULT_TIMEOUT):
    """Polls condition until it returns something true, which is returned; fails naming `what` on the
    deadline."""
    deadline = time.monotonic() + timeout
    while True:
        result = condition()
        if result:
            return result
        if time.monotonic() > deadline:
            raise AssertionError(f"not within {timeout}s: {what}")
        time.sleep(0.05)


def wait_gone(pid, timeout=DEFAULT_TIMEOUT):
    """Waits until the process has ended (it is no child of ours: a bus started it); false on the deadline."""
    deadline = time.monotonic() + timeout
    while True:
        try:
            with open(f"/proc/{pid}/stat") as stat:
                if stat.read().rsplit(")", 1)[-1].split()[0] == "Z":
                    return True
        except FileNotFoundError:
            return True
        if time.monotonic() > deadline:
            return False
        time.sleep(0.05)
