"""vexla-cli against vexla-server-sim: sign-in with the buddy list in pages, live presence, profile
and balance, adds and deletes, authorisation requests, search, and sign-out."""

import subprocess

from serversim import ServerSim
from vexlacli import VexlaCli, vexla_cli_path

SCENARIO = {
    "accounts": [{"name": "alice", "password": "secret"}, {"name": "bob", "password": "pw"}],
    "users": [
        {"name": "bob", "fullName": "Bob Builder", "availability": 2, "picture": "00ff10"},
        {"name": "carol", "fullName": "Carol Smith", "country": "NL"},
        {"name": "cas", "fullName": "Cas Smith"},
    ],
    "buddies": {"alice": [{"name": "bob"}, {"name": "echo123"}, {"number": "+31155550000", "fullName": "Office"}]},
    "balances": {"alice": {"currency": "EUR", "amount": 1250}},
    "page_size": 2,
    "empty_pages": 1,
}


def contact_named(line, name):
    return [c for c in line["contacts"] if c["callTarget"] == name]


def test_session_against_the_simulator(tmp_path):
    with ServerSim(tmp_path, scenario=SCENARIO) as sim, VexlaCli(tmp_path, sim.port) as cli:
        cli.run("login alice secret")
        cli.expect(event="OnLoginSuccess")
        # An empty page, then two pages of two and one: the list completes and the profile follows.
        cli.expect(event="OnGetProfileSuccess")
        contacts = cli.run("contacts")
        assert [c["callTarget"] for c in contacts["contacts"]] == ["bob", "echo123", "+31155550000"]
        assert contact_named(contacts, "+31155550000")[0]["availability"] == 10

        assert sim.command("presence", name="bob", availability=3)["ok"]
        updated = cli.expect(event="OnContactUpdated")
        assert updated["contact"]["callTarget"] == "bob" and updated["contact"]["availability"] == 3

        cli.run("balance")
        assert cli.expect(event="OnGetBalanceSuccess")["amount"] == 1250
        cli.run("save-profile fullName=\"Alice Anders\" city=Delft")
        cli.expect(event="OnSaveProfileSuccess")

        cli.run("search smith")
        found = cli.expect(event="OnSearchFinished")
        assert [r["name"] for r in found["search"]["results"]] == ["carol", "cas"]

        cli.run("add-contact carol hello")
        assert cli.expect(event="OnAddContactSuccess")["contact"]["availability"] == 8
        cli.run("add-contact nobody hello")
        assert cli.expect(event="OnAddContactFailed")["code"] == 9

        cli.run("avatar bob")
        assert cli.expect(event="OnAvatarReceived")["size"] == 3

        assert sim.command("auth_request", account="alice", **{"from": "cas", "message": "hi"})["sent"] == 1
        assert cli.expect(event="OnEventAdded")["item"]["display"] == "Cas Smith"
        cli.run("authorize cas")
        cli.expect(event="OnEventDeleted")
        assert cli.expect(event="OnContactAdded")["contact"]["callTarget"] == "cas"
        sim.wait({"type": "received", "packet": {"chunk": "CHUNK_AUTHORIZECONTACT", "KEY_VEXLANAME": "cas",
                                                 "KEY_AUTHORIZATIONTYPE": 1}})

        cli.run("delete-contact bob")
        assert cli.expect(event="OnContactDeleted")["contact"]["callTarget"] == "bob"
        assert not contact_named(cli.run("contacts"), "bob")

        cli.run("logout")
        cli.expect(event="OnLogout")
        assert cli.quit() == 0


def test_login_failures_and_missing_number(tmp_path):
    with ServerSim(tmp_path, scenario=SCENARIO) as sim:
        with VexlaCli(tmp_path, sim.port, pstn="") as cli:
            cli.run("login alice secret", ok=False)
            assert "PSTN" in cli.expect(event="error", command="login")["message"]
            cli.send("frobnicate")
            cli.expect(event="error", command="frobnicate")
            cli.run("set PSTN +31600000000")
            cli.run("login alice wrong")
            assert cli.expect(event="OnLoginFailed")["reason"] == 7
            assert cli.quit() == 0
        # A fresh client: the failed attempt's forced disconnect cannot meet this login.
        with VexlaCli(tmp_path, sim.port) as cli:
            cli.run("login nobody secret")
            assert cli.expect(event="OnLoginFailed")["reason"] == 6
            assert cli.quit() == 0


def test_help_documents_the_commands():
    out = subprocess.run([vexla_cli_path(), "--help"], capture_output=True, text=True, check=True).stdout
    for command in ("login USER PASSWORD", "login-saved", "add-number", "search-more", "--settings", "--data-dir"):
        assert command in out


def test_registration_refusal_then_success_with_echo123(tmp_path):
    with ServerSim(tmp_path, scenario=SCENARIO) as sim:
        with VexlaCli(tmp_path, sim.port) as cli:
            cli.run('register NewUser short "New User" new@example.org 1')
            assert cli.expect(event="OnRegisterUserFailed")["reason"] == 6
            assert cli.quit() == 0
        with VexlaCli(tmp_path, sim.port) as cli:
            cli.run('register NewUser secret1 "New User" new@example.org 1')
            cli.expect(event="OnRegisterUserSuccess")
            assert cli.expect(event="OnAddContactSuccess")["contact"]["callTarget"] == "echo123"
            assert contact_named(cli.run("contacts"), "echo123")[0]["availability"] == 2
            assert cli.quit() == 0


def test_saved_credentials_and_server_poll_interval(tmp_path):
    scenario = dict(SCENARIO, presence_settings={"foreground": 1})
    with ServerSim(tmp_path, scenario=scenario) as sim:
        with VexlaCli(tmp_path, sim.port) as cli:
            cli.run("keep-credentials on")
            cli.run("login Alice secret")
            cli.expect(event="OnLoginSuccess")
            # The list is polled at the server's interval (1 s) once complete.
            first = sim.wait({"type": "received", "chunk": "CHUNK_GETBUDDYLIST"})
            sim.wait({"type": "received", "chunk": "CHUNK_GETBUDDYLIST"}, since=first["seq"] + 1)
            assert cli.quit() == 0
        # The next client signs in with the stored name and the saved credentials, no password.
        with VexlaCli(tmp_path, sim.port) as cli:
            cli.run("login-saved")
            cli.expect(event="OnLoginSuccess")
            login = sim.wait({"type": "received", "chunk": "CHUNK_LOGIN"}, since=first["seq"] + 1)
            assert "KEY_SAVEDDATA" in login["packet"] and "KEY_PASSWORD" not in login["packet"]
            assert cli.quit() == 0


def test_server_outcomes_of_a_login(tmp_path):
    scenario = {"accounts": [{"name": "tom", "password": "pw", "outcome": "loggedout", "code": 9},
                             {"name": "dave", "password": "pw", "outcome": "silent"},
                             {"name": "erin", "password": "pw", "outcome": "error", "code": 64}]}
    with ServerSim(tmp_path, scenario=scenario) as sim:
        for command, reason in (("login tom pw", 8), ("login erin pw", 0)):
            with VexlaCli(tmp_path, sim.port) as cli:
                cli.run(command)
                assert cli.expect(event="OnLoginFailed")["reason"] == reason
                assert cli.quit() == 0
        # Only dave's login counts: the earlier clients' logins are already among the events.
        since = sim.command("status")["events"]
        with VexlaCli(tmp_path, sim.port) as cli:
            cli.run("login dave pw")
            sim.wait({"type": "received", "chunk": "CHUNK_LOGIN"}, since=since)
            cli.run("cancel")
            assert cli.expect(event="OnLoginFailed")["reason"] == 10
            assert cli.quit() == 0
