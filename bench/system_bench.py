#!/usr/bin/python3
"""Whole-system figures: the release binaries of a build tree (--build-dir) on the simulators, driven
through the end-to-end harness (tests/e2e). Prints one JSON object per figure:

    {"what": str, "goal": str, "measured": str, "ratio": float or null, "spread": str, "met": bool}

where ratio is the measured value divided by the goal's bound (a "≥" goal is met at 1 or more, a "≤"
goal at 1 or less; null when nothing could be measured), and writes the time series to
bench/out/series.json: {"messages": [[t_seconds, records_written, rss_kib], ...],
"contacts": [[t_seconds, contacts_synced], ...]}.

Figures: incoming messages per second into the platform database; 1,000 and 10,000 contacts synced
after sign-in; vexlad's resident memory at 1,000 contacts and its growth over 10,000 messages; idle
instructions per processing step (callgrind, when valgrind is installed) and wake-ups per second;
the longest bus call to vexlad during a 10,000-contact sync."""

import argparse
import json
import os
import shutil
import socket
import statistics
import subprocess
import sys
import tempfile
import threading
import time

SOURCE_DIR = os.path.abspath(os.path.join(os.path.dirname(__file__), ".."))

CONTACT = "com.nylo.contact.vexla:1"
MESSAGE = "com.nylo.immessage.vexla:1"
LOGIN_STATE = "com.nylo.imloginstate.vexla:1"
SIM = "nylo://com.nylo.sim/"
DB = "nylo://com.nylo.db/"


def parse_args():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--build-dir", required=True, help="build tree with the release binaries")
    parser.add_argument("--out", default=os.path.join(SOURCE_DIR, "bench", "out", "series.json"))
    parser.add_argument("--messages", type=int, help="messages in the burst (default 10,000; 2,000 with --quick)")
    parser.add_argument("--quick", action="store_true",
                        help="a shorter burst and no callgrind count of the idle step, for a run of a few minutes")
    parser.add_argument("--only", action="append", default=[],
                        help="run only these parts: messages, contacts1k, contacts10k, idle")
    return parser.parse_args()


ARGS = parse_args()
if ARGS.messages is None:
    ARGS.messages = 2000 if ARGS.quick else 10000
os.environ["VEXLA_BUILD_DIR"] = os.path.abspath(ARGS.build_dir)
os.environ["VEXLA_SOURCE_DIR"] = SOURCE_DIR
sys.path.insert(0, os.path.join(SOURCE_DIR, "tests", "e2e"))

import harness  # noqa: E402
from eventqueue import EventQueue  # noqa: E402
from serversim import ServerSim  # noqa: E402


def figure(what, goal, measured, value, bound, higher_is_better, spread="one run"):
    """One line of the table; value and bound in the same unit, value None when nothing was measured."""
    ratio = None if value is None or not bound else round(value / bound, 3)
    met = value is not None and (value >= bound if higher_is_better else value <= bound)
    line = {"what": what, "goal": goal, "measured": measured, "ratio": ratio, "spread": spread, "met": met}
    print(json.dumps(line, ensure_ascii=False), flush=True)
    return line


def rss_kib(pid):
    try:
        with open(f"/proc/{pid}/status") as status:
            for line in status:
                if line.startswith("VmRSS:"):
                    return int(line.split()[1])
    except FileNotFoundError:
        pass
    return None


def context_switches(pid, main_thread_only=False):
    """Voluntary context switches of the process's threads (or of its main thread): a thread gives up
    the processor when it goes to sleep, so each one ends in a wake-up."""
    total = 0
    tasks = [str(pid)] if main_thread_only else os.listdir(f"/proc/{pid}/task")
    for task in tasks:
        try:
            with open(f"/proc/{pid}/task/{task}/status") as status:
                for line in status:
                    if line.startswith("voluntary_ctxt_switches:"):
                        total += int(line.split()[1])
        except FileNotFoundError:
            continue
    return total


class WriteCounter:
    """Counts the platform simulator's database writes by kind and operation as they are published,
    keeping the time of each; constant work per event, so a long burst does not slow the count."""

    def __init__(self, buses):
        self.process = subprocess.Popen([harness.tesk_send_path(), "--public", "-n", "0", SIM + "events", "{}"],
                                        stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                        env={**os.environ, **buses.env})
        self.times = {}
        self.changed = threading.Condition()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for raw in iter(self.process.stdout.readline, b""):
            try:
                event = json.loads(raw)
            except ValueError:
                continue
            if event.get("event") != "write":
                continue
            with self.changed:
                self.times.setdefault((event.get("kind"), event.get("operation")), []).append(time.monotonic())
                self.changed.notify_all()

    def wait_for(self, kind, operation, count, deadline):
        """The times of the writes once there are `count` of them, or of those by the deadline."""
        key = (kind, operation)
        with self.changed:
            while len(self.times.get(key, [])) < count and time.monotonic() < deadline:
                self.changed.wait(timeout=max(0.0, min(1.0, deadline - time.monotonic())))
            return list(self.times.get(key, []))

    def count(self, kind, operation):
        with self.changed:
            return len(self.times.get((kind, operation), []))

    def close(self):
        self.process.terminate()
        self.process.wait()


class System:
    """The simulators on one private bus with vexlad activatable on it (or started by the caller, as
    with valgrind), vexlad's settings in the workdir, an event queue over the platform simulator's
    events for the sign-in, and a counter of its database writes for the figures."""

    def __init__(self, scenario, vexlad_args=""):
        self.workdir = tempfile.mkdtemp(prefix="vexla-bench-", dir="/tmp")
        self.server = ServerSim(self.workdir, scenario=scenario)
        self.settings = os.path.join(self.workdir, "settings")
        with open(self.settings, "w") as file:
            file.write(f"SERVER_ENVIRONMENT TEST\nUSE_SDF_SERVER NO\nSERVER_ADDRESS_LIST {self.server.address}\n")
        self.data_dir = os.path.join(self.workdir, "data")
        self.buses = harness.Buses(two=False, vexlad_args=f"--data-dir {self.data_dir} --settings {self.settings} "
                                                          f"{vexlad_args}")
        self.platform = harness.Process([harness.binary("sim", "platform", "platform-sim"), "--db",
                                         os.path.join(self.workdir, "platform.db")], env=self.buses.env,
                                        name="platform-sim")
        self.platform.wait_for_line("platform-sim: ready")
        self.events = EventQueue()
        self.events.follow_platform(self.buses)
        self.writes = WriteCounter(self.buses)
        self.extra = []

    def call(self, uri, payload):
        run = harness.tesk_send(self.buses, *(["--public"] if uri.startswith(SIM) else []), uri, json.dumps(payload))
        return harness.reply_lines(run)[0]

    def sign_in(self, timeout=120):
        account = self.call(SIM + "addAccount", {"username": "alice", "password": "secret", "enable": False})["accountId"]
        self.events.expect(source="platform", event="activity", name="Vexla loginstate", state="created")
        self.call(DB + "put", {"objects": [{"_kind": LOGIN_STATE, "accountId": account, "username": "alice",
                                            "serviceName": "type_vexla", "state": "logging-on", "availability": 0,
                                            "customMessage": ""}]})
        self.events.expect(timeout=timeout, source="platform", event="write", operation="merge", kind=LOGIN_STATE,
                           record={"state": "online"})

    def vexlad_pid(self):
        return harness.owner_pid(self.buses.private_address, "com.vexla.im")

    def stop(self):
        pid = self.vexlad_pid()
        if pid:
            os.kill(pid, 3)
            harness.wait_gone(pid, timeout=60)
        for process in self.extra:
            process.stop(timeout=60)
        self.writes.close()
        self.events.close()
        self.platform.stop()
        self.buses.stop()
        self.server.stop()
        shutil.rmtree(self.workdir, ignore_errors=True)


def contacts_scenario(count):
    names = [f"user{i:05d}" for i in range(count)]
    return {"accounts": [{"name": "alice", "password": "secret"}],
            "users": [{"name": name, "fullName": f"User {name}", "availability": 2} for name in names],
            "buddies": {"alice": [{"name": name} for name in names]}}


class LatencyProbe(threading.Thread):
    """Calls vexlad's com.vexla.im (introspection, answered on its main loop) every 50 ms."""

    def __init__(self, address):
        super().__init__(daemon=True)
        from gi.repository import Gio, GLib
        self.Gio, self.GLib = Gio, GLib
        flags = Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION
        self.connection = Gio.DBusConnection.new_for_address_sync(address, flags, None, None)
        self.latencies = []
        self.stopped = threading.Event()

    def run(self):
        while not self.stopped.is_set():
            started = time.monotonic()
            try:
                self.connection.call_sync("com.vexla.im", "/", "org.freedesktop.DBus.Introspectable", "Introspect",
                                          None, self.GLib.VariantType("(s)"), self.Gio.DBusCallFlags.NONE, 30000, None)
                self.latencies.append(time.monotonic() - started)
            except Exception:  # noqa: BLE001  (vexlad not up yet)
                pass
            self.stopped.wait(0.05)


def bench_contacts(count, series=None, probe=False):
    system = System(contacts_scenario(count))
    try:
        system.sign_in()
        started = time.monotonic()
        latency = LatencyProbe(system.buses.private_address) if probe else None
        if latency:
            latency.start()
        times = system.writes.wait_for(CONTACT, "put", count, started + 900)
        synced = min(len(times), count)
        if series is not None:
            series.extend([round(t - started, 3), n + 1] for n, t in enumerate(times[:count])
                          if (n + 1) % 50 == 0 or n + 1 == synced)
        elapsed = (times[synced - 1] if synced else time.monotonic()) - started
        if latency:
            latency.stopped.set()
            latency.join()
        return {"synced": synced, "seconds": elapsed, "rss": rss_kib(system.vexlad_pid()),
                "latencies": latency.latencies if latency else []}
    finally:
        system.stop()


def inject_messages(server, count):
    """Sends `count` chat messages from bob through the control socket, pipelined."""
    control = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    control.connect(server.control_path)
    reader = control.makefile("r", encoding="utf-8")
    answered = threading.Thread(target=lambda: [reader.readline() for _ in range(count)], daemon=True)
    answered.start()
    for i in range(count):
        control.sendall((json.dumps({"cmd": "chat_message", "from": "bob", "to": "alice", "text": f"m{i}"}) + "\n")
                        .encode())
    return control, answered


def bench_messages(count, series):
    scenario = {"accounts": [{"name": "alice", "password": "secret"}], "users": [{"name": "bob", "availability": 2}],
                "buddies": {"alice": [{"name": "bob"}]}}
    system = System(scenario)
    try:
        system.sign_in()
        pid = system.vexlad_pid()
        time.sleep(2)  # let the sign-in's own writes settle before the baseline
        rss_before = rss_kib(pid)
        started = time.monotonic()
        stop = threading.Event()

        def sampler():
            while not stop.is_set():
                series.append([round(time.monotonic() - started, 3), system.writes.count(MESSAGE, "put"), rss_kib(pid)])
                stop.wait(0.25)
        # Sampling from the start: the burst's first half second is where the memory rises.
        sampling = threading.Thread(target=sampler, daemon=True)
        sampling.start()
        control, answered = inject_messages(system.server, count)
        times = system.writes.wait_for(MESSAGE, "put", count, started + 900)
        done = min(len(times), count)
        finished = times[done - 1] if done else time.monotonic()
        time.sleep(1)
        rss_after = rss_kib(pid)
        stop.set()
        sampling.join()
        series.append([round(time.monotonic() - started, 3), system.writes.count(MESSAGE, "put"), rss_after])
        answered.join(timeout=30)
        control.close()
        rates = per_second_rates(series)
        return {"written": done, "seconds": finished - started, "rss_before": rss_before, "rss_after": rss_after,
                "rates": rates}
    finally:
        system.stop()


def per_second_rates(points):
    """Records per second in each whole second of the series."""
    rates = []
    by_second = {}
    for t, written, _ in points:
        by_second[int(t)] = written
    seconds = sorted(by_second)
    for a, b in zip(seconds, seconds[1:]):
        if b == a + 1:
            rates.append(by_second[b] - by_second[a])
    return rates


def settle(system, kind=CONTACT, quiet_seconds=3.0, timeout=300):
    """Waits until no write of any kind came for quiet_seconds."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        try:
            system.events.expect(timeout=quiet_seconds, source="platform", event="write")
        except AssertionError:
            return


def bench_idle_wakeups():
    system = System(contacts_scenario(100))
    try:
        system.sign_in()
        settle(system)
        pid = system.vexlad_pid()
        before = context_switches(pid)
        time.sleep(10)
        return (context_switches(pid) - before) / 10.0
    finally:
        system.stop()


def bench_idle_instructions():
    """Instructions per processing step while idle, from callgrind collecting inside the library's
    Process (the step's work; the step itself may be inlined into its caller), divided by the main
    thread's wake-ups in the same window."""
    if subprocess.run(["which", "valgrind"], capture_output=True).returncode != 0:
        return None
    system = System(contacts_scenario(100))
    out = os.path.join(system.workdir, "callgrind.out")
    try:
        vexlad = harness.Process(["valgrind", "--tool=callgrind", f"--callgrind-out-file={out}",
                                  "--toggle-collect=VexlaLib::CVexlaLib::Process()", harness.vexlad_path(),
                                  "--data-dir", system.data_dir, "--settings", system.settings],
                                 env=system.buses.env, name="vexlad (callgrind)")
        system.extra.append(vexlad)
        harness.wait_until(system.vexlad_pid, "vexlad under callgrind on the bus", timeout=120)
        system.sign_in(timeout=300)
        settle(system, timeout=600)
        pid = system.vexlad_pid()
        subprocess.run(["callgrind_control", "-z", str(pid)], capture_output=True, timeout=60)
        steps_before = context_switches(pid, main_thread_only=True)
        time.sleep(10)
        steps = context_switches(pid, main_thread_only=True) - steps_before
        subprocess.run(["callgrind_control", "-d", str(pid)], capture_output=True, timeout=60)
        dumps = sorted(f for f in os.listdir(system.workdir) if f.startswith("callgrind.out") and f != "callgrind.out")
        instructions = None
        for dump in dumps[-1:]:
            with open(os.path.join(system.workdir, dump)) as file:
                for line in file:
                    if line.startswith("summary:") or line.startswith("totals:"):
                        instructions = int(line.split()[1])
        if not instructions or steps <= 0:
            return None
        return instructions / steps
    finally:
        system.stop()


def spread_of(values, unit):
    if len(values) < 2:
        return "one run"
    return f"per-second p10–p90: {percentile(values, 10):.0f}–{percentile(values, 90):.0f} {unit}"


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(len(ordered) * p / 100))]


def main():
    only = set(ARGS.only)
    wanted = lambda part: not only or part in only  # noqa: E731
    series = {"messages": [], "contacts": []}

    if wanted("messages"):
        result = bench_messages(ARGS.messages, series["messages"])
        rate = result["written"] / result["seconds"] if result["seconds"] > 0 else None
        figure("Incoming messages into the platform database, whole system", "≥ 2,000 records/s",
               f"{rate:.0f} records/s ({result['written']} of {ARGS.messages})", rate, 2000, True,
               spread_of(result["rates"], "records/s"))
        growth = None
        if result["rss_before"] and result["rss_after"]:
            growth = (result["rss_after"] - result["rss_before"]) / 1024.0
        figure(f"vexlad memory growth over {ARGS.messages:,} messages", "≤ +1 MiB",
               "n/a" if growth is None else f"{growth:+.1f} MiB ({result['rss_before']} → {result['rss_after']} KiB)",
               growth, 1.0, False)

    if wanted("contacts1k"):
        result = bench_contacts(1000)
        seconds = result["seconds"] if result["synced"] >= 1000 else None
        figure("1,000 contacts in the phone's contacts database after sign-in", "≤ 30 s",
               f"{result['seconds']:.1f} s ({result['synced']} contacts)", seconds, 30, False)
        rss = result["rss"] / 1024.0 if result["rss"] else None
        figure("vexlad resident memory, 1,000 contacts", "≤ 8 MiB", "n/a" if rss is None else f"{rss:.1f} MiB",
               rss, 8.0, False)

    if wanted("contacts10k"):
        result = bench_contacts(10000, series["contacts"], probe=True)
        seconds = result["seconds"] if result["synced"] >= 10000 else None
        figure("10,000 contacts in the phone's contacts database after sign-in", "≤ 300 s",
               f"{result['seconds']:.1f} s ({result['synced']} contacts)", seconds, 300, False)
        latencies = [1000 * value for value in result["latencies"]]
        worst = max(latencies) if latencies else None
        figure("Bus call latency during a 10,000-contact sync (worst)", "≤ 100 ms",
               "n/a" if worst is None else f"{worst:.0f} ms worst of {len(latencies)} calls", worst, 100, False,
               "one run" if not latencies else
               f"median {statistics.median(latencies):.1f} ms, p99 {percentile(latencies, 99):.1f} ms")

    if wanted("idle"):
        if not ARGS.quick:
            instructions = bench_idle_instructions()
            figure("Idle: instructions per processing step (signed in, synced)", "≤ 20,000",
                   "n/a (no valgrind)" if instructions is None else f"{instructions:,.0f}", instructions, 20000,
                   False)
        wakeups = bench_idle_wakeups()
        figure("Idle: wake-ups per second, all threads", "≤ 2/s", f"{wakeups:.2f}/s", wakeups, 2.0, False)

    os.makedirs(os.path.dirname(ARGS.out), exist_ok=True)
    with open(ARGS.out, "w") as file:
        json.dump(series, file)


if __name__ == "__main__":
    main()
