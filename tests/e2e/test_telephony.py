"""The phone application's side of Vexla calls: com.vexla.call on a private bus, vexlad started by
D-Bus activation for each request, platform-sim playing the phone and vexla-server-sim the network.
Requests that cannot be served while signed out are answered and end the daemon."""

import json

import pytest

import harness
from system import DB, SIM, TEMPDB, Phone

CALL = "nylo://com.vexla.call/"
LOGIN_STATE = "com.nylo.imloginstate.vexla:1"
GATEWAY = "com.vexla.gateway:1"
# bob (index 1) lies within the dial-in range, carol (index 2) does not.
SCENARIO = {
    "accounts": [{"name": "alice", "password": "secret"}, {"name": "mallory", "password": "secret"}],
    "users": [{"name": "bob", "fullName": "Bob B"}, {"name": "carol"}],
    "buddies": {"alice": [{"name": "bob"}, {"name": "carol"}]},
    "balances": {"alice": {"currency": "EUR", "amount": 1234}},
    "calls": {"setup": {"KEY_CALLMETHODS": [1, 2], "KEY_DIALIN_NUMBER_PREFIX": "+4420",
                        "KEY_DIALIN_NUMBER_RANGE_SIZE": 1, "KEY_VI_GATEWAY_NUMBER": "+15550123",
                        "KEY_VI_GATEWAY_NAME": "Vexla", "KEY_VO_ENABLED": 1},
              "answer": {"number": "+15550100"}},
}


@pytest.fixture
def phone(tmp_path):
    running = Phone(str(tmp_path), SCENARIO)
    yield running
    running.stop()


def call_in_background(phone, method, payload, count=1):
    """tesk-send waiting for the daemon's answers while the test goes on."""
    return harness.Process([harness.tesk_send_path(), "-n", str(count), CALL + method, json.dumps(payload)],
                           env=phone.buses.env, name="tesk-send " + method)


def next_reply(process):
    return json.loads(process.wait_for_line("{"))


def refused_call(phone, to, is_phone):
    """The failure answer of a call request."""
    return phone.call(CALL + "callUsingGateway", {"to": to, "isPhone": is_phone}, status=1)


def signed_in_with_list(phone):
    phone.sign_in()
    phone.daemon.wait_for_line("VexlaLib Callback: OnContactListUpdated")


def test_fixed_answers_come_from_an_activated_daemon(phone):
    capabilities = phone.call(CALL + "callCapabilitiesQuery", {})
    assert capabilities == {"callTypes": ["domestic", "international", "service"], "networks": ["circuit"],
                            "returnValue": True}
    assert phone.call(CALL + "rateQuery", {}, status=1) == {"returnValue": False, "errorCode": "100",
                                                           "errorText": "Information not available"}
    # No call was announced: no caller to name.
    translated = phone.call(CALL + "incomingContactTranslate", {"clid": "+31205550001", "cnap": "", "uui": "",
                                                                "accountId": "acc1"})
    assert translated == {"returnValue": True, "address": ""}


def test_requests_that_need_the_account_end_a_signed_out_daemon(phone):
    reply = phone.call(CALL + "balanceQuery", {}, status=1)
    assert reply == {"errorCode": "ERROR_NOT_LOGGED_IN", "errorText": "not logged in", "returnValue": False}
    phone.expect_ended()

    reply = refused_call(phone, "bob", False)
    assert reply == {"returnValue": False, "errorCode": 1002, "errorText": "unknown imloginstate - CallUsingGateway"}
    phone.expect_ended()

    phone.call(DB + "put", {"objects": [{"_kind": LOGIN_STATE, "username": "alice", "accountId": "acc1",
                                         "availability": 0, "state": "logging-on"}]})
    phone.call(SIM + "setConnection", {"state": "disconnected"})
    # The daemon has heard the connection status (it asks for the network status next).
    phone.call(CALL + "callCapabilitiesQuery", {})
    phone.daemon.wait_for_line("nylo://com.nylo.telephony/networkStatusQuery")
    reply = refused_call(phone, "bob", False)
    assert reply == {"returnValue": False, "errorCode": 1005, "errorText": ""}
    phone.expect_ended()


def test_calls_while_signed_in_get_their_number_or_their_dial_out_error(phone):
    signed_in_with_list(phone)
    assert phone.call(CALL + "callUsingGateway", {"to": "Bob", "isPhone": False}) == {
        "gatewayNumber": "+4421", "returnValue": True}

    assert phone.call(CALL + "callUsingGateway", {"to": "carol", "isPhone": False})["gatewayNumber"] == "+15550100"
    phone.expect_received("CHUNK_PLACECALL", KEY_CALLTARGET="carol", KEY_CALLMETHOD=2)
    assert phone.call(CALL + "callUsingGateway", {"to": "+3170123456", "isPhone": True})["gatewayNumber"] == "+15550100"
    phone.expect_received("CHUNK_PLACECALL", KEY_CALLTARGET="+3170123456")

    # A second request while the first waits for the server is refused; the first still gets its number.
    phone.server.command("call_answer", number="+15550101", delay_ms=1000)
    first = call_in_background(phone, "callUsingGateway", {"to": "carol", "isPhone": False})
    phone.expect_received("CHUNK_PLACECALL", KEY_CALLTARGET="carol")
    assert refused_call(phone, "bob", False) == {
        "returnValue": False, "errorCode": 1000,
        "errorText": "Call setup in progress, can only handle one call setup at a time"}
    assert next_reply(first) == {"gatewayNumber": "+15550101", "returnValue": True}
    assert first.wait_exit() == 0

    assert refused_call(phone, "abc", True) == {
        "returnValue": False, "errorCode": 4, "errorText": "Invalid vexla-out PSTN number"}
    phone.server.command("call_setup", account="alice", setup={"KEY_CALLMETHODS": [1]})
    phone.daemon.wait_for_line("Received allowed call methods: 1")
    assert refused_call(phone, "+3170123456", True) == {
        "returnValue": False, "errorCode": 2, "errorText": "Vexla-out call is not allowed"}
    assert refused_call(phone, "dave", False) == {
        "returnValue": False, "errorCode": 0, "errorText": "Unknown reason for failure"}
    phone.server.command("call_setup", account="alice", setup={"KEY_CALLMETHODS": [7]})
    phone.daemon.wait_for_line("Received allowed call methods: 7")
    assert refused_call(phone, "bob", False) == {
        "returnValue": False, "errorCode": 1004, "errorText": "pCallSetup error - CallUsingGateway"}


def test_incoming_calls_gateway_and_balance(phone):
    signed_in_with_list(phone)
    gateway = call_in_background(phone, "incomingGatewayQuery", {"accountId": "acc1", "subscribe": True}, count=3)
    assert next_reply(gateway) == {"returnValue": True}
    # The set-up the daemon has is replayed to the new subscriber, and a new one reaches it too.
    assert next_reply(gateway) == {"gateways": ["+15550123"], "returnValue": True}
    phone.server.command("call_setup", account="alice", setup={**SCENARIO["calls"]["setup"],
                                                               "KEY_VI_GATEWAY_NUMBER": "+31205550124"})
    assert next_reply(gateway) == {"gateways": ["+31205550124"], "returnValue": True}
    # The gateway record leaves out a leading "+1" only; one record is kept.
    phone.expect_write("put", GATEWAY, number="5550123")
    phone.expect_write("put", GATEWAY, number="+31205550124")
    records = phone.call(TEMPDB + "find", {"query": {"from": GATEWAY}})["results"]
    assert [record["number"] for record in records] == ["+31205550124"]

    phone.server.command("incoming_call", account="alice", **{"from": "bob", "display": "Bob B"})
    phone.daemon.wait_for_line("VexlaLib Callback: OnCallingContact")
    assert phone.call(CALL + "incomingContactTranslate", {"clid": "+15550123", "cnap": "", "uui": "",
                                                          "accountId": "acc1"}) == {"address": "bob",
                                                                                    "returnValue": True}
    assert phone.call(CALL + "balanceQuery", {}) == {"balance": 12.34, "currency": "EUR", "returnValue": True}


def test_a_call_brings_an_offline_account_online(phone):
    account = phone.add_account()
    phone.write_login_state(account, 4)
    phone.expect_state("offline")
    phone.expect_ended()

    pending = call_in_background(phone, "callUsingGateway", {"to": "carol", "isPhone": False})
    phone.expect_write("merge", LOGIN_STATE, availability=0)
    phone.expect_received("CHUNK_LOGIN", KEY_VEXLANAME="alice")
    assert next_reply(pending) == {"gatewayNumber": "+15550100", "returnValue": True}
    phone.expect_received("CHUNK_PLACECALL", KEY_CALLTARGET="carol")


def test_a_login_failure_while_a_call_waits_fails_it_and_ends_the_daemon(phone):
    account = phone.add_account(password="wrong")
    phone.write_login_state(account, 4)
    phone.expect_state("offline")
    phone.expect_ended()

    reply = refused_call(phone, "carol", False)
    assert reply == {"returnValue": False, "errorCode": 1003, "errorText": "login failed - CallUsingGateway"}
    phone.expect_ended()
