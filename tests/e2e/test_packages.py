"""The Debian packages: a release build in a build tree of its own makes them with CPack; they hold
exactly the expected files, declare their dependencies, satisfy lintian, and the programs extracted
from them run: vexlad owns its names on buses configured by the installed configurations, and
tesk-send reaches it."""

import getpass
import os
import re
import shutil
import subprocess
import tempfile

import pytest

from harness import SOURCE_DIR, Process, wait_until

PACKAGE_BUILD = os.path.join(SOURCE_DIR, "build", "package")
PROGRAMS = ["vexlad", "marloservice", "tesk-send", "vexla-dump", "vexla-cli"]

EXPECTED_FILES = {
    "vexlad": {
        "usr/sbin/vexlad",
        "usr/share/man/man8/vexlad.8.gz",
        "usr/share/vexla/dbus-1/private-bus.conf",
        "usr/share/vexla/dbus-1/public-bus.conf",
        "usr/share/vexla/dbus-1/private-services/com.vexla.im.service",
        "usr/share/vexla/dbus-1/private-services/com.vexla.call.service",
        "usr/share/vexla/dbus-1/private-services/com.vexla.ui.service",
        "usr/share/vexla/dbus-1/public-services/com.vexla.ui.service",
        "usr/share/dbus-1/interfaces/com.vexla.im.xml",
        "usr/share/dbus-1/interfaces/com.vexla.call.xml",
        "usr/share/dbus-1/interfaces/com.vexla.ui.xml",
        "usr/share/doc/vexlad/examples/vexla.settings",
        "usr/share/doc/vexlad/bus-api.md",
        "usr/share/doc/vexlad/copyright",
        "usr/share/doc/vexlad/changelog.gz",
    },
    "marloservice": {
        "usr/sbin/marloservice",
        "usr/share/man/man8/marloservice.8.gz",
        "usr/share/vexla/dbus-1/public-services/com.nylo.marlo.service",
        "usr/share/dbus-1/interfaces/com.nylo.marlo.xml",
        "usr/share/doc/marloservice/copyright",
        "usr/share/doc/marloservice/changelog.gz",
    },
    "vexla-tools": {
        "usr/bin/tesk-send",
        "usr/bin/vexla-dump",
        "usr/bin/vexla-cli",
        "usr/share/man/man1/tesk-send.1.gz",
        "usr/share/man/man1/vexla-dump.1.gz",
        "usr/share/man/man1/vexla-cli.1.gz",
        "usr/share/doc/vexla-tools/copyright",
        "usr/share/doc/vexla-tools/changelog.gz",
    },
}

# A library each package must depend on (found by dpkg-shlibdeps), and what is declared by hand.
EXPECTED_DEPENDS = {
    "vexlad": ["libglib2.0-0", "libjson-c5", "dbus-daemon"],
    "marloservice": ["libcurl4", "ca-certificates"],
    "vexla-tools": ["libpcap0.8", "libglib2.0-0"],
}


def run(*command, **kwargs):
    return subprocess.run(command, check=True, capture_output=True, text=True, **kwargs)


@pytest.fixture(scope="module")
def packages():
    """Builds the packages (release, no tests) and returns {package name: path of the .deb}."""
    user = getpass.getuser()
    run("cmake", "-S", SOURCE_DIR, "-B", PACKAGE_BUILD, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
        "-DVEXLA_TESTS=OFF", "-DCMAKE_INSTALL_PREFIX=/usr", f"-DVEXLAD_USER={user}", f"-DMARLOSERVICE_USER={user}")
    targets = PROGRAMS + [f"{program}-man" for program in PROGRAMS] + ["bus-interfaces"]
    run("cmake", "--build", PACKAGE_BUILD, "-j2", "--target", *targets)
    out = os.path.join(PACKAGE_BUILD, "debs")
    shutil.rmtree(out, ignore_errors=True)
    run("cpack", "-G", "DEB", "-B", out, cwd=PACKAGE_BUILD)
    debs = {}
    for name in os.listdir(out):
        if name.endswith(".deb"):
            debs[run("dpkg-deb", "-f", os.path.join(out, name), "Package").stdout.strip()] = os.path.join(out, name)
    return debs


@pytest.fixture(scope="module")
def root(packages):
    """Every package extracted into one temporary root."""
    directory = tempfile.mkdtemp(prefix="vexla-root-", dir="/tmp")
    for deb in packages.values():
        run("dpkg-deb", "-x", deb, directory)
    yield directory
    shutil.rmtree(directory, ignore_errors=True)


def test_packages_hold_the_expected_files_and_dependencies(packages):
    assert set(packages) == set(EXPECTED_FILES)
    for name, deb in packages.items():
        listing = run("dpkg-deb", "-c", deb).stdout.splitlines()
        files = {line.split()[-1].lstrip("./") for line in listing if not line.startswith("d")}
        assert files == EXPECTED_FILES[name], name
        depends = run("dpkg-deb", "-f", deb, "Depends").stdout
        for dependency in EXPECTED_DEPENDS[name]:
            assert re.search(rf"(^|, ){re.escape(dependency)}\b", depends), f"{name}: {depends}"


def test_cmake_install_honours_destdir_and_prefix(packages):
    staging = tempfile.mkdtemp(prefix="vexla-stage-", dir="/tmp")
    try:
        run("cmake", "--install", PACKAGE_BUILD, "--prefix", "/opt/vexla", env={**os.environ, "DESTDIR": staging})
        installed = {os.path.relpath(os.path.join(folder, name), staging)
                     for folder, _, names in os.walk(staging) for name in names}
        expected = {"opt/vexla/" + path[len("usr/"):] for files in EXPECTED_FILES.values() for path in files}
        assert installed == expected
    finally:
        shutil.rmtree(staging, ignore_errors=True)


def test_lintian_reports_no_errors(packages):
    result = subprocess.run(["lintian", "--no-cfg", *packages.values()], capture_output=True, text=True)
    errors = [line for line in result.stdout.splitlines() if line.startswith("E:")]
    assert not errors, result.stdout + result.stderr


def test_activation_files_start_the_installed_programs(root):
    services = os.path.join(root, "usr/share/vexla/dbus-1")
    for bus, name, program in [("private", "com.vexla.im", "vexlad"), ("public", "com.nylo.marlo", "marloservice")]:
        with open(os.path.join(services, f"{bus}-services", f"{name}.service"), encoding="utf-8") as service:
            assert f"Exec=/usr/sbin/{program}\n" in service.read()


def test_extracted_programs_run(root):
    vexlad = os.path.join(root, "usr/sbin/vexlad")
    version = run(vexlad, "--version").stdout
    assert "0.1.0" in version
    assert '.TH VEXLAD "8"' in run("zcat", os.path.join(root, "usr/share/man/man8/vexlad.8.gz")).stdout


class InstalledBuses:
    """The private and the public bus started from the installed configurations."""

    def __init__(self, root):
        self.daemons = {}
        self.env = {}
        for bus in ("private", "public"):
            daemon = Process(["dbus-daemon", "--config-file", os.path.join(root, f"usr/share/vexla/dbus-1/{bus}-bus.conf"),
                              "--nofork", "--print-address"], name=f"dbus-daemon ({bus})")
            self.env[f"TESK_{bus.upper()}_BUS_ADDRESS"] = daemon.wait_for_line("unix:")
            self.daemons[bus] = daemon

    def stop(self):
        for daemon in self.daemons.values():
            daemon.stop()


def request_name(address, name):
    return subprocess.run(["dbus-send", f"--bus={address}", "--print-reply", "--dest=org.freedesktop.DBus",
                           "/org/freedesktop/DBus", "org.freedesktop.DBus.RequestName", f"string:{name}", "uint32:4"],
                          capture_output=True, text=True, timeout=20)


class Monitor:
    """dbus-monitor on a bus: refused as a monitor, it falls back to eavesdropping match rules."""

    def __init__(self, address):
        self.address = address
        self.process = Process(["dbus-monitor", "--address", address], name="dbus-monitor")
        self.process.wait_for_line("AccessDenied")  # BecomeMonitor refused
        self.barrier()  # its match rules are in place

    def owner_changes(self):
        return sum("member=NameOwnerChanged" in line for line in self.process.lines)

    def barrier(self):
        """Returns once the monitor has seen a connection come and go that started after this call: the
        bus has delivered to it everything routed before."""
        seen = self.owner_changes()

        def new_connection_seen():
            request_name(self.address, "com.example.Barrier")
            return self.owner_changes() > seen
        wait_until(new_connection_seen, "dbus-monitor to see a new connection")


def test_extracted_vexlad_serves_tesk_send_on_the_installed_buses(root):
    buses = InstalledBuses(root)
    data = tempfile.mkdtemp(prefix="vexla-data-", dir="/tmp")
    keylog = os.path.join(data, "keys")
    try:
        env = {**buses.env, "VEXLA_KEYLOG_FILE": keylog}
        with Process([os.path.join(root, "usr/sbin/vexlad"), "--data-dir", data, "--stderr"], env=env) as vexlad:
            vexlad.wait_for_line("Initialisation done, entering main loop.")
            tesk_send = os.path.join(root, "usr/bin/tesk-send")
            monitor = Monitor(buses.env["TESK_PRIVATE_BUS_ADDRESS"])
            try:
                for bus_args in ([], ["--public"]):
                    call = subprocess.run([tesk_send, *bus_args, "-t", "20", "nylo://com.vexla.ui/getPrivacyPolicies",
                                           "{}"], capture_output=True, text=True, timeout=30,
                                          env={**os.environ, **buses.env})
                    assert call.returncode == 1, call.stdout + call.stderr
                    assert '"VexlaSessionNotValid"' in call.stdout
                # Nobody sees the calls between others.
                monitor.barrier()
                assert "getPrivacyPolicies" not in monitor.process.output()
            finally:
                monitor.process.stop()
            # The installed policy lets nobody else own a name of ours, nor a name the bus does not start.
            assert "AccessDenied" in request_name(buses.env["TESK_PRIVATE_BUS_ADDRESS"], "com.nylo.marlo").stderr
            assert "AccessDenied" in request_name(buses.env["TESK_PUBLIC_BUS_ADDRESS"], "com.vexla.call").stderr
            # A release build never writes session keys.
            assert not any("keys are being written" in line for line in vexlad.lines)
        assert not os.path.exists(keylog)
    finally:
        buses.stop()
        shutil.rmtree(data, ignore_errors=True)
