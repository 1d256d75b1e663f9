#!/usr/bin/python3
"""A screen reader's view of one process, through AT-SPI (pyatspi).

  atspi_client.py tree PID          every object of the process's windows, one
                                    JSON object a line, depth first
  atspi_client.py focus PID SECONDS prints "ready", then each object that gets
                                    the focus as a JSON line, for SECONDS
"""
import json
import sys

import pyatspi
from gi.repository import GLib


def application(pid):
    for _ in range(50):
        for app in pyatspi.Registry.getDesktop(0):
            try:
                if app is not None and app.get_process_id() == pid:
                    return app
            except Exception:
                pass
        GLib.usleep(100000)
    sys.exit("no application of process %d on the accessibility bus" % pid)


def describe(node, depth):
    states = [pyatspi.stateToString(s) for s in node.getState().getStates()]
    entry = {"depth": depth, "role": node.getRoleName(), "name": node.name or "",
             "description": node.description or "", "states": states,
             "children": node.childCount}
    try:
        value = node.queryValue()
        entry["value"] = value.currentValue
        entry["maximum"] = value.maximumValue
    except NotImplementedError:
        pass
    return entry


def walk(node, depth):
    print(json.dumps(describe(node, depth)), flush=True)
    for i in range(node.childCount):
        child = node.getChildAtIndex(i)
        if child is not None:
            walk(child, depth + 1)


def focus(pid, seconds):
    def on_event(event):
        if event.detail1 == 1 and event.host_application.get_process_id() == pid:
            print(json.dumps({"focus": event.source.name or "",
                              "role": event.source.getRoleName()}), flush=True)

    pyatspi.Registry.registerEventListener(on_event, "object:state-changed:focused")
    GLib.timeout_add(int(seconds * 1000), pyatspi.Registry.stop)
    GLib.idle_add(lambda: print("ready", flush=True) and False)
    pyatspi.Registry.start()


def main():
    mode, pid = sys.argv[1], int(sys.argv[2])
    if mode == "tree":
        walk(application(pid), 0)
    elif mode == "focus":
        application(pid)
        focus(pid, float(sys.argv[3]))


main()
