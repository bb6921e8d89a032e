"""A second vexlad started by mistake on the data directory of one that runs: its start-up fails (the
names are taken) and it leaves the store file as it found it, byte for byte and the very same file; the
first daemon goes on serving and writes its store when it ends."""

import os
import signal

import harness
import tour
from tour import system  # noqa: F401  (fixture)


def tmp_state(path):
    """The bytes, inode and modification time of a file, or None when there is none."""
    if not os.path.exists(path):
        return None
    with open(path, "rb") as file:
        stat = os.stat(path)
        return file.read(), stat.st_ino, stat.st_mtime_ns


def test_a_second_vexlad_leaves_the_live_store_alone_and_the_first_goes_on(system):
    tour.account_signs_in(system)
    tour.buddy_message_arrives(system)
    store = os.path.join(system.data_dir, "vexla.dat")
    harness.wait_until(lambda: os.path.exists(store), "the first daemon wrote its store")

    # The first daemon is held still, so that every change to the file can only come from the second.
    first = system.daemon_pid()
    os.kill(first, signal.SIGSTOP)
    try:
        before = os.stat(store)
        # The first daemon may have been stopped in the middle of writing its store: whatever it left
        # stays as it was.
        left_behind = tmp_state(store + ".tmp")
        with open(store, "rb") as file:
            content = file.read()
        with harness.start_vexlad(system.data_dir, "--settings", system.settings, "--log-level", "6",
                                  env=system.env) as second:
            assert second.wait_exit() == 255
        assert "Failed to start services." in second.output()
        after = os.stat(store)
        with open(store, "rb") as file:
            assert file.read() == content
        assert (after.st_ino, after.st_mtime_ns) == (before.st_ino, before.st_mtime_ns)
        assert tmp_state(store + ".tmp") == left_behind
    finally:
        os.kill(first, signal.SIGCONT)

    # The first daemon still delivers, and its orderly end writes the store anew.
    system.server.command("chat_message", to=tour.USERNAME, text="Still there?", **{"from": "bob"})
    system.expect_write("put", tour.MESSAGE, folder="inbox", messageText="Still there?")
    system.quit_daemon()
    assert os.stat(store).st_ino != before.st_ino
