#!/usr/bin/python3
# End-to-end: qx typing through the real fcitx5 daemon into a GTK 3 entry (fcitx5's GTK
# module), a Qt line edit (fcitx5's Qt plugin) and a GTK terminal. Everything runs
# privately: Xvfb on a free display, a D-Bus session of its own, fcitx5 with a profile of
# qx alone, HOME and the qx home in a temporary folder. Keys come from xdotool. Prints the
# key latency (press seen by the application to the commit arriving there), leaves a
# screenshot with fcitx5's candidate window open, one with the about box chosen from the
# input-method menu and one with the phrase dialog that the third identical wrong key
# opens (both shown by the dialog program, desktop windows of their own).
#
# usage: fcitx5_e2e.py BIN_DIR FCITX5_DATA_DIR OUT_DIR
import os
import signal
import subprocess
import sys
import time

BIN, DATA, OUT = sys.argv[1:4]
HERE = os.path.dirname(os.path.abspath(__file__))
COMMON = os.path.join(HERE, "..", "..", "common", "tests")
sys.path.insert(0, COMMON)
from desktopprocesses import start, wait_for  # noqa: E402
from desktopsession import PYTHON, Desktop, read, run_test  # noqa: E402

GTK_APP = os.path.join(HERE, "..", "..", "ibus", "tests", "entryapp.py")
failures = []


PROFILE = """[Groups/0]
Name=Default
Default Layout=us
DefaultIM=qx

[Groups/0/Items/0]
Name=keyboard-us
Layout=

[Groups/0/Items/1]
Name=qx
Layout=

[GroupOrder]
0=Default
"""

# Shift and Ctrl alone are qx's own keys: fcitx5's hot keys for them are taken away.
CONFIG = """[Hotkey]
EnumerateWithTriggerKeys=True

[Hotkey/TriggerKeys]
0=Control+Shift+F12

[Hotkey/AltTriggerKeys]
0=Control+Shift+F11

[Hotkey/EnumerateForwardKeys]
0=Control+Shift+F10

[Hotkey/EnumerateBackwardKeys]
0=Control+Shift+F9

[Hotkey/EnumerateGroupForwardKeys]
0=Control+Shift+F8

[Hotkey/EnumerateGroupBackwardKeys]
0=Control+Shift+F7

[Behavior]
ActiveByDefault=True
ShareInputState=All
ShowInputMethodInformation=False
"""


def run(tmp):
    desktop = Desktop(tmp, failures, ("IBUS_", "DBUS_", "XDG_", "GTK_", "QT_", "FCITX_", "XMODIFIERS"),
                      GSETTINGS_BACKEND="memory", GTK_IM_MODULE="fcitx", QT_IM_MODULE="fcitx",
                      XMODIFIERS="@im=fcitx",
                      # Our addon from the build folder beside fcitx5's own.
                      FCITX_ADDON_DIRS=BIN + ":/usr/lib/x86_64-linux-gnu/fcitx5",
                      FCITX_DATA_DIRS=DATA + ":/usr/share/fcitx5", SKIP_FCITX_PATH="1")
    env, keys, windows = desktop.env, desktop.keys, desktop.windows
    os.makedirs(tmp + "/config/fcitx5")
    with open(tmp + "/config/fcitx5/profile", "w") as f:
        f.write(PROFILE)
    with open(tmp + "/config/fcitx5/config", "w") as f:
        f.write(CONFIG)
    desktop.start_display_and_bus()

    subprocess.run([BIN + "/qxreg", "add", "HKLM\\Software\\QX", "/v", "五笔优先", "/t", "REG_DWORD", "/d", "1"],
                   env=env, check=True, stdout=subprocess.DEVNULL)
    start(["fcitx5", "--disable=wayland,waylandim,notificationitem,ibusfrontend,fcitx4frontend"],
          env, stdout=subprocess.DEVNULL, stderr=open(tmp + "/fcitx5.log", "w"))
    wait_for("fcitx5", lambda: subprocess.run(["fcitx5-remote"], env=env, capture_output=True).returncode == 0
             and subprocess.run(["fcitx5-remote"], env=env, capture_output=True).stdout.strip() != b"0", 20)

    text_file, log_file = tmp + "/text", tmp + "/log"
    shot = os.path.join(OUT, "fcitx5-candidates.png")
    dialog_shot = shot.replace(".png", "-dialog.png")
    for old in (shot, dialog_shot):
        if os.path.exists(old):
            os.remove(old)
    app = start([PYTHON, GTK_APP, text_file, log_file, shot], env, stderr=open(tmp + "/app.log", "w"))
    wait_for("the application", lambda: "ready" in read(log_file), 20)

    expect = desktop.expect

    subprocess.run(["xdotool", "mousemove", "200", "40", "click", "1"], env=env, check=True)
    subprocess.run(["fcitx5-remote", "-s", "qx"], env=env, check=True)
    time.sleep(0.5)
    keys("k", "h", "k", "space")
    expected = "中"
    try:
        wait_for("the first character", lambda: read(text_file) == expected, 20)
        print("ok: five-stroke khk Space into the GTK entry: '中'")
    except TimeoutError:
        failures.append(f"five-stroke khk Space: the entry holds {read(text_file)!r}; "
                        f"fcitx5 says {subprocess.run(['fcitx5-remote', '-n'], env=env, capture_output=True).stdout!r}")
        return

    # fcitx5's candidate window, pictured with the code typed; then the choice.
    keys("k", "h", "k")
    time.sleep(0.8)
    os.kill(app.pid, signal.SIGUSR1)
    wait_for("the screenshot", lambda: os.path.exists(shot), 10)
    keys("space")
    expected += "中"
    expect("five-stroke with the candidate window pictured", text_file, expected)

    rounds = 40
    for _ in range(rounds):
        keys("k", "h", "k", "space", delay=15)
    expected += "中" * rounds
    expect("latency rounds", text_file, expected, 20)

    keys("Control_L")
    keys("a", "b", "c")
    expected += "abc"
    expect("Ctrl to English, letters pass through", text_file, expected)
    keys("Control_L")
    keys("i", "6")
    # The sentence row: one Space commits the whole line.
    keys(*"zhongguoren", "space")
    expected += "中国人"
    expect("pinyin sentence zhongguoren", text_file, expected)
    keys("bracketleft", "b", "d", "1")
    expected += "www.baidu.com"
    expect("web address [bd1", text_file, expected)
    keys("Escape", "i", "5")

    # The third identical wrong key: 自造词组 in the dialog program, a window of its own.
    keys("i", "9")
    keys("a", "b", "c", "d", "z", "z", "z")
    try:
        window = wait_for("the phrase dialog", lambda: windows("自造词组"), 15)[0]
        time.sleep(0.8)
        os.kill(app.pid, signal.SIGUSR2)
        wait_for("the dialog's screenshot", lambda: os.path.exists(dialog_shot), 10)
        desktop.focus(window)
        keys("Escape")
        wait_for("the phrase dialog to close", lambda: not windows("自造词组"), 10)
        print("ok: 自造词组 opened by the third wrong key in a window of its own, closed with Esc")
    except (TimeoutError, subprocess.SubprocessError) as e:
        desktop.fail(f"the phrase dialog: {e}")
    entry = windows("^qxentry$")[0]
    desktop.focus(entry)
    time.sleep(0.5)
    keys("z", "l", "space")
    expected += "中"
    expect("typing goes on after the dialog", text_file, expected)
    desktop.report_latency(log_file, rounds, "fcitx5")

    # 关于 chosen from the input-method menu, as a desktop panel asks fcitx5 for it (the
    # panel then shows fcitx5's windows itself: this comes after the candidate window's
    # picture). The dialog program shows the box; pictured, then closed with Esc.
    os.replace(dialog_shot, dialog_shot.replace("-dialog.png", "-phrase-dialog.png"))
    panel = start([PYTHON, os.path.join(HERE, "panel.py"), "qx.dialog.about"], env, stdout=subprocess.PIPE)
    try:
        window = wait_for("the about box chosen from the menu", lambda: windows("关于"), 15)[0]
        time.sleep(0.8)
        os.kill(app.pid, signal.SIGUSR2)
        wait_for("the about box's screenshot", lambda: os.path.exists(dialog_shot), 10)
        desktop.focus(window)
        keys("Escape")
        wait_for("the about box to close", lambda: not windows("关于"), 10)
        print("ok: 关于 chosen from the menu, shown by the dialog program, closed with Esc")
    except (TimeoutError, subprocess.SubprocessError) as e:
        desktop.fail(f"the menu's about box: {e}")
    os.kill(panel.pid, signal.SIGTERM)

    # A Qt application and a terminal, through fcitx5's Qt plugin and GTK module; five-stroke
    # again, typed in the entry.
    desktop.focus(entry)
    time.sleep(0.5)
    keys("i", "5")
    desktop.other_applications()


if __name__ == "__main__":
    run_test(run, failures, "fcitx5", 150, ("fcitx5.log", "app.log"), OUT)
