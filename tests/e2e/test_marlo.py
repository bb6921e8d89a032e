"""marloservice end to end: private buses, store-sim over HTTPS with client certificates, and the two
bus methods called with tesk-send the way the store application calls them."""

import json
import os
import re
import signal
import subprocess
import time

import pytest
from gi.repository import Gio, GLib

import harness
from storesim import KEYS, Store, marloservice_path, write_config

FAILURE = {"returnValue": False, "errorCode": -1, "errorText": "Command failed."}
ACCOUNT = {"email": "user@example.com", "password": "secret", "deviceid": "IMEI-356938035643809"}


@pytest.fixture
def buses():
    """A private and a public bus; marloservice lives on the public one."""
    started = harness.Buses()
    yield started
    started.stop()


def call(buses, method, payload, timeout=harness.DEFAULT_TIMEOUT):
    """Calls a method of com.nylo.marlo as the store application does; returns the one reply."""
    run = harness.tesk_send(buses, "--public", "nylo://com.nylo.marlo/" + method, json.dumps(payload), timeout=timeout)
    [reply] = harness.reply_lines(run)
    assert run.returncode == (0 if reply["returnValue"] else 1), run.stderr
    return reply


def dbus_call(address, destination, path, interface, method, argument):
    """A plain D-Bus call with one string argument; returns the first value of the answer."""
    connection = Gio.DBusConnection.new_for_address_sync(
        address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
    try:
        return connection.call_sync(destination, path, interface, method, GLib.Variant("(s)", (argument,)), None,
                                    Gio.DBusCallFlags.NONE, int(harness.DEFAULT_TIMEOUT * 1000)).unpack()[0]
    finally:
        connection.close_sync()


def call_bus_daemon(address, method, name):
    """A method of the bus daemon itself that takes a bus name."""
    return dbus_call(address, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method, name)


@pytest.fixture
def stores(tmp_path):
    started = []

    def start(*options):
        started.append(Store(str(tmp_path / ("store%d.control" % len(started))), *options))
        return started[-1]

    yield start
    for store in started:
        store.process.stop()


@pytest.fixture
def marlo(buses, tmp_path):
    """Starts marloservice for a store (with settings overridden) and waits until it owns its name."""
    started = []

    def start(store, **overrides):
        config = write_config(tmp_path / "marlo.conf", store, **overrides)
        service = harness.Process([marloservice_path(), "--config", config], env=buses.env, name="marloservice")
        started.append(service)
        subprocess.run(["gdbus", "wait", "--session", "--timeout", str(int(harness.DEFAULT_TIMEOUT)), "com.nylo.marlo"],
                       env=dict(os.environ, DBUS_SESSION_BUS_ADDRESS=buses.public_address), check=True,
                       timeout=harness.DEFAULT_TIMEOUT + 5)
        return service

    yield start
    for service in started:
        service.stop()


def test_device_token_and_purchase(buses, stores, marlo):
    store = stores()
    service = marlo(store)

    reply = call(buses, "devicetokenget", ACCOUNT)
    assert reply["returnValue"] is True and reply["httpStatus"] == 200
    token = re.search(r"<deviceToken>(DT-\w+)</deviceToken>", reply["xml"]).group(1)
    request = store.request()
    assert request["client"] == "marloservice test client"
    assert request["contentType"] == "text/xml"
    assert (request["email"], request["password"]) == ("user@example.com", "secret")
    assert request["fields"]["deviceId"] == "nylo:IMEI-356938035643809"
    assert request["fields"]["partner"] == "nylo"
    assert request["fields"]["deviceEnabled"] == "true"

    reply = call(buses, "purchase", {"msin": "B00TEST123", "devicetoken": token, "associatetag": "nylo-store"})
    assert reply["returnValue"] is True
    assert "<orderId>ORD-000001</orderId>" in reply["xml"]
    assert store.request()["body"] == ('<?xml version="1.0"?><offerPurchase><MSIN>B00TEST123</MSIN>'
                                       "<associateTag>nylo-store</associateTag><deviceToken>%s</deviceToken>"
                                       "</offerPurchase>" % token)
    service.send_signal(signal.SIGTERM)
    assert service.wait_exit() == 0


def test_store_refusals_come_back_as_its_xml(buses, stores, marlo):
    store = stores()
    marlo(store)
    reply = call(buses, "devicetokenget", dict(ACCOUNT, password="wrong"))
    assert reply["returnValue"] is True
    assert "<code>INVALID_CREDENTIALS</code>" in reply["xml"]
    reply = call(buses, "purchase", {"msin": "B00TEST123", "devicetoken": "DT-forged"})
    assert "<code>INVALID_DEVICE_TOKEN</code>" in reply["xml"]
    store.request()
    assert store.request()["fields"]["associateTag"] == ""


def test_caller_values_arrive_escaped(buses, stores, marlo):
    store = stores()
    marlo(store)
    call(buses, "purchase", {"msin": "B<1>&2", "devicetoken": "D\"T'&", "associatetag": "a&b<c"})
    request = store.request()
    assert "<MSIN>B&lt;1&gt;&amp;2</MSIN>" in request["body"]
    assert "<associateTag>a&amp;b&lt;c</associateTag>" in request["body"]
    assert "<deviceToken>D&quot;T&apos;&amp;</deviceToken>" in request["body"]
    assert request["fields"] == {"MSIN": "B<1>&2", "associateTag": "a&b<c", "deviceToken": "D\"T'&"}


def test_bad_calls_fail_without_a_transfer(buses, stores, marlo):
    store = stores()
    service = marlo(store)
    # tesk-send sends JSON only, so this one goes out as a plain D-Bus call.
    reply = dbus_call(buses.public_address, "com.nylo.marlo", "/", "com.nylo.Tesk1", "purchase", "this is not JSON")
    assert json.loads(reply) == FAILURE
    service.wait_for_line("ERROR! returning false reply")
    for method, payload in [("devicetokenget", {"password": "p", "deviceid": "d"}),
                            ("devicetokenget", {"email": "e", "deviceid": "d"}),
                            ("devicetokenget", {"email": "e", "password": "p"}),
                            ("purchase", {"devicetoken": "t", "associatetag": "a"}),
                            ("purchase", {"msin": "m", "associatetag": "a"})]:
        assert call(buses, method, payload) == FAILURE
        service.wait_for_line("ERROR: no params")
        service.wait_for_line("ERROR! returning false reply")
    assert call(buses, "devicetokenget", dict(ACCOUNT, email="e" * 118)) == FAILURE
    service.wait_for_line("ERROR! returning false reply")
    # The first request the store sees is this one: none of the calls above reached it.
    call(buses, "purchase", {"msin": "marker", "devicetoken": "t"})
    assert store.request()["fields"]["MSIN"] == "marker"


def test_missing_public_key_fails_without_a_transfer(buses, stores, marlo, tmp_path):
    store = stores()
    service = marlo(store, pub_key_path=tmp_path / "absent.der")
    assert call(buses, "devicetokenget", ACCOUNT) == FAILURE
    service.wait_for_line("ERROR! returning false reply")
    call(buses, "purchase", {"msin": "marker", "devicetoken": "t"})
    assert store.request()["fields"]["MSIN"] == "marker"


def test_empty_answer_fails_and_error_page_is_passed_on(buses, stores, marlo):
    store = stores()
    marlo(store)
    store.mode("empty")
    assert call(buses, "devicetokenget", ACCOUNT) == FAILURE
    store.mode("error")
    reply = call(buses, "purchase", {"msin": "m", "devicetoken": "t"})
    assert reply["returnValue"] is True and reply["httpStatus"] == 500
    assert "Internal Server Error" in reply["xml"]


def test_untrusted_store_certificate_is_refused(buses, stores, marlo):
    store = stores("--cert", os.path.join(KEYS, "rogue-store.crt"), "--key", os.path.join(KEYS, "rogue-store.key"))
    service = marlo(store)
    assert call(buses, "devicetokenget", ACCOUNT) == FAILURE
    service.wait_for_line(re.compile(r"^ERROR: store transfer failed: .*certificate"))
    assert "unknown ca" in store.tls_error()["error"]


def test_store_requires_a_client_certificate_it_trusts(buses, stores, marlo):
    store = stores()
    marlo(store, cert_path=os.path.join(KEYS, "rogue-client.crt"), priv_key_path=os.path.join(KEYS, "rogue-client.key"))
    assert call(buses, "purchase", {"msin": "m", "devicetoken": "t"}) == FAILURE
    assert "certificate" in store.tls_error()["error"]


def test_stalled_store_times_out_and_the_next_call_is_served(buses, stores, marlo):
    store = stores()
    service = marlo(store, transfer_timeout="2")
    store.mode("stall")
    started = time.monotonic()
    assert call(buses, "purchase", {"msin": "stalled", "devicetoken": "t"}) == FAILURE
    assert time.monotonic() - started < 2 + harness.DEFAULT_TIMEOUT
    service.wait_for_line(re.compile(r"^ERROR: store transfer failed: .*timed out"))
    store.mode("normal")
    assert "<deviceToken>" in call(buses, "devicetokenget", ACCOUNT)["xml"]


def test_bus_starts_the_service_on_demand(stores, tmp_path):
    store = stores()
    config = write_config(tmp_path / "marlo.conf", store)
    buses = harness.Buses(marlo_args="--config %s" % config)
    try:
        assert call(buses, "devicetokenget", ACCOUNT)["returnValue"] is True
        assert store.request()["email"] == "user@example.com"
        # The bus started it; when the bus goes away, so does the service.
        pid = call_bus_daemon(buses.public_address, "GetConnectionUnixProcessID", "com.nylo.marlo")
    finally:
        buses.stop()
    deadline = time.monotonic() + harness.DEFAULT_TIMEOUT
    while os.path.exists(f"/proc/{pid}") and not open(f"/proc/{pid}/stat").read().split()[2] == "Z":
        assert time.monotonic() < deadline, "marloservice outlived its bus"
        time.sleep(0.05)


def test_second_instance_cannot_take_the_name(buses, stores, marlo, tmp_path):
    store = stores()
    marlo(store)
    config = write_config(tmp_path / "second.conf", store)
    second = subprocess.run([marloservice_path(), "--config", config], env=dict(os.environ, **buses.env),
                            capture_output=True, text=True, timeout=harness.DEFAULT_TIMEOUT)
    assert second.returncode != 0
    assert "Failed to register marlo service!" in second.stdout


@pytest.mark.parametrize("line, message", [
    ("colour = blue", 'unknown key "colour"'),
    ("partner_m = short", "exactly 21 characters"),
    ("partner_m = 2856Qj1T159P46sT2hWFw\npartner_pp = 2856Qj1T159P46sT2hWFw", "cut the passphrase short"),
])
def test_bad_configuration_stops_the_start(tmp_path, line, message):
    config = tmp_path / "bad.conf"
    config.write_text("store_host = 127.0.0.1:1\n" + line + "\n")
    result = subprocess.run([marloservice_path(), "--config", config], capture_output=True, text=True,
                            timeout=harness.DEFAULT_TIMEOUT)
    assert result.returncode != 0
    assert message in result.stderr
