"""vexlad as a process on a private bus: options, start-up log, directories and the orderly shutdown on
SIGQUIT."""

import os
import signal
import stat
import subprocess

import harness
from harness import private_bus  # noqa: F401  (fixture)


def run_vexlad(*args):
    return subprocess.run([harness.vexlad_path(), *args], capture_output=True, text=True, timeout=30)


def test_start_logs_creates_directories_and_sigquit_ends_orderly(tmp_path, private_bus):
    data_dir = tmp_path / "data"
    with harness.start_vexlad(data_dir, env=private_bus.env) as daemon:
        daemon.wait_for_line("Starting vexla service.")
        harness.wait_ready(daemon)
        for path in (data_dir, data_dir / "avatars", data_dir / "avatars" / "cache"):
            mode = os.stat(path).st_mode
            assert stat.S_ISDIR(mode)
            assert mode & 0o700 == 0o700, f"{path} is not usable by its owner"
            assert mode & 0o055 == 0o055 & ~current_umask(), f"{path} is not readable by others"
        daemon.send_signal(signal.SIGQUIT)
        daemon.wait_for_line("Shutting down vexla service.")
        daemon.wait_for_line("Vexla service ended.")
        assert daemon.wait_exit() == 0
    lines = daemon.lines
    for message in ("Starting vexla service.", "Initialisation done, entering main loop.",
                    "Shutting down vexla service.", "Vexla service ended."):
        assert lines.count(message) == 1, daemon.output()
        index = lines.index(message)
        assert lines[index - 1].startswith("Time: "), daemon.output()


def test_uncreatable_data_directory_is_logged_and_start_up_stops_without_the_avatar_cache(tmp_path, private_bus):
    blocker = tmp_path / "file"
    blocker.write_text("in the way")
    with harness.start_vexlad(blocker / "data", env=private_bus.env) as daemon:
        daemon.wait_for_line(f'Failed creating directory {blocker}/data with error "Not a directory"')
        daemon.wait_for_line(f"Error opening {blocker}/data/avatars/cache")
        daemon.wait_for_line("Failed to initialize avatar cache.")
        assert daemon.wait_exit() == 255


def test_help_version_and_unknown_option():
    help_run = run_vexlad("--help")
    assert help_run.returncode == 0
    for option in ("--data-dir", "--settings", "--log-level", "--stderr", "--version", "--help"):
        assert option in help_run.stdout

    version_run = run_vexlad("--version")
    assert version_run.returncode == 0
    assert version_run.stdout.startswith("vexlad ")

    bad_run = run_vexlad("--no-such-option")
    assert bad_run.returncode == 2
    assert "Usage: vexlad" in bad_run.stderr
    assert bad_run.stdout == ""


def current_umask():
    mask = os.umask(0)
    os.umask(mask)
    return mask
