#!/usr/bin/python3
# A desktop panel as fcitx5 meets one on the session bus (the input-method panel
# protocol, org.kde.impanel): it takes the panel's name and, once fcitx5 has had time to
# see it, asks fcitx5 to trigger the status-area item named on the command line, as a
# panel's menu does when an item is clicked. It keeps the name until it is ended.
#
# usage: panel.py ITEM_NAME
import sys

import gi

gi.require_version("Gio", "2.0")
from gi.repository import Gio, GLib  # noqa: E402

item = sys.argv[1]


def trigger(connection):
    connection.emit_signal(None, "/org/kde/impanel", "org.kde.impanel", "TriggerProperty",
                           GLib.Variant("(s)", ("/Fcitx/" + item,)))
    print("triggered " + item, flush=True)
    return False


def acquired(connection, _name):
    GLib.timeout_add(1500, trigger, connection)


Gio.bus_own_name(Gio.BusType.SESSION, "org.kde.impanel", Gio.BusNameOwnerFlags.NONE, None, acquired, None)
GLib.MainLoop().run()
