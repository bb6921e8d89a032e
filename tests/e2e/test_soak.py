"""Soak: one vexlad process through many sign-outs and sign-ins (the phone's data connection changes its
address: the daemon logs out and signs in again from the new one) and many forced reconnects (the server
drops the connection, the daemon connects again and resumes), with its open descriptors, threads and
resident memory flat from the end of each phase's warm-up to its end (resident memory may grow by at most
2 MiB: the allocator's own state).

VEXLA_SOAK_CYCLES sets the count of each (default 20; the long run uses 500). The usage at the start, the
middle and the end of each phase is printed (pytest -s shows it)."""

import os

import proc_usage
from system import SIM, System

CYCLES = int(os.environ.get("VEXLA_SOAK_CYCLES", "20"))
# The sanitizers' own bookkeeping settles over the first twenty or so cycles.
WARM_UP = 20
# The reconnect waits a second, as the shortest pause of the reconnect pattern.
SETTINGS = "RECONNECT_PATTERN 1 1 \n"
ALLOWED_GROWTH_KIB = 2048


class AddressChange:
    """Moves the phone's data connection between two addresses; each move signs the daemon out and in."""

    def __init__(self):
        self.address = "127.0.0.1"

    def __call__(self, system):
        self.address = "127.0.0.2" if self.address == "127.0.0.1" else "127.0.0.1"
        system.call(SIM + "setConnection", {"state": "connected", "ipAddress": self.address})
        system.expect_received("CHUNK_LOGOUT")
        system.expect(source="server", type="accepted", peer=lambda peer: peer.startswith(self.address + ":"))
        system.expect_received("CHUNK_LOGIN", KEY_VEXLANAME="alice")
        system.expect(source="server", type="sent", chunk="CHUNK_LOGGEDIN")


def forced_reconnect(system):
    assert system.server.command("drop")["ok"]
    system.expect(source="server", type="closed")
    system.expect_received("CHUNK_LOGIN")
    system.expect(source="server", type="sent", chunk="CHUNK_LOGGEDIN")


def run_cycles(system, pid, cycle, phase):
    """The cycles of one phase; returns the usage after the warm-up, in the middle and at the end."""
    curve = []
    for n in range(WARM_UP + CYCLES):
        cycle(system)
        assert system.daemon_pid() == pid, f"{phase}: vexlad changed during cycle {n}"
        if n + 1 == WARM_UP:
            curve.append((f"{phase} start", proc_usage.usage(pid)))
        elif n + 1 == WARM_UP + CYCLES // 2:
            curve.append((f"{phase} middle", proc_usage.usage(pid)))
    curve.append((f"{phase} end", proc_usage.usage(pid)))
    for label, usage in curve:
        print(f"{label}: {usage['fds']} fds, {usage['threads']} threads, {usage['rss_kib']} KiB resident")
    return curve


def assert_flat(curve):
    """One descriptor or thread more may be a connection or a worker caught in the middle of its work; a
    leak of one per cycle shows as many more."""
    start, end = curve[0][1], curve[-1][1]
    assert end["fds"] <= start["fds"] + 1, curve
    assert end["threads"] <= start["threads"] + 1, curve
    assert end["rss_kib"] - start["rss_kib"] <= ALLOWED_GROWTH_KIB, curve


def test_sign_ins_sign_outs_and_forced_reconnects_leave_the_daemon_flat(tmp_path, monkeypatch):
    # Freed memory is reused at once under AddressSanitizer too, and no allocation's stack is kept, so
    # what stays resident is what the daemon holds.
    monkeypatch.setenv("ASAN_OPTIONS", os.environ.get("ASAN_OPTIONS", "") + ":quarantine_size_mb=0:malloc_context_size=0")
    system = System(str(tmp_path), settings=SETTINGS, log_level=5)
    try:
        system.sign_in()
        pid = system.daemon_pid()
        signing = run_cycles(system, pid, AddressChange(), "sign-out/sign-in")
        reconnects = run_cycles(system, pid, forced_reconnect, "reconnect")
        assert_flat(signing)
        assert_flat(reconnects)
    finally:
        system.stop()
