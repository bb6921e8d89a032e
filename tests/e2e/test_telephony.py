"""The phone application's side of Vexla calls: com.vexla.call on a private bus, vexlad started by
D-Bus activation for each request, platform-sim playing the phone. Requests that cannot be served
while signed out are answered and end the daemon."""

import json
import os

import pytest

import harness

SIM = "nylo://com.nylo.sim/"
DB = "nylo://com.nylo.db/"
CALL = "nylo://com.vexla.call/"
LOGIN_STATE = "com.nylo.imloginstate.vexla:1"


class Phone:
    """platform-sim on a private bus with vexlad activatable on it."""

    def __init__(self, workdir):
        self.buses = harness.Buses(two=False, vexlad_args=f"--data-dir {workdir}/data --stderr --log-level 7")
        self.platform = harness.Process([harness.binary("sim", "platform", "platform-sim"), "--db",
                                         os.path.join(workdir, "platform.db")], env=self.buses.env,
                                        name="platform-sim")
        self.platform.wait_for_line("platform-sim: ready")

    @property
    def daemon(self):
        """Every activated vexlad writes here (the bus daemon's output)."""
        return self.buses.daemon()

    def call(self, uri, payload, status=0):
        run = harness.tesk_send(self.buses, *(["--public"] if uri.startswith(SIM) else []), uri, json.dumps(payload))
        assert run.returncode == status, run.stdout + run.stderr
        return harness.reply_lines(run)[0]

    def login_state(self):
        return self.call(DB + "find", {"query": {"from": LOGIN_STATE}}).get("results", [])

    def expect_ended(self):
        self.daemon.wait_for_line("Vexla service ended.")

    def stop(self):
        self.platform.stop()
        self.buses.stop()


@pytest.fixture
def phone(tmp_path):
    running = Phone(str(tmp_path))
    yield running
    running.stop()


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


def test_balance_while_signed_out_fails_and_ends_the_daemon(phone):
    reply = phone.call(CALL + "balanceQuery", {}, status=1)
    assert reply == {"errorCode": "ERROR_NOT_LOGGED_IN", "errorText": "not logged in", "returnValue": False}
    phone.expect_ended()


def test_call_without_a_login_state_fails_and_ends_the_daemon(phone):
    reply = phone.call(CALL + "callUsingGateway", {"to": "bob", "isPhone": False}, status=1)
    assert reply == {"returnValue": False, "errorCode": 1002, "errorText": "unknown imloginstate - CallUsingGateway"}
    phone.expect_ended()


def test_call_with_a_sign_in_under_way_and_no_connection_fails_and_ends_the_daemon(phone):
    phone.call(DB + "put", {"objects": [{"_kind": LOGIN_STATE, "username": "alice", "accountId": "acc1",
                                         "availability": 0, "state": "logging-on"}]})
    phone.call(SIM + "setConnection", {"state": "disconnected"})
    reply = phone.call(CALL + "callUsingGateway", {"to": "bob", "isPhone": False}, status=1)
    assert reply == {"returnValue": False, "errorCode": 1005, "errorText": ""}
    phone.expect_ended()
