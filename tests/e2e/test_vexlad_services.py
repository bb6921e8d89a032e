"""vexlad on a private bus with platform-sim: started by D-Bus activation, its settings file applied
after its own properties, the display followed, SIGQUIT obeyed; a taken name fails start-up."""

import os
import signal

import harness
from harness import private_bus  # noqa: F401  (fixture)
from system import SIM, System

ECHO_SERVICE = os.path.join(os.path.dirname(__file__), "tesk_echo_service.py")


def test_activated_vexlad_applies_its_settings_follows_the_display_and_quits(tmp_path):
    system = System(str(tmp_path), log_level=6)
    try:
        # Calling its name starts it; it has no methods of its own yet, so the call itself fails.
        system.send("nylo://com.vexla.im/keepAlive", {})
        daemon = system.daemon
        daemon.wait_for_line("Started Tesk service, serviceName=com.vexla.call, usePublicBus=0")
        daemon.wait_for_line("Started Tesk service, serviceName=com.vexla.im, usePublicBus=0")
        daemon.wait_for_line("Found a file with debug settings:")
        daemon.wait_for_line("Setting property: SERVER_ENVIRONMENT to: TEST")
        daemon.wait_for_line("Setting property: USE_SDF_SERVER to: NO")
        daemon.wait_for_line("Initialisation done, entering main loop.")

        # The first display status is "on", as the handler starts: nothing changes.
        system.call(SIM + "setDisplay", {"state": "off"})
        daemon.wait_for_line("- OnDisplayEvent, screen off.")
        system.call(SIM + "setDisplay", {"state": "on"})
        daemon.wait_for_line("- OnDisplayEvent, screen on, requesting presence updates.")

        # Sent before the main loop ran, so the simulator has it by now.
        redirects = system.call(SIM + "listRedirects", {})
        assert redirects["redirects"] == [
            {"appId": "com.nylo.app.phone", "urlPattern": "vexlavm://", "schemeForm": True}], redirects

        os.kill(system.daemon_pid(), signal.SIGQUIT)
        daemon.wait_for_line("Shutting down vexla service.")
        daemon.wait_for_line("Vexla service ended.")
        assert sum("OnDisplayEvent" in line for line in daemon.lines) == 2, daemon.output()
    finally:
        system.stop()


def test_taken_call_service_name_fails_start_up_with_status_255(tmp_path, private_bus):
    squatter = harness.Process(["/usr/bin/python3", ECHO_SERVICE, "com.vexla.call"], env=private_bus.env,
                               name="squatter")
    try:
        squatter.wait_for_line("ready")
        with harness.start_vexlad(tmp_path / "data", env=private_bus.env) as daemon:
            assert daemon.wait_exit() == 255
        output = daemon.output()
        assert "Failed to register service: com.vexla.call" in output
        assert "Failed to start services." in output
        assert "Initialisation done" not in output
    finally:
        squatter.stop()


def test_an_avatar_cache_that_cannot_be_made_fails_start_up_with_status_255(tmp_path, private_bus):
    # The data directory is a file: neither the store nor the cache can live there.
    data_dir = tmp_path / "data"
    data_dir.write_text("not a directory")
    with harness.start_vexlad(data_dir, "--log-level", "6", env=private_bus.env) as daemon:
        assert daemon.wait_exit() == 255
    output = daemon.output()
    assert "Failed to initialize avatar cache." in output
    assert "Started Tesk service, serviceName=com.vexla.im, usePublicBus=0" in output
    assert "Initialisation done" not in output
    assert data_dir.read_text() == "not a directory"
