#!/usr/bin/python3
"""A small Tesk service for the end-to-end suites, written straight on Gio (independently of the bus
layer under test): owns the names given on the command line on the private bus (--public: the public
one) and answers on category "/":
  echo    the payload back
  stream  {"n": 0} as the method return, then {"n": 1} ... {"n": count-1} as Reply signals
          (count from the payload, default 3)
  fail    {"returnValue": false, "errorCode": "E_TEST", "errorText": "failed on purpose"}
  hold    nothing (the caller waits)
  Cancel  prints "cancelled SERIAL"
Every other call is printed first as "call METHOD PAYLOAD".
Prints "ready" once every name is owned; ends when its bus goes away.
"""

import json
import os
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

INTERFACE_XML = """
<node>
  <interface name="com.nylo.Tesk1">
    <method name="echo"><arg type="s" direction="in"/><arg type="s" direction="out"/></method>
    <method name="stream"><arg type="s" direction="in"/><arg type="s" direction="out"/></method>
    <method name="fail"><arg type="s" direction="in"/><arg type="s" direction="out"/></method>
    <method name="hold"><arg type="s" direction="in"/><arg type="s" direction="out"/></method>
    <method name="Cancel"><arg type="u" direction="in"/></method>
    <signal name="Reply"><arg type="u"/><arg type="s"/></signal>
  </interface>
</node>
"""

held = []


def say(text):
    print(text, flush=True)


def on_call(connection, sender, path, interface, method, parameters, invocation):
    if method == "Cancel":
        say(f"cancelled {parameters.unpack()[0]}")
        invocation.return_value(None)
        return
    payload = parameters.unpack()[0]
    say(f"call {method} {payload}")
    if method == "echo":
        invocation.return_value(GLib.Variant("(s)", (payload,)))
    elif method == "fail":
        reply = {"returnValue": False, "errorCode": "E_TEST", "errorText": "failed on purpose"}
        invocation.return_value(GLib.Variant("(s)", (json.dumps(reply),)))
    elif method == "stream":
        serial = invocation.get_message().get_serial()
        count = json.loads(payload).get("count", 3)
        invocation.return_value(GLib.Variant("(s)", (json.dumps({"n": 0}),)))
        for n in range(1, count):
            connection.emit_signal(sender, path, interface, "Reply", GLib.Variant("(us)", (serial, json.dumps({"n": n}))))
    elif method == "hold":
        held.append(invocation)


def main():
    args = sys.argv[1:]
    public = "--public" in args
    names = [a for a in args if a != "--public"]
    address = os.environ["TESK_PUBLIC_BUS_ADDRESS" if public else "TESK_PRIVATE_BUS_ADDRESS"]
    connection = Gio.DBusConnection.new_for_address_sync(
        address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION, None, None)
    loop = GLib.MainLoop()
    connection.connect("closed", lambda *unused: loop.quit())
    interface = Gio.DBusNodeInfo.new_for_xml(INTERFACE_XML).interfaces[0]
    connection.register_object("/", interface, on_call, None, None)
    for name in names:
        result = connection.call_sync("org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus",
                                      "RequestName", GLib.Variant("(su)", (name, 4)), None, 0, -1, None)
        if result.unpack()[0] not in (1, 4):
            say(f"cannot own {name}")
            return 1
    say("ready")
    loop.run()
    return 0


if __name__ == "__main__":
    sys.exit(main())
