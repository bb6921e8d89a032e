"""vexla-server-sim as a process: ephemeral port, control socket, hostile clients, remembered
sessions across a restart on the same port, orderly stop."""

import http.client
import json
import socket
import zlib

import harness
from serversim import ServerSim


def raw_client(port, data):
    """Connects, sends bytes, and returns what the simulator sent back before closing (or b"")."""
    with socket.create_connection(("127.0.0.1", port), timeout=10) as client:
        client.sendall(data)
        client.shutdown(socket.SHUT_WR)
        chunks = []
        while True:
            chunk = client.recv(4096)
            if not chunk:
                return b"".join(chunks)
            chunks.append(chunk)


def test_reports_port_answers_control_and_quits(tmp_path):
    with ServerSim(tmp_path, scenario={"accounts": [{"name": "alice", "password": "x"}]}) as sim:
        assert sim.port > 0
        status = sim.command("status")
        assert status["ok"] and status["port"] == sim.port and status["connections"] == []
        assert sim.command("fly") == {"ok": False, "error": 'unknown command "fly"'}
        assert sim.command("quit") == {"ok": True}
        assert sim.process.wait_exit() == 0


def test_hostile_clients_are_dropped_and_the_simulator_serves_on(tmp_path):
    with ServerSim(tmp_path) as sim:
        # A frame with a wrong checksum, one whose body is not a packet, then a length out of range.
        assert raw_client(sim.port, bytes([2, 0x41, 0, 1, 2, 3, 4])) == b""
        sim.wait({"type": "bad_frame", "reason": "checksum"})
        assert raw_client(sim.port, bytes([0xFF, 0xFF, 0xFF, 0xFF, 0x7F])) == b""
        sim.wait({"type": "bad_frame", "reason": "length"})
        assert raw_client(sim.port, bytes(range(256)) * 16) == b""
        # A handshake packet out of order (CHUNK_MASTERKEY first) ends that connection only.
        body = bytes([0x41, 1, 0, 5, 21])
        frame = bytes([len(body)]) + body + zlib.crc32(body).to_bytes(4, "little")
        assert raw_client(sim.port, frame) == b""
        sim.wait({"type": "handshake", "result": "failed"})
        assert sim.command("status")["ok"]


def test_connect_is_answered_with_an_identity_or_a_planned_error(tmp_path):
    body = bytes([0x41, 2, 0, 5, 19, 4, 76, 20]) + bytes(20)  # CHUNK_CONNECT with a client random
    frame = bytes([len(body)]) + body + zlib.crc32(body).to_bytes(4, "little")
    with ServerSim(tmp_path) as sim:
        assert sim.command("on", stage="connect", action="error", code=64)["ok"]
        with socket.create_connection(("127.0.0.1", sim.port), timeout=10) as client:
            client.sendall(frame)
            sent = sim.wait({"type": "sent", "chunk": "CHUNK_ERROR"})
        assert sent["packet"] == {"chunk": "CHUNK_ERROR", "KEY_ERROR_CODE": 64}
        with socket.create_connection(("127.0.0.1", sim.port), timeout=10) as client:
            client.sendall(frame)
            identity = sim.wait({"type": "sent", "chunk": "CHUNK_SERVERIDENTITY"})
        assert identity["packet"]["KEY_SERVER_IDENTITY"]["binary"].startswith("534b")  # "SK"
        received = sim.wait({"type": "received", "chunk": "CHUNK_CONNECT"})
        assert received["packet"]["KEY_CLIENT_RANDOM"] == {"binary": "00" * 20}


def test_sessions_survive_a_restart_on_the_same_port(tmp_path):
    state = str(tmp_path / "state.json")
    known = {"00112233445566778899aabbccddeeff": "alice"}
    with ServerSim(tmp_path, scenario={"sessions": known}, state=state) as first:
        port = first.port
        assert first.command("sessions")["sessions"] == known
    with open(state) as file:
        assert json.load(file)["sessions"] == known
    with ServerSim(tmp_path, port=port, state=state) as second:
        assert second.port == port
        assert second.command("sessions")["sessions"] == known


def discovery_request(port, phone):
    """POSTs a discovery request (key 1 = 1, key 2 = phone) and returns (status, body)."""
    body = bytes([0x41, 2, 0, 1, 1, 3, 2]) + phone.encode() + b"\0"
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=10)
    connection.request("POST", "/", body, {"Content-Type": "application/x-sdf-ac"})
    response = connection.getresponse()
    answer = (response.status, response.read())
    connection.close()
    return answer


def test_discovery_answers_session_and_operator(tmp_path):
    with ServerSim(tmp_path, sdf_port=0, scenario={"sdf": {"session_id": "abc", "operator_id": 7}}) as sim:
        status, body = discovery_request(sim.sdf_port, "+15550001")
        assert status == 200
        # key 3 (STRING) "abc", then key 4 (INT32) 7
        assert body == bytes([0x41, 2, 3, 3]) + b"abc\0" + bytes([0, 4, 7])
        event = sim.wait({"type": "sdf"})
        assert event["phone"] == "+15550001" and event["kind"] == 1 and event["decoded"]
        assert sim.command("sdf", status=503)["ok"]
        assert discovery_request(sim.sdf_port, "1")[0] == 503
