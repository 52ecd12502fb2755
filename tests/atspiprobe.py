#!/usr/bin/python3
"""Reads the program's window through AT-SPI, as a screen reader does.

Usage: atspiprobe.py PID [press]. Prints one line for each named element of the program with
PID: its role, name and, where it has them, its value, its actions, its description and its
extents in the window (x, y, width, height). With
"press", then performs the first action of the element named "Drop area".
"""
import sys
import time

import pyatspi


def walk(node, depth=0):
    if node is None or depth > 12:
        return
    yield node
    for index in range(node.childCount):
        yield from walk(node.getChildAtIndex(index), depth + 1)


def main():
    pid = int(sys.argv[1])
    deadline = time.monotonic() + 15
    application = None
    while application is None and time.monotonic() < deadline:
        desktop = pyatspi.Registry.getDesktop(0)
        for index in range(desktop.childCount):
            candidate = desktop.getChildAtIndex(index)
            if candidate is not None and candidate.get_process_id() == pid:
                application = candidate
        if application is None:
            time.sleep(0.2)
    if application is None:
        print("no application with pid", pid, file=sys.stderr)
        return 1

    drop_area = None
    for node in walk(application):
        if not node.name:
            continue
        fields = ["role=" + node.getRoleName(), "name=" + node.name]
        try:
            fields.append("value=%g" % node.queryValue().currentValue)
        except NotImplementedError:
            pass
        try:
            action = node.queryAction()
            fields.append("actions=" + ",".join(action.getName(i) for i in range(action.nActions)))
        except NotImplementedError:
            pass
        if node.description:
            fields.append("description=" + node.description.replace("\n", " / "))
        try:
            box = node.queryComponent().getExtents(pyatspi.WINDOW_COORDS)
            fields.append("extents=%d,%d,%d,%d" % (box.x, box.y, box.width, box.height))
        except NotImplementedError:
            pass
        print("\t".join(fields))
        if node.name == "Drop area":
            drop_area = node
    sys.stdout.flush()
    if len(sys.argv) > 2 and sys.argv[2] == "press":
        if drop_area is None:
            print("no drop area", file=sys.stderr)
            return 1
        drop_area.queryAction().doAction(0)
    return 0


if __name__ == "__main__":
    sys.exit(main())
