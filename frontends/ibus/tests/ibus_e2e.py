#!/usr/bin/python3
# End-to-end: qx typing into a real GTK 3 entry through IBus. Everything runs privately:
# Xvfb on a free display, a D-Bus session of its own, ibus-daemon that knows only our
# component, HOME and the qx home in a temporary folder. Keys come from xdotool; the
# entry's text is read back after each step. Prints the key latency through IBus (press
# seen by the application to the commit arriving there) and leaves a screenshot with the
# candidate window open. Every process started is ended, also on failure or timeout.
#
# usage: ibus_e2e.py BIN_DIR COMPONENT_DIR OUT_DIR
import os
import shutil
import signal
import subprocess
import sys
import time

BIN, COMPONENT, OUT = sys.argv[1:4]
HERE = os.path.dirname(os.path.abspath(__file__))
COMMON = os.path.join(HERE, "..", "..", "common", "tests")
sys.path.insert(0, COMMON)
from desktopprocesses import start, wait_for  # noqa: E402
from desktopsession import PYTHON, Desktop, read, run_test  # noqa: E402

failures = []


def run(tmp):
    desktop = Desktop(tmp, failures, ("IBUS_", "DBUS_", "XDG_", "GTK_", "QT_"), IBUS_COMPONENT_PATH=COMPONENT,
                      GSETTINGS_BACKEND="keyfile", GTK_IM_MODULE="ibus", QT_IM_MODULE="ibus")
    env, keys, windows = desktop.env, desktop.keys, desktop.windows
    # IBus's settings in a file of the temporary home: qx is the one engine the panel
    # lists (it gives up on an empty list), and nothing of the user's is read or written.
    os.makedirs(tmp + "/config/glib-2.0/settings")
    with open(tmp + "/config/glib-2.0/settings/keyfile", "w") as f:
        f.write("[desktop/ibus/general]\npreload-engines=['qx']\nengines-order=['qx']\n")
    desktop.start_display_and_bus()

    # The settings the first steps need, in the private qx home: five-stroke first.
    subprocess.run([BIN + "/qxreg", "add", "HKLM\\Software\\QX", "/v", "五笔优先", "/t", "REG_DWORD", "/d", "1"],
                   env=env, check=True, stdout=subprocess.DEVNULL)

    start(["ibus-daemon", "--panel=/usr/libexec/ibus-ui-gtk3", "--config=disable", "--cache=none"],
          env, stdout=subprocess.DEVNULL, stderr=open(tmp + "/ibus-daemon.log", "w"))
    wait_for("the IBus daemon", lambda: subprocess.run(["ibus", "address"], env=env, capture_output=True)
             .stdout.strip() not in (b"", b"(null)"), 15)

    text_file, log_file, shot = tmp + "/text", tmp + "/log", os.path.join(OUT, "ibus-candidates.png")
    if os.path.exists(shot):
        os.remove(shot)
    app = start([PYTHON, HERE + "/entryapp.py", text_file, log_file, shot], env, stderr=open(tmp + "/app.log", "w"))
    wait_for("the application", lambda: os.path.exists(log_file) and "ready" in open(log_file).read(), 20)
    wait_for("qx as the engine", lambda: subprocess.run(["ibus", "engine", "qx"], env=env,
                                                         capture_output=True).returncode == 0, 15)

    def text():
        return read(text_file)

    def expect(name, wanted, seconds=8):
        desktop.expect(name, text_file, wanted, seconds, holder="the entry")

    # The pointer over the entry gives it the keyboard without a window manager.
    subprocess.run(["xdotool", "mousemove", "200", "40", "click", "1"], env=env, check=True)
    # The engine is started by the daemon on demand: wait until a key is taken.
    keys("k", "h", "k", "space")
    expected = "中"
    try:
        wait_for("the first character", lambda: text() == expected, 20)
        print("ok: five-stroke khk Space: '中'")
    except TimeoutError:
        failures.append(f"five-stroke khk Space: the entry holds {text()!r}")
        return

    # The candidate window open, pictured; then the choice.
    keys("k", "h", "k")
    time.sleep(0.6)
    os.kill(app.pid, signal.SIGUSR1)
    wait_for("the screenshot", lambda: os.path.exists(shot), 10)
    keys("space")
    expected += "中"
    expect("five-stroke with the candidate window pictured", expected)

    # Latency: each five-stroke character's Space, from press to commit, seen by the application.
    rounds = 40
    for _ in range(rounds):
        keys("k", "h", "k", "space", delay=15)
    expected += "中" * rounds
    expect("latency rounds", expected, 20)

    # Ctrl alone: English, letters pass through; Ctrl again: Chinese.
    keys("Control_L")
    keys("a", "b", "c")
    expected += "abc"
    expect("Ctrl to English, letters pass through", expected)
    keys("Control_L")
    keys("k", "h", "k", "space")
    expected += "中"
    expect("Ctrl back to Chinese", expected)

    # i9: from five-stroke to the phonetic-shape edition; a code of its own.
    keys("i", "9")
    keys("z", "l", "space")
    expected += "中"
    expect("phonetic-shape edition zl Space", expected)

    # i6: pinyin; a sentence longer than the box (34 letters), committed whole by one Space.
    keys("i", "6")
    keys(*"zhegechengshidejiaotonghenfangbian", "space")
    expected += "这个城市的交通很方便"
    expect("pinyin sentence of 34 letters", expected)

    # [ opens the public address list; bd, then row 1.
    keys("bracketleft", "b", "d", "1")
    expected += "www.baidu.com"
    expect("web address [bd1", expected)

    # The status bar's properties, chosen as the desktop's menu chooses them.
    def choose(name, state=1):
        marks = open(log_file).read().count("property ")
        with open(text_file + ".property", "w") as f:
            f.write(f"{name} {state}\n")
        os.kill(app.pid, signal.SIGHUP)
        wait_for("the property " + name, lambda: open(log_file).read().count("property ") > marks, 10)
        time.sleep(0.3)

    choose("qx.chinese")  # English: letters pass through
    keys("x", "y")
    expected += "xy"
    expect("property Chinese/English to English", expected)
    choose("qx.chinese")
    choose("qx.mode.wubi")  # from the address mode, through the module's own i5
    keys("k", "h", "k", "space")
    expected += "中"
    expect("property 五笔 then khk Space", expected)
    choose("qx.width", 1)  # full width: a digit typed while idle is a full-width one
    keys("7")
    expected += "７"
    expect("property full width then 7", expected)
    choose("qx.width", 0)
    keys("7")
    expected += "7"
    expect("property half width then 7", expected)

    # A soft keyboard from the width button's menu: its layout types the keys; off again.
    choose("qx.soft.2")  # Russian: the A key is л
    keys("a")
    expected += "л"
    expect("property soft keyboard (Russian) then a", expected)
    choose("qx.soft.off")
    keys("k", "h", "k", "space")
    expected += "中"
    expect("property soft keyboard off then khk Space", expected)

    # A dialog of the module as a desktop window: 关于 from the menu, pictured, closed with Esc.
    dialog_shot = shot.replace(".png", "-dialog.png")
    if os.path.exists(dialog_shot):
        os.remove(dialog_shot)
    choose("qx.dialog.about")
    try:
        window = wait_for("the about dialog's window", lambda: windows("关于"), 10)[0]
        time.sleep(0.5)
        os.kill(app.pid, signal.SIGUSR2)
        wait_for("the dialog's screenshot", lambda: os.path.exists(dialog_shot), 10)
        desktop.focus(window)
        keys("Escape")
        wait_for("the about dialog to close", lambda: not windows("关于"), 10)
        print("ok: 关于 shown as a desktop window and closed with Esc")
    except TimeoutError as e:
        desktop.fail(str(e))
    # The keyboard back to the entry (a click would move its caret), its context focused again.
    entry_window = windows("^qxentry$")[0]
    desktop.focus(entry_window)
    time.sleep(0.5)
    keys("k", "h", "k", "space")
    expected += "中"
    expect("typing goes on after the dialog", expected)

    # 我的个性: Space on the focused check box (a key through the typist), then a click on
    # 确定 (the mouse handed back at the dialog's own coordinates); one setting changes.
    def settings():
        out = subprocess.run([BIN + "/qxreg", "query", "HKLM\\Software\\QX"], env=env, capture_output=True)
        return sorted(line for line in out.stdout.decode("utf-8", "replace").splitlines() if "REG_DWORD" in line)

    before = settings()
    choose("qx.dialog.settings")
    try:
        window = wait_for("the settings dialog's window", lambda: windows("我的个性"), 10)[0]
        desktop.focus(window)
        time.sleep(0.3)
        keys("space")
        geometry = subprocess.run(["xdotool", "getwindowgeometry", "--shell", window], env=env,
                                  capture_output=True, text=True).stdout
        g = dict(line.split("=") for line in geometry.split())
        x0, y0, w, h = int(g["X"]), int(g["Y"]), int(g["WIDTH"]), int(g["HEIGHT"])
        # 确定 stands at 55..88 x 162..176 of the dialog's 179 x 183 units, below a caption.
        frame, caption = 3, 18
        x = x0 + frame + round(71.5 / 179 * (w - 2 * frame))
        y = y0 + frame + caption + round(169 / 183 * (h - 2 * frame - caption))
        subprocess.run(["xdotool", "mousemove", str(x), str(y), "click", "1"], env=env, check=True)
        wait_for("the settings dialog to close", lambda: not windows("我的个性"), 10)
        after = settings()
        changed = [a for a, b in zip(after, before) if a != b]
        if len(after) != len(before) or len(changed) != 1:
            raise TimeoutError(f"one setting should change: before {before}, after {after}")
        print(f"ok: 我的个性 ticked with Space and closed with a click on 确定: {changed[0].split()[0]}")
    except TimeoutError as e:
        desktop.fail(str(e))

    desktop.report_latency(log_file, rounds, "IBus")
    shutil.copy(log_file, os.path.join(OUT, "ibus-e2e-events.log"))

    # A Qt application (Qt's own IBus input-context plugin) and a terminal (a GTK terminal
    # widget): five-stroke khk Space arrives in each as 中.
    desktop.other_applications()

    # The application closes while 自造词组, opened by the third identical wrong key, is
    # open: the engine lets the dialog finish, survives, and types into the next one.
    desktop.focus(entry_window)
    time.sleep(0.5)
    choose("qx.mode.phonetic")
    keys("a", "b", "c", "d", "z", "z", "z")
    try:
        window = wait_for("the phrase dialog from the third wrong key", lambda: windows("自造词组"), 10)[0]
        os.kill(app.pid, signal.SIGTERM)
        app.wait(10)
        time.sleep(0.5)
        desktop.focus(window)
        keys("Escape")
        wait_for("the phrase dialog to close", lambda: not windows("自造词组"), 10)
        print("ok: the application closed while the dialog of the third wrong key was open")
    except (TimeoutError, subprocess.SubprocessError) as e:
        desktop.fail(f"third wrong key, application closed: {e}")
        return
    second_text, second_log = tmp + "/text2", tmp + "/log2"
    start([PYTHON, HERE + "/entryapp.py", second_text, second_log, shot], env, stderr=open(tmp + "/app2.log", "w"))
    wait_for("the second application", lambda: os.path.exists(second_log) and "ready" in open(second_log).read(), 20)
    subprocess.run(["xdotool", "mousemove", "200", "40", "click", "1"], env=env, check=True)
    time.sleep(0.3)
    keys("z", "l", "space")
    try:
        wait_for("typing after the application closed",
                 lambda: os.path.exists(second_text) and open(second_text, encoding="utf-8").read() == "中", 15)
        print("ok: the engine survived and types into the next application: '中'")
    except TimeoutError:
        held = open(second_text, encoding="utf-8").read() if os.path.exists(second_text) else ""
        desktop.fail(f"the engine after the application closed: the entry holds {held!r}")


if __name__ == "__main__":
    run_test(run, failures, "ibus", 110, ("ibus-daemon.log", "app.log"), OUT)
