"""Running platform-sim from a test: start it on the buses of a harness.Buses, call its services with
tesk-send, follow its event stream (every database write, activity step, connection change...) and
expect events with a deadline. sim/platform/README.md documents the services, the control service and
the events."""

import json
import os
import re
import time

import harness

ECHO_SERVICE = os.path.join(os.path.dirname(__file__), "tesk_echo_service.py")
DB = "nylo://com.nylo.db/"
AM = "nylo://com.nylo.activitymanager/"
SIM = "nylo://com.nylo.sim/"


def start(buses, db_path, *args):
    """platform-sim on `buses` with its database at db_path, once it owns its names."""
    process = harness.Process([harness.binary("sim", "platform", "platform-sim"), "--db", db_path, *args],
                              env=buses.env, name="platform-sim")
    process.wait_for_line("platform-sim: ready")
    return process


class Sim:
    """A running platform-sim (its --db at db_path), an event stream subscribed to it, and helpers to
    call it."""

    def __init__(self, buses, db_path, *args):
        self.buses = buses
        self.db_path = db_path
        self.process = start(buses, db_path, *args)
        self.events = self.stream(SIM + "events", "{}")
        self.events.wait_for_line('"subscribed":true')

    @staticmethod
    def bus_of(uri):
        """The control service is on the public bus, every other service of the simulator on the private one."""
        return ["--public"] if uri.startswith(SIM) else []

    def call(self, uri, payload, status=0):
        run = harness.tesk_send(self.buses, *self.bus_of(uri), uri, json.dumps(payload))
        assert run.returncode == status, run.stdout + run.stderr
        return harness.reply_lines(run)[0]

    def stream(self, uri, payload, count=100):
        """tesk-send running in the background, printing each reply of `uri` as it arrives."""
        return harness.Process([harness.tesk_send_path(), *self.bus_of(uri), "-n", str(count), uri,
                                payload if isinstance(payload, str) else json.dumps(payload)],
                               env=self.buses.env, name="tesk-send " + uri)

    def expect_event(self, timeout=harness.DEFAULT_TIMEOUT, **fields):
        """The next event on the stream whose members include `fields`."""
        deadline = time.monotonic() + timeout
        while True:
            event = json.loads(self.events.wait_for_line(re.compile(r"^\{"), max(0.0, deadline - time.monotonic())))
            if all(event.get(key) == value for key, value in fields.items()):
                return event

    def barrier(self):
        """Requests are handled in arrival order: once this answers, every earlier one was handled
        (when one bus serves as both, so all requests share the simulator's one connection)."""
        self.call(SIM + "listActivities", {})

    def stop(self):
        self.events.stop()
        self.process.stop()


def start_echo(buses, *names):
    """The echo test service owning `names` on the private bus; it prints every call it receives."""
    service = harness.Process(["/usr/bin/python3", ECHO_SERVICE, *names], env=buses.env, name="echo " + names[0])
    service.wait_for_line("ready")
    return service


def callback_payload(service):
    """The payload of the next call the echo service received."""
    return json.loads(service.wait_for_line(re.compile(r"^call echo ")).split(" ", 2)[2])
