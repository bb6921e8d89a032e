"""docs/bus-api.md against the running services: every method each service registers is documented
and every documented method exists, each with a tesk-send example; every error text the services send
is in the reference; the installed introspection files list the same methods."""

import glob
import os
import re
import subprocess
import xml.etree.ElementTree as ElementTree

import harness

DOC = os.path.join(harness.SOURCE_DIR, "docs", "bus-api.md")
SERVICES = {"com.vexla.im": "private", "com.vexla.call": "private", "com.vexla.ui": "public",
            "com.nylo.marlo": "public"}
# Where the services keep their error answers: the error tables, and the replies built in place.
ERROR_SOURCES = ["Src/Tesk/App/UIErrors.cpp", "Src/Tesk/App/Meridex/CallErrors.cpp", "Src/marloservice/MarloReply.cpp"]
REPLY_SOURCES = ["Src/Tesk/App/**/*.cpp"]


def documented():
    """{service: {method: the text of its section}} from the reference."""
    services, service, method = {}, None, None
    with open(DOC, encoding="utf-8") as doc:
        for line in doc:
            heading = re.match(r"^(##|###) (\S+)\s*$", line)
            if line.startswith("## "):
                service = heading.group(2) if heading and heading.group(2) in SERVICES else None
                method = None
                if service:
                    services[service] = {}
            elif service and line.startswith("### "):
                method = heading.group(2)
                services[service][method] = ""
            elif service and method:
                services[service][method] += line
    return services


def introspected_methods(address, service):
    out = subprocess.run(["gdbus", "introspect", "--address", address, "--dest", service, "--object-path", "/",
                          "--xml"], capture_output=True, text=True, timeout=harness.DEFAULT_TIMEOUT, check=True).stdout
    return methods_of(ElementTree.fromstring(out))


def methods_of(node):
    interface = next(i for i in node.iter("interface") if i.get("name") == "com.nylo.Tesk1")
    return {method.get("name") for method in interface.iter("method")} - {"Cancel"}


def test_every_registered_method_is_documented_and_every_documented_one_exists(tmp_path):
    doc = documented()
    assert set(doc) == set(SERVICES)
    buses = harness.Buses(two=True, vexlad_args=f"--data-dir {tmp_path / 'data'} --stderr")
    try:
        for service, bus in SERVICES.items():
            address = buses.private_address if bus == "private" else buses.public_address
            # Introspection starts the service through bus activation.
            registered = introspected_methods(address, service)
            assert registered == set(doc[service]), service
    finally:
        buses.stop()


def test_every_method_has_a_tesk_send_example_and_the_interface_files_agree():
    doc = documented()
    for service, methods in doc.items():
        for method, text in methods.items():
            assert re.search(rf"tesk-send .*nylo://{re.escape(service)}/{method} ", text), f"{service} {method}"
        interface_file = os.path.join(harness.BUILD_DIR, "packaging", "interfaces", f"{service}.xml")
        assert methods_of(ElementTree.parse(interface_file).getroot()) == set(methods), service


def test_every_error_text_is_documented():
    with open(DOC, encoding="utf-8") as doc:
        reference = doc.read()
    texts = set()
    for source in ERROR_SOURCES:
        with open(os.path.join(harness.SOURCE_DIR, source), encoding="utf-8") as code:
            for line in code:
                if not line.startswith("#"):
                    texts.update(re.findall(r'L?"([^"]{2,})"', line))
    for pattern in REPLY_SOURCES:
        for source in glob.glob(os.path.join(harness.SOURCE_DIR, pattern), recursive=True):
            with open(source, encoding="utf-8") as code:
                for call in re.findall(r"(?:ErrorResponse|Failure)\([^;]*\);", code.read()):
                    texts.update(re.findall(r'L?"([^"]{2,})"', call))
    missing = sorted(text for text in texts if text not in reference)
    assert not missing, f"error texts not in {DOC}: {missing}"
