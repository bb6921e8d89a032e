"""vexla-cli holds a dialog and a group chat with the server simulator's scripted users."""

import time

import harness
from serversim import ServerSim
from vexlacli import VexlaCli

SCENARIO = {
    "accounts": [{"name": "alice", "password": "secret"}],
    "chats": [{"members": ["alice", "bob", "carol"], "topic": "Trip",
               "messages": [{"from": "carol", "text": "who drives?"}]}],
}
GROUP_ID = 100


def sim_chat(sim, chat_id, until=lambda chat: True):
    """The simulator's record of the chat once it satisfies until (it handles a packet just after
    recording its receipt)."""
    deadline = time.monotonic() + harness.DEFAULT_TIMEOUT
    while True:
        chat = next(c for c in sim.command("chats")["chats"] if c["id"] == chat_id)
        if until(chat) or time.monotonic() > deadline:
            return chat
        sim.command("wait", match={"type": "never"}, timeout=0.05)


def received(sim, chunk, **fields):
    """The first packet of that kind the simulator received whose attributes include the fields."""
    since = 0
    while True:
        event = sim.wait({"type": "received", "chunk": chunk}, since=since)
        if all(event["packet"].get(key) == value for key, value in fields.items()):
            return event["packet"]
        since = event["seq"] + 1


def messages_added(cli, handle, body):
    """The OnChatMessagesAdded of the chat that carries a message with that body."""
    while True:
        added = cli.expect(event="OnChatMessagesAdded", handle=handle)
        if any(m["body"] == body for m in added["messages"]):
            return added


def signed_in(cli):
    cli.run("login alice secret")
    cli.expect(event="OnLoginSuccess")


def test_two_party_conversation(tmp_path):
    with ServerSim(tmp_path, scenario=SCENARIO) as sim, VexlaCli(tmp_path, sim.port) as cli:
        signed_in(cli)
        handle = cli.run("chat Dave hello dave")["chat"]
        sent = received(sim, "CHUNK_SENDCHATMESSAGE", KEY_CHATMSG_BODY="hello dave")
        chat_id = sent["KEY_CHAT"]
        at_sim = sim_chat(sim, chat_id, lambda chat: chat["messages"])
        assert at_sim["members"] == ["alice", "dave"]
        assert [(m["from"], m["text"]) for m in at_sim["messages"]] == [("alice", "hello dave")]

        assert sim.command("chat_message", to="alice", text="hi alice", **{"from": "dave"})["chat"] == chat_id
        answer = messages_added(cli, handle, "hi alice")
        assert answer["count"] == 1
        assert answer["messages"] == [{"from": "dave", "type": 3, "body": "hi alice", "own": False}]
        assert answer["chat"]["chatId"] == chat_id and answer["chat"]["members"] == ["alice", "dave"]

        # The same dialog again: no second chat at either end.
        assert cli.run("chat dave and again")["chat"] == handle
        received(sim, "CHUNK_SENDCHATMESSAGE", KEY_CHATMSG_BODY="and again")
        assert len(sim_chat(sim, chat_id, lambda chat: len(chat["messages"]) == 3)["messages"]) == 3
        assert len([c for c in sim.command("chats")["chats"] if "dave" in c["members"]]) == 1
        assert cli.quit() == 0


def test_group_chat(tmp_path):
    with ServerSim(tmp_path, scenario=SCENARIO) as sim, VexlaCli(tmp_path, sim.port) as cli:
        signed_in(cli)
        cli.run("chats")
        handle = cli.expect(event="OnEventAdded")["item"]["handle"]
        assert cli.expect(event="OnEventUpdated")["item"]["display"] == "Trip"
        listed = cli.run("chats")["chats"]
        assert [(c["handle"], c["chatId"], c["unread"]) for c in listed] == [(handle, GROUP_ID, 1)]
        assert listed[0]["members"] == ["alice", "bob", "carol"]

        cli.run("open Trip")
        assert sim_chat(sim, GROUP_ID, lambda chat: chat["autosync"])["autosync"] == ["alice"]
        assert messages_added(cli, handle, "who drives?")["messages"][0]["from"] == "carol"
        cli.run(f"send {handle} I drive")
        received(sim, "CHUNK_SENDCHATMESSAGE", KEY_CHAT=GROUP_ID, KEY_CHATMSG_BODY="I drive")

        cli.run(f"topic {handle} Road trip")
        assert messages_added(cli, handle, "Road trip")["messages"][-1]["type"] == 5
        cli.run(f"add-members {handle} dave")
        assert "dave" in sim_chat(sim, GROUP_ID, lambda chat: "dave" in chat["members"])["members"]
        assert sim.command("chat_member", chat=GROUP_ID, remove="bob", **{"from": "carol"})["ok"]
        assert sim.command("chat_message", chat=GROUP_ID, type=7, text="waves", **{"from": "dave"})["ok"]
        messages_added(cli, handle, "waves")
        assert sim_chat(sim, GROUP_ID)["members"] == ["alice", "carol", "dave"]  # the emote came after
        members = None
        for _ in range(5):
            members = cli.run("chats")["chats"][0]["members"]
            if members == ["alice", "carol", "dave"]:
                break
            cli.expect(event="OnEventUpdated")
        assert members == ["alice", "carol", "dave"]

        # Closed, the chat hears of news as unread; marking all read names it to the server.
        cli.run(f"close {handle}")
        assert sim_chat(sim, GROUP_ID, lambda chat: not chat["autosync"])["autosync"] == []
        sim.command("chat_message", chat=GROUP_ID, text="still there?", **{"from": "carol"})
        while cli.expect(event="OnEventUpdated")["item"]["missed"] is not True:
            pass
        cli.run("read-all")
        received(sim, "CHUNK_MARKCHATSREAD", KEY_CHATS=[GROUP_ID])

        cli.run(f"leave {handle}")
        cli.expect(event="OnEventDeleted")
        received(sim, "CHUNK_LEAVECHAT", KEY_CHAT=GROUP_ID)
        assert "alice" not in sim_chat(sim, GROUP_ID, lambda chat: "alice" not in chat["members"])["members"]
        assert cli.run("chats")["chats"] == []
        cli.run("send 12345 hello", ok=False)
        assert cli.quit() == 0
