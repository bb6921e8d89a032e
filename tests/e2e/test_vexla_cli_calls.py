"""vexla-cli against vexla-server-sim: dial-out numbers for contacts, users and telephone numbers
(computed from the dial-in prefix or asked of the server), voicemails heard, listened to and deleted,
incoming calls and changed call set-ups."""

import time

import harness
from serversim import ServerSim
from vexlacli import VexlaCli

SCENARIO = {
    "accounts": [{"name": "alice", "password": "secret"}],
    "users": [{"name": "bob"}, {"name": "carol"}],
    "buddies": {"alice": [{"name": "bob"}, {"name": "carol"}, {"number": "+31155550000", "fullName": "Office"}]},
    "calls": {
        # Contact 1 lies inside the dial-in range, 2 and 3 outside; voicemail 1 inside, 30 outside.
        "setup": {"KEY_CALLMETHODS": [1, 2], "KEY_DIALIN_NUMBER_PREFIX": "+4420", "KEY_DIALIN_NUMBER_RANGE_SIZE": 1,
                  "KEY_VOICEMAIL_NUMBER_PREFIX": "0030", "KEY_VOICEMAIL_NUMBER_RANGE_SIZE": 20,
                  "KEY_VI_GATEWAY_NUMBER": "+4410", "KEY_VI_GATEWAY_NAME": "Vexla", "KEY_VO_ENABLED": 1},
        "answer": {"number": "+15550100", "voicemail_number": "+15550111"},
        "voicemails": {"alice": [{"index": 1, "from": "bob", "subject": "hi", "timestamp": 2000},
                                 {"index": 30, "from": "carol", "timestamp": 1000}]},
    },
}


def dial(cli, command):
    cli.run(command)
    return cli.expect(event="OnUseDialOutNumber")["number"]


def next_packet(sim, direction, chunk, since):
    """The first packet of that kind the simulator received (or sent) from event since on."""
    return sim.wait({"type": direction, "chunk": chunk}, since)


def placed_call(sim, target, since):
    """Checks the next CHUNK_PLACECALL names target and its answer carries its request id; returns the
    request and the event number to go on from."""
    request = next_packet(sim, "received", "CHUNK_PLACECALL", since)
    assert request["packet"]["KEY_CALLTARGET"] == target
    answer = next_packet(sim, "sent", "CHUNK_USEPSTNNUMBER", request["seq"])
    assert answer["packet"]["KEY_REQUEST_ID"] == request["packet"]["KEY_REQUEST_ID"]
    return request, answer["seq"] + 1


def wait_for_sim_voicemails(sim, indexes, timeout=harness.DEFAULT_TIMEOUT):
    """Waits until the simulator keeps exactly these voicemail indexes for alice."""
    deadline = time.monotonic() + timeout
    while True:
        kept = [v["index"] for v in sim.command("voicemails", account="alice")["voicemails"]]
        if kept == indexes:
            return
        assert time.monotonic() < deadline, f"simulator keeps voicemails {kept}, not {indexes}"
        # The deletions may still be on their way: wait a little for the next one, then look again.
        sim.command("wait", match={"type": "received", "chunk": "CHUNK_DELETEVOICEMAIL"},
                    since=sim.command("status")["events"], timeout=0.2)


def test_calls_and_voicemail_against_the_simulator(tmp_path):
    with ServerSim(tmp_path, scenario=SCENARIO) as sim, VexlaCli(tmp_path, sim.port) as cli:
        cli.run("login alice secret")
        assert cli.expect(event="OnCallsEnabled")["enabled"] is True
        gateway = cli.expect(event="OnGatewayNumberUpdated")
        assert (gateway["number"], gateway["name"]) == ("+4410", "Vexla")
        cli.expect(event="OnGetProfileSuccess")

        # bob is index 1: computed on the phone; carol (2) and a user who is no contact go to the server.
        assert dial(cli, "call bob") == "+4421"
        since = sim.command("status")["events"]
        assert dial(cli, "call carol") == "+15550100"
        request, since = placed_call(sim, "carol", since)
        assert request["packet"]["KEY_CALLMETHOD"] == 2
        assert dial(cli, "call zed") == "+15550100"
        _, since = placed_call(sim, "zed", since)
        # A Vexla-out contact is called by its number; so is a number that is no contact.
        assert dial(cli, "call +31155550000") == "+15550100"
        _, since = placed_call(sim, "+31155550000", since)
        assert dial(cli, "call-number +441234") == "+15550100"
        placed_call(sim, "+441234", since)
        cli.run("call-number abc")
        assert cli.expect(event="OnDialOutFailed")["reason"] == 4

        # A late answer still arrives within the library's 30 s.
        assert sim.command("call_answer", delay_ms=500, number="+15550199")["ok"]
        assert dial(cli, "call carol") == "+15550199"

        voicemails = cli.run("voicemails")["voicemails"]
        assert [(v["index"], v["from"], v["heard"]) for v in voicemails] == [(1, "bob", False), (30, "carol", False)]
        first, second = voicemails[0]["handle"], voicemails[1]["handle"]
        assert dial(cli, f"listen {first}") == "31"
        since = sim.command("status")["events"]
        assert dial(cli, f"listen {second}") == "+15550111"
        assert next_packet(sim, "received", "CHUNK_LISTENVOICEMAIL", since)["packet"]["KEY_VMINDEX"] == 30

        cli.run(f"heard {first}")
        assert cli.expect(event="OnEventUpdated")["item"]["missed"] is False
        cli.run("heard-all")
        assert all(v["heard"] for v in cli.run("voicemails")["voicemails"])

        assert sim.command("voicemail", account="alice", **{"from": "dave", "subject": "new"})["sent"] == 1
        assert cli.expect(event="OnEventAdded")["item"]["display"] == "dave"
        cli.run(f"delete-voicemail {first}")
        cli.expect(event="OnEventDeleted")
        deleted = next_packet(sim, "received", "CHUNK_DELETEVOICEMAIL", 0)
        assert deleted["packet"]["KEY_VMINDEX"] == 1
        wait_for_sim_voicemails(sim, [30, 31])
        cli.run("delete-all-voicemails")
        assert cli.run("voicemails")["voicemails"] == []
        wait_for_sim_voicemails(sim, [])
        cli.run("listen 999999", ok=False)

        assert sim.command("incoming_call", account="alice", display="Bob B", **{"from": "bob"})["sent"] == 1
        calling = cli.expect(event="OnCallingContact")
        assert (calling["callTarget"], calling["name"], calling["display"]) == ("bob", "bob", "Bob B")

        # A set-up without methods turns calls off.
        assert sim.command("call_setup", account="alice", setup={})["sent"] == 1
        assert cli.expect(event="OnCallsEnabled")["enabled"] is False
        cli.run("call bob")
        assert cli.expect(event="OnDialOutFailed")["reason"] == 3

        cli.run("logout")
        cli.expect(event="OnLogout")
        cli.run("call bob", ok=False)
        assert cli.quit() == 0
