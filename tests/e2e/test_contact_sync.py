"""The buddy list mirrored into the phone's contacts: vexlad signs in through platform-sim against
vexla-server-sim, then writes one contact record per buddy and one presence record per network buddy
in batches as fast as the database answers (or 5 buddies every 5 seconds when so set), and the
buddies' pictures as cache files, 2 every 5 seconds."""

import os
import time

import pytest

import harness
from eventqueue import matches
from test_im_login import Phone

SIM = "nylo://com.nylo.sim/"
DB = "nylo://com.nylo.db/"
CONTACT = "com.nylo.contact.vexla:1"
BUDDY_STATUS = "com.nylo.imbuddystatus.vexla:1"
# The picture queue's period, and the paced setting's; measured gaps get a second of slack for the bus
# round trips before the first mark.
TICK = 5.0

PICTURES = {"bob": "00ffd8ffe0", "carol": "ffd8aa", "dave": "ffd8bb"}


def picture_crc(hex_text):
    """The server simulator's picture checksum: FNV-1a over the bytes, top bit cleared."""
    value = 2166136261
    for byte in bytes.fromhex(hex_text):
        value = ((value ^ byte) * 16777619) & 0xFFFFFFFF
    return value & 0x7FFFFFFF


def scenario(extra_buddies=()):
    users = [{"name": "bob", "fullName": "Bob Builder", "mood": "<b>busy</b><font>x</font>", "availability": 3,
              "picture": PICTURES["bob"]},
             {"name": "carol", "availability": 2, "picture": PICTURES["carol"]},
             {"name": "dave", "availability": 1, "picture": PICTURES["dave"]}]
    users += [{"name": name, "availability": 2} for name in extra_buddies]
    buddies = [{"name": "bob"}, {"name": "carol"}, {"name": "dave"},
               {"number": "+31155550000", "fullName": "Office"}] + [{"name": name} for name in extra_buddies]
    return {"accounts": [{"name": "alice", "password": "secret"}], "users": users, "buddies": {"alice": buddies}}


@pytest.fixture
def make_phone(tmp_path):
    phones = []

    def make(settings="", **kwargs):
        phones.append(Phone(str(tmp_path), scenario=scenario(**kwargs), settings=settings))
        return phones[-1]
    yield make
    for phone in phones:
        phone.stop()


def cache_dir(phone):
    return os.path.join(phone.workdir, "data", "avatars", "cache")


def cache_file(phone, name):
    return os.path.join(cache_dir(phone), f"AVATAR_0x{picture_crc(PICTURES[name]):08x}_{name}.jpg")


def expect_contact(phone, operation, **record):
    return phone.expect_write(operation, CONTACT, **record)


def records(phone, kind, database="com.nylo.db"):
    return phone.call(SIM + "dump", {"database": database, "kind": kind})["results"]


def wait_record(phone, kind, database="com.nylo.db", **members):
    """The first record of the kind whose members match, once there is one."""
    def find():
        return next((r for r in records(phone, kind, database) if matches(r, members)), None)
    return harness.wait_until(find, f"a {kind} record with {members}")


def test_buddies_become_contacts_with_presence_and_cached_pictures(make_phone):
    phone = make_phone()
    # A record of a contact that is no longer on the list.
    phone.call(DB + "put", {"objects": [{"_kind": CONTACT, "displayName": "zed"}]})
    phone.sign_in()

    bob = wait_record(phone, CONTACT, displayName="bob")
    assert bob["name"] == {"givenName": "Bob Builder"}
    assert bob["ims"] == [{"value": "bob", "type": "type_vexla", "serviceName": "type_vexla"}]
    assert bob["remoteId"] == "bob" and bob["accountId"]
    status = wait_record(phone, BUDDY_STATUS, "com.nylo.tempdb", username="bob")
    assert (status["availability"], status["status"], status["group"]) == (2, "<b>busy</b>x", "Buddies")
    office = wait_record(phone, CONTACT, displayName="+31155550000")
    assert office["phoneNumbers"] == [{"value": "+31155550000", "type": "type_other"}]
    assert office["name"] == {"givenName": "Office"}
    harness.wait_until(lambda: not any(r.get("displayName") == "zed" for r in records(phone, CONTACT)), "zed deleted")
    assert not any(r.get("username") == "+31155550000" for r in records(phone, BUDDY_STATUS, "com.nylo.tempdb"))

    # Two pictures per tick: bob's and carol's first, dave's a tick later.
    phone.expect_received("CHUNK_GETAVATAR")
    phone.expect_received("CHUNK_GETAVATAR")
    second_request = time.monotonic()
    phone.expect_received("CHUNK_GETAVATAR")
    assert time.monotonic() - second_request >= TICK - 1.0

    for name in PICTURES:
        crc = picture_crc(PICTURES[name])
        path = cache_file(phone, name)
        record = wait_record(phone, CONTACT, displayName=name,
                             avatarCRC=[{"name": "VexlaAvatarCRC", "value": str(crc)}])
        assert record["photos"] == [{"value": path, "type": "type_square", "localPath": path}]
    with open(cache_file(phone, "bob"), "rb") as file:
        assert file.read() == bytes.fromhex(PICTURES["bob"])[1:]
    assert sorted(os.listdir(cache_dir(phone))) == sorted(os.path.basename(cache_file(phone, n)) for n in PICTURES)


def test_presence_pictures_and_deletions_follow_the_network(make_phone):
    phone = make_phone()
    phone.sign_in()
    wait_record(phone, CONTACT, displayName="carol", avatarCRC=lambda crc: crc != [])
    wait_record(phone, BUDDY_STATUS, "com.nylo.tempdb", username="carol", availability=0)

    assert phone.server.command("presence", name="carol", availability=3)["ok"]
    wait_record(phone, BUDDY_STATUS, "com.nylo.tempdb", username="carol", availability=2)
    assert phone.server.command("user", name="carol", mood="<i>out</i><script>x</script>")["ok"]
    wait_record(phone, BUDDY_STATUS, "com.nylo.tempdb", username="carol", status="<i>out</i>x")

    old_file = cache_file(phone, "carol")
    assert phone.server.command("user", name="carol", picture="ffd8cc")["ok"]
    new_file = old_file.replace(f"{picture_crc(PICTURES['carol']):08x}", f"{picture_crc('ffd8cc'):08x}")
    wait_record(phone, CONTACT, displayName="carol", photos=lambda p: bool(p) and p[0]["localPath"] == new_file)
    assert os.path.exists(new_file) and not os.path.exists(old_file)

    for name in ("bob", "+31155550000"):
        assert phone.server.command("remove_buddy", account="alice", name=name)["ok"]
    harness.wait_until(lambda: not any(r.get("displayName") in ("bob", "+31155550000") for r in records(phone, CONTACT)),
               "bob's and the number's contact records deleted")
    harness.wait_until(lambda: not any(r.get("username") == "bob" for r in records(phone, BUDDY_STATUS, "com.nylo.tempdb")),
               "bob's presence record deleted")
    assert {r["displayName"] for r in records(phone, CONTACT)} == {"carol", "dave"}


def test_buddies_are_written_in_one_batch_without_waiting_for_a_tick(make_phone):
    phone = make_phone(extra_buddies=["erin", "frank", "gina"])
    phone.sign_in()
    first = expect_contact(phone, "put")
    started = time.monotonic()
    puts = [first] + [expect_contact(phone, "put") for _ in range(6)]
    assert time.monotonic() - started < TICK - 1.0
    assert len({record["displayName"] for record in puts}) == 7


def test_the_paced_setting_writes_no_more_than_five_buddies_every_five_seconds(make_phone):
    phone = make_phone(settings="CONTACT_SYNC_BATCH 5\nCONTACT_SYNC_PAUSE_MS 5000\n",
                       extra_buddies=["erin", "frank", "gina"])
    phone.sign_in()
    puts = [expect_contact(phone, "put") for _ in range(5)]
    fifth = time.monotonic()
    puts += [expect_contact(phone, "put") for _ in range(2)]
    assert time.monotonic() - fifth >= TICK - 1.0
    assert len({record["displayName"] for record in puts}) == 7
