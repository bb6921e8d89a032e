"""The whole system on the simulators, and the tour through it that ./demo prints and the journeys assert.

DemoSystem is the system harness (system.System) with a private and a public bus whose service directories
start vexlad and marloservice from the build tree, platform-sim, vexla-server-sim with the demo scenario
(sim/server/scenarios/demo.json) and store-sim. Each step of the tour is one function taking the system: it
drives the phone, waits for what should follow (with a deadline) and returns one line saying what it
observed; a step that does not see it raises AssertionError."""

import json
import os

import pytest

import harness
from system import BUDDY_STATUS, DB, LOGIN_STATE, SIM, UI, System

SCENARIO = os.path.join(harness.SOURCE_DIR, "sim", "server", "scenarios", "demo.json")
MARLO = "nylo://com.nylo.marlo/"
CALL = "nylo://com.vexla.call/"
MESSAGE = "com.nylo.immessage.vexla:1"
CONTACT = "com.nylo.contact.vexla:1"
BUDDIES_WITH_PICTURES = ("bob", "carol")
USERNAME = "alice"
PASSWORD = "secret"
STORE_LOGIN = {"email": "user@example.com", "password": "secret", "deviceid": "IMEI-356938035643809"}
STORE_ITEM = "B00DEMO001"
PLATFORM_AWAY, PLATFORM_OFFLINE = 2, 4
DEMO_GATEWAY = "+4410"  # the scenario's Vexla-in gateway number
PLATFORM_AVAILABILITY = {0: "online", PLATFORM_AWAY: "away", PLATFORM_OFFLINE: "offline"}


class DemoSystem(System):
    """Everything running, the store and marloservice included, on two buses. `scenario_extra` adds to
    or replaces members of the demo scenario; the other options are the harness's."""

    def __init__(self, workdir, scenario_extra=None, log_level=6, **options):
        with open(SCENARIO) as scenario:
            demo = {**json.load(scenario), **(scenario_extra or {})}
        super().__init__(workdir, scenario=demo, two=True, log_level=log_level, store=True, **options)
        self.account_id = None
        self.device_token = None


@pytest.fixture
def system(tmp_path):
    """The whole system running in the test's own directory, stopped after the test."""
    running = DemoSystem(str(tmp_path))
    yield running
    running.stop()


# --- The steps ----------------------------------------------------------------------------------


def account_signs_in(system):
    """The account is added and enabled as the account framework does: its call to com.vexla.ui "onEnabled"
    starts vexlad, which creates the account's login-state record; the record's watch signs it in."""
    system.account_id = system.call(SIM + "addAccount", {"username": USERNAME, "password": PASSWORD,
                                                         "enable": True})["accountId"]
    record = system.expect_write("put", LOGIN_STATE, accountId=system.account_id, username=USERNAME,
                                 state="logging-on")
    system.login_state_id = record["_id"]
    system.daemon.wait_for_line("Initialisation done, entering main loop.")
    system.expect_received("CHUNK_LOGIN", KEY_VEXLANAME=USERNAME)
    system.expect_state("online")
    return (f"account {system.account_id} ({USERNAME}) enabled; vexlad (pid {system.daemon_pid()}) started by "
            f"D-Bus activation created its login state and signed in to the server at {system.server.address}")


def phone_takes_voicemail_links(system):
    """At start-up vexlad asked the application manager to hand vexlavm:// links to the phone."""
    redirects = system.call(SIM + "listRedirects", {})["redirects"]
    # Asked once per start, and this vexlad started once.
    assert redirects == [{"appId": "com.nylo.app.phone", "urlPattern": "vexlavm://", "schemeForm": True}], redirects
    return "vexlavm:// links are handed to com.nylo.app.phone"


def availability_follows_the_phone(system):
    """The messaging application sets the account away: the server hears of it."""
    system.call(DB + "merge", {"objects": [{"_id": system.login_state_id, "availability": PLATFORM_AWAY}]})
    system.expect_received("CHUNK_CHANGEONLINESTATUS", KEY_CONTACTAVAILABILITY=3)
    return "the account set away on the phone shows away on the server"


def buddies_become_contacts(system):
    """The buddy list is mirrored into the platform's contacts, with presence records and cached pictures
    (fetched a few at a time, after the contacts and their presence)."""
    pictured = {}
    while set(pictured) != set(BUDDIES_WITH_PICTURES):
        record = system.expect_write(lambda operation: True, CONTACT, photos=lambda photos: bool(photos))
        pictured[record["displayName"]] = record["photos"][0]["localPath"]
    assert all(os.path.getsize(path) > 0 for path in pictured.values()), pictured
    contacts = {record.get("displayName") for record in system.dump(CONTACT)}
    presence = {record["username"]: record["availability"] for record in system.dump(BUDDY_STATUS, "com.nylo.tempdb")}
    assert set(BUDDIES_WITH_PICTURES) <= contacts and "+31155550000" in contacts, contacts
    assert set(BUDDIES_WITH_PICTURES) <= set(presence), presence
    return (f"contacts {', '.join(sorted(contacts))}; presence " +
            ", ".join(f"{name} {PLATFORM_AVAILABILITY.get(presence[name], presence[name])}"
                      for name in BUDDIES_WITH_PICTURES) +
            f"; pictures cached in {os.path.dirname(next(iter(pictured.values())))}")


def buddy_message_arrives(system):
    """bob writes to alice: the message lands in the platform's message database, in the inbox."""
    text = "Are you coming tonight?"
    system.server.command("chat_message", to=USERNAME, text=text, **{"from": "bob"})
    record = system.expect_write("put", MESSAGE, folder="inbox", messageText=text)
    return f"bob's \"{record['messageText']}\" is in the inbox of the message database"


def outbox_message_reaches_the_buddy(system):
    """A message the messaging application puts in the outbox is sent to bob and marked successful."""
    text = "On my way!"
    system.call(DB + "put", {"objects": [{"_kind": MESSAGE, "folder": "outbox", "status": "pending",
                                          "messageText": text, "to": [{"addr": "bob"}]}]})
    system.expect_write("merge", MESSAGE, status="successful")
    chats = system.server.command("chats")["chats"]
    assert any(message["text"] == text and message["from"] == USERNAME
               for chat in chats for message in chat["messages"]), chats
    return f"\"{text}\" from the outbox reached bob's dialog on the server; record marked successful"


def call_gets_a_gateway_number(system):
    """The phone application asks com.vexla.call how to reach bob: it gets a number to dial."""
    reply = system.call(CALL + "callUsingGateway", {"to": "bob", "isPhone": False})
    assert reply["returnValue"] is True and reply.get("gatewayNumber"), reply
    return f"calling bob: the phone application dials {reply['gatewayNumber']}"


def incoming_call_is_named(system):
    """The server announces a call from carol; when the phone rings, com.vexla.call names the caller."""
    system.server.command("incoming_call", account=USERNAME, display="Carol Singer", **{"from": "carol"})
    system.daemon.wait_for_line("VexlaLib Callback: OnCallingContact")
    reply = system.call(CALL + "incomingContactTranslate", {"clid": DEMO_GATEWAY, "cnap": "", "uui": "",
                                                            "accountId": system.account_id})
    assert reply == {"returnValue": True, "address": "carol"}, reply
    return f"a call arriving through {DEMO_GATEWAY} is named {reply['address']}"


def voicemail_launches_the_phone(system):
    """bob leaves a voicemail: it arrives as a message with a vexlavm:// link; listening to that link
    through the Vexla screens launches the phone application on the number that plays it."""
    system.server.command("voicemail", account=USERNAME, subject="call me", duration=12, **{"from": "bob"})
    message = system.expect_write("put", MESSAGE, messageText=lambda text: "vexlavm://" in text)
    voicemail_id = message["messageText"].split("vexlavm://", 1)[1].split('"', 1)[0]
    reply = system.call(UI + "listenToVoicemail", {"target": voicemail_id})
    assert reply["returnValue"] is True, reply
    launch = system.expect_platform(event="launch", request={"id": "com.nylo.app.phone"})["request"]
    return (f"bob's voicemail arrived as a vexlavm://{voicemail_id} link; listening launched the phone on "
            f"{launch['params']['number']}")


def balance_is_read(system):
    """The Vexla screens ask for the credit."""
    reply = system.call(UI + "balanceQuery", {})
    assert reply["returnValue"] is True and "balance" in reply, reply
    return f"balance {reply['balance']} {reply['currency']}"


def display_is_followed(system):
    """The screen goes off and on; vexlad hears both."""
    system.call(SIM + "setDisplay", {"state": "off"})
    system.daemon.wait_for_line("screen off.")
    system.call(SIM + "setDisplay", {"state": "on"})
    system.daemon.wait_for_line("screen on, requesting presence updates.")
    return "screen off and on again: vexlad followed both"


def store_links_and_buys(system):
    """The store application links the device (marloservice started by the public bus) and buys an item."""
    linked = system.call(MARLO + "devicetokenget", STORE_LOGIN, public=True)
    assert linked["httpStatus"] == 200 and "<deviceToken>" in linked["xml"], linked
    system.device_token = linked["xml"].split("<deviceToken>", 1)[1].split("</deviceToken>", 1)[0]
    bought = system.call(MARLO + "purchase", {"msin": STORE_ITEM, "devicetoken": system.device_token,
                                              "associatetag": "nylo-store"}, public=True)
    assert "<orderId>" in bought["xml"], bought
    order = bought["xml"].split("<orderId>", 1)[1].split("</orderId>", 1)[0]
    return f"device linked (token {system.device_token}); {STORE_ITEM} bought, order {order}"


def account_goes_offline(system):
    """The account is set offline: vexlad logs out, writes the offline state and ends itself."""
    pid = system.daemon_pid()
    system.call(DB + "merge", {"objects": [{"_id": system.login_state_id, "availability": PLATFORM_OFFLINE}]})
    system.expect_state("logging-off")
    system.expect_received("CHUNK_LOGOUT")
    system.expect_state("offline")
    system.daemon.wait_for_line("Vexla service ended.")
    assert harness.wait_gone(pid), f"vexlad (pid {pid}) still runs after going offline"
    return f"logged out, login state offline, vexlad (pid {pid}) ended"


# The tour in order: a name for each step (what ./demo names when it was not observed) and its function.
STEPS = [
    ("the account is enabled and signs in", account_signs_in),
    ("voicemail links go to the phone application", phone_takes_voicemail_links),
    ("availability set on the phone reaches the network", availability_follows_the_phone),
    ("the buddies appear in the contacts with presence and pictures", buddies_become_contacts),
    ("a buddy's message arrives in the message database", buddy_message_arrives),
    ("a message written to the outbox reaches the buddy", outbox_message_reaches_the_buddy),
    ("the phone application gets a gateway number for a call", call_gets_a_gateway_number),
    ("an incoming call is named", incoming_call_is_named),
    ("a voicemail arrives as a link and listening launches the phone", voicemail_launches_the_phone),
    ("the balance is read", balance_is_read),
    ("the display is followed", display_is_followed),
    ("the store links the device and buys an item", store_links_and_buys),
]
# The last step ends the daemon; `./demo --keep` leaves it out.
ENDING = ("the account goes offline and the daemon ends", account_goes_offline)


def poke_commands(system, build_dir):
    """The commands that reach the running system by hand (printed by `./demo --keep`)."""
    send = os.path.join(build_dir, "tools", "tesk-send", "tesk-send")
    merge = lambda members: f"{send} nylo://com.nylo.db/merge '" + json.dumps(  # noqa: E731
        {"objects": [{"_id": system.login_state_id, **members}]}) + "'"
    return [
        f"export TESK_PRIVATE_BUS_ADDRESS={system.buses.private_address}",
        f"export TESK_PUBLIC_BUS_ADDRESS={system.buses.public_address}",
        f"{send} --public -n 1000 nylo://com.nylo.sim/events '{{}}'        # follow every write and activity",
        f"{send} --public nylo://com.nylo.sim/dump '{{\"kind\": \"{LOGIN_STATE}\"}}'",
        f"{send} --public nylo://com.nylo.sim/setDisplay '{{\"state\": \"off\"}}'",
        merge({"availability": 0}) + "        # online; 2 away, 4 offline (vexlad then ends)",
        f"{send} --public nylo://com.nylo.marlo/purchase '" + json.dumps(
            {"msin": STORE_ITEM, "devicetoken": system.device_token or ""}) + "'",
        f"vexlad pid {system.daemon_pid()}: kill -QUIT it for the orderly shutdown",
        "python3 -c 'import socket,sys; s=socket.socket(socket.AF_UNIX); s.connect(sys.argv[1]); "
        "s.sendall(sys.argv[2].encode()+b\"\\n\"); print(s.recv(4096).decode())' " + system.server.control_path +
        " '" + json.dumps({"cmd": "chat_message", "from": "bob", "to": USERNAME, "text": "hi"}) +
        "'        # bob writes; every command in sim/server/README.md",
    ]
