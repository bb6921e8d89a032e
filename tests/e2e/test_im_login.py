"""The messaging transport signing in and out purely through the platform's records and activities:
platform-sim plays the phone, vexla-server-sim the Vexla network, and vexlad is started by D-Bus
activation whenever an activity calls com.vexla.im (it ends after every "offline")."""

import json
import os
import re
import signal
import subprocess

import pytest

import harness
from eventqueue import EventQueue
from serversim import ServerSim

SIM = "nylo://com.nylo.sim/"
DB = "nylo://com.nylo.db/"
TEMPDB = "nylo://com.nylo.tempdb/"
LOGIN_STATE = "com.nylo.imloginstate.vexla:1"
SYNC_STATE = "com.nylo.account.syncstate:1"
BUDDY_STATUS = "com.nylo.imbuddystatus.vexla:1"
GROUP_CHAT = "com.nylo.imgroupchat.vexla:1"


class Phone:
    """The simulators on a private bus with vexlad activatable on it, and one event queue over both."""

    def __init__(self, workdir, scenario=None, settings=""):
        self.workdir = workdir
        self.server = ServerSim(workdir, scenario=scenario or {"accounts": [{"name": "alice", "password": "secret"}]})
        extra_settings = settings
        settings = os.path.join(workdir, "settings")
        with open(settings, "w") as file:
            file.write(f"SERVER_ENVIRONMENT TEST\nUSE_SDF_SERVER NO\nSERVER_ADDRESS_LIST {self.server.address}\n")
            file.write(extra_settings)
        self.buses = harness.Buses(two=False, vexlad_args=f"--data-dir {workdir}/data --settings {settings} --stderr "
                                                          "--log-level 7")
        self.platform = harness.Process([harness.binary("sim", "platform", "platform-sim"), "--db",
                                         os.path.join(workdir, "platform.db"), "--retry-interval", "100",
                                         "--power-down-timeout", "5000"], env=self.buses.env, name="platform-sim")
        self.platform.wait_for_line("platform-sim: ready")
        self.events = EventQueue()
        self.events.follow_platform(self.buses)
        self.events.follow_server(self.server)
        self.record_id = None

    @property
    def daemon(self):
        """Every activated vexlad writes here (the bus daemon's output)."""
        return self.buses.daemon()

    def call(self, uri, payload, status=0):
        run = harness.tesk_send(self.buses, *(["--public"] if uri.startswith(SIM) else []), uri, json.dumps(payload))
        assert run.returncode == status, run.stdout + run.stderr
        return harness.reply_lines(run)[0]

    def expect(self, **pattern):
        return self.events.expect(**pattern)

    def expect_write(self, operation, kind, **record):
        return self.expect(source="platform", event="write", operation=operation, kind=kind, record=record)["record"]

    def expect_state(self, state):
        return self.expect_write("merge", LOGIN_STATE, state=state)

    def expect_activity(self, name, state):
        return self.expect(source="platform", event="activity", name=name, state=state)

    def expect_received(self, chunk, **packet):
        return self.expect(source="server", type="received", chunk=chunk, packet=packet)["packet"]

    def expect_ended(self):
        self.daemon.wait_for_line("Vexla service ended.")

    def add_account(self, password="secret"):
        """The account with its login-state record, as the account and messaging frameworks write them."""
        account = self.call(SIM + "addAccount", {"username": "alice", "password": password, "enable": False})
        self.expect_activity("Vexla loginstate", "created")
        return account["accountId"]

    def write_login_state(self, account, availability):
        put = self.call(DB + "put", {"objects": [{"_kind": LOGIN_STATE, "accountId": account, "username": "alice",
                                                  "serviceName": "type_vexla", "state": "logging-on",
                                                  "availability": availability, "customMessage": ""}]})
        self.record_id = put["results"][0]["id"]

    def merge_login_state(self, **members):
        self.call(DB + "merge", {"objects": [{"_id": self.record_id, **members}]})

    def sign_in(self):
        """A new account wanting to be online: the daemon starts, reads the password and signs in."""
        account = self.add_account()
        self.write_login_state(account, 0)
        self.expect_state("logging-on")
        self.expect_received("CHUNK_LOGIN", KEY_VEXLANAME="alice")
        self.expect_state("online")
        return account

    def quit_daemon(self):
        """Ends a vexlad that still runs (its output would keep the bus daemon's streams open)."""
        owner = subprocess.run(["gdbus", "call", "--address", self.buses.private_address, "--dest",
                                "org.freedesktop.DBus", "--object-path", "/org/freedesktop/DBus", "--method",
                                "org.freedesktop.DBus.GetConnectionUnixProcessID", "com.vexla.im"],
                               capture_output=True, text=True, timeout=harness.DEFAULT_TIMEOUT).stdout
        pid = re.search(r"uint32 (\d+)", owner)
        if pid:
            os.kill(int(pid.group(1)), signal.SIGQUIT)
            self.expect_ended()

    def stop(self):
        self.quit_daemon()
        self.events.close()
        self.platform.stop()
        self.buses.stop()
        self.server.stop()


@pytest.fixture
def phone(tmp_path):
    running = Phone(str(tmp_path))
    yield running
    running.stop()


def count_lines(process, text):
    return sum(text in line for line in process.lines)


def test_sign_in_follow_availability_and_sign_out_with_the_offline_clean_up(phone):
    phone.call(TEMPDB + "put", {"objects": [{"_kind": BUDDY_STATUS, "username": "bob", "availability": 0}]})
    phone.call(DB + "put", {"objects": [{"_kind": GROUP_CHAT, "chatHandle": 5, "vexlaUniqueName": ""}]})
    phone.sign_in()
    phone.expect_received("CHUNK_CHANGEONLINESTATUS", KEY_CONTACTAVAILABILITY=2)

    phone.merge_login_state(availability=2)
    phone.expect_state("online")
    phone.expect_received("CHUNK_CHANGEONLINESTATUS", KEY_CONTACTAVAILABILITY=3)
    assert count_lines(phone.daemon, "nylo://com.nylo.service.accounts/readCredentials") == 1

    phone.merge_login_state(availability=4)
    phone.expect_state("logging-off")
    for name in ("Vexla loginstate.customMessage", "Vexla immessage", "Vexla imcommand", "Vexla keep alive"):
        phone.expect_activity(name, "cancelled")
    phone.expect_received("CHUNK_LOGOUT")
    phone.expect_state("offline")
    phone.expect_write("merge", BUDDY_STATUS, username="bob", availability=4)
    phone.expect_write("merge", GROUP_CHAT, chatHandle=0)
    phone.expect_write("merge", GROUP_CHAT, flags={"locked": True})
    phone.expect_ended()
    # "Vexla loginstate" was completed at the start; the availability watch stays, waiting for the next
    # wish to be online.
    activities = phone.call(SIM + "listActivities", {})["activities"]
    assert [a["name"] for a in activities] == ["Vexla loginstate.availability"]


def test_wrong_password_marks_the_sync_state_and_takes_the_record_offline(phone):
    phone.call(TEMPDB + "put", {"objects": [{"_kind": SYNC_STATE, "busAddress": "com.other", "syncState": "IDLE"}]})
    account = phone.add_account(password="wrong")
    phone.write_login_state(account, 0)
    phone.expect_received("CHUNK_LOGIN", KEY_VEXLANAME="alice")
    sync = phone.expect_write("put", SYNC_STATE, errorCode="401_UNAUTHORIZED")
    assert {key: sync[key] for key in ("accountId", "busAddress", "capabilityProvider", "errorText", "syncState")} == {
        "accountId": account, "busAddress": "com.vexla.im", "capabilityProvider": "com.vexla.messaging",
        "errorText": "Incorrect Password", "syncState": "ERROR"}
    phone.expect_write("merge", LOGIN_STATE, availability=4)
    phone.expect_state("logging-off")
    phone.expect_state("offline")
    phone.expect_ended()


def test_subscription_error_marks_the_credentials_invalid_and_signs_out(phone):
    phone.server.command("connected", fields={"KEY_SUBSCRIPTION_ERROR_MESSAGE": "expired",
                                              "KEY_SUBSCRIPTION_URL": "http://renew"})
    account = phone.add_account()
    phone.write_login_state(account, 0)
    sync = phone.expect_write("put", SYNC_STATE, errorCode="401_UNAUTHORIZED")
    assert sync["accountId"] == account
    phone.expect_write("merge", LOGIN_STATE, availability=4)
    phone.expect_state("logging-off")
    phone.expect_state("offline")
    phone.expect_ended()
    assert count_lines(phone.daemon, "CIMHandler::updateState, state = online") == 0


def test_no_data_connection_waits_for_it_and_signs_in_once_it_is_back(phone):
    # Offline is wanted first: the daemon writes "offline" and ends, leaving the availability watch.
    account = phone.add_account()
    phone.write_login_state(account, 4)
    phone.expect_state("logging-off")
    phone.expect_state("offline")
    phone.expect_ended()

    phone.call(SIM + "setConnection", {"state": "disconnected"})
    phone.merge_login_state(availability=0)
    phone.expect_state("logging-on")
    phone.expect_activity("Vexla connectionmanager.getstatus", "created")
    phone.expect_state("offline")
    phone.expect_ended()

    phone.call(SIM + "setConnection", {"state": "connected"})
    phone.expect_activity("Vexla connectionmanager.getstatus", "completed")
    phone.expect_received("CHUNK_LOGIN", KEY_VEXLANAME="alice")
    phone.expect_state("online")


def test_outside_the_home_network_waits_until_in_prl_turns_true(phone):
    phone.call(SIM + "setNetwork", {"inPrl": False})
    account = phone.add_account()
    phone.write_login_state(account, 0)
    phone.expect_state("logging-on")
    phone.expect_activity("Vexla networkStatusQuery", "created")
    phone.expect_state("offline")
    phone.expect_ended()

    # A change that leaves the phone outside: the watch is made again, and the daemon ends again.
    phone.call(SIM + "setNetwork", {"inPrl": False})
    phone.expect_activity("Vexla networkStatusQuery", "completed")
    phone.expect_activity("Vexla networkStatusQuery", "created")
    phone.expect_ended()
    # That process never read the login state: it ended without writing "offline".
    assert count_lines(phone.daemon, "CIMHandler::updateState, state = offline") == 1

    phone.call(SIM + "setNetwork", {"inPrl": True})
    phone.expect_activity("Vexla networkStatusQuery", "completed")
    phone.expect_received("CHUNK_LOGIN", KEY_VEXLANAME="alice")
    phone.expect_state("online")


def test_changed_mood_message_is_saved_to_the_profile(phone):
    phone.sign_in()
    # A mood is saved into the profile the library holds: wait until it has one.
    phone.daemon.wait_for_line("VexlaLib Callback: OnGetProfileSuccess")
    phone.merge_login_state(customMessage="gone fishing")
    phone.expect_received("CHUNK_SETPROFILEDATA", KEY_MOOD_TEXT="gone fishing")
    phone.expect_activity("Vexla loginstate.customMessage", "created")


def test_power_off_logs_out_and_acknowledges_with_the_registered_client_id(phone):
    phone.call(TEMPDB + "put", {"objects": [{"_kind": SYNC_STATE, "busAddress": "com.vexla.im", "syncState": "ERROR",
                                             "errorCode": "401_UNAUTHORIZED"}]})
    phone.sign_in()
    # The sync state is reset after the power-down registration, so that one has been handled.
    phone.expect_write("merge", SYNC_STATE, syncState="IDLE", errorCode="", errorText="")
    [registration] = phone.call(SIM + "listPowerDown", {})["registrations"]
    assert registration["clientName"] == "com.vexla.im"
    phone.call(SIM + "powerOff", {})
    phone.expect_received("CHUNK_LOGOUT")
    phone.expect(source="platform", event="powerDownAck", clientId=registration["clientId"])
    phone.expect_activity("Vexla connectionmanager.getstatus", "created")
    phone.expect_state("offline")
    phone.expect_ended()
    assert phone.call(SIM + "listPowerDown", {})["acknowledgements"] == [registration["clientId"]]


def test_keep_alive_asks_for_presence(phone):
    phone.sign_in()
    # Created before "online" was written, so it exists by now.
    assert "Vexla keep alive" in phone.call(SIM + "runScheduled", {})["ran"]
    phone.expect_received("CHUNK_GETPRESENCEUPDATE")


def test_deleting_the_account_removes_its_records_and_ends_the_daemon(phone):
    phone.call(TEMPDB + "put", {"objects": [{"_kind": BUDDY_STATUS, "username": "bob", "availability": 0}]})
    account = phone.sign_in()
    phone.call(TEMPDB + "put", {"objects": [{"_kind": SYNC_STATE, "accountId": account, "busAddress": "com.vexla.im",
                                             "capabilityProvider": "com.vexla.messaging", "syncState": "IDLE"}]})
    phone.call(SIM + "deleteAccount", {"accountId": account})
    phone.expect_write("del", LOGIN_STATE)
    phone.expect_write("del", BUDDY_STATUS)
    phone.expect_write("del", SYNC_STATE)
    phone.expect_activity("Vexla loginstate", "created")
    phone.expect(source="platform", event="account", accountId=account, state="deleted")
    phone.expect_ended()
    for database, kind in (("com.nylo.db", LOGIN_STATE), ("com.nylo.tempdb", BUDDY_STATUS),
                           ("com.nylo.tempdb", SYNC_STATE)):
        assert phone.call(SIM + "dump", {"database": database, "kind": kind})["results"] == []
    assert [a["name"] for a in phone.call(SIM + "listActivities", {})["activities"]] == ["Vexla loginstate"]


def test_keep_alive_while_signed_out_cancels_itself_and_ends_the_daemon(phone):
    phone.sign_in()
    # The daemon ends while signed in; its keep-alive stays behind and starts a new one.
    phone.quit_daemon()
    assert "Vexla keep alive" in [a["name"] for a in phone.call(SIM + "listActivities", {})["activities"]]
    assert "Vexla keep alive" in phone.call(SIM + "runScheduled", {})["ran"]
    phone.expect_activity("Vexla keep alive", "cancelled")
    phone.expect_ended()
    assert "Vexla keep alive" not in [a["name"] for a in phone.call(SIM + "listActivities", {})["activities"]]
    # The restarted daemon neither signed in nor asked for presence.
    chunks = [e.get("chunk") for e in phone.server.command("events")["events"] if e["type"] == "received"]
    assert chunks.count("CHUNK_LOGIN") == 1 and "CHUNK_GETPRESENCEUPDATE" not in chunks
