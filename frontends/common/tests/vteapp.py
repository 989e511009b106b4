#!/usr/bin/python3
# A GTK terminal (VTE) for the desktop end-to-end tests: what the input method sends to
# the terminal (its "commit", the bytes that go to the program in it) is appended to
# TEXTFILE and logged with a monotonic time to LOGFILE. The terminal runs a shell that
# only waits, so nothing is echoed back.
import os
import signal
import sys
import time

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Vte", "2.91")
from gi.repository import GLib, Gtk, Vte  # noqa: E402

text_path, log_path = sys.argv[1:3]
log = open(log_path, "a", buffering=1)
received = ""


def write_text():
    with open(text_path + ".tmp", "w", encoding="utf-8") as f:
        f.write(received)
    os.replace(text_path + ".tmp", text_path)


def on_commit(_terminal, text, _size):
    global received
    received += text
    log.write(f"text {time.monotonic():.6f} {received}\n")
    write_text()


window = Gtk.Window(title="qxterm")
window.set_default_size(500, 160)
window.move(0, 300)
terminal = Vte.Terminal()
terminal.spawn_async(Vte.PtyFlags.DEFAULT, None, ["/bin/sh", "-c", "stty -echo; exec sleep 600"], None,
                     GLib.SpawnFlags.DEFAULT, None, None, -1, None, None, None)
terminal.connect("commit", on_commit)
window.add(terminal)
window.connect("destroy", Gtk.main_quit)
GLib.unix_signal_add(GLib.PRIORITY_DEFAULT, signal.SIGTERM, lambda: (Gtk.main_quit(), False)[1])


def ready(*_):
    terminal.grab_focus()
    write_text()
    log.write(f"ready {time.monotonic():.6f}\n")
    return False


window.connect("map-event", lambda *a: GLib.timeout_add(200, ready))
window.show_all()
Gtk.main()
