"""Journeys through the whole system: the demo tour's steps as assertions, the daemon started by D-Bus
activation from either bus, its private services kept off the public bus, an orderly end in the middle of
a session (also when the server stops answering), a restart that must not repeat delivered messages, and
hostile bus payloads and database records during a session.
Each test runs on its own buses and ports."""

import contextlib
import json
import os
import re
import signal
import subprocess

import pytest

import harness
import tour


@pytest.fixture
def system(tmp_path):
    running = tour.DemoSystem(str(tmp_path))
    yield running
    running.stop()


def test_every_step_of_the_tour_is_observed(system):
    for name, step in tour.STEPS + [tour.ENDING]:
        assert step(system), name
    # The daemon wrote its store as it ended.
    assert os.path.getsize(os.path.join(system.data_dir, "vexla.dat")) > 0


def test_private_services_are_neither_reachable_nor_activatable_from_the_public_bus(tmp_path):
    buses = harness.Buses(vexlad_args=f"--data-dir {tmp_path}/data --stderr --log-level 6")
    try:
        for name in ("com.vexla.im", "com.vexla.call"):
            run = harness.tesk_send(buses, "--public", f"nylo://{name}/keepAlive", "{}")
            assert run.returncode == 2, run.stdout + run.stderr
            [reply] = harness.reply_lines(run)
            assert reply["returnValue"] is False and name in reply["errorText"], reply

        # A call to com.vexla.im on the private bus starts vexlad, which owns both names there only.
        harness.tesk_send(buses, "nylo://com.vexla.im/keepAlive", "{}")
        daemon = buses.daemon("private")
        daemon.wait_for_line("Started Tesk service, serviceName=com.vexla.im, usePublicBus=0")
        daemon.wait_for_line("Initialisation done, entering main loop.")
        pid = harness.owner_pid(buses.private_address, "com.vexla.im")
        assert pid and harness.owner_pid(buses.private_address, "com.vexla.call") == pid
        for name in ("com.vexla.im", "com.vexla.call"):
            assert harness.owner_pid(buses.public_address, name) is None
            assert harness.tesk_send(buses, "--public", f"nylo://{name}/keepAlive", "{}").returncode == 2
        assert "Activating" not in buses.daemon("public").output()

        os.kill(pid, signal.SIGQUIT)
        daemon.wait_for_line("Vexla service ended.")
        assert harness.wait_gone(pid)
    finally:
        buses.stop()


def test_sigquit_during_a_session_logs_out_writes_the_store_and_exits_0(system):
    with harness.start_vexlad(system.data_dir, "--settings", system.settings, "--log-level", "6",
                              env=system.env) as daemon:
        system.daemon_log = daemon
        # Owning its name before the account asks for it, so the bus starts no second daemon.
        daemon.wait_for_line("Started Tesk service, serviceName=com.vexla.im, usePublicBus=0")
        tour.account_signs_in(system)
        # Whatever was written during the session goes, so the file found later is the teardown's.
        store = os.path.join(system.data_dir, "vexla.dat")
        if os.path.exists(store):
            os.remove(store)

        assert harness.quit_vexlad(daemon) == 0
        system.expect_received("CHUNK_LOGOUT")
        assert os.path.getsize(store) > 0


def test_ui_service_activates_vexlad_from_the_public_bus_and_both_buses_reach_it(tmp_path):
    buses = harness.Buses(vexlad_args=f"--data-dir {tmp_path}/data --stderr --log-level 6")
    try:
        # Signed out, the screens' balance request is refused; what matters is who answers it.
        run = harness.tesk_send(buses, "--public", "nylo://com.vexla.ui/balanceQuery", "{}")
        assert harness.reply_lines(run), run.stderr
        # The program the public bus started owns its private names on the private bus.
        started_by_public = buses.daemon("public")
        started_by_public.wait_for_line("Started Tesk service, serviceName=com.vexla.call, usePublicBus=0")
        started_by_public.wait_for_line("Started Tesk service, serviceName=com.vexla.im, usePublicBus=0")
        started_by_public.wait_for_line("Started Tesk service, serviceName=com.vexla.ui, usePublicBus=1")
        pid = harness.owner_pid(buses.private_address, "com.vexla.im")
        if pid:  # it may have ended already: signed out with nothing to serve
            with contextlib.suppress(ProcessLookupError):
                os.kill(pid, signal.SIGQUIT)
        started_by_public.wait_for_line("Vexla service ended.")
        assert "Activating" not in buses.daemon("private").output()
    finally:
        buses.stop()


def inbox_texts(system):
    return sorted(record["messageText"] for record in system.dump(tour.MESSAGE) if record.get("folder") == "inbox")


def test_a_restarted_daemon_writes_new_messages_once_and_delivered_ones_not_again(system):
    tour.account_signs_in(system)
    tour.buddy_message_arrives(system)
    # The scenario's voicemail becomes a message too.
    delivered = harness.wait_until(lambda: len(inbox_texts(system)) == 2 and inbox_texts(system),
                                   "the voicemail's message in the inbox")
    pid = system.daemon_pid()
    system.quit_daemon()
    system.daemon_log.wait_for_line("Vexla service ended.")

    # The account is set away on the phone: the availability watch outlived the daemon, and its callback
    # starts a new vexlad, which signs in, reads the chats and voicemails again and finds their markers in
    # its store.
    system.call(tour.DB + "merge", {"objects": [{"_id": system.login_state_id, "availability": tour.PLATFORM_AWAY}]})
    system.daemon_log.wait_for_line("Initialisation done, entering main loop.")
    assert system.daemon_pid() not in (None, pid)
    system.expect_received("CHUNK_LOGIN", KEY_VEXLANAME=tour.USERNAME)
    system.expect_login_state("online")
    for text in ("Back home", "Call me"):
        system.server.command("chat_message", to=tour.USERNAME, text=text, **{"from": "bob"})
        system.expect_write("put", tour.MESSAGE, messageText=text)
    system.server.command("chat_message", to=tour.USERNAME, text="Bye", **{"from": "carol"})
    system.expect_write("put", tour.MESSAGE, messageText="Bye")

    assert inbox_texts(system) == sorted(delivered + ["Back home", "Call me", "Bye"])


def test_sigquit_while_the_server_no_longer_answers_still_ends_the_daemon_in_order(system):
    with harness.start_vexlad(system.data_dir, "--settings", system.settings, "--log-level", "6",
                              env=system.env) as daemon:
        system.daemon_log = daemon
        daemon.wait_for_line("Started Tesk service, serviceName=com.vexla.im, usePublicBus=0")
        tour.account_signs_in(system)
        assert system.server.command("stall")["ok"]

        # The logout goes unanswered; the teardown closes the connection and still writes the store.
        assert harness.quit_vexlad(daemon) == 0
        system.expect_received("CHUNK_LOGOUT")
        assert os.path.getsize(os.path.join(system.data_dir, "vexla.dat")) > 0

COMMAND = "com.nylo.imcommand.vexla:1"


# Payloads no caller should send: not JSON, JSON that is no object, nesting beyond any sane depth, members of
# the wrong type, and long texts.
HOSTILE_PAYLOADS = [
    "", "not json", "{", "[]", "null", "42", '"text"', "[" * 5000 + "]" * 5000,
    json.dumps({"accountId": 5, "username": [], "password": {}, "to": None, "isPhone": "yes", "handle": "x",
                "target": 7, "enabled": "yes", "subscribe": "no", "$activity": [], "objects": 3,
                "searchString": {"a": 1}, "clid": 12, "email": 1.5, "call": [], "msin": None}),
    json.dumps({"$activity": {"trigger": {"fired": "yes", "eventNetwork": {"cdma": {"inPrl": "x"}}}}}),
    json.dumps({"username": "x" * 30000, "to": "y" * 30000, "target": "z" * 30000}),
]


def bus_methods(address, name):
    out = subprocess.run(["gdbus", "introspect", "--address", address, "--dest", name, "--object-path", "/"],
                         capture_output=True, text=True, timeout=harness.DEFAULT_TIMEOUT).stdout
    return re.findall(r"^\s+(\w+)\(in  s payload", out, re.M)


def test_hostile_payloads_to_every_method_leave_the_session_and_its_data_alone(system):
    tour.account_signs_in(system)
    tour.buddies_become_contacts(system)
    pid = system.daemon_pid()
    contacts = sorted((r["_id"], r["displayName"]) for r in system.dump(tour.CONTACT))
    address = system.buses.private_address
    for name in ("com.vexla.im", "com.vexla.call", "com.vexla.ui"):
        methods = bus_methods(address, name)
        assert len(methods) >= 6, (name, methods)
        for method in methods:
            for payload in HOSTILE_PAYLOADS:
                # gdbus passes the text as it is (tesk-send would refuse what is not JSON).
                subprocess.run(["gdbus", "call", "--timeout", "5", "--address", address, "--dest", name,
                                "--object-path", "/", "--method", f"com.nylo.Tesk1.{method}", payload],
                               capture_output=True, timeout=harness.DEFAULT_TIMEOUT)
                assert system.daemon_pid() == pid, f"vexlad ended after {name}/{method} {payload[:40]!r}"

    # Still signed in, with everything it had.
    assert system.call(tour.UI + "balanceQuery", {}, public=True)["returnValue"] is True
    assert [r["state"] for r in system.dump(tour.LOGIN_STATE)] == ["online"]
    assert sorted((r["_id"], r["displayName"]) for r in system.dump(tour.CONTACT)) == contacts


def test_malformed_records_from_other_applications_are_refused_one_by_one(system):
    tour.account_signs_in(system)
    pid = system.daemon_pid()
    for members in ({"customMessage": 5}, {"customMessage": "m" * 50000}, {"availability": 99}):
        system.call(tour.DB + "merge", {"objects": [{"_id": system.login_state_id, **members}]})
    outbox = [{}, {"to": "bob"}, {"to": [{"addr": 5}], "messageText": 7}, {"to": []}, {"to": [5, None]},
              {"to": [{"addr": ""}], "messageText": "hi"},
              {"to": [{"addr": "bob"}], "messageText": "<b>bold</b><script>x</script>&#0;" + "x" * 100000}]
    for message in outbox:
        system.call(tour.DB + "put", {"objects": [{"_kind": tour.MESSAGE, "folder": "outbox", "status": "pending",
                                                   **message}]})
    for command in ({}, {"command": 5}, {"command": "deleteBuddy"}, {"command": "blockBuddy", "targetUsername": []},
                    {"command": "nosuch"}, {"command": "inviteToGroupChat", "targetUsername": "x", "params": 5},
                    {"command": "leaveGroupChat", "params": {"groupName": 7}}):
        system.call(tour.DB + "put", {"objects": [{"_kind": COMMAND, "handler": "transport", **command}]})

    # Each record is settled on its own: the commands are taken, every message gets a final status, and
    # only the one well-formed message reaches bob.
    harness.wait_until(lambda: not system.dump(COMMAND), "the commands taken")
    statuses = harness.wait_until(
        lambda: (lambda s: "pending" not in s and s)([r.get("status") for r in system.dump(tour.MESSAGE)
                                                      if r.get("folder") == "outbox"]),
        "every outbox message settled")
    assert len(statuses) == len(outbox) and statuses.count("successful") == 1, statuses
    assert system.daemon_pid() == pid
    assert [r["state"] for r in system.dump(tour.LOGIN_STATE)] == ["online"]
    assert system.call(tour.UI + "balanceQuery", {}, public=True)["returnValue"] is True


def hostile_server_packets():
    """Packets a broken or malicious server could send during a session: extreme numbers, empty and
    path-like names, huge texts and member lists, an unknown chat, unknown chunk kinds."""
    record = {"KEY_BUDDYINDEX": -2147483648, "KEY_VEXLANAME": "../../../evil", "KEY_FULLNAME": "x" * 100000,
              "KEY_CONTACTAVAILABILITY": 2147483647}
    return [
        {"chunk": "CHUNK_BUDDYLIST", "KEY_BOOKMARK": 9, "KEY_BUDDYLIST_STATUS": 0, "KEY_RECORDCOUNT": 1,
         "KEY_BUDDYRECORDS": {"KEY_BUDDYRECORDS": record}},
        {"chunk": "CHUNK_BUDDYLIST", "KEY_BOOKMARK": 10, "KEY_BUDDYLIST_STATUS": 0, "KEY_RECORDCOUNT": 1,
         "KEY_BUDDYRECORDS": {"KEY_BUDDYRECORDS": {"KEY_BUDDYINDEX": 77, "KEY_VEXLANAME": "",
                                                   "KEY_MOOD_TEXT": "\u0000\u202e<b>"}}},
        {"chunk": "CHUNK_AVATAR", "KEY_BUDDYINDEX": -2147483648, "KEY_AVATARIMAGE": {"binary": "00" * 200000}},
        {"chunk": "CHUNK_CHATMESSAGES", "KEY_CHAT": 999, "KEY_BOOKMARK": 5, "KEY_CHATMSG_RECORDS": {"KEY_CHATRECORD": {
            "KEY_TIMESTAMP": -1, "KEY_VEXLANAME": "", "KEY_CHATMSG_TYPE": 1, "KEY_CHATMSG_STATUS": 2,
            "KEY_MEMBERS": " ".join(f"u{i}" for i in range(2000))}}},
        {"chunk": "CHUNK_CHATMESSAGES", "KEY_CHAT": 999, "KEY_BOOKMARK": 6, "KEY_CHATMSG_RECORDS": {"KEY_CHATRECORD": {
            "KEY_TIMESTAMP": 2147483647, "KEY_VEXLANAME": "", "KEY_CHATMSG_TYPE": 5, "KEY_CHATMSG_STATUS": 2,
            "KEY_CHATMSG_BODY": "<script>" + "t" * 100000}}},
        {"chunk": "CHUNK_CHATMESSAGES", "KEY_CHAT": 999, "KEY_CHATMSG_RECORDS": {"KEY_CHATRECORD": {
            "KEY_VEXLANAME": "bob", "KEY_CHATMSG_TYPE": 7}}},
        {"chunk": "CHUNK_CALLINGBUDDY", "KEY_CALLTARGET": "", "KEY_VEXLANAME": "", "KEY_DISPLAYNAME": "",
         "KEY_TIMESTAMP": -5},
        {"chunk": "CHUNK_INCOMINGAUTHREQUEST", "KEY_VEXLANAME": "", "KEY_AUTHMSG": "x" * 100000},
        {"chunk": "CHUNK_VOICEMAILS", "KEY_VMRECORDS": {"KEY_VMRECORDS": {"KEY_VMINDEX": -1, "KEY_VEXLANAME": "",
                                                                          "KEY_TIMESTAMP": 0, "KEY_DURATION": -5}}},
        {"chunk": "CHUNK_PRESENCEUPDATE", "KEY_BOOKMARK": -1, "KEY_ONLINESTATUSES": [-1, 2147483647, -2147483648]},
        {"chunk": "CHUNK_CALLSETUP", "KEY_CALLMETHODS": [99, -1, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9],
         "KEY_DIALIN_NUMBER_PREFIX": "", "KEY_DIALIN_NUMBER_RANGE_SIZE": -1},
        {"chunk": 9999, "KEY_VEXLANAME": "x"},
    ]


def test_hostile_server_packets_leave_the_session_and_the_phone_alone(system):
    tour.account_signs_in(system)
    tour.buddies_become_contacts(system)
    pid = system.daemon_pid()
    for packet in hostile_server_packets():
        assert system.server.command("send", packet=packet)["ok"], packet["chunk"]
    # Packets are handled in order: once a later message is written, every packet above was handled.
    tour.buddy_message_arrives(system)

    assert system.daemon_pid() == pid
    assert [r["state"] for r in system.dump(tour.LOGIN_STATE)] == ["online"]
    assert system.call(tour.UI + "balanceQuery", {}, public=True)["returnValue"] is True
    cache = os.path.join(system.data_dir, "avatars", "cache")
    assert sorted(os.listdir(cache)) == sorted(os.path.basename(r["photos"][0]["localPath"])
                                               for r in system.dump(tour.CONTACT) if r.get("photos"))
    assert not [name for _, _, names in os.walk(system.workdir) for name in names if "evil" in name]
