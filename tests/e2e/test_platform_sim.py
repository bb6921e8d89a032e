"""platform-sim on a private bus, driven with tesk-send: records and watches, activities with their
triggers, requirements, adoption and callbacks (received by the echo service), and the control
service's event stream."""

import json
import signal

import pytest

import harness
from harness import private_bus, two_buses  # noqa: F401  (fixtures)
from platformsim import AM, DB, SIM, Sim, callback_payload, start_echo


@pytest.fixture
def sim(private_bus, tmp_path):  # noqa: F811
    running = Sim(private_bus, str(tmp_path / "db.sqlite"), "--retry-interval", "100", "--power-down-timeout", "3000")
    yield running
    running.stop()


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


def test_watch_fires_when_a_merge_makes_a_record_match_and_not_on_deletes(sim):
    put = sim.call(DB + "put", {"objects": [{"_kind": "cmd:1", "handler": "app"}, {"_kind": "cmd:1", "handler": "ui"}]})
    app, ui = (result["id"] for result in put["results"])
    watch = sim.stream(DB + "watch", {"query": {"from": "cmd:1", "where": [{"prop": "handler", "op": "=", "val": "transport"}]}}, count=1)
    sim.call(DB + "del", {"ids": [ui]})
    sim.call(DB + "merge", {"objects": [{"_id": app, "note": "still the app's"}]})
    sim.barrier()
    assert watch.lines == []
    sim.call(DB + "merge", {"objects": [{"_id": app, "handler": "transport"}]})
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


def test_replaced_and_cancelled_activities_never_fire(sim):
    callee = start_echo(sim.buses, "com.test.callee")
    try:
        old = sim.call(AM + "create", watch_activity("w", {"from": "old:1"}, "nylo://com.test.callee/echo"))["activityId"]
        new = sim.call(AM + "create", dict(watch_activity("w", {"from": "new:1"}, "nylo://com.test.callee/echo"), replace=True))["activityId"]
        sim.call(AM + "create", watch_activity("gone", {"from": "gone:1"}, "nylo://com.test.callee/echo"))
        sim.call(AM + "cancel", {"activityName": "gone"})
        assert sim.call(AM + "cancel", {"activityName": "gone"}, status=1)["errorCode"] == 2
        sim.call(DB + "put", {"objects": [{"_kind": "old:1"}, {"_kind": "gone:1"}]})
        sim.barrier()
        sim.call(DB + "put", {"objects": [{"_kind": "new:1"}]})
        assert callback_payload(callee)["$activity"]["activityId"] == new
        assert len([line for line in callee.lines if line.startswith("call echo")]) == 1
        assert all(event["activityId"] != old or event["state"] in ("created", "replaced")
                   for event in map(json.loads, sim.events.lines) if event.get("event") == "activity")
    finally:
        callee.stop()


def test_accounts_are_listed_start_the_login_state_watch_and_go_after_on_delete(sim):
    # Stands in for the daemon's services (so the bus does not start the real one); it knows none of
    # their methods, so every call to them fails at once.
    transport = start_echo(sim.buses, "com.vexla.im", "com.vexla.ui")
    try:
        check_account_life(sim)
    finally:
        transport.stop()


def check_account_life(sim):
    account = sim.call(SIM + "addAccount", {"username": "alice", "password": "secret"})["accountId"]
    listed = sim.call("nylo://com.nylo.service.accounts/listAccounts", {"templateId": "com.vexla"})["results"]
    assert listed == [{"_id": account, "templateId": "com.vexla", "username": "alice", "beingDeleted": False}]
    assert sim.call("nylo://com.nylo.service.accounts/listAccounts", {"templateId": "com.other"})["results"] == []
    assert sim.call("nylo://com.nylo.service.accounts/getAccountInfo", {"accountId": account})["result"]["username"] == "alice"
    assert sim.call("nylo://com.nylo.service.accounts/readCredentials",
                    {"accountId": account, "name": "common"})["credentials"] == {"password": "secret"}
    assert sim.call("nylo://com.nylo.service.accounts/readCredentials", {"accountId": "nobody"}, status=1)["errorCode"] == 3

    [activity] = sim.call(SIM + "listActivities", {})["activities"]
    assert activity["name"] == "Vexla loginstate"
    assert activity["activity"]["callback"] == {"method": "nylo://com.vexla.im/loginStateChanged"}
    assert activity["activity"]["trigger"]["params"]["query"] == {
        "from": "com.nylo.imloginstate.vexla:1", "where": [{"prop": "_rev", "op": ">", "val": 0}]}
    # The login state written: the watch fires, and the failed callback is tried again.
    sim.call(DB + "put", {"objects": [{"_kind": "com.nylo.imloginstate.vexla:1", "accountId": account, "availability": 0}]})
    sim.expect_event(event="activity", name="Vexla loginstate", state="callbackRetry")
    # Ended before the stand-in leaves, so no retry makes the bus start the real daemon.
    sim.call(AM + "cancel", {"activityName": "Vexla loginstate"})

    sim.call(SIM + "changeAccount", {"accountId": account, "password": "other"})
    assert sim.call("nylo://com.nylo.service.accounts/readCredentials", {"accountId": account})["credentials"] == {"password": "other"}
    sim.call(SIM + "deleteAccount", {"accountId": account})
    sim.expect_event(event="account", accountId=account, state="beingDeleted")
    sim.expect_event(event="account", accountId=account, state="deleted")
    assert sim.call("nylo://com.nylo.service.accounts/listAccounts", {"templateId": "com.vexla"})["results"] == []


def test_power_down_tells_subscribers_waits_for_the_ack_and_cuts_the_connection(sim):
    powering_off = sim.stream("nylo://com.nylo.telephony/poweringOff", {"subscribe": True})
    assert json.loads(powering_off.wait_for_line("poweringOff"))["poweringOff"] is False
    client = sim.call("nylo://com.nylo.telephony/registerPowerDownApplication", {"register": True, "clientName": "com.vexla.im"})["clientId"]
    sim.call(SIM + "powerOff", {})
    assert json.loads(powering_off.wait_for_line("poweringOff"))["poweringOff"] is True
    sim.expect_event(event="powerDown", state="started")
    assert sim.call(SIM + "listPowerDown", {})["registrations"] == [{"clientId": client, "clientName": "com.vexla.im"}]
    assert sim.call("nylo://com.nylo.connectionmanager/getstatus", {})["wan"]["state"] == "connected"

    sim.call("nylo://com.nylo.telephony/powerDownAck", {"clientId": client})
    sim.expect_event(event="powerDown", state="off")
    assert sim.expect_event(event="connection")["wan"]["state"] == "disconnected"
    assert sim.call(SIM + "listPowerDown", {})["acknowledgements"] == [client]

    # Without an acknowledgement the phone switches off after the time-out.
    sim.call(SIM + "setConnection", {"state": "connected"})
    sim.call(SIM + "powerOff", {})
    sim.expect_event(event="powerDown", state="off")
    assert sim.call("nylo://com.nylo.connectionmanager/getstatus", {})["wan"]["state"] == "disconnected"
    powering_off.stop()


def test_phone_subscriptions_hear_every_change(sim):
    network = sim.stream("nylo://com.nylo.telephony/networkStatusQuery", {"subscribe": True})
    display = sim.stream("tesk://com.nylo.display/control/status", {"subscribe": True})
    network.wait_for_line("inPrl")
    display.wait_for_line("displayOn")
    sim.call(SIM + "setNetwork", {"inPrl": False})
    assert json.loads(network.wait_for_line("inPrl")) == {
        "returnValue": True, "extended": {"cdma": {"inPrl": False}}, "eventNetwork": {"cdma": {"inPrl": False}}}
    sim.call(SIM + "setDisplay", {"state": "off"})
    assert json.loads(display.wait_for_line("state")) == {"returnValue": True, "state": "off", "event": "displayOff"}
    sim.call(SIM + "setPhoneNumber", {"number": "5551234"})
    assert sim.call("nylo://com.nylo.telephony/phoneNumberQuery", {})["extended"] == {"number": "5551234"}
    network.stop()
    display.stop()


def test_names_are_owned_on_their_buses(two_buses, tmp_path):  # noqa: F811
    sim = Sim(two_buses, str(tmp_path / "db.sqlite"))
    try:
        launch = {"id": "com.nylo.app.phone", "params": {"number": "123"}}
        run = harness.tesk_send(two_buses, "--public", "nylo://com.nylo.applicationManager/launch", json.dumps(launch))
        assert run.returncode == 0, run.stderr
        redirect = {"appId": "com.nylo.app.phone", "urlPattern": "vexlavm://", "schemeForm": True}
        sim.call("nylo://com.nylo.applicationManager/addRedirectHandler", redirect)
        assert sim.expect_event(event="launch")["request"] == launch
        assert sim.call(SIM + "listLaunches", {})["launches"] == [launch]
        assert sim.call(SIM + "listRedirects", {})["redirects"] == [redirect]
        # The control service is on the public bus only, the databases on the private bus only.
        assert harness.tesk_send(two_buses, SIM + "listLaunches", "{}").returncode == 2
        assert harness.tesk_send(two_buses, "--public", DB + "find", '{"query": {"from": "k:1"}}').returncode == 2
    finally:
        sim.stop()
