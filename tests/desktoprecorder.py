#!/usr/bin/python3
"""A notification service and a launcher-entry listener of the tests' own, on the session bus.

Usage: desktoprecorder.py FILE. Owns org.freedesktop.Notifications, says "ready" on standard
output, and appends to FILE one line for each notification asked for
("notify<TAB>APP<TAB>ICON<TAB>SUMMARY<TAB>BODY", new lines in BODY as "|") and for each launcher
entry update ("update<TAB>URI<TAB>PROGRESS<TAB>VISIBLE<TAB>COUNT"). Runs until it is ended.
"""
import sys

from gi.repository import Gio, GLib

INTERFACE = """
<node>
  <interface name="org.freedesktop.Notifications">
    <method name="Notify">
      <arg type="s" direction="in"/><arg type="u" direction="in"/><arg type="s" direction="in"/>
      <arg type="s" direction="in"/><arg type="s" direction="in"/><arg type="as" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="i" direction="in"/>
      <arg type="u" direction="out"/>
    </method>
    <method name="GetServerInformation">
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
      <arg type="s" direction="out"/><arg type="s" direction="out"/>
    </method>
  </interface>
</node>
"""


def main():
    record = open(sys.argv[1], "a", buffering=1, encoding="utf-8")
    node = Gio.DBusNodeInfo.new_for_xml(INTERFACE)

    def called(connection, sender, path, interface, method, parameters, invocation):
        if method == "Notify":
            app, _, icon, summary, body = parameters.unpack()[:5]
            record.write("\t".join(["notify", app, icon, summary, body.replace("\n", "|")]) + "\n")
            invocation.return_value(GLib.Variant("(u)", (1,)))
        else:
            invocation.return_value(GLib.Variant("(ssss)", ("recorder", "tests", "1", "1.2")))

    def updated(connection, sender, path, interface, signal, parameters):
        uri, properties = parameters.unpack()
        record.write("\t".join(["update", uri, "%g" % properties.get("progress", -1),
                                str(properties.get("progress-visible")),
                                str(properties.get("count"))]) + "\n")

    def acquired(connection, name):
        print("ready", flush=True)

    bus = Gio.bus_get_sync(Gio.BusType.SESSION, None)
    bus.register_object("/org/freedesktop/Notifications", node.interfaces[0], called, None, None)
    bus.signal_subscribe(None, "com.canonical.Unity.LauncherEntry", "Update", None, None,
                         Gio.DBusSignalFlags.NONE, updated)
    Gio.bus_own_name_on_connection(bus, "org.freedesktop.Notifications",
                                   Gio.BusNameOwnerFlags.NONE, acquired, None)
    GLib.MainLoop().run()


if __name__ == "__main__":
    main()
