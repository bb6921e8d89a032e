"""vexla-cli without a session: every command that needs one, issued while signed out and again during
a login that then fails, is answered with a failure at once; the process stays up, the login fails
once, and a sign-in afterwards works."""

import re
import subprocess

from serversim import ServerSim
from vexlacli import VexlaCli, vexla_cli_path

SCENARIO = {
    "accounts": [{"name": "alice", "password": "secret"}, {"name": "dave", "password": "pw", "outcome": "silent"}],
    "users": [{"name": "bob", "fullName": "Bob Builder"}],
    "buddies": {"alice": [{"name": "bob"}]},
}

# Every command that needs a signed-in session, with words for it.
SESSION_COMMANDS = [
    "logout", "profile", "save-profile fullName=Alice", "balance", "contacts", "add-contact bob hello",
    "add-number +31155550000 Office", "delete-contact bob", "props bob", "avatar bob", "authorize bob",
    "block bob", "unblock bob", "reject bob", "auth-request bob hi", "search smith", "search-more", "search-end",
    "status 2", "presence", "chats", "unread", "open 1", "close 1", "chat bob hi", "send 1 hi", "topic 1 trip",
    "add-members 1 carol", "read 1", "read-all", "leave 1", "leave-all", "call bob", "call-number +31155550000",
    "voicemails", "listen 1", "heard 1", "heard-all", "delete-voicemail 1", "delete-all-voicemails",
]
# The commands that start, end or prepare a session, tried on their own below.
SESSION_CONTROL = ["login", "login-saved", "register", "cancel", "keep-credentials", "set", "foreground",
                   "background", "quit"]


def documented_commands():
    """The command names of vexla-cli --help ("on|off" are the values of keep-credentials)."""
    usage = subprocess.run([vexla_cli_path(), "--help"], capture_output=True, text=True, check=True).stdout
    section = usage.split("Commands", 1)[1].split("\n\n", 1)[0]
    names = set()
    for line in section.splitlines()[1:]:
        if not re.match(r"  [a-z]", line):
            continue
        syntax = re.split(r"\s{2,}", line.strip())[0]
        for piece in re.split(r"\s*\|\s*", syntax):
            names.add(piece.split()[0])
    return names - {"on", "off"}


def refuse_every_session_command(cli):
    for command in SESSION_COMMANDS:
        cli.run(command, ok=False)


def test_every_command_is_covered():
    assert documented_commands() == {c.split()[0] for c in SESSION_COMMANDS} | set(SESSION_CONTROL)


def test_session_commands_fail_signed_out_and_during_a_failing_login(tmp_path):
    with ServerSim(tmp_path, scenario=SCENARIO) as sim, VexlaCli(tmp_path, sim.port) as cli:
        refuse_every_session_command(cli)
        cli.run("cancel", ok=False)
        cli.run("background")
        cli.run("foreground")
        cli.run("set LANGUAGE en")

        # dave's login is never answered: the client waits in it.
        since = sim.command("status")["events"]
        cli.run("login dave pw")
        sim.wait({"type": "received", "chunk": "CHUNK_LOGIN"}, since=since)
        refuse_every_session_command(cli)
        cli.run("login dave pw")
        assert cli.expect(event="OnLoginFailed")["reason"] == 4
        cli.run('register NewUser secret1 "New User" new@example.org 1')
        assert cli.expect(event="OnRegisterUserFailed")["reason"] == 4

        # The server refuses the login with an add's error code: the login fails, once.
        assert sim.command("send", packet={"chunk": "CHUNK_ERROR", "KEY_ERROR_CODE": 9})["sent"] >= 1
        assert cli.expect(event="OnLoginFailed")["reason"] == 0
        refuse_every_session_command(cli)

        # The client is whole: a sign-in works and its session takes requests.
        cli.run("login alice secret")
        cli.expect(event="OnLoginSuccess")
        cli.run("presence")
        cli.run("logout")
        cli.expect(event="OnLogout")
        assert cli.quit() == 0

    failures = [line for line in cli.lines if line.get("event") == "OnLoginFailed"]
    assert [line["reason"] for line in failures] == [4, 0]
    unexpected = {"OnAddContactFailed", "OnAddContactSuccess", "OnGetBalanceFailed", "OnGetProfileFailed",
                  "OnSaveProfileFailed", "OnSearchFailed", "OnDialOutFailed", "OnGetChatFailed"}
    assert not [line for line in cli.lines if line.get("event") in unexpected]
