"""Running store-sim and configuring marloservice for it, from the end-to-end suites and the demo tour."""

import json
import os
import re
import socket

import harness

KEYS = os.path.join(harness.SOURCE_DIR, "sim", "store", "keys")
STORE_SIM = os.path.join(harness.SOURCE_DIR, "sim", "store", "store-sim")


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


def write_config(path, store, **overrides):
    """A marloservice configuration at path (a pathlib.Path or a string) for the store: the test keys and
    their secrets, with settings overridden."""
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
        text = secrets.read() + "".join("%s = %s\n" % item for item in settings.items())
    with open(path, "w") as config:
        config.write(text)
    return path
