#!/usr/bin/python3
# A Qt 5 application with one line edit, for the desktop end-to-end tests: text typed in
# through Qt's own input-context plugin (QT_IM_MODULE) is written to TEXTFILE after every
# change, key presses and changes are logged with a monotonic time to LOGFILE.
import os
import signal
import sys
import time

from PyQt5.QtCore import QEvent, QObject, QTimer
from PyQt5.QtWidgets import QApplication, QLineEdit

text_path, log_path = sys.argv[1:3]
log = open(log_path, "a", buffering=1)


def write_text(text):
    with open(text_path + ".tmp", "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(text_path + ".tmp", text_path)


class Presses(QObject):
    def eventFilter(self, obj, event):
        if event.type() == QEvent.KeyPress and obj is edit:
            log.write(f"press {time.monotonic():.6f} {event.key():x}\n")
        return False


app = QApplication(sys.argv[:1])
edit = QLineEdit()
edit.setWindowTitle("qxqt")
edit.resize(400, 40)
edit.move(0, 200)
presses = Presses()
app.installEventFilter(presses)
edit.textChanged.connect(lambda t: (log.write(f"text {time.monotonic():.6f} {t}\n"), write_text(t)))
signal.signal(signal.SIGTERM, lambda *_: app.quit())
timer = QTimer()
timer.start(100)  # lets Python see signals
timer.timeout.connect(lambda: None)
edit.show()
edit.activateWindow()
edit.setFocus()
write_text("")
QTimer.singleShot(300, lambda: log.write(f"ready {time.monotonic():.6f}\n"))
app.exec_()
