"""Several applications using one signed-in system at once: two applications placing calls while
voicemails are played, balance queries from both services, a contact search superseded by another,
callers that leave in the middle of a request, account deletion asked twice. Every caller must get
its own answer, exactly once. Each caller is a tesk-send of its own (its own bus connection) that
keeps listening until the end of the journey, so a second or a stray answer would be seen."""

import json
import signal

import pytest

import harness
from test_im_login import Phone

CALL = "nylo://com.vexla.call/"
UI = "nylo://com.vexla.ui/"
IM = "nylo://com.vexla.im/"
MESSAGE = "com.nylo.immessage.vexla:1"
SCENARIO = {
    "accounts": [{"name": "alice", "password": "secret"}],
    "users": [{"name": "bob", "fullName": "Bob Builder", "country": "NL"},
              {"name": "carol", "fullName": "Carol Singer", "country": "DE"}],
    "buddies": {"alice": [{"name": "bob"}, {"name": "carol"}]},
    "balances": {"alice": {"currency": "EUR", "amount": 1234}},
    "calls": {"setup": {"KEY_CALLMETHODS": [2], "KEY_VO_ENABLED": 1},
              "answer": {"number": "+15550100", "voicemail_number": "+15550111", "delay_ms": 2000}},
}
IN_PROGRESS = {"returnValue": False, "errorCode": 1000,
               "errorText": "Call setup in progress, can only handle one call setup at a time"}
VOICEMAIL_IN_USE = {"returnValue": False, "errorCode": "VexlaFunctionAlreadyInUse",
                    "errorText": "Listen to voicemail in progress, can only handle one voicemail lookup at a time"}
BALANCE = {"balance": 12.34, "currency": "EUR", "returnValue": True}
SEARCH_ENDED = {"extendedSearchPossible": False, "searchFinished": True}


class Caller:
    """One application: a tesk-send that prints every answer it gets until it is stopped."""

    def __init__(self, phone, uri, payload):
        self.process = harness.Process([harness.tesk_send_path(), "-n", "0", uri, json.dumps(payload)],
                                       env=phone.buses.env, name=f"tesk-send {uri} {payload}")

    def answer(self, index=0):
        """The index-th answer (from 0), waiting for it."""
        while len(self.answers()) <= index:
            self.process.wait_for_line("{")
        return self.answers()[index]

    def answers(self):
        """What the daemon answered; tesk-send's own report of the daemon leaving the bus is no answer."""
        replies = [json.loads(line) for line in self.process.lines if line.startswith("{")]
        return [r for r in replies if not (r.get("errorCode") == -1 and "left the bus" in r.get("errorText", ""))]

    def leave(self):
        """The application dies: its bus connection goes."""
        self.process.send_signal(signal.SIGKILL)
        self.process.wait_exit()

    def stop(self):
        self.process.stop()


@pytest.fixture
def phone(tmp_path):
    running = Phone(str(tmp_path), SCENARIO)
    callers = []
    running.caller = lambda uri, payload: callers.append(Caller(running, uri, payload)) or callers[-1]
    yield running
    for caller in callers:
        caller.stop()
    running.stop()


def received(phone, chunk):
    return [e for e in phone.server.command("events")["events"] if e["type"] == "received" and e.get("chunk") == chunk]


def launched_number(phone):
    """The number the next launch of the phone application was for."""
    return phone.expect(source="platform", event="launch", request={"id": "com.nylo.app.phone"})["request"]["params"]["number"]


def wait_for_voicemail_requests(phone, count):
    """Until the daemon has taken `count` listenToVoicemail calls in all (each is logged on arrival)."""
    harness.wait_until(lambda: sum("CVexlaUIService::ListenToVoicemail" in line for line in phone.daemon.lines) >= count,
                       f"{count} listenToVoicemail calls reach the daemon")


def voicemail_link(phone):
    """bob leaves a voicemail: it arrives as a message whose vexlavm:// link names it."""
    phone.server.command("voicemail", account="alice", subject="call me", duration=12, **{"from": "bob"})
    message = phone.expect_write("put", MESSAGE, messageText=lambda text: "vexlavm://" in text)
    return message["messageText"].split("vexlavm://", 1)[1].split('"', 1)[0]


def test_every_caller_gets_its_own_answer_exactly_once(phone):
    account = phone.sign_in()
    phone.daemon.wait_for_line("VexlaLib Callback: OnContactListUpdated")
    phone.server.command("call_setup", account="alice", setup={"KEY_CALLMETHODS": [2], "KEY_VO_ENABLED": 1})
    phone.daemon.wait_for_line("Received allowed call methods: 2")
    target = voicemail_link(phone)

    # Two applications place calls while voicemails are played through the Vexla screens.
    call = phone.caller(CALL + "callUsingGateway", {"to": "+15551234567", "isPhone": True})
    phone.expect_received("CHUNK_PLACECALL", KEY_CALLTARGET="+15551234567")
    listen = phone.caller(UI + "listenToVoicemail", {"target": target})
    wait_for_voicemail_requests(phone, 1)
    second_call = phone.caller(CALL + "callUsingGateway", {"to": "carol", "isPhone": False})
    second_listen = phone.caller(UI + "listenToVoicemail", {"target": target})
    wait_for_voicemail_requests(phone, 2)
    assert second_call.answer() == IN_PROGRESS
    assert second_listen.answer() == VOICEMAIL_IN_USE
    assert call.answer() == {"gatewayNumber": "+15550100", "returnValue": True}
    phone.expect_received("CHUNK_LISTENVOICEMAIL")
    assert listen.answer() == {"returnValue": True}
    assert launched_number(phone) == "+15550111"
    # The other application calls again once the first call is served, and gets its own number.
    phone.server.command("call_answer", delay_ms=0)
    retried = phone.caller(CALL + "callUsingGateway", {"to": "carol", "isPhone": False})
    phone.expect_received("CHUNK_PLACECALL", KEY_CALLTARGET="carol")
    assert retried.answer() == {"gatewayNumber": "+15550100", "returnValue": True}

    # Balance from both services at once: one request to the server, the same answer to everyone. The
    # server holds its answer until all four queries wait for it.
    requests_before = len(received(phone, "CHUNK_GETBALANCE"))
    phone.server.command("stall")
    balances = [phone.caller(service + "balanceQuery", {}) for service in (CALL, UI, CALL, UI)]
    phone.daemon.wait_for_line("CBalanceQueries: 4 waiting for the balance")
    phone.server.command("resume")
    phone.server.command("send", packet={"chunk": "CHUNK_BALANCE", "KEY_BALANCE_CURRENCY": "EUR",
                                         "KEY_BALANCE_AMOUNT": 1234})
    assert [b.answer() for b in balances] == [BALANCE] * 4
    assert len(received(phone, "CHUNK_GETBALANCE")) - requests_before == 1

    # A contact search superseded by another application's: the first hears its search end, and the
    # results of the second reach only the second.
    first_search = phone.caller(UI + "searchContacts", {"subscribe": True, "searchString": "bob"})
    assert first_search.answer() == {"returnValue": True}
    assert {"fullName": "Bob Builder", "vexlaName": "bob", "country": "NL"} in first_search.answer(1)["resultList"]
    second_search = phone.caller(UI + "searchContacts", {"subscribe": True, "searchString": "carol"})
    assert second_search.answer() == {"returnValue": True}
    assert {"fullName": "Carol Singer", "vexlaName": "carol", "country": "DE"} in second_search.answer(1)["resultList"]
    assert first_search.answer(2) == SEARCH_ENDED

    # Callers that leave in the middle of their request free it for the next caller.
    phone.server.command("call_answer", delay_ms=3000)
    leaving_call = phone.caller(CALL + "callUsingGateway", {"to": "+15557654321", "isPhone": True})
    phone.expect_received("CHUNK_PLACECALL", KEY_CALLTARGET="+15557654321")
    leaving_listen = phone.caller(UI + "listenToVoicemail", {"target": target})
    wait_for_voicemail_requests(phone, 3)
    leaving_call.leave()
    leaving_listen.leave()
    phone.daemon.wait_for_line("the caller of the held call to +15557654321 went away")
    phone.daemon.wait_for_line("the caller of listenToVoicemail went away")
    phone.server.command("call_answer", delay_ms=0)
    after_call = phone.caller(CALL + "callUsingGateway", {"to": "+15550000", "isPhone": True})
    after_listen = phone.caller(UI + "listenToVoicemail", {"target": target})
    assert after_call.answer() == {"gatewayNumber": "+15550100", "returnValue": True}
    assert after_listen.answer() == {"returnValue": True}
    assert launched_number(phone) == "+15550111"

    # The account is deleted by two callers at once: both are answered.
    deletes = [phone.caller(IM + "onDelete", {"accountId": account}) for _ in range(2)]
    assert [d.answer() for d in deletes] == [{"returnValue": True}] * 2
    phone.expect_ended()

    # Exactly one answer each (a superseded search: its acceptance, its results and its end).
    for caller, count in ((call, 1), (listen, 1), (second_call, 1), (second_listen, 1), (retried, 1),
                          *((b, 1) for b in balances), (first_search, 3), (after_call, 1), (after_listen, 1),
                          *((d, 1) for d in deletes)):
        assert len(caller.answers()) == count, (caller.process.name, caller.answers())
