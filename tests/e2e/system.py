"""The system under test, the one harness of the end-to-end suites: vexla-server-sim with a scenario, the
buses whose service directories start vexlad (and, with a store, marloservice) from the build tree,
platform-sim playing the phone, and one event queue over the platform's and the server's events.

Suites build a `System` for what they need (one bus or two, a scenario, extra settings, the store, the
server simulator's state) and drive it through its helpers; `tour.DemoSystem` is the whole system of the
demo. Everything started is stopped in reverse order by `stop`, the first failure (e.g. a sanitizer report)
raised once all stopped."""

import json
import os
import signal

import harness
import platformsim
from eventqueue import EventQueue
from serversim import ServerSim
from storesim import Store, write_config

SIM = "nylo://com.nylo.sim/"
DB = "nylo://com.nylo.db/"
TEMPDB = "nylo://com.nylo.tempdb/"
UI = "nylo://com.vexla.ui/"
LOGIN_STATE = "com.nylo.imloginstate.vexla:1"
SYNC_STATE = "com.nylo.account.syncstate:1"
BUDDY_STATUS = "com.nylo.imbuddystatus.vexla:1"
GROUP_CHAT = "com.nylo.imgroupchat.vexla:1"

DEFAULT_SCENARIO = {"accounts": [{"name": "alice", "password": "secret"}]}


class System:
    """`two`: a private and a public bus (else one bus serves as both). `daemon_bus`: the bus whose
    daemon started vexlad and so carries its output. `store`: store-sim runs and marloservice is
    activatable for it. `server_state`: the server simulator's state file, kept across `restart_server`.
    `platform_args`: extra options of platform-sim."""

    def __init__(self, workdir, scenario=None, settings="", two=False, log_level=7, store=False,
                 server_state=None, platform_args=(), daemon_bus="private"):
        self.workdir = workdir
        self.data_dir = os.path.join(workdir, "data")
        self.daemon_bus = daemon_bus
        self.started_daemon = None
        self.login_state_id = None
        self._scenario = scenario or DEFAULT_SCENARIO
        self._server_state = server_state
        self._running = []
        try:
            self._start(settings, two, log_level, store, platform_args)
        except BaseException:
            self.stop()
            raise

    def _start(self, extra_settings, two, log_level, store, platform_args):
        self.server = self._start_server()
        self._running.append(lambda: self.server.stop())
        marlo_args = ""
        if store:
            self.store = Store(os.path.join(self.workdir, "store.control"))
            self._running.append(self.store.process.stop)
            marlo_args = f"--config {write_config(os.path.join(self.workdir, 'marlo.conf'), self.store)}"
        self.settings = os.path.join(self.workdir, "settings")
        with open(self.settings, "w") as file:
            file.write(f"SERVER_ENVIRONMENT TEST\nUSE_SDF_SERVER NO\nSERVER_ADDRESS_LIST {self.server.address}\n")
            file.write(extra_settings)
        self.buses = harness.Buses(two=two, vexlad_args=f"--data-dir {self.data_dir} --settings {self.settings} "
                                                        f"--stderr --log-level {log_level}", marlo_args=marlo_args)
        self._running.append(self.buses.stop)
        self.platform = platformsim.start(self.buses, os.path.join(self.workdir, "platform.db"),
                                          "--retry-interval", "100", *platform_args)
        self._running.append(self.platform.stop)
        self.events = EventQueue()
        self._running.append(self.events.close)
        self._running.append(self.quit_daemon)
        self.events.follow_platform(self.buses)
        self.events.follow_server(self.server)

    def _start_server(self, port=0):
        return ServerSim(self.workdir, port=port, scenario=self._scenario, state=self._server_state)

    def restart_server(self):
        """Kills the server simulator (SIGKILL) and starts it again on its port with its state."""
        self.server.process.proc.kill()
        self.server.stop()
        self.server = self._start_server(self.server.port)
        self.events.follow_server(self.server)

    # --- Processes ---------------------------------------------------------------------------------

    @property
    def env(self):
        return self.buses.env

    @property
    def daemon(self):
        """vexlad's output: the lines of the bus daemon that started it, or of the vexlad the test started
        itself (`started_daemon`)."""
        return self.started_daemon or self.buses.daemon(self.daemon_bus)

    def daemon_pid(self):
        return harness.owner_pid(self.buses.private_address, "com.vexla.im")

    def expect_ended(self):
        self.daemon.wait_for_line("Vexla service ended.")

    def quit_daemon(self):
        """Orderly end (SIGQUIT) of a vexlad that still runs; its output would keep the bus daemon's
        streams open."""
        pid = self.daemon_pid()
        if pid:
            os.kill(pid, signal.SIGQUIT)
            harness.wait_gone(pid)

    def stop(self):
        failure = None
        while self._running:
            try:
                self._running.pop()()
            except Exception as error:  # noqa: BLE001 - every part is stopped before reporting
                failure = failure or error
        if failure:
            raise failure

    # --- Bus calls ---------------------------------------------------------------------------------

    def send(self, uri, payload, *options, public=None):
        """One tesk-send run; by default the platform simulator's control service and the Vexla screens'
        service are called on the public bus, everything else on the private one."""
        public = uri.startswith((SIM, UI)) if public is None else public
        return harness.tesk_send(self.buses, *(["--public"] if public else []), *options, uri, json.dumps(payload))

    def call(self, uri, payload, status=0, public=None):
        """One call; its exit status must be `status`; returns the first reply."""
        run = self.send(uri, payload, public=public)
        replies = harness.reply_lines(run)
        assert run.returncode == status and replies, f"{uri}: {run.stdout}{run.stderr}"
        return replies[0]

    def ui(self, method, payload=None, status=0, public=True):
        return self.call(UI + method, payload or {}, status=status, public=public)

    def dump(self, kind, database="com.nylo.db"):
        return self.call(SIM + "dump", {"database": database, "kind": kind})["results"]

    # --- Events ------------------------------------------------------------------------------------

    def expect(self, **pattern):
        return self.events.expect(**pattern)

    def forbid(self, within=harness.DEFAULT_TIMEOUT, **pattern):
        self.events.forbid(within=within, **pattern)

    def expect_platform(self, **pattern):
        return self.expect(source="platform", **pattern)

    def expect_write(self, operation, kind, **record):
        return self.expect_platform(event="write", operation=operation, kind=kind, record=record)["record"]

    def expect_state(self, state):
        return self.expect_write("merge", LOGIN_STATE, state=state)

    def expect_activity(self, name, state):
        return self.expect_platform(event="activity", name=name, state=state)

    def expect_received(self, chunk, **packet):
        return self.expect(source="server", type="received", chunk=chunk, packet=packet)["packet"]

    # --- The messaging account -----------------------------------------------------------------------

    def add_account(self, password="secret"):
        """The account with its login-state record, as the account and messaging frameworks write them."""
        account = self.call(SIM + "addAccount", {"username": "alice", "password": password, "enable": False})
        self.expect_activity("Vexla loginstate", "created")
        return account["accountId"]

    def write_login_state(self, account, availability):
        put = self.call(DB + "put", {"objects": [{"_kind": LOGIN_STATE, "accountId": account, "username": "alice",
                                                  "serviceName": "type_vexla", "state": "logging-on",
                                                  "availability": availability, "customMessage": ""}]})
        self.login_state_id = put["results"][0]["id"]

    def merge_login_state(self, **members):
        self.call(DB + "merge", {"objects": [{"_id": self.login_state_id, **members}]})

    def sign_in(self):
        """A new account wanting to be online: the daemon starts, reads the password and signs in."""
        account = self.add_account()
        self.write_login_state(account, 0)
        self.expect_state("logging-on")
        self.expect_received("CHUNK_LOGIN", KEY_VEXLANAME="alice")
        self.expect_state("online")
        return account


class Phone(System):
    """The phone on one bus: vexlad activatable on it; platform-sim powers down 5 s after the power-off
    notice."""

    def __init__(self, workdir, scenario=None, settings=""):
        super().__init__(workdir, scenario=scenario, settings=settings,
                         platform_args=("--power-down-timeout", "5000"))


def count_lines(process, text):
    """How many lines of a process's output contain text (for what no event shows)."""
    return sum(text in line for line in process.lines)
