"""D-Bus activation: each bus starts the programs of its own service directory, as written by
scripts/write-bus-services from the packaging templates."""

import os

import harness

ECHO_SERVICE = os.path.join(os.path.dirname(__file__), "tesk_echo_service.py")


def read_services(buses, bus):
    directory = os.path.join(buses.dir, f"{bus}-services")
    services = {}
    for name in sorted(os.listdir(directory)):
        with open(os.path.join(directory, name), encoding="utf-8") as service:
            services[name] = dict(line.split("=", 1) for line in service.read().splitlines()[1:])
    return services


def test_each_bus_gets_its_own_names_with_the_extra_exec_options():
    buses = harness.Buses(vexlad_args="--data-dir '/tmp/with space' --stderr", marlo_args="--verbose")
    try:
        private = read_services(buses, "private")
        public = read_services(buses, "public")
        assert sorted(private) == ["com.vexla.call.service", "com.vexla.im.service", "com.vexla.ui.service"]
        assert sorted(public) == ["com.nylo.marlo.service", "com.vexla.ui.service"]
        vexlad = os.path.join(harness.BUILD_DIR, "Src", "vexlad")
        assert private["com.vexla.im.service"] == {"Name": "com.vexla.im",
                                                   "Exec": f"{vexlad} --data-dir '/tmp/with space' --stderr"}
        assert public["com.nylo.marlo.service"]["Exec"].endswith("marloservice --verbose")
    finally:
        buses.stop()


def test_calling_an_activatable_name_starts_its_program():
    buses = harness.Buses(two=False, services={"private": {"com.test.echo": f"/usr/bin/python3 {ECHO_SERVICE} com.test.echo"}})
    try:
        run = harness.tesk_send(buses, "nylo://com.test.echo/echo", '{"started": true}')
        assert run.returncode == 0, run.stdout + run.stderr
        assert harness.reply_lines(run) == [{"started": True}]
        buses.daemon().wait_for_line("ready")
    finally:
        buses.stop()


def test_private_only_name_cannot_be_activated_from_the_public_bus():
    command = f"/usr/bin/python3 {ECHO_SERVICE} com.test.echo"
    buses = harness.Buses(services={"private": {"com.test.echo": command}})
    try:
        run = harness.tesk_send(buses, "--public", "nylo://com.test.echo/echo", "{}")
        assert run.returncode == 2
        [reply] = harness.reply_lines(run)
        assert "com.test.echo" in reply["errorText"]
        assert harness.tesk_send(buses, "nylo://com.test.echo/echo", "{}").returncode == 0
    finally:
        buses.stop()
