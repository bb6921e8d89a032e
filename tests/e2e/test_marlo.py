"""marloservice end to end: a private bus, store-sim over HTTPS with client certificates, and the two
bus methods called the way the store application calls them."""

import json
import os
import re
import signal
import socket
import subprocess
import time

import pytest
from gi.repository import Gio, GLib

import harness

KEYS = os.path.join(harness.SOURCE_DIR, "sim", "store", "keys")
STORE_SIM = os.path.join(harness.SOURCE_DIR, "sim", "store", "store-sim")
FAILURE = {"returnValue": False, "errorCode": -1, "errorText": "Command failed."}
ACCOUNT = {"email": "user@example.com", "password": "secret", "deviceid": "IMEI-356938035643809"}
BUS_CONFIG = """<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path={socket}</listen>
  <servicedir>{services}</servicedir>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
"""


def marloservice_path():
    return harness.binary("Src", "marloservice", "marloservice")


class Store:
    """store-sim on a free port; each request it serves is one JSON line on its output."""

    def __init__(self, control_path, *options):
        self.control_path = control_path
        self.process = harness.Process([STORE_SIM, "--port", "0", "--control", control_path, *options],
                                       name="store-sim")
        line = self.process.wait_for_line(re.compile(r"^store-sim listening on \S+$"))
        self.host = line.split()[-1]

    def request(self):
        return json.loads(self.process.wait_for_line(re.compile(r'^\{.*"event": "request"')))

    def tls_error(self):
        return json.loads(self.process.wait_for_line(re.compile(r'^\{.*"event": "tls-error"')))

    def mode(self, mode):
        with socket.socket(socket.AF_UNIX) as control:
            control.settimeout(harness.DEFAULT_TIMEOUT)
            control.connect(self.control_path)
            control.sendall(json.dumps({"cmd": "mode", "mode": mode}).encode() + b"\n")
            assert json.loads(control.makefile().readline()) == {"ok": True, "mode": mode}


class Bus:
    """A private dbus-daemon; its service directory can start marloservice on demand."""

    def __init__(self, directory):
        self.services = directory / "services"
        self.services.mkdir()
        self.address = "unix:path=%s" % (directory / "bus")
        self.env = {"TESK_PUBLIC_BUS_ADDRESS": self.address, "TESK_PRIVATE_BUS_ADDRESS": self.address,
                    "DBUS_SESSION_BUS_ADDRESS": self.address}
        config = directory / "bus.conf"
        config.write_text(BUS_CONFIG.format(socket=directory / "bus", services=self.services))
        self.daemon = harness.Process(["dbus-daemon", "--nofork", "--print-address=1", "--config-file", config],
                                      env=self.env, name="dbus-daemon")
        self.daemon.wait_for_line(self.address)

    def stop_activated(self, name):
        """Ends the process the bus started for name, and waits until it is gone."""
        pid = self.call_bus("GetConnectionUnixProcessID", name)
        os.kill(pid, signal.SIGTERM)
        deadline = time.monotonic() + harness.DEFAULT_TIMEOUT
        while self.call_bus("NameHasOwner", name):
            assert time.monotonic() < deadline, "%s did not leave the bus" % name
            time.sleep(0.05)

    def call_bus(self, method, name):
        connection = Gio.DBusConnection.new_for_address_sync(
            self.address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION)
        try:
            return connection.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method,
                                        GLib.Variant("(s)", (name,)), None, Gio.DBusCallFlags.NONE, -1).unpack()[0]
        finally:
            connection.close_sync()

    def call(self, method, payload, timeout=harness.DEFAULT_TIMEOUT):
        """Calls a method of com.nylo.marlo with a JSON payload and returns the parsed reply."""
        text = payload if isinstance(payload, str) else json.dumps(payload)
        result = subprocess.run(["gdbus", "call", "--session", "--dest", "com.nylo.marlo", "--object-path", "/",
                                 "--method", "com.nylo.Tesk1." + method, GLib.Variant("s", text).print_(False)],
                                env=dict(os.environ, **self.env), capture_output=True, text=True, timeout=timeout)
        assert result.returncode == 0, result.stderr
        return json.loads(GLib.Variant.parse(None, result.stdout, None, None).unpack()[0])


@pytest.fixture
def bus(tmp_path):
    private_bus = Bus(tmp_path)
    yield private_bus
    private_bus.daemon.stop()


@pytest.fixture
def stores(tmp_path):
    started = []

    def start(*options):
        started.append(Store(str(tmp_path / ("store%d.control" % len(started))), *options))
        return started[-1]

    yield start
    for store in started:
        store.process.stop()


def write_config(path, store, **overrides):
    settings = {
        "store_host": store.host,
        "cert_path": os.path.join(KEYS, "client.crt"),
        "priv_key_path": os.path.join(KEYS, "client.key"),
        "pub_key_path": os.path.join(KEYS, "pubkey.der"),
        "ca_file": os.path.join(KEYS, "ca.crt"),
        "transfer_timeout": "5",
    }
    settings.update(overrides)
    with open(os.path.join(KEYS, "marlo-test.conf")) as secrets:
        path.write_text(secrets.read() + "".join("%s = %s\n" % item for item in settings.items()))
    return path


@pytest.fixture
def marlo(bus, tmp_path):
    """Starts marloservice for a store (with settings overridden) and waits until it owns its name."""
    started = []

    def start(store, **overrides):
        config = write_config(tmp_path / "marlo.conf", store, **overrides)
        service = harness.Process([marloservice_path(), "--config", config], env=bus.env, name="marloservice")
        started.append(service)
        subprocess.run(["gdbus", "wait", "--session", "--timeout", str(int(harness.DEFAULT_TIMEOUT)), "com.nylo.marlo"],
                       env=dict(os.environ, **bus.env), check=True, timeout=harness.DEFAULT_TIMEOUT + 5)
        return service

    yield start
    for service in started:
        service.stop()


def test_device_token_and_purchase(bus, stores, marlo):
    store = stores()
    service = marlo(store)

    reply = bus.call("devicetokenget", ACCOUNT)
    assert reply["returnValue"] is True and reply["httpStatus"] == 200
    token = re.search(r"<deviceToken>(DT-\w+)</deviceToken>", reply["xml"]).group(1)
    request = store.request()
    assert request["client"] == "marloservice test client"
    assert request["contentType"] == "text/xml"
    assert (request["email"], request["password"]) == ("user@example.com", "secret")
    assert request["fields"]["deviceId"] == "nylo:IMEI-356938035643809"
    assert request["fields"]["partner"] == "nylo"
    assert request["fields"]["deviceEnabled"] == "true"

    reply = bus.call("purchase", {"msin": "B00TEST123", "devicetoken": token, "associatetag": "nylo-store"})
    assert reply["returnValue"] is True
    assert "<orderId>ORD-000001</orderId>" in reply["xml"]
    assert store.request()["body"] == ('<?xml version="1.0"?><offerPurchase><MSIN>B00TEST123</MSIN>'
                                       "<associateTag>nylo-store</associateTag><deviceToken>%s</deviceToken>"
                                       "</offerPurchase>" % token)
    service.send_signal(signal.SIGTERM)
    assert service.wait_exit() == 0


def test_store_refusals_come_back_as_its_xml(bus, stores, marlo):
    store = stores()
    marlo(store)
    reply = bus.call("devicetokenget", dict(ACCOUNT, password="wrong"))
    assert reply["returnValue"] is True
    assert "<code>INVALID_CREDENTIALS</code>" in reply["xml"]
    reply = bus.call("purchase", {"msin": "B00TEST123", "devicetoken": "DT-forged"})
    assert "<code>INVALID_DEVICE_TOKEN</code>" in reply["xml"]
    store.request()
    assert store.request()["fields"]["associateTag"] == ""


def test_caller_values_arrive_escaped(bus, stores, marlo):
    store = stores()
    marlo(store)
    bus.call("purchase", {"msin": "B<1>&2", "devicetoken": "D\"T'&", "associatetag": "a&b<c"})
    request = store.request()
    assert "<MSIN>B&lt;1&gt;&amp;2</MSIN>" in request["body"]
    assert "<associateTag>a&amp;b&lt;c</associateTag>" in request["body"]
    assert "<deviceToken>D&quot;T&apos;&amp;</deviceToken>" in request["body"]
    assert request["fields"] == {"MSIN": "B<1>&2", "associateTag": "a&b<c", "deviceToken": "D\"T'&"}


def test_bad_calls_fail_without_a_transfer(bus, stores, marlo):
    store = stores()
    service = marlo(store)
    assert bus.call("purchase", "this is not JSON") == FAILURE
    service.wait_for_line("ERROR! returning false reply")
    for method, payload in [("devicetokenget", {"password": "p", "deviceid": "d"}),
                            ("devicetokenget", {"email": "e", "deviceid": "d"}),
                            ("devicetokenget", {"email": "e", "password": "p"}),
                            ("purchase", {"devicetoken": "t", "associatetag": "a"}),
                            ("purchase", {"msin": "m", "associatetag": "a"})]:
        assert bus.call(method, payload) == FAILURE
        service.wait_for_line("ERROR: no params")
        service.wait_for_line("ERROR! returning false reply")
    assert bus.call("devicetokenget", dict(ACCOUNT, email="e" * 118)) == FAILURE
    service.wait_for_line("ERROR! returning false reply")
    # The first request the store sees is this one: none of the calls above reached it.
    bus.call("purchase", {"msin": "marker", "devicetoken": "t"})
    assert store.request()["fields"]["MSIN"] == "marker"


def test_missing_public_key_fails_without_a_transfer(bus, stores, marlo, tmp_path):
    store = stores()
    service = marlo(store, pub_key_path=tmp_path / "absent.der")
    assert bus.call("devicetokenget", ACCOUNT) == FAILURE
    service.wait_for_line("ERROR! returning false reply")
    bus.call("purchase", {"msin": "marker", "devicetoken": "t"})
    assert store.request()["fields"]["MSIN"] == "marker"


def test_empty_answer_fails_and_error_page_is_passed_on(bus, stores, marlo):
    store = stores()
    marlo(store)
    store.mode("empty")
    assert bus.call("devicetokenget", ACCOUNT) == FAILURE
    store.mode("error")
    reply = bus.call("purchase", {"msin": "m", "devicetoken": "t"})
    assert reply["returnValue"] is True and reply["httpStatus"] == 500
    assert "Internal Server Error" in reply["xml"]


def test_untrusted_store_certificate_is_refused(bus, stores, marlo):
    store = stores("--cert", os.path.join(KEYS, "rogue-store.crt"), "--key", os.path.join(KEYS, "rogue-store.key"))
    service = marlo(store)
    assert bus.call("devicetokenget", ACCOUNT) == FAILURE
    service.wait_for_line(re.compile(r"^ERROR: store transfer failed: .*certificate"))
    assert "unknown ca" in store.tls_error()["error"]


def test_store_requires_a_client_certificate_it_trusts(bus, stores, marlo):
    store = stores()
    marlo(store, cert_path=os.path.join(KEYS, "rogue-client.crt"), priv_key_path=os.path.join(KEYS, "rogue-client.key"))
    assert bus.call("purchase", {"msin": "m", "devicetoken": "t"}) == FAILURE
    assert "certificate" in store.tls_error()["error"]


def test_stalled_store_times_out_and_the_next_call_is_served(bus, stores, marlo):
    store = stores()
    service = marlo(store, transfer_timeout="2")
    store.mode("stall")
    started = time.monotonic()
    assert bus.call("purchase", {"msin": "stalled", "devicetoken": "t"}) == FAILURE
    assert time.monotonic() - started < 2 + harness.DEFAULT_TIMEOUT
    service.wait_for_line(re.compile(r"^ERROR: store transfer failed: .*timed out"))
    store.mode("normal")
    assert "<deviceToken>" in bus.call("devicetokenget", ACCOUNT)["xml"]


def test_bus_starts_the_service_on_demand(bus, stores, tmp_path):
    store = stores()
    config = write_config(tmp_path / "marlo.conf", store)
    (bus.services / "com.nylo.marlo.service").write_text(
        "[D-BUS Service]\nName=com.nylo.marlo\nExec=%s --config %s\n" % (marloservice_path(), config))
    assert bus.call("devicetokenget", ACCOUNT)["returnValue"] is True
    assert store.request()["email"] == "user@example.com"
    bus.stop_activated("com.nylo.marlo")


def test_second_instance_cannot_take_the_name(bus, stores, marlo, tmp_path):
    store = stores()
    marlo(store)
    config = write_config(tmp_path / "second.conf", store)
    second = subprocess.run([marloservice_path(), "--config", config], env=dict(os.environ, **bus.env),
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
