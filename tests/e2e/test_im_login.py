"""The messaging transport signing in and out purely through the platform's records and activities:
platform-sim plays the phone, vexla-server-sim the Vexla network, and vexlad is started by D-Bus
activation whenever an activity calls com.vexla.im (it ends after every "offline")."""

import pytest

import harness

from system import BUDDY_STATUS, DB, GROUP_CHAT, LOGIN_STATE, SIM, SYNC_STATE, TEMPDB, Phone, count_lines


@pytest.fixture
def phone(tmp_path):
    running = Phone(str(tmp_path))
    yield running
    running.stop()


def activity_names(phone):
    return [a["name"] for a in phone.call(SIM + "listActivities", {})["activities"]]


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
    phone.events.forbid(source="platform", event="write", kind=LOGIN_STATE, record={"state": "online"})


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
    assert len(phone.events.seen(source="platform", event="write", kind=LOGIN_STATE, record={"state": "offline"})) == 1

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
    harness.wait_until(lambda: "Vexla keep alive" in activity_names(phone), "the keep-alive activity")
    # The daemon ends while signed in; its keep-alive stays behind and starts a new one.
    phone.quit_daemon()
    assert "Vexla keep alive" in activity_names(phone)
    assert "Vexla keep alive" in phone.call(SIM + "runScheduled", {})["ran"]
    phone.expect_activity("Vexla keep alive", "cancelled")
    phone.expect_ended()
    assert "Vexla keep alive" not in [a["name"] for a in phone.call(SIM + "listActivities", {})["activities"]]
    # The restarted daemon neither signed in nor asked for presence.
    chunks = [e.get("chunk") for e in phone.server.command("events")["events"] if e["type"] == "received"]
    assert chunks.count("CHUNK_LOGIN") == 1 and "CHUNK_GETPRESENCEUPDATE" not in chunks
