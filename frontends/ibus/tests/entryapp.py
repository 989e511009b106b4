#!/usr/bin/python3
# A GTK 3 application with one text entry, for the IBus end-to-end test. It writes its
# text to TEXTFILE after every change (through a temporary file), logs each key press and
# each change with a monotonic time to LOGFILE, and on SIGUSR1 saves the whole screen as
# a PNG to SHOTFILE, on SIGHUP it chooses the property named in TEXTFILE.property (on SIGUSR2 to SHOTFILE with -dialog before .png; the candidate window is another client's window on the same screen).
import os
import signal
import sys
import time

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

text_path, log_path, shot_path = sys.argv[1:4]
log = open(log_path, "a", buffering=1)


def write_text(entry):
    tmp = text_path + ".tmp"
    with open(tmp, "w", encoding="utf-8") as f:
        f.write(entry.get_text())
    os.replace(tmp, text_path)


# Every event passes here first, before GTK and its input-method module see it: a key's
# time is taken as the application receives it from the X server.
def on_event(event, *_):
    if event.type in (Gdk.EventType.KEY_PRESS, Gdk.EventType.KEY_RELEASE):
        kind = "press" if event.type == Gdk.EventType.KEY_PRESS else "release"
        log.write(f"{kind} {time.monotonic():.6f} {event.keyval:x}\n")
    Gtk.main_do_event(event)


def on_changed(entry):
    log.write(f"text {time.monotonic():.6f} {entry.get_text()}\n")
    write_text(entry)


def snapshot(path):
    root = Gdk.get_default_root_window()
    width, height = root.get_width(), root.get_height()
    pixbuf = Gdk.pixbuf_get_from_window(root, 0, 0, width, height)
    pixbuf.savev(path + ".tmp", "png", [], [])
    os.replace(path + ".tmp", path)
    log.write(f"shot {time.monotonic():.6f}\n")
    return True


# A property chosen as the panel's menu chooses it, on this application's own input
# context: the daemon takes such a request only from the context's owner, and the IBus
# connection of a process is one, shared with GTK's input-method module.
def choose_property():
    gi.require_version("IBus", "1.0")
    from gi.repository import IBus

    with open(text_path + ".property", encoding="utf-8") as f:
        name, state = f.read().split()
    bus = IBus.Bus()
    context = IBus.InputContext.get_input_context(bus.current_input_context(), bus.get_connection())
    context.property_activate(name, int(state))
    log.write(f"property {time.monotonic():.6f} {name} {state}\n")
    return True


window = Gtk.Window(title="qxentry")
window.set_default_size(640, 120)
window.move(0, 0)
entry = Gtk.Entry()
window.add(entry)
Gdk.event_handler_set(on_event)
window.connect("destroy", Gtk.main_quit)
entry.connect("changed", on_changed)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR1, snapshot, shot_path)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGUSR2, snapshot, shot_path.replace(".png", "-dialog.png"))
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGHUP, choose_property)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, lambda: (Gtk.main_quit(), False)[1])


def ready(*_):
    entry.grab_focus()
    write_text(entry)
    log.write(f"ready {time.monotonic():.6f}\n")
    return False


window.connect("map-event", lambda *a: GLib.timeout_add(200, ready))
window.show_all()
Gtk.main()
write_text(entry)
