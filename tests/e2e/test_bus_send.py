"""tesk-send against a service on a private bus: one JSON line per reply, Cancel after the wanted
replies, and the exit status (0 replied, 1 a failure reply, 2 no reply or a bus failure)."""

import os
import re

import pytest

import harness
from harness import private_bus, two_buses  # noqa: F401  (fixtures)

ECHO_SERVICE = os.path.join(os.path.dirname(__file__), "tesk_echo_service.py")


def start_echo(buses, *args):
    service = harness.Process(["/usr/bin/python3", ECHO_SERVICE, *args], env=buses.env, name="echo service")
    service.wait_for_line("ready")
    return service


@pytest.fixture
def echo(private_bus):  # noqa: F811
    service = start_echo(private_bus, "com.test.echo")
    yield private_bus, service
    service.stop()


def test_one_reply_is_printed_as_one_json_line_and_the_call_is_cancelled_after_it(echo):
    buses, service = echo
    run = harness.tesk_send(buses, "nylo://com.test.echo/echo", '{ "a": [1, 2],\n "b": "x/y" }')
    assert run.returncode == 0, run.stderr
    assert run.stdout == '{"a":[1,2],"b":"x/y"}\n'

    run = harness.tesk_send(buses, "nylo://com.test.echo/stream")
    assert run.returncode == 0, run.stderr
    assert harness.reply_lines(run) == [{"n": 0}]
    service.wait_for_line(re.compile(r"^cancelled \d+$"))


def test_many_replies_until_count_then_cancel(echo):
    buses, service = echo
    run = harness.tesk_send(buses, "-n", "3", "nylo://com.test.echo/stream", '{"count": 5}')
    assert run.returncode == 0, run.stderr
    assert harness.reply_lines(run) == [{"n": 0}, {"n": 1}, {"n": 2}]
    service.wait_for_line(re.compile(r"^cancelled \d+$"))


def test_time_out_ends_waiting_with_or_without_replies(echo):
    buses, _ = echo
    run = harness.tesk_send(buses, "-n", "5", "-t", "1", "nylo://com.test.echo/stream", '{"count": 2}')
    assert run.returncode == 0, run.stderr
    assert harness.reply_lines(run) == [{"n": 0}, {"n": 1}]

    run = harness.tesk_send(buses, "-t", "0.5", "nylo://com.test.echo/hold")
    assert run.returncode == 2
    assert run.stdout == ""


def test_failure_reply_exits_1(echo):
    buses, _ = echo
    run = harness.tesk_send(buses, "tesk://com.test.echo/fail")
    assert run.returncode == 1
    assert harness.reply_lines(run) == [{"returnValue": False, "errorCode": "E_TEST", "errorText": "failed on purpose"}]


def test_bus_failure_is_printed_as_a_failure_reply_and_exits_2(echo):
    buses, _ = echo
    run = harness.tesk_send(buses, "nylo://com.test.nobody/echo")
    assert run.returncode == 2
    [reply] = harness.reply_lines(run)
    assert reply["returnValue"] is False and reply["errorCode"] == -1
    assert "com.test.nobody" in reply["errorText"]

    run = harness.tesk_send(buses, "nylo://com.test.echo/nosuchmethod")
    assert run.returncode == 2
    assert harness.reply_lines(run)[0]["errorCode"] == -1


def test_usage_errors_and_help(private_bus):  # noqa: F811
    run = harness.tesk_send(private_bus, "--help")
    assert run.returncode == 0
    for part in ("--public", "-n COUNT", "-t SECONDS", "URI", "Exit status"):
        assert part in run.stdout
    for args in ([], ["-n"], ["-n", "x", "nylo://a.b/c"], ["-t", "0", "nylo://a.b/c"], ["nylo://a.b/c", "{not json"],
                 ["--bogus", "nylo://a.b/c"], ["nylo://a.b/c", "{}", "extra"], ["http://a.b/c"]):
        run = harness.tesk_send(private_bus, *args)
        assert run.returncode == 2, args
        assert run.stderr.startswith("tesk-send: "), (args, run.stderr)
        assert run.stdout == ""


def test_public_option_calls_on_the_public_bus(two_buses):  # noqa: F811
    service = start_echo(two_buses, "--public", "com.test.echo")
    try:
        assert harness.tesk_send(two_buses, "--public", "nylo://com.test.echo/echo", "{}").returncode == 0
        assert harness.tesk_send(two_buses, "nylo://com.test.echo/echo", "{}").returncode == 2
    finally:
        service.stop()
