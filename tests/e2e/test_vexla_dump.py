"""vexla-dump on packet bodies and frames built here, plain and RC4-encrypted, on malformed input, and on
the capture of a real session between vexla-cli and the server simulator."""

import json
import os
import subprocess
import zlib

import harness
from serversim import ServerSim
from vexlacli import VexlaCli

KEY_CHUNKTYPE, KEY_VEXLANAME, KEY_PASSWORD, KEY_CLIENT_RANDOM = 5, 8, 64, 76
CHUNK_CONNECT, CHUNK_LOGIN = 19, 28


def varint(value):
    value &= 0xFFFFFFFF
    out = bytearray()
    while value > 0x7F:
        out.append((value & 0x7F) | 0x80)
        value >>= 7
    out.append(value)
    return bytes(out)


def int32(key, value):
    return bytes([0]) + varint(key) + varint(value)


def string(key, text):
    return bytes([3]) + varint(key) + text.encode("utf-8") + b"\0"


def binary(key, data):
    return bytes([4]) + varint(key) + varint(len(data)) + data


def body(*attributes):
    return b"A" + varint(len(attributes)) + b"".join(attributes)


def frame(packet_body, key=b""):
    checksum = zlib.crc32(key + packet_body) & 0xFFFFFFFF
    return varint(len(packet_body)) + packet_body + checksum.to_bytes(4, "little")


def rc4_with_drop(key, data):
    """Plain RC4 whose first 768 key-stream bytes are thrown away."""
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) % 256
        s[i], s[j] = s[j], s[i]
    i = j = 0
    out = bytearray()
    for n in range(768 + len(data)):
        i = (i + 1) % 256
        j = (j + s[i]) % 256
        s[i], s[j] = s[j], s[i]
        if n >= 768:
            out.append(data[n - 768] ^ s[(s[i] + s[j]) % 256])
    return bytes(out)


def run_dump(*args, input_bytes=b""):
    return subprocess.run([harness.binary("tools", "vexla-dump", "vexla-dump"), *args], input=input_bytes,
                          capture_output=True, timeout=30)


CONNECT = body(int32(KEY_CHUNKTYPE, CHUNK_CONNECT), binary(KEY_CLIENT_RANDOM, bytes([0x00, 0x1F, 0xAB])))
CONNECT_DUMP = ("Packet start:\n"
                "\tType: INCOMMING\n"
                "\tAttr(0): key: KEY_CHUNKTYPE, Type: INT32, {CHUNK_CONNECT}\n"
                "\tAttr(1): key: KEY_CLIENT_RANDOM, Type: BINARY, [3]{0x0, 0x1f, 0xab}\n"
                "Packet end\n")
LOGIN = body(int32(KEY_CHUNKTYPE, CHUNK_LOGIN), string(KEY_VEXLANAME, "zoë"), string(KEY_PASSWORD, "hunter2"))


def test_hex_body_prints_the_dump():
    result = run_dump(input_bytes=CONNECT.hex(" ").encode() + b"\n")
    assert result.returncode == 0, result.stderr
    assert result.stdout.decode() == CONNECT_DUMP


def test_logged_byte_list_is_accepted_as_input():
    logged = "BINARY, [%d]{%s}" % (len(CONNECT), ", ".join("0x%x" % b for b in CONNECT))
    result = run_dump(input_bytes=logged.encode())
    assert result.returncode == 0, result.stderr
    assert result.stdout.decode() == CONNECT_DUMP
    assert run_dump(input_bytes=b"{0x41, 0x100}").returncode == 2
    assert run_dump(input_bytes=b"{0x41, 0x0").returncode == 2
    # A long body is logged with its first bytes only: such a list cannot be decoded.
    cut_short = run_dump(input_bytes=b"BINARY, [300]{0x41, 0x2, ...}")
    assert cut_short.returncode == 2
    assert b"cut short" in cut_short.stderr


def test_binary_body_from_a_file_keeps_utf8_and_hides_the_password(tmp_path):
    path = tmp_path / "login.bin"
    path.write_bytes(LOGIN)
    result = run_dump("--binary", str(path))
    assert result.returncode == 0, result.stderr
    text = result.stdout.decode("utf-8")
    assert 'key: KEY_VEXLANAME, Type: STRING, [3]{"zoë"}' in text
    assert "key: KEY_PASSWORD, Type: STRING, {<redacted>}" in text
    assert "hunter2" not in text


def test_plain_frame_reports_checksum_ok():
    result = run_dump("--frame", input_bytes=frame(CONNECT).hex().encode())
    assert result.returncode == 0, result.stderr
    assert result.stdout.decode() == f"Frame 1: {len(CONNECT)} bytes, checksum ok\n" + CONNECT_DUMP


def test_keyed_frames_need_their_key():
    key = bytes(range(20))
    stream = frame(CONNECT, key) + frame(LOGIN, key)
    result = run_dump("--frame", "--binary", "--key", key.hex(), input_bytes=stream)
    assert result.returncode == 0, result.stderr
    out = result.stdout.decode()
    assert out.count("checksum ok") == 2
    assert "Frame 2:" in out and "CHUNK_LOGIN" in out

    unkeyed = run_dump("--frame", "--binary", input_bytes=stream)
    assert unkeyed.returncode == 3
    assert unkeyed.stdout.decode().count("checksum mismatch") == 2
    assert "CHUNK_CONNECT" in unkeyed.stdout.decode()


def test_rc4_encrypted_capture_decodes_after_the_drop():
    traffic_key = bytes.fromhex("0123456789abcdef0123456789abcdef01234567")
    checksum_key = bytes.fromhex("fedcba9876543210fedcba9876543210fedcba98")
    capture = rc4_with_drop(traffic_key, frame(LOGIN, checksum_key) + frame(CONNECT, checksum_key))
    result = run_dump("--frame", "--binary", "--rc4", traffic_key.hex(), "--key", checksum_key.hex(),
                      input_bytes=capture)
    assert result.returncode == 0, result.stderr
    out = result.stdout.decode()
    assert out.startswith(f"Frame 1: {len(LOGIN)} bytes, checksum ok\n")
    assert f"Frame 2: {len(CONNECT)} bytes, checksum ok\n" + CONNECT_DUMP in out

    wrong_key = run_dump("--frame", "--binary", "--rc4", "00", input_bytes=capture)
    assert wrong_key.returncode in (1, 3)


def test_malformed_input_exits_1_with_the_decoders_message():
    cases = [
        ("", b"41 01 07 05 00", "Invalid attribute type sent by server."),
        ("", b"42 00", "Attribute container mark is not correct."),
        ("", b"41 01 04 3d 7f 00", "Attribute length exceeds the packet."),
        ("--frame", b"ff ff ff ff 0f 41 00", "Frame length out of range."),
        ("--frame", b"05 41 00 00 00", "Frame is shorter than its length."),
    ]
    for option, data, message in cases:
        result = run_dump(*([option] if option else []), input_bytes=data)
        assert result.returncode == 1, (data, result.stdout, result.stderr)
        assert message in result.stderr.decode(), (data, result.stderr)
        assert "Time: " not in result.stderr.decode()


def test_usage_errors_exit_2_and_help_documents_the_options():
    assert run_dump("--frobnicate").returncode == 2
    assert run_dump("--key", "00").returncode == 2
    assert run_dump("--rc4").returncode == 2
    assert run_dump(input_bytes=b"4").returncode == 2
    assert run_dump("/nonexistent/capture.hex").returncode == 2
    result = run_dump("--help")
    assert result.returncode == 0
    for option in ("--binary", "--frame", "--key HEX", "--rc4 HEX", "checksum ok", "768"):
        assert option in result.stdout.decode()


def test_a_captured_session_decodes_with_the_keys_of_its_handshake(tmp_path):
    capture = tmp_path / "capture"
    capture.mkdir()
    scenario = {"accounts": [{"name": "alice", "password": "secret"}]}
    with ServerSim(tmp_path, scenario=scenario, capture=str(capture)) as sim, VexlaCli(tmp_path, sim.port) as cli:
        cli.run("login alice secret")
        cli.expect(event="OnLoginSuccess")
        cli.run("logout")
        cli.expect(event="OnLogout")
    sent = (capture / "conn-1.client").read_bytes()
    keys = json.loads((capture / "conn-1.keys.json").read_text())
    handshake, session = sent[:keys["client_plain_bytes"]], sent[keys["client_plain_bytes"]:]

    # The handshake's frames carry the plain CRC-32; every frame after it is encrypted and keyed.
    plain = run_dump("--frame", "--binary", input_bytes=handshake)
    assert plain.returncode == 0, plain.stderr
    assert "CHUNK_CONNECT" in plain.stdout.decode()

    decoded = run_dump("--frame", "--binary", "--rc4", keys["client_rc4_key"], "--key", keys["checksum_key"],
                       input_bytes=session)
    assert decoded.returncode == 0, decoded.stderr
    out = decoded.stdout.decode()
    assert "checksum mismatch" not in out
    assert "{CHUNK_LOGIN}" in out and "{CHUNK_LOGOUT}" in out
    assert "alice" in out and "secret" not in out and "<redacted>" in out

    # The server's direction, with its own key and the same checksum key.
    answered = (capture / "conn-1.server").read_bytes()
    plain = run_dump("--frame", "--binary", input_bytes=answered[:keys["server_plain_bytes"]])
    assert plain.returncode == 0, plain.stderr
    assert "{CHUNK_SERVERIDENTITY}" in plain.stdout.decode()
    decoded = run_dump("--frame", "--binary", "--rc4", keys["server_rc4_key"], "--key", keys["checksum_key"],
                       input_bytes=answered[keys["server_plain_bytes"]:])
    assert decoded.returncode == 0, decoded.stderr
    assert "{CHUNK_CONNECTED}" in decoded.stdout.decode() and "{CHUNK_LOGGEDIN}" in decoded.stdout.decode()
