"""platform-sim on a private bus, driven with tesk-send: records and watches, activities with their
triggers, requirements, adoption and callbacks (received by the echo service), and the control
service's event stream."""

import json
import os
import re
import signal
import time

import pytest

import harness
from harness import private_bus  # noqa: F401  (fixture)

ECHO_SERVICE = os.path.join(os.path.dirname(__file__), "tesk_echo_service.py")
DB = "nylo://com.nylo.db/"
AM = "nylo://com.nylo.activitymanager/"
SIM = "nylo://com.nylo.sim/"


class Sim:
    """A running platform-sim, an event stream subscribed to it, and helpers to call it."""

    def __init__(self, buses, db_path, *args):
        self.buses = buses
        self.db_path = db_path
        self.process = harness.Process([harness.binary("sim", "platform", "platform-sim"), "--db", db_path, *args],
                                       env=buses.env, name="platform-sim")
        self.process.wait_for_line("platform-sim: ready")
        self.events = self.stream(SIM + "events", "{}")
        self.events.wait_for_line('"subscribed":true')

    def call(self, uri, payload, status=0):
        run = harness.tesk_send(self.buses, uri, json.dumps(payload))
        assert run.returncode == status, run.stdout + run.stderr
        return harness.reply_lines(run)[0]

    def stream(self, uri, payload, count=100):
        """tesk-send running in the background, printing each reply of `uri` as it arrives."""
        return harness.Process([harness.tesk_send_path(), "-n", str(count), uri,
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
        """Requests are handled in arrival order: once this answers, every earlier one was handled."""
        self.call(SIM + "listActivities", {})

    def stop(self):
        self.events.stop()
        self.process.stop()


@pytest.fixture
def sim(private_bus, tmp_path):  # noqa: F811
    running = Sim(private_bus, str(tmp_path / "db.sqlite"), "--retry-interval", "100")
    yield running
    running.stop()


def start_echo(buses, name):
    service = harness.Process(["/usr/bin/python3", ECHO_SERVICE, name], env=buses.env, name="echo " + name)
    service.wait_for_line("ready")
    return service


def callback_payload(service):
    """The payload of the next call the echo service received."""
    return json.loads(service.wait_for_line(re.compile(r"^call echo ")).split(" ", 2)[2])


def watch_activity(name, query, callback, **extra):
    activity = {"name": name, "description": "test", "type": {"foreground": True}, "callback": {"method": callback},
                "trigger": {"key": "fired", "method": DB + "watch", "params": {"query": query}}}
    activity.update(extra)
    return {"activity": activity, "start": True}


def test_records_queries_merge_and_the_write_stream_survive_a_restart(sim):
    put = sim.call(DB + "put", {"objects": [{"_kind": "k:1", "n": 1, "s": "a", "from": {"addr": "bob"}},
                                            {"_kind": "k:1", "n": 2, "s": "b", "from": {"addr": "eve"}},
                                            {"_kind": "other:1", "n": 2}]})
    ids = [result["id"] for result in put["results"]]
    assert len(set(ids)) == 3
    write = sim.expect_event(event="write", operation="put", kind="k:1")
    assert write["database"] == "com.nylo.db" and write["record"]["n"] == 1 and write["record"]["_id"] == ids[0]

    def names(where):
        found = sim.call(DB + "find", {"query": {"from": "k:1", "where": where}})
        return [record["s"] for record in found.get("results", [])]

    assert names([{"prop": "n", "op": ">=", "val": 2}]) == ["b"]
    assert names([{"prop": "from.addr", "op": "!=", "val": "bob"}]) == ["b"]
    assert names([{"prop": "s", "op": "<", "val": "b"}, {"prop": "n", "op": "=", "val": 1}]) == ["a"]
    bad = sim.call(DB + "find", {"query": {"from": "k:1", "where": [{"prop": "n", "op": "~", "val": 1}]}}, status=1)
    assert "~" in bad["errorText"]

    sim.call(DB + "merge", {"props": {"flags": {"locked": True}}, "query": {"from": "k:1", "where": [{"prop": "s", "op": "=", "val": "b"}]}})
    merged = sim.expect_event(event="write", operation="merge")
    assert merged["record"]["_id"] == ids[1] and merged["record"]["flags"] == {"locked": True}
    assert merged["record"]["_rev"] > max(result["rev"] for result in put["results"])
    sim.call(DB + "del", {"ids": [ids[0]]})
    assert sim.expect_event(event="write", operation="del")["record"]["_id"] == ids[0]

    sim.process.send_signal(signal.SIGTERM)
    sim.process.wait_for_line("platform-sim: stopped")
    assert sim.process.wait_exit() == 0
    sim.stop()
    restarted = Sim(sim.buses, sim.db_path)
    try:
        dump = restarted.call(SIM + "dump", {"kind": "k:1"})
        assert [(record["_id"], record.get("flags")) for record in dump["results"]] == [(ids[1], {"locked": True})]
    finally:
        restarted.stop()


def test_watch_fires_at_once_on_a_match_later_on_a_new_one_and_not_for_other_kinds(sim):
    sim.call(DB + "put", {"objects": [{"_kind": "msg:1", "folder": "outbox"}]})
    assert sim.call(DB + "watch", {"query": {"from": "msg:1", "where": [{"prop": "folder", "op": "=", "val": "outbox"}]}}) == \
        {"returnValue": True, "fired": True}

    watch = sim.stream(DB + "watch", {"query": {"from": "cmd:1", "where": [{"prop": "handler", "op": "=", "val": "transport"}]}}, count=1)
    sim.call(DB + "put", {"objects": [{"_kind": "msg:1", "handler": "transport"}, {"_kind": "cmd:1", "handler": "app"}]})
    sim.barrier()
    assert watch.lines == []
    sim.call(DB + "put", {"objects": [{"_kind": "cmd:1", "handler": "transport"}]})
    assert json.loads(watch.wait_for_line("fired")) == {"returnValue": True, "fired": True}
    assert watch.wait_exit() == 0


def test_activity_fires_calls_back_is_adopted_and_completed(sim):
    callee = start_echo(sim.buses, "com.test.callee")
    try:
        query = {"from": "state:1", "where": [{"prop": "_rev", "op": ">", "val": 0}]}
        created = sim.call(AM + "create", watch_activity("login", query, "nylo://com.test.callee/echo"))
        assert created["returnValue"] is True
        refused = sim.call(AM + "adopt", {"activityName": "login"}, status=1)
        assert refused["returnValue"] is False
        adopter = sim.stream(AM + "adopt", {"activityName": "login", "wait": True, "subscribe": True}, count=1)
        sim.barrier()

        put = sim.call(DB + "put", {"objects": [{"_kind": "state:1", "availability": 0}]})
        activity = callback_payload(callee)["$activity"]
        assert activity == {"activityId": created["activityId"], "name": "login", "trigger": {"returnValue": True, "fired": True}}
        assert put["returnValue"] is True
        assert json.loads(adopter.wait_for_line("adopted"))["adopted"] is True
        assert sim.call(AM + "adopt", {"activityName": "login", "wait": True})["adopted"] is True

        sim.call(AM + "complete", {"activityName": "login", "restart": False})
        sim.expect_event(event="activity", name="login", state="completed")
        assert sim.call(SIM + "listActivities", {})["activities"] == []
        assert sim.call(AM + "create", watch_activity("login", query, "nylo://com.test.callee/echo"))["returnValue"] is True
    finally:
        callee.stop()


def test_create_without_replace_keeps_the_existing_activity(sim):
    request = {"activity": {"name": "keep", "schedule": {"interval": "20m"}, "callback": {"method": "nylo://com.test.none/echo"}},
               "start": True}
    first = sim.call(AM + "create", request)["activityId"]
    refused = sim.call(AM + "create", request, status=1)
    assert refused["returnValue"] is False and "keep" in refused["errorText"]
    assert [a["activityId"] for a in sim.call(SIM + "listActivities", {})["activities"]] == [first]
    replaced = sim.call(AM + "create", dict(request, replace=True))["activityId"]
    assert replaced != first
    assert [a["activityId"] for a in sim.call(SIM + "listActivities", {})["activities"]] == [replaced]


def test_keyless_trigger_fires_on_a_change_and_not_on_the_initial_reply(sim):
    callee = start_echo(sim.buses, "com.test.callee")
    try:
        sim.call(AM + "create", {"activity": {
            "name": "net", "callback": {"method": "nylo://com.test.callee/echo"}, "requirements": {"wan": True},
            "trigger": {"method": "nylo://com.nylo.connectionmanager/getstatus", "params": {"subscribe": True}}},
            "start": True})
        sim.expect_event(event="activity", name="net", state="armed")
        sim.call(SIM + "setConnection", {"ipAddress": "127.0.0.2"})
        activity = callback_payload(callee)["$activity"]
        # Fired by the change: the initial reply (127.0.0.1) did not fire it.
        assert activity["trigger"]["wan"] == {"state": "connected", "network": "usable", "ipAddress": "127.0.0.2"}
    finally:
        callee.stop()


def test_an_activity_needing_wan_runs_only_once_the_connection_comes_up(sim):
    callee = start_echo(sim.buses, "com.test.callee")
    try:
        sim.call(SIM + "setConnection", {"state": "disconnected"})
        sim.call(DB + "put", {"objects": [{"_kind": "state:1"}]})
        sim.call(AM + "create", watch_activity("wan", {"from": "state:1"}, "nylo://com.test.callee/echo", requirements={"wan": True}))
        sim.expect_event(event="activity", name="wan", state="blocked")
        adopter = sim.stream(AM + "adopt", {"activityName": "wan", "wait": True, "subscribe": True}, count=1)
        sim.call(SIM + "setConnection", {"state": "connected", "network": "unusable"})
        sim.barrier()
        assert not any(line.startswith("call echo") for line in callee.lines)
        assert adopter.lines == []

        sim.call(SIM + "setConnection", {"network": "usable"})
        sim.expect_event(event="activity", name="wan", state="running")
        assert callback_payload(callee)["$activity"]["name"] == "wan"
        assert json.loads(adopter.wait_for_line("adopted"))["adopted"] is True
    finally:
        callee.stop()


def test_an_undelivered_callback_is_retried_until_the_callee_appears(sim):
    sim.call(AM + "create", {"activity": {"name": "late", "callback": {"method": "nylo://com.test.late/echo"}}, "start": True})
    sim.expect_event(event="activity", name="late", state="callbackRetry")
    callee = start_echo(sim.buses, "com.test.late")
    try:
        assert callback_payload(callee)["$activity"]["name"] == "late"
        sim.expect_event(event="activity", name="late", state="calledBack")
    finally:
        callee.stop()
