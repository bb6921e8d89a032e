"""One queue of what happened around the daemon: the platform simulator's event stream (database writes,
activities, accounts, power-down) and the events of the server simulator (packets received and sent).
A test `expect`s the next matching event with a deadline. Order holds within each source only: a match
passes over the earlier events of its own source, while events of the other source stay for later
expectations."""

import json
import os
import queue
import socket
import subprocess
import threading
import time

import harness


def matches(event, pattern):
    """True when every member of pattern is in event: nested objects match member by member, a callable
    is asked, anything else must be equal."""
    for key, wanted in pattern.items():
        if key not in event:
            return False
        value = event[key]
        if callable(wanted):
            if not wanted(value):
                return False
        elif isinstance(wanted, dict) and isinstance(value, dict):
            if not matches(value, wanted):
                return False
        elif value != wanted:
            return False
    return True


class EventQueue:
    """Events are dicts with "source" set to "platform" or "server"."""

    def __init__(self):
        self._queue = queue.Queue()
        self.history = []
        self._pending = []
        self._closers = []

    def follow_platform(self, buses):
        """Subscribes to com.nylo.sim's event stream (public bus)."""
        process = subprocess.Popen([harness.tesk_send_path(), "--public", "-n", "100000", "nylo://com.nylo.sim/events",
                                    "{}"], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                   env={**os.environ, **buses.env})
        self._closers.append(lambda: (process.terminate(), process.wait()))
        self._start(process.stdout, "platform")
        self.expect(source="platform", subscribed=True)

    def follow_server(self, server):
        """Subscribes to the server simulator's events on a control connection of its own."""
        control = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        control.connect(server.control_path)
        control.sendall(b'{"cmd": "subscribe", "since": 0}\n')
        stream = control.makefile("rb")
        assert json.loads(stream.readline())["ok"]
        self._closers.append(control.close)
        self._start(stream, "server")

    def _start(self, stream, source):
        def read():
            for raw in iter(stream.readline, b""):
                try:
                    event = json.loads(raw)
                except ValueError:
                    continue
                event["source"] = source
                self._queue.put(event)
        threading.Thread(target=read, daemon=True).start()

    def expect(self, timeout=harness.DEFAULT_TIMEOUT, **pattern):
        """The next event matching pattern (see matches); fails on the deadline with what is pending."""
        deadline = time.monotonic() + timeout
        scanned = 0
        while True:
            for index in range(scanned, len(self._pending)):
                event = self._pending[index]
                if matches(event, pattern):
                    self._pending = [e for i, e in enumerate(self._pending)
                                     if i > index or (i < index and e["source"] != event["source"])]
                    return event
            scanned = len(self._pending)
            try:
                event = self._queue.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                raise AssertionError(f"no event matching {pattern} within {timeout}s; pending:\n" +
                                     "\n".join(json.dumps(e) for e in self._pending[-40:]))
            self.history.append(event)
            self._pending.append(event)

    def seen(self, **pattern):
        """Every event matching pattern that arrived so far, expected or not."""
        self._drain()
        return [event for event in self.history if matches(event, pattern)]

    def forbid(self, within=0.0, **pattern):
        """Fails if an event matching pattern arrived so far or arrives within `within` seconds."""
        earlier = self.seen(**pattern)
        assert not earlier, f"forbidden event {json.dumps(earlier[0])}"
        deadline = time.monotonic() + within
        while True:
            try:
                event = self._queue.get(timeout=max(0.0, deadline - time.monotonic()))
            except queue.Empty:
                return
            self.history.append(event)
            self._pending.append(event)
            assert not matches(event, pattern), f"forbidden event {json.dumps(event)}"

    expect_none = forbid

    def _drain(self):
        while True:
            try:
                event = self._queue.get_nowait()
            except queue.Empty:
                return
            self.history.append(event)
            self._pending.append(event)

    def close(self):
        for close in self._closers:
            close()
