"""Journeys through the whole system: the demo tour's steps as assertions, the daemon started by D-Bus
activation from either bus, its private services kept off the public bus, an orderly end in the middle of
a session (also when the server stops answering), and a restart that must not repeat delivered messages.
Each test runs on its own buses and ports."""

import contextlib
import os
import signal

import harness
import tour
from tour import system  # noqa: F401  (fixture)


def test_every_step_of_the_tour_is_observed(system):
    for name, step in tour.STEPS + [tour.ENDING]:
        assert step(system), name
    # The daemon wrote its store as it ended.
    assert os.path.getsize(os.path.join(system.data_dir, "vexla.dat")) > 0


def test_private_services_are_neither_reachable_nor_activatable_from_the_public_bus(tmp_path):
    buses = harness.Buses(vexlad_args=f"--data-dir {tmp_path}/data --stderr --log-level 6")
    try:
        for name in ("com.vexla.im", "com.vexla.call"):
            run = harness.tesk_send(buses, "--public", f"nylo://{name}/keepAlive", "{}")
            assert run.returncode == 2, run.stdout + run.stderr
            [reply] = harness.reply_lines(run)
            assert reply["returnValue"] is False and name in reply["errorText"], reply

        # A call to com.vexla.im on the private bus starts vexlad, which owns both names there only.
        harness.tesk_send(buses, "nylo://com.vexla.im/keepAlive", "{}")
        daemon = buses.daemon("private")
        daemon.wait_for_line("Started Tesk service, serviceName=com.vexla.im, usePublicBus=0")
        daemon.wait_for_line("Initialisation done, entering main loop.")
        pid = harness.owner_pid(buses.private_address, "com.vexla.im")
        assert pid and harness.owner_pid(buses.private_address, "com.vexla.call") == pid
        for name in ("com.vexla.im", "com.vexla.call"):
            assert harness.owner_pid(buses.public_address, name) is None
            assert harness.tesk_send(buses, "--public", f"nylo://{name}/keepAlive", "{}").returncode == 2
        assert "Activating" not in buses.daemon("public").output()

        os.kill(pid, signal.SIGQUIT)
        daemon.wait_for_line("Vexla service ended.")
        assert harness.wait_gone(pid)
    finally:
        buses.stop()


@contextlib.contextmanager
def signed_in_daemon(system):
    """vexlad started by the test (so its exit status is seen), signed in through the tour's first step."""
    with harness.start_vexlad(system.data_dir, "--settings", system.settings, "--log-level", "6",
                              env=system.env) as daemon:
        system.started_daemon = daemon
        # Owning its name before the account asks for it, so the bus starts no second daemon.
        daemon.wait_for_line("Started Tesk service, serviceName=com.vexla.im, usePublicBus=0")
        tour.account_signs_in(system)
        yield daemon


def test_sigquit_during_a_session_logs_out_writes_the_store_and_exits_0(system):
    with signed_in_daemon(system) as daemon:
        # Whatever was written during the session goes, so the file found later is the teardown's.
        store = os.path.join(system.data_dir, "vexla.dat")
        if os.path.exists(store):
            os.remove(store)

        assert harness.quit_vexlad(daemon) == 0
        system.expect_received("CHUNK_LOGOUT")
        assert os.path.getsize(store) > 0


def test_ui_service_activates_vexlad_from_the_public_bus_and_both_buses_reach_it(tmp_path):
    buses = harness.Buses(vexlad_args=f"--data-dir {tmp_path}/data --stderr --log-level 6")
    try:
        # Signed out, the screens' balance request is refused; what matters is who answers it.
        run = harness.tesk_send(buses, "--public", "nylo://com.vexla.ui/balanceQuery", "{}")
        assert harness.reply_lines(run), run.stderr
        # The program the public bus started owns its private names on the private bus.
        started_by_public = buses.daemon("public")
        started_by_public.wait_for_line("Started Tesk service, serviceName=com.vexla.call, usePublicBus=0")
        started_by_public.wait_for_line("Started Tesk service, serviceName=com.vexla.im, usePublicBus=0")
        started_by_public.wait_for_line("Started Tesk service, serviceName=com.vexla.ui, usePublicBus=1")
        pid = harness.owner_pid(buses.private_address, "com.vexla.im")
        if pid:  # it may have ended already: signed out with nothing to serve
            with contextlib.suppress(ProcessLookupError):
                os.kill(pid, signal.SIGQUIT)
        started_by_public.wait_for_line("Vexla service ended.")
        assert "Activating" not in buses.daemon("private").output()
    finally:
        buses.stop()


def inbox_texts(system):
    return sorted(record["messageText"] for record in system.dump(tour.MESSAGE) if record.get("folder") == "inbox")


def test_a_restarted_daemon_writes_new_messages_once_and_delivered_ones_not_again(system):
    tour.account_signs_in(system)
    tour.buddy_message_arrives(system)
    # The scenario's voicemail becomes a message too.
    delivered = harness.wait_until(lambda: len(inbox_texts(system)) == 2 and inbox_texts(system),
                                   "the voicemail's message in the inbox")
    pid = system.daemon_pid()
    system.quit_daemon()
    system.daemon.wait_for_line("Vexla service ended.")

    # The account is set away on the phone: the availability watch outlived the daemon, and its callback
    # starts a new vexlad, which signs in, reads the chats and voicemails again and finds their markers in
    # its store.
    system.call(tour.DB + "merge", {"objects": [{"_id": system.login_state_id, "availability": tour.PLATFORM_AWAY}]})
    system.daemon.wait_for_line("Initialisation done, entering main loop.")
    assert system.daemon_pid() not in (None, pid)
    system.expect_received("CHUNK_LOGIN", KEY_VEXLANAME=tour.USERNAME)
    system.expect_state("online")
    for text in ("Back home", "Call me"):
        system.server.command("chat_message", to=tour.USERNAME, text=text, **{"from": "bob"})
        system.expect_write("put", tour.MESSAGE, messageText=text)
    system.server.command("chat_message", to=tour.USERNAME, text="Bye", **{"from": "carol"})
    system.expect_write("put", tour.MESSAGE, messageText="Bye")

    assert inbox_texts(system) == sorted(delivered + ["Back home", "Call me", "Bye"])


def test_sigquit_while_the_server_no_longer_answers_still_ends_the_daemon_in_order(system):
    with signed_in_daemon(system) as daemon:
        assert system.server.command("stall")["ok"]

        # The logout goes unanswered; the teardown closes the connection and still writes the store.
        assert harness.quit_vexlad(daemon) == 0
        system.expect_received("CHUNK_LOGOUT")
        assert os.path.getsize(os.path.join(system.data_dir, "vexla.dat")) > 0
