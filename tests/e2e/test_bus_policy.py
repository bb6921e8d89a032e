"""What the buses let their clients do: own only the names listed for each bus, read no one else's
traffic, and (on the public bus) not call the account framework's methods of com.vexla.ui."""

import os
import signal
import subprocess

import pytest

import harness
from harness import two_buses  # noqa: F401  (fixture)

ECHO_SERVICE = os.path.join(os.path.dirname(__file__), "tesk_echo_service.py")


def request_name(address, name):
    """Asks the bus at `address` for `name` on a connection of its own; the error text, or "" when owned."""
    run = subprocess.run(["dbus-send", f"--bus={address}", "--print-reply", "--dest=org.freedesktop.DBus",
                          "/org/freedesktop/DBus", "org.freedesktop.DBus.RequestName", f"string:{name}", "uint32:4"],
                         capture_output=True, text=True, timeout=harness.DEFAULT_TIMEOUT)
    return "" if run.returncode == 0 else run.stderr


def test_each_bus_lets_only_its_own_names_be_owned(two_buses):  # noqa: F811
    private, public = two_buses.private_address, two_buses.public_address
    for name in ("com.vexla.im", "com.vexla.call", "com.vexla.ui", "com.nylo.db", "com.test.echo"):
        assert request_name(private, name) == "", name
    for name in ("com.vexla.ui", "com.nylo.marlo", "com.nylo.sim", "com.test.echo"):
        assert request_name(public, name) == "", name
    # The private services' names and the platform's are out of reach on the public bus, and names nobody
    # listed on either.
    for address, name in ((public, "com.vexla.im"), (public, "com.vexla.call"), (public, "com.nylo.db"),
                          (public, "com.nylo.service.accounts"), (private, "com.nylo.marlo"),
                          (private, "com.evil"), (public, "com.evil"), (public, "com.testing")):
        assert "org.freedesktop.DBus.Error.AccessDenied" in request_name(address, name), (address, name)


def test_a_monitor_sees_no_call_between_others(two_buses):  # noqa: F811
    echo = harness.Process(["/usr/bin/python3", ECHO_SERVICE, "--public", "com.test.echo"], env=two_buses.env,
                           name="echo service")
    monitor = harness.Process(["stdbuf", "-oL", "dbus-monitor", "--address", two_buses.public_address],
                              name="dbus-monitor")
    try:
        echo.wait_for_line("ready")
        # The monitor is connected once it has its unique name; a monitor (BecomeMonitor) is refused, and
        # the eavesdropping it falls back to gets nothing meant for others.
        monitor.wait_for_line("member=NameAcquired")
        run = harness.tesk_send(two_buses, "--public", "nylo://com.test.echo/echo",
                                '{"username": "alice", "password": "s3cret"}')
        assert run.returncode == 0, run.stdout + run.stderr
        # A broadcast signal reaches the monitor after everything sent before it.
        subprocess.run(["dbus-send", f"--bus={two_buses.public_address}", "--type=signal", "/", "com.test.Marker.Done"],
                       check=True, timeout=harness.DEFAULT_TIMEOUT)
        monitor.wait_for_line("member=Done")
        assert "s3cret" not in monitor.output()
        assert "BecomeMonitor" in monitor.output()
    finally:
        monitor.stop()
        echo.stop()


@pytest.mark.parametrize("framework_on_public_bus", [False, True])
def test_framework_callbacks_of_the_ui_service_are_private_unless_allowed(tmp_path, framework_on_public_bus):
    option = " --framework-on-public-bus" if framework_on_public_bus else ""
    buses = harness.Buses(vexlad_args=f"--data-dir {tmp_path} --stderr{option}")
    try:
        enabled = '{"enabled": false, "accountId": "account1"}'
        run = harness.tesk_send(buses, "--public", "nylo://com.vexla.ui/onEnabled", enabled)
        if framework_on_public_bus:
            assert run.returncode == 0, run.stdout + run.stderr
            assert harness.reply_lines(run) == [{"returnValue": True}]
        else:
            assert run.returncode == 2
            [reply] = harness.reply_lines(run)
            assert reply["errorText"] == '"onEnabled" is called by the platform on the private bus only', reply
            for method in ("updateCredentials", "onCredentialsChanged"):
                run = harness.tesk_send(buses, "--public", f"nylo://com.vexla.ui/{method}", "{}")
                assert "private bus only" in harness.reply_lines(run)[0]["errorText"], method
            # The D-Bus error itself names the refusal.
            gdbus = subprocess.run(["gdbus", "call", "--address", buses.public_address, "--dest", "com.vexla.ui",
                                    "--object-path", "/", "--method", "com.nylo.Tesk1.onEnabled", enabled],
                                   capture_output=True, text=True, timeout=harness.DEFAULT_TIMEOUT)
            assert "org.freedesktop.DBus.Error.AccessDenied" in gdbus.stderr, gdbus.stderr
        # The private bus (the platform's) always reaches them; the screens' methods stay public.
        run = harness.tesk_send(buses, "nylo://com.vexla.ui/onEnabled", enabled)
        assert harness.reply_lines(run) == [{"returnValue": True}]
        run = harness.tesk_send(buses, "--public", "nylo://com.vexla.ui/searchContacts", '{"subscribe": true}')
        assert harness.reply_lines(run)[0]["errorCode"] == "VexlaSessionNotValid"
    finally:
        pid = harness.owner_pid(buses.private_address, "com.vexla.ui")
        if pid:
            os.kill(pid, signal.SIGQUIT)
            harness.wait_gone(pid)
        buses.stop()
