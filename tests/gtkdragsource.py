#!/usr/bin/python3
# A GTK window for drag-and-drop tests, as most Linux file managers are: pressing the mouse on it
# starts a drag of the files named on the command line (or, after --list, one a line in a file:
# more than a command line holds), offering a copy and a move. GTK deletes
# the files if the target reports a finished move; when the drag ends the window prints
# "drag ended: N", N being the GDK action chosen (0: none).
import os
import sys
from urllib.parse import quote

import gi

gi.require_version("Gtk", "3.0")
from gi.repository import Gdk, Gtk  # noqa: E402

paths = sys.argv[1:]
if paths[:1] == ["--list"]:
    with open(paths[1], encoding="utf-8") as listed:
        paths = listed.read().splitlines()
window = Gtk.Window(title="Zorv drag source")
window.move(910, 100)
window.set_default_size(100, 200)
area = Gtk.EventBox()
area.add(Gtk.Label(label="drag from here"))
window.add(area)

area.drag_source_set(Gdk.ModifierType.BUTTON1_MASK, [], Gdk.DragAction.COPY | Gdk.DragAction.MOVE)
area.drag_source_add_uri_targets()
area.connect("drag-data-get", lambda widget, context, data, info, time: data.set_uris(
    ["file://" + quote(path) for path in paths]))
area.connect("drag-data-delete", lambda widget, context: [os.remove(path) for path in paths])


def ended(widget, context):
    print("drag ended: %d" % int(context.get_selected_action()), flush=True)


area.connect("drag-end", ended)
window.connect("destroy", Gtk.main_quit)
window.show_all()
Gtk.main()
