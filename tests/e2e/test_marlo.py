"""marloservice end to end: a private bus, store-sim over HTTPS with client certificates, and the
two bus methods called the way the store application calls them."""

import json
import os
import queue
import re
import subprocess
import threading
import time

import pytest

BUILD_DIR = os.environ.get("VEXLA_BUILD_DIR", os.path.join(os.path.dirname(__file__), "../../build/dev"))
SOURCE_DIR = os.environ.get("VEXLA_SOURCE_DIR", os.path.join(os.path.dirname(__file__), "../.."))
KEYS = os.path.join(SOURCE_DIR, "sim/store/keys")
STORE_SIM = os.path.join(SOURCE_DIR, "sim/store/store-sim")
MARLOSERVICE = os.path.join(BUILD_DIR, "Src/marloservice/marloservice")
DEADLINE = 20
FAILURE = {"returnValue": False, "errorCode": -1, "errorText": "Command failed."}
ACCOUNT = {"email": "user@example.com", "password": "secret", "deviceid": "IMEI-356938035643809"}


class Process:
    """A child process whose standard output is read line by line into a queue."""

    def __init__(self, argv, env=None):
        self.popen = subprocess.Popen(argv, stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                      stderr=subprocess.STDOUT, env=env, text=True, bufsize=1)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()

    def _read(self):
        for line in self.popen.stdout:
            self.lines.put(line.rstrip("\n"))
        self.lines.put(None)

    def expect(self, pattern, timeout=DEADLINE):
        """The first later line matching pattern (a regular expression); fails at the deadline."""
        deadline = time.monotonic() + timeout
        while True:
            remaining = deadline - time.monotonic()
            try:
                line = self.lines.get(timeout=max(remaining, 0))
            except queue.Empty:
                pytest.fail("no line matching %r within %s s" % (pattern, timeout))
            if line is None:
                pytest.fail("process ended before a line matching %r" % pattern)
            match = re.search(pattern, line)
            if match:
                return match

    def pending(self):
        """Lines already read and not yet expected."""
        lines = []
        while not self.lines.empty():
            line = self.lines.get()
            if line is not None:
                lines.append(line)
        return lines

    def send(self, line):
        self.popen.stdin.write(line + "\n")
        self.popen.stdin.flush()

    def stop(self):
        if self.popen.poll() is None:
            self.popen.terminate()
            try:
                self.popen.wait(DEADLINE)
            except subprocess.TimeoutExpired:
                self.popen.kill()
                self.popen.wait()


class Store:
    """store-sim on a free port; each request it serves is one JSON event on its output."""

    def __init__(self, *options):
        self.process = Process([STORE_SIM, "--port", "0"] + list(options))
        self.host = self.process.expect(r"^store-sim listening on (\S+)$").group(1)

    def request(self):
        return json.loads(self.process.expect(r'^\{.*"event": "request"').group(0))

    def tls_error(self):
        return json.loads(self.process.expect(r'^\{.*"event": "tls-error"').group(0))

    def mode(self, mode):
        self.process.send("mode " + mode)
        self.process.expect("^mode " + mode + "$")


@pytest.fixture
def bus():
    daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                              stdout=subprocess.PIPE, text=True)
    address = daemon.stdout.readline().strip()
    yield address
    daemon.terminate()
    daemon.wait()


@pytest.fixture
def stores():
    started = []

    def start(*options):
        started.append(Store(*options))
        return started[-1]

    yield start
    for store in started:
        store.process.stop()


def write_config(tmp_path, store, **overrides):
    settings = {
        "store_host": store.host,
        "cert_path": os.path.join(KEYS, "client.crt"),
        "priv_key_path": os.path.join(KEYS, "client.key"),
        "pub_key_path": os.path.join(KEYS, "pubkey.der"),
        "ca_file": os.path.join(KEYS, "ca.crt"),
        "transfer_timeout": "3",
    }
    settings.update(overrides)
    path = tmp_path / "marlo.conf"
    with open(os.path.join(KEYS, "marlo-test.conf")) as secrets:
        path.write_text(secrets.read() + "".join("%s = %s\n" % item for item in settings.items()))
    return str(path)


class Marlo:
    """marloservice on the private bus, and calls to it as the store application makes them."""

    def __init__(self, bus_address, config):
        self.env = dict(os.environ, TESK_PUBLIC_BUS_ADDRESS=bus_address, TESK_PRIVATE_BUS_ADDRESS=bus_address,
                        DBUS_SESSION_BUS_ADDRESS=bus_address)
        self.process = Process([MARLOSERVICE, "--config", config], env=self.env)
        subprocess.run(["gdbus", "wait", "--session", "--timeout", str(DEADLINE), "com.nylo.marlo"],
                       env=self.env, check=True)

    def call(self, method, payload):
        text = payload if isinstance(payload, str) else json.dumps(payload)
        result = subprocess.run(["gdbus", "call", "--session", "--dest", "com.nylo.marlo", "--object-path", "/",
                                 "--method", "com.nylo.Tesk1." + method, text],
                                env=self.env, capture_output=True, text=True, timeout=DEADLINE + 60, check=True)
        return json.loads(re.fullmatch(r"\('(.*)',\)\s*", result.stdout, re.S).group(1))


@pytest.fixture
def marlo(bus, tmp_path):
    started = []

    def start(store, **overrides):
        started.append(Marlo(bus, write_config(tmp_path, store, **overrides)))
        return started[-1]

    yield start
    for service in started:
        service.process.stop()


def test_device_token_and_purchase(stores, marlo):
    store = stores()
    service = marlo(store)

    reply = service.call("devicetokenget", ACCOUNT)
    assert reply["returnValue"] is True and reply["httpStatus"] == 200
    token = re.search(r"<deviceToken>(DT-\w+)</deviceToken>", reply["xml"]).group(1)
    request = store.request()
    assert request["client"] == "marloservice test client"
    assert request["contentType"] == "text/xml"
    assert (request["email"], request["password"]) == ("user@example.com", "secret")
    assert request["fields"]["deviceId"] == "nylo:IMEI-356938035643809"
    assert request["fields"]["partner"] == "nylo"
    assert request["fields"]["deviceEnabled"] == "true"

    reply = service.call("purchase", {"msin": "B00TEST123", "devicetoken": token, "associatetag": "nylo-store"})
    assert reply["returnValue"] is True
    assert "<orderId>ORD-000001</orderId>" in reply["xml"]
    assert store.request()["body"] == ('<?xml version="1.0"?><offerPurchase><MSIN>B00TEST123</MSIN>'
                                       "<associateTag>nylo-store</associateTag><deviceToken>%s</deviceToken>"
                                       "</offerPurchase>" % token)


def test_store_refusals_come_back_as_its_xml(stores, marlo):
    store = stores()
    service = marlo(store)
    reply = service.call("devicetokenget", dict(ACCOUNT, password="wrong"))
    assert reply["returnValue"] is True
    assert "<code>INVALID_CREDENTIALS</code>" in reply["xml"]
    reply = service.call("purchase", {"msin": "B00TEST123", "devicetoken": "DT-forged"})
    assert "<code>INVALID_DEVICE_TOKEN</code>" in reply["xml"]
    assert store.request()["fields"]["associateTag"] == ""


def test_caller_values_arrive_escaped(stores, marlo):
    store = stores()
    service = marlo(store)
    service.call("purchase", {"msin": "B<1>&2", "devicetoken": "D\"T'&", "associatetag": "a&b<c"})
    request = store.request()
    assert "<MSIN>B&lt;1&gt;&amp;2</MSIN>" in request["body"]
    assert "<associateTag>a&amp;b&lt;c</associateTag>" in request["body"]
    assert "<deviceToken>D&quot;T&apos;&amp;</deviceToken>" in request["body"]
    assert request["fields"] == {"MSIN": "B<1>&2", "associateTag": "a&b<c", "deviceToken": "D\"T'&"}


def test_bad_calls_fail_without_a_transfer(stores, marlo):
    store = stores()
    service = marlo(store)
    assert service.call("purchase", "this is not JSON") == FAILURE
    service.process.expect("^ERROR! returning false reply$")
    for method, payload in [("devicetokenget", {"password": "p", "deviceid": "d"}),
                            ("devicetokenget", {"email": "e", "deviceid": "d"}),
                            ("devicetokenget", {"email": "e", "password": "p"}),
                            ("purchase", {"devicetoken": "t", "associatetag": "a"}),
                            ("purchase", {"msin": "m", "associatetag": "a"})]:
        assert service.call(method, payload) == FAILURE
        service.process.expect("^ERROR: no params$")
        service.process.expect("^ERROR! returning false reply$")
    assert service.call("devicetokenget", dict(ACCOUNT, email="e" * 118)) == FAILURE
    service.process.expect("^ERROR! returning false reply$")
    # The next request the store sees is this one: none of the calls above reached it.
    service.call("purchase", {"msin": "marker", "devicetoken": "t"})
    assert store.request()["fields"]["MSIN"] == "marker"


def test_missing_public_key_fails_without_a_transfer(stores, marlo, tmp_path):
    store = stores()
    service = marlo(store, pub_key_path=str(tmp_path / "absent.der"))
    assert service.call("devicetokenget", ACCOUNT) == FAILURE
    service.process.expect("^ERROR! returning false reply$")
    service.call("purchase", {"msin": "marker", "devicetoken": "t"})
    assert store.request()["fields"]["MSIN"] == "marker"


def test_empty_answer_fails_and_error_page_is_passed_on(stores, marlo):
    store = stores()
    service = marlo(store)
    store.mode("empty")
    assert service.call("devicetokenget", ACCOUNT) == FAILURE
    store.mode("error")
    reply = service.call("purchase", {"msin": "m", "devicetoken": "t"})
    assert reply["returnValue"] is True and reply["httpStatus"] == 500
    assert "Internal Server Error" in reply["xml"]


def test_untrusted_store_certificate_is_refused(stores, marlo):
    store = stores("--cert", os.path.join(KEYS, "rogue-store.crt"), "--key", os.path.join(KEYS, "rogue-store.key"))
    service = marlo(store)
    assert service.call("devicetokenget", ACCOUNT) == FAILURE
    service.process.expect("^ERROR: store transfer failed: .*certificate")
    assert "unknown ca" in store.tls_error()["error"]


def test_store_requires_a_client_certificate_it_trusts(stores, marlo):
    store = stores()
    service = marlo(store, cert_path=os.path.join(KEYS, "rogue-client.crt"),
                    priv_key_path=os.path.join(KEYS, "rogue-client.key"))
    assert service.call("purchase", {"msin": "m", "devicetoken": "t"}) == FAILURE
    assert "certificate" in store.tls_error()["error"]


def test_stalled_store_times_out_and_the_next_call_is_served(stores, marlo):
    store = stores()
    service = marlo(store, transfer_timeout="2")
    store.mode("stall")
    started = time.monotonic()
    assert service.call("purchase", {"msin": "stalled", "devicetoken": "t"}) == FAILURE
    assert time.monotonic() - started < 2 + DEADLINE
    service.process.expect("^ERROR: store transfer failed: .*[Tt]imeout")
    store.mode("normal")
    reply = service.call("devicetokenget", ACCOUNT)
    assert "<deviceToken>" in reply["xml"]


@pytest.mark.parametrize("line, message", [
    ("colour = blue", 'unknown key "colour"'),
    ("partner_m = short", "exactly 21 characters"),
    ("partner_m = 2856Qj1T159P46sT2hWFw\npartner_pp = 2856Qj1T159P46sT2hWFw", "cut the passphrase short"),
])
def test_bad_configuration_stops_the_start(tmp_path, line, message):
    config = tmp_path / "bad.conf"
    config.write_text("store_host = 127.0.0.1:1\n" + line + "\n")
    result = subprocess.run([MARLOSERVICE, "--config", str(config)], capture_output=True, text=True,
                            timeout=DEADLINE)
    assert result.returncode != 0
    assert message in result.stderr
