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
    running = tour.DemoSystem(str(tmp_path), log_level=5)
    yield running
    running.stop()


def large_value():
    return {"binary": "a5", "repeat": VALUE}


def balance_answered(system):
    """A round trip to the server: its answer comes after every frame the server sent before it."""
    assert system.call(tour.UI + "balanceQuery", {}, public=True)["returnValue"] is True


def test_a_frame_of_the_largest_size_costs_at_most_three_times_its_size(system):
    tour.account_signs_in(system)
    tour.buddies_become_contacts(system)
    balance_answered(system)
    pid = system.daemon_pid()
    rises = {}

    def measure(what, send):
        before = peak_memory(pid)
        send()
        balance_answered(system)
        rises[what] = peak_memory(pid) - before

    # In a session: a decodable packet carrying one large value, and a body that does not decode (logged as
    # an error, with only its first bytes).
    measure("packet", lambda: system.server.command(
        "send", packet={"chunk": "CHUNK_PRESENCESETTINGS", "KEY_AVATARIMAGE": large_value()}))
    measure("undecodable", lambda: system.server.command("undecodable", size=FRAME))

    # During the handshake: the server's connected answer carries the large value; the daemon reconnects
    # after the connection drops and reads it before it signs in again.
    def reconnect_through_large_handshake():
        assert system.server.command("connected", fields={"KEY_AVATARIMAGE": large_value()})["ok"]
        assert system.server.command("drop")["ok"]
        system.expect_received("CHUNK_LOGIN", KEY_VEXLANAME=tour.USERNAME)
    measure("handshake", reconnect_through_large_handshake)

    assert system.daemon_pid() == pid
    assert {what: rise for what, rise in rises.items() if rise > 3 * FRAME} == {}, rises
