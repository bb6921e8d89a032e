"""A session captured with tcpdump on loopback decodes with vexla-dump --pcap and the key log that
vexla-cli wrote: both directions, the handshake included, in capture order."""

import os
import signal
import stat
import subprocess

import harness
from harness import private_bus  # noqa: F401 (a fixture)
from serversim import ServerSim
from vexlacli import VexlaCli

SCENARIO = {
    "accounts": [{"name": "alice", "password": "secret"}],
    "users": [{"name": "bob", "fullName": "Bob Builder"}],
    "buddies": {"alice": [{"name": "bob"}]},
}
TEXT = "hello through the capture"


def vexla_dump(*args):
    return subprocess.run([harness.binary("tools", "vexla-dump", "vexla-dump"), *args], capture_output=True,
                          text=True, timeout=harness.DEFAULT_TIMEOUT)


def frames(output, direction):
    """The dumps of one direction's frames, one string per frame."""
    dumps = []
    for block in output.split("\n[")[1:]:
        if block.split("] ", 1)[1].startswith(direction):
            dumps.append(block)
    return dumps


def test_captured_session_decodes_in_both_directions(tmp_path, monkeypatch):
    keylog = tmp_path / "keys"
    pcap = tmp_path / "session.pcap"
    monkeypatch.setenv("VEXLA_KEYLOG_FILE", str(keylog))
    with ServerSim(tmp_path, scenario=SCENARIO) as sim:
        tcpdump = harness.Process(["tcpdump", "-i", "lo", "-U", "-s", "0", "-w", pcap, f"tcp port {sim.port}"],
                                  name="tcpdump")
        try:
            tcpdump.wait_for_line("listening on")
            with VexlaCli(tmp_path, sim.port) as cli:
                cli.run("login alice secret")
                cli.expect(event="OnLoginSuccess")
                cli.run(f"chat bob {TEXT}")
                sim.wait({"type": "received", "chunk": "CHUNK_SENDCHATMESSAGE"})
                cli.run("logout")
                sim.wait({"type": "received", "chunk": "CHUNK_LOGOUT"})
                assert cli.quit() == 0

            # tcpdump writes each packet as it sees it: wait until the capture holds the logout.
            def decoded():
                run = vexla_dump("--pcap", str(pcap), "--keylog", str(keylog))
                return run if "CHUNK_LOGOUT" in run.stdout else None
            run = harness.wait_until(decoded, "the logout in the capture")
        finally:
            tcpdump.send_signal(signal.SIGINT)
            tcpdump.wait_exit()

    assert stat.S_IMODE(os.stat(keylog).st_mode) == 0o600
    assert run.returncode == 0, run.stdout + run.stderr
    assert run.stdout.startswith(f"Connection 1: 127.0.0.1:")
    assert f"-> 127.0.0.1:{sim.port}\n" in run.stdout.splitlines()[0] + "\n"
    client = frames(run.stdout, "client -> server")
    server = frames(run.stdout, "server -> client")
    # The handshake in plain, then the session encrypted, in both directions.
    assert "{CHUNK_CONNECT}" in client[0] and "(encrypted)" not in client[0]
    assert "{CHUNK_MASTERKEY}" in client[1]
    assert "{CHUNK_SERVERIDENTITY}" in server[0]
    assert "(encrypted)" in client[2] and "(encrypted)" in server[1]
    assert any(TEXT in frame for frame in client)
    assert any("{CHUNK_LOGOUT}" in frame for frame in client)
    assert "checksum mismatch" not in run.stdout
    # The password never shows.
    assert "secret" not in run.stdout and "<redacted>" in run.stdout

    # Without the keys only the handshake decodes, and the tool says what it could not.
    without_keys = vexla_dump("--pcap", str(pcap))
    assert without_keys.returncode == 4, without_keys.stdout + without_keys.stderr
    assert "{CHUNK_SERVERIDENTITY}" in without_keys.stdout
    assert "encrypted bytes not decoded: the key log has no keys for client random" in without_keys.stdout


def test_vexlad_built_with_the_key_log_announces_it_and_creates_the_file_private(tmp_path, private_bus):
    keylog = tmp_path / "keys"
    env = {**private_bus.env, "VEXLA_KEYLOG_FILE": str(keylog)}
    with harness.start_vexlad(tmp_path / "data", env=env) as vexlad:
        harness.wait_ready(vexlad)
        warnings = [line for line in vexlad.lines if "Session keys are being written to" in line]
        assert len(warnings) == 1 and str(keylog) in warnings[0]
        assert harness.quit_vexlad(vexlad) == 0
    assert stat.S_IMODE(os.stat(keylog).st_mode) == 0o600
