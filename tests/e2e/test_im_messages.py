"""The messaging transport carrying chat messages between the platform's message database (platform-sim)
and the Vexla network (vexla-server-sim): incoming messages written once, the outbox sent and its
status written back, and commands carried out."""

import os
import signal

import pytest

import harness
from platformsim import AM
from system import DB, Phone, count_lines

MESSAGE = "com.nylo.immessage.vexla:1"
COMMAND = "com.nylo.imcommand.vexla:1"
GROUP_CHAT = "com.nylo.imgroupchat.vexla:1"


CONTACT = "com.nylo.contact.vexla:1"


@pytest.fixture
def phone(tmp_path):
    running = Phone(str(tmp_path))
    yield running
    running.stop()


@pytest.fixture
def phone_with_buddy(tmp_path):
    running = Phone(str(tmp_path), scenario={"accounts": [{"name": "alice", "password": "secret"}],
                                             "users": [{"name": "zed", "availability": 2}],
                                             "buddies": {"alice": [{"name": "zed"}]}})
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
    # The watch comes back at once, for later records; this one turns successful with the server's echo.
    phone.expect_activity("Vexla immessage", "created")
    phone.expect_write("merge", MESSAGE, status="successful")


def test_a_watch_left_running_by_a_killed_daemon_does_not_keep_the_outbox_unsent(phone):
    """A daemon killed between adopting its outbox watch and completing it leaves that activity running
    for good: it never fires again. The next daemon's watch takes its place instead of being refused."""
    phone.sign_in()
    pid = phone.daemon_pid()
    os.kill(pid, signal.SIGKILL)
    assert harness.wait_gone(pid)
    # Such a left-over watch, as far as the next daemon can tell: the name is taken, and it never fires.
    left_over = phone.call(AM + "create", {"activity": {
        "name": "Vexla immessage", "description": "left over", "type": {"foreground": True},
        "callback": {"method": "nylo://com.vexla.im/immessageChanged"}}, "replace": True})["activityId"]
    phone.call(DB + "put", {"objects": [{"_kind": MESSAGE, "folder": "outbox", "status": "pending",
                                         "messageText": "still there?", "to": [{"addr": "bob"}]}]})

    # Started again by activation: the availability watch outlived the daemon.
    phone.merge_login_state(availability=2)
    phone.expect_platform(event="activity", name="Vexla immessage", state="replaced", activityId=left_over)
    phone.expect_write("merge", MESSAGE, status="successful")


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


def test_an_outbox_message_to_a_chat_that_cannot_be_opened_is_marked_error(phone):
    phone.sign_in()
    phone.call(DB + "put", {"objects": [{"_kind": MESSAGE, "folder": "outbox", "status": "pending",
                                         "messageText": "anyone?", "to": [{"addr": ""}]}]})
    phone.expect_activity("Vexla immessage", "created")
    phone.expect_write("merge", MESSAGE, status="error")


def test_a_dialog_turned_group_gets_a_record_a_member_its_messages_a_leave_and_a_topic(phone):
    phone.sign_in()
    chat = phone.server.command("chat_message", to="alice", text="hi", **{"from": "bob"})["chat"]
    phone.expect_write("put", MESSAGE, messageText="hi")

    # Bob adds carol: the member list "bob alice carol" makes the dialog a group and creates its record.
    phone.server.command("chat_member", chat=chat, add="carol", **{"from": "bob"})
    record = phone.expect_write("put", GROUP_CHAT)
    assert [m["value"] for m in record["members"]] == ["bob"]
    group = record["groupName"]
    phone.expect_write("merge", GROUP_CHAT, members=lambda members: sorted(m["value"] for m in members) == ["bob", "carol"])
    added = phone.expect_write("put", MESSAGE, messageText="bob added carol to the chat.")
    assert (added["folder"], added["imType"], added["from"]) == ("system", "system", {"addr": "alice"})
    assert (added["to"], added["groupChatName"]) == ([{"addr": group}], group)

    phone.server.command("chat_message", chat=chat, text="hello group", **{"from": "carol"})
    message = phone.expect_write("put", MESSAGE, messageText="hello group")
    assert message["groupChatName"] == group
    assert message["from"] == {"addr": "carol"}

    phone.server.command("chat_member", chat=chat, remove="carol", **{"from": "carol"})
    left = phone.expect_write("put", MESSAGE, messageText="carol left the chat.")
    assert (left["folder"], left["imType"], left["to"]) == ("system", "system", [{"addr": group}])

    phone.server.command("chat_topic", chat=chat, topic="Trip", **{"from": "bob"})
    phone.expect_write("merge", GROUP_CHAT, displayName="Trip")
    phone.expect_write("put", MESSAGE, messageText='bob set the topic to "Trip".')
    # Each message went through the queue once: the member list named bob and alice too, who were there.
    assert [messages_written(phone, f"bob added {name} to the chat.") for name in ("carol", "bob", "alice")] == [1, 0, 0]


def sign_in_with_buddy_list(phone):
    """Signed in and the buddy list sent: from then on the server routes contact packets, such as an
    authorisation request, to the account."""
    phone.sign_in()
    phone.expect(source="server", type="sent", chunk="CHUNK_BUDDYLIST")


def test_an_authorisation_request_becomes_one_buddy_invite_for_the_application(phone):
    sign_in_with_buddy_list(phone)
    phone.server.command("auth_request", account="alice", message="let me in", **{"from": "zed"})
    phone.expect_activity("Vexla auth power request", "created")
    invite = phone.expect_write("put", COMMAND, command="receivedBuddyInvite")
    assert (invite["fromUsername"], invite["targetUsername"], invite["handler"]) == ("zed", "alice", "application")
    assert invite["params"]["message"] == "let me in"
    phone.expect_activity("Vexla auth power request", "completed")


def test_a_voicemail_becomes_one_message_with_its_link(phone):
    phone.sign_in()
    phone.server.command("voicemail", account="alice", subject="call me", duration=12, **{"from": "bob"})
    message = phone.expect_write("put", MESSAGE)
    assert 'href="vexlavm://' in message["messageText"]
    assert message["from"] == {"addr": "bob"}


def messages_written(phone, text):
    return sum(1 for e in phone.events.history if e.get("source") == "platform" and e.get("event") == "write"
               and e.get("kind") == MESSAGE and e.get("operation") == "put"
               and e.get("record", {}).get("messageText") == text)


def test_after_a_restart_a_new_message_is_written_once_and_earlier_ones_not_again(phone):
    phone.sign_in()
    phone.server.command("chat_message", to="alice", text="before", **{"from": "bob"})
    phone.expect_write("put", MESSAGE, messageText="before")
    phone.quit_daemon()

    phone.merge_login_state(availability=2)
    phone.expect_received("CHUNK_LOGIN", KEY_VEXLANAME="alice")
    phone.expect_state("online")
    phone.server.command("chat_message", to="alice", text="after", **{"from": "bob"})
    phone.expect_write("put", MESSAGE, messageText="after")
    phone.server.command("chat_message", to="alice", text="later", **{"from": "bob"})
    phone.expect_write("put", MESSAGE, messageText="later")
    # The chat is read again after every message: the markers keep each one written once.
    phone.server.command("chat_message", to="alice", text="last", **{"from": "bob"})
    phone.expect_write("put", MESSAGE, messageText="last")
    assert [messages_written(phone, text) for text in ("before", "after", "later", "last")] == [1, 1, 1, 1]


def command(phone, name, **members):
    """Writes a command for the transport; its deletion follows what it writes itself."""
    phone.call(DB + "put", {"objects": [{"_kind": COMMAND, "handler": "transport", "command": name, **members}]})


def test_group_chat_commands_reach_the_server(phone):
    phone.sign_in()
    # The dialog with bob exists; creating a group chat with bob and carol makes it a group.
    phone.server.command("chat_message", to="alice", text="hi", **{"from": "bob"})
    phone.expect_write("put", MESSAGE, messageText="hi")
    command(phone, "createGroupChat", params={"usernames": ["bob", "carol"], "message": "Plans", "chatThreadId": "t1"})
    record = phone.expect_write("put", GROUP_CHAT, displayName="Plans", chatThreadId="t1")
    assert record["groupName"].startswith("alice")
    assert sorted(m["value"] for m in record["members"]) == ["bob", "carol"]
    phone.expect_received("CHUNK_ADDCHATMEMBERS")
    phone.expect_received("CHUNK_SETCHATTOPIC")
    group_id = record["_id"]

    command(phone, "setGroupTopic", params={"groupChatId": group_id, "message": "New plans"})
    phone.expect_received("CHUNK_SETCHATTOPIC")
    command(phone, "inviteToGroup", params={"groupChatId": group_id, "usernames": ["dave"]})
    phone.expect_received("CHUNK_ADDCHATMEMBERS")
    command(phone, "leaveGroupChat", params={"groupChatId": group_id})
    phone.expect_received("CHUNK_LEAVECHAT")
    phone.expect_write("merge", GROUP_CHAT, flags={"locked": True})


def test_accepting_a_buddy_invite_reaches_the_server(phone):
    sign_in_with_buddy_list(phone)
    phone.server.command("auth_request", account="alice", message="hi", **{"from": "zed"})
    phone.expect_write("put", COMMAND, command="receivedBuddyInvite")
    command(phone, "receivedBuddyInvite", fromUsername="zed", params={"accept": True})
    phone.expect_received("CHUNK_AUTHORIZECONTACT")



def test_a_buddy_deleted_while_the_buddy_list_arrives_is_deleted_at_the_server_once(phone_with_buddy):
    phone = phone_with_buddy
    phone.sign_in()
    # Written as soon as the user is signed in, the command may be read before the buddy list is in: it
    # then waits for the list. The application spells the name its own way.
    command(phone, "deleteBuddy", targetUsername="Zed")
    phone.expect_write("del", COMMAND, command="deleteBuddy")
    assert phone.expect_received("CHUNK_DELETECONTACT") == {"chunk": "CHUNK_DELETECONTACT", "KEY_BUDDYINDEX": 1}
    # The server answers with the entry marked deleted, which takes the contact from the library.
    phone.daemon.wait_for_line("OnContactDeleted - zed")
    assert sum(1 for e in phone.events.history
               if e.get("type") == "received" and e.get("chunk") == "CHUNK_DELETECONTACT") == 1
