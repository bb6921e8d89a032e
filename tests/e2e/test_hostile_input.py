"""Hostile input during a session: bus payloads to every method of the daemon's three services, malformed
records written by other applications, and broken or malicious server packets. Each must be refused or
dropped while the daemon keeps running, signed in, with everything it had. Each test runs on its own buses
and ports."""

import json
import os
import re
import subprocess

import harness
import tour
from tour import system  # noqa: F401  (fixture)


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
    assert system.call(tour.UI + "balanceQuery", {})["returnValue"] is True
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
    assert system.call(tour.UI + "balanceQuery", {})["returnValue"] is True


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
    assert system.call(tour.UI + "balanceQuery", {})["returnValue"] is True
    cache = os.path.join(system.data_dir, "avatars", "cache")
    assert sorted(os.listdir(cache)) == sorted(os.path.basename(r["photos"][0]["localPath"])
                                               for r in system.dump(tour.CONTACT) if r.get("photos"))
    assert not [name for _, _, names in os.walk(system.workdir) for name in names if "evil" in name]
