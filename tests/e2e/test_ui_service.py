"""com.vexla.ui end to end: the Vexla screens call it with tesk-send on the public and the private bus,
vexlad is started by D-Bus activation, platform-sim plays the phone and vexla-server-sim the network."""

import pytest

import harness
from system import LOGIN_STATE, SIM, UI, System

SCENARIO = {
    "accounts": [{"name": "alice", "password": "secret"}],
    "users": [{"name": "bob", "fullName": "Bob Builder", "country": "NL"}],
    "buddies": {"alice": [{"name": "bob"}]},
    "balances": {"alice": {"currency": "EUR", "amount": 1234}},
    "calls": {"answer": {"voicemail_number": "+15550111"},
              "voicemails": {"alice": [{"index": 1, "from": "bob", "subject": "hi",
                                        "timestamp": 1700000000, "duration": 12}]}}}


class Phone(System):
    """Two buses with vexlad activatable on both; the screens' calls on the public bus start it there."""

    def __init__(self, workdir):
        super().__init__(workdir, scenario=SCENARIO, two=True, daemon_bus="public")

    def update_credentials(self, account_id):
        """As the account framework does, on the private bus: vexlad starts there and signs in."""
        self.daemon_bus = "private"
        return self.ui("updateCredentials", {"username": "alice", "password": "secret", "accountId": account_id},
                       public=False)


@pytest.fixture
def phone(tmp_path):
    screens = Phone(str(tmp_path))
    yield screens
    screens.stop()


def test_checked_credentials_answer_the_password_and_sign_out_again(phone):
    reply = phone.ui("checkCredentials", {"username": "alice", "password": "secret"})
    assert reply == {"returnValue": True, "credentials": {"common": {"password": "secret"}}}
    phone.expect_received("CHUNK_LOGIN", KEY_VEXLANAME="alice")
    phone.expect_received("CHUNK_LOGOUT")


def test_a_wrong_password_is_refused_and_the_daemon_ends(phone):
    reply = phone.ui("checkCredentials", {"username": "alice", "password": "wrong"}, status=1)
    assert reply["errorCode"] == "LOGIN_FAILED_INCORRECT_PASSWORD", reply
    assert reply["errorText"] == "incorrect password"
    phone.expect_ended()


def test_updated_credentials_bring_the_messaging_transport_online(phone):
    account = phone.call(SIM + "addAccount", {"username": "alice", "password": "secret", "enable": False})
    reply = phone.update_credentials(account["accountId"])
    assert reply["credentials"]["common"]["password"] == "secret"
    phone.expect(source="platform", event="write", operation="put", kind=LOGIN_STATE,
                 record={"state": "logging-on", "username": "alice"})
    phone.expect(source="platform", event="write", operation="merge", kind=LOGIN_STATE, record={"state": "online"})

    # Signed in now: a second update is refused.
    reply = phone.ui("updateCredentials", {"username": "alice", "password": "secret"}, status=1, public=False)
    assert reply == {"returnValue": False, "errorCode": "CONNECTION_FAILED"}


def test_screens_search_read_privacy_and_balance_while_signed_in(phone):
    account = phone.call(SIM + "addAccount", {"username": "alice", "password": "secret", "enable": False})
    phone.update_credentials(account["accountId"])
    phone.expect(source="platform", event="write", operation="merge", kind=LOGIN_STATE, record={"state": "online"})

    reply = phone.ui("searchContacts", {"searchString": "bob"}, status=1)
    assert reply["errorCode"] == "VexlaFunctionNotSupported"
    run = phone.send(UI + "searchContacts", {"searchString": "bob", "subscribe": True}, "-n", "2")
    assert run.returncode == 0, run.stdout + run.stderr
    first, results = harness.reply_lines(run)
    assert first == {"returnValue": True}
    assert results["searchFinished"] is True
    assert {"fullName": "Bob Builder", "vexlaName": "bob", "country": "NL"} in results["resultList"], results

    reply = phone.ui("balanceQuery")
    assert reply == {"balance": 12.34, "currency": "EUR", "returnValue": True}

    reply = phone.ui("getPrivacyPolicies", public=False)
    assert reply["returnValue"] is True and reply["errorCode"] == 0, reply
    assert {reply["chat"], reply["call"], reply["pstn"]} <= {"everyone", "buddies-only"}


def test_signed_out_the_session_methods_refuse(phone):
    for method in ("searchContacts", "getPrivacyPolicies", "listenToVoicemail"):
        reply = phone.ui(method, {"subscribe": True, "searchString": "x", "handle": 1}, status=1)
        assert reply == {"returnValue": False, "errorCode": "VexlaSessionNotValid",
                         "errorText": "Session is not ready for use."}, (method, reply)
