"""The messaging transport carrying chat messages between the platform's message database (platform-sim)
and the Vexla network (vexla-server-sim): incoming messages written once, the outbox sent and its
status written back, and commands carried out."""

import pytest

from test_im_login import DB, Phone, count_lines

MESSAGE = "com.nylo.immessage.vexla:1"
COMMAND = "com.nylo.imcommand.vexla:1"


@pytest.fixture
def phone(tmp_path):
    running = Phone(str(tmp_path))
    yield running
    running.stop()


def test_a_message_from_a_buddy_becomes_one_inbox_record(phone):
    phone.sign_in()
    phone.server.command("chat_message", to="alice", text="hello <b>alice</b><blink>!</blink>", **{"from": "bob"})
    record = phone.expect_write("put", MESSAGE, folder="inbox")
    assert record["messageText"] == "hello <b>alice</b>!"
    assert record["from"] == {"addr": "bob"}
    assert record["to"] == [{"addr": "alice"}]
    assert record["username"] == "alice"

    phone.server.command("chat_message", to="alice", type=7, text="waves", **{"from": "bob"})
    assert phone.expect_write("put", MESSAGE, folder="inbox")["messageText"] == "bob waves"


def test_a_pending_outbox_message_is_sent_and_marked_successful(phone):
    phone.sign_in()
    phone.call(DB + "put", {"objects": [{"_kind": MESSAGE, "folder": "outbox", "status": "pending",
                                         "messageText": "hi <b>bob</b>", "to": [{"addr": "bob"}]}]})
    phone.expect_activity("Vexla immessage", "completed")
    phone.expect_write("merge", MESSAGE, status="successful")
    phone.expect_activity("Vexla immessage", "created")


def test_commands_reach_the_server_and_are_deleted_in_one_request(phone):
    phone.sign_in()
    phone.call(DB + "put", {"objects": [
        {"_kind": COMMAND, "handler": "transport", "command": "sendBuddyInvite", "targetUsername": "dave",
         "params": {"message": "add me"}},
        {"_kind": COMMAND, "handler": "transport", "command": "unknownThing", "targetUsername": "x"}]})
    phone.expect_activity("Vexla imcommand", "completed")
    phone.expect_received("CHUNK_ADDCONTACT")
    deleted = {phone.expect_write("del", COMMAND)["command"] for _ in range(2)}
    assert deleted == {"sendBuddyInvite", "unknownThing"}
    phone.expect_activity("Vexla imcommand", "created")
    assert count_lines(phone.daemon, "nylo://com.nylo.db/del") == 1
