"""Frames of the largest allowed size from the server, during the handshake and in a session: each may raise
vexlad's peak memory by at most three times its size, at the default log level (nothing below notice is
formatted), and the daemon stays signed in."""

import os

import pytest

import harness
import tour

FRAME = 16 * 1024 * 1024
# The body of a frame holding one BINARY value of `size` bytes: container mark, count, chunk kind, and the
# value's type, key and length in front of its bytes.
VALUE = FRAME - 64
# Moving and decoding 16 MiB takes a while in a sanitizer build on a busy machine.
HANDLING_TIMEOUT = 180


def peak_memory(pid):
    """vexlad's peak resident memory in bytes (VmHWM)."""
    with open(f"/proc/{pid}/status") as status:
        for line in status:
            if line.startswith("VmHWM:"):
                return int(line.split()[1]) * 1024
    raise AssertionError("no VmHWM")


@pytest.fixture
def system(tmp_path, monkeypatch):
    # AddressSanitizer keeps freed memory in quarantine (256 MiB by default), which would count every earlier
    # frame again; a small one keeps the figure about the daemon's own memory.
    monkeypatch.setenv("ASAN_OPTIONS", "quarantine_size_mb=4:" + os.environ.get("ASAN_OPTIONS", ""))
    running = tour.DemoSystem(str(tmp_path), log_level=5,
                              settings=f"SOCKET_READ_TIMEOUT_DURING_HANDSHAKE {HANDLING_TIMEOUT}\n"
                                       f"SOCKET_READ_TIMEOUT_NORMAL_OPERATION {HANDLING_TIMEOUT}\n")
    yield running
    running.stop()


def large_value():
    return {"binary": "a5", "repeat": VALUE}


def frames_handled(system):
    """Waits until a balance request makes the round trip to the server: its answer comes after every frame
    the server sent before it. A request that times out while a large frame is still on its way is asked
    again."""
    def answered():
        return system.send(tour.UI + "balanceQuery", {}).returncode == 0
    harness.wait_until(answered, "a balance answer after the large frame", timeout=HANDLING_TIMEOUT)


def test_a_frame_of_the_largest_size_costs_at_most_three_times_its_size(system):
    tour.account_signs_in(system)
    tour.buddies_become_contacts(system)
    frames_handled(system)
    pid = system.daemon_pid()
    rises = {}

    def measure(what, send):
        before = peak_memory(pid)
        send()
        frames_handled(system)
        rises[what] = peak_memory(pid) - before
        print(f"{what}: peak memory rose by {rises[what]} bytes")

    # During the handshake: the server's connected answer carries the large value; the daemon reconnects
    # after the connection drops and reads it before it signs in again.
    def reconnect_through_large_handshake():
        assert system.server.command("connected", fields={"KEY_AVATARIMAGE": large_value()})["ok"]
        assert system.server.command("drop")["ok"]
        # The login after the reconnect carries the saved credentials.
        system.expect(source="server", type="received", chunk="CHUNK_LOGIN", timeout=HANDLING_TIMEOUT)
    measure("handshake", reconnect_through_large_handshake)

    # In a session: a decodable packet carrying one large value, and a body that does not decode (logged as
    # an error, with only its first bytes).
    measure("packet", lambda: system.server.command(
        "send", packet={"chunk": "CHUNK_PRESENCESETTINGS", "KEY_AVATARIMAGE": large_value()}))
    measure("undecodable", lambda: system.server.command("undecodable", size=FRAME))

    assert system.daemon_pid() == pid
    assert {what: rise for what, rise in rises.items() if rise > 3 * FRAME} == {}, rises
