"""Memory over bursts of incoming messages: once a chat holds as many messages as the library keeps,
more traffic leaves the daemon's resident memory flat. bob writes to alice in bursts of 100 messages,
each burst written to the message database before the next. After a warm-up of forty bursts, the
resident memory of vexlad (from /proc, read after each burst) may grow by at most 1 MiB from the first
two readings to the last two (the mean of each pair, as a burst leaves the heap more or less full).

The warm-up is long because a burst needs little memory (one database read per second and sender, puts
of many records): under AddressSanitizer the resident memory climbs by a few MiB over the first few
thousand messages, as the allocator's memory for each allocation size fills, and then stays flat; a
release build is flat from the start. The warm-up also fills the message writer's bounded memory of
what the database holds.

VEXLA_BURST_MESSAGES sets the number of messages after the warm-up (default 700)."""

import os

import proc_usage
import tour
from tour import MESSAGE, USERNAME

BURST = 100
WARM_UP_BURSTS = 40
MEASURED_BURSTS = max(4, int(os.environ.get("VEXLA_BURST_MESSAGES", "700")) // BURST)
ALLOWED_GROWTH_KIB = 1024
# A sanitizer build on a loaded machine writes a few hundred a second.
WRITTEN_TIMEOUT = 120


def write_burst(system, first):
    for n in range(first, first + BURST):
        system.server.command("chat_message", to=USERNAME, text=f"burst {n}", **{"from": "bob"})
    # Messages are written in order, one at a time: the last one written means all were.
    system.events.expect(timeout=WRITTEN_TIMEOUT, source="platform", event="write", operation="put", kind=MESSAGE,
                         record={"folder": "inbox", "messageText": f"burst {first + BURST - 1}"})


def test_resident_memory_stays_flat_over_bursts_of_messages(tmp_path, monkeypatch):
    # Freed memory is reused at once under AddressSanitizer too, so what stays resident is what is held.
    monkeypatch.setenv("ASAN_OPTIONS", os.environ.get("ASAN_OPTIONS", "") + ":quarantine_size_mb=0")
    system = tour.DemoSystem(str(tmp_path))
    try:
        tour.account_signs_in(system)
        pid = system.daemon_pid()
        for burst in range(WARM_UP_BURSTS):
            write_burst(system, burst * BURST)
        readings = []
        for burst in range(WARM_UP_BURSTS, WARM_UP_BURSTS + MEASURED_BURSTS):
            write_burst(system, burst * BURST)
            readings.append(proc_usage.resident_kib(pid))
        print(f"vexlad resident memory (KiB) after each burst of {BURST} past the warm-up: {readings}")
        growth = (readings[-2] + readings[-1] - readings[0] - readings[1]) / 2
        assert growth <= ALLOWED_GROWTH_KIB, readings
        assert system.daemon_pid() == pid
    finally:
        system.stop()
