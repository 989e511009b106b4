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
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

BIN, DATA, OUT = sys.argv[1:4]
HERE = os.path.dirname(os.path.abspath(__file__))
COMMON = os.path.join(HERE, "..", "..", "common", "tests")
sys.path.insert(0, COMMON)
from desktopprocesses import start, stop_all, timeout, wait_for  # noqa: E402

GTK_APP = os.path.join(HERE, "..", "..", "ibus", "tests", "entryapp.py")
PYTHON = "/usr/bin/python3"
failures = []


def read(path):
    try:
        return open(path, encoding="utf-8").read()
    except FileNotFoundError:
        return ""


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


def main():
    signal.signal(signal.SIGALRM, timeout)
    signal.alarm(150)
    tmp = tempfile.mkdtemp(prefix="qx-fcitx5-")
    try:
        run(tmp)
    finally:
        stop_all()
        for name in ("fcitx5.log", "app.log"):
            if os.path.exists(os.path.join(tmp, name)):
                shutil.copy(os.path.join(tmp, name), os.path.join(OUT, "fcitx5-e2e-" + name))
        shutil.rmtree(tmp, ignore_errors=True)
        signal.alarm(0)


def run(tmp):
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("IBUS_", "DBUS_", "XDG_", "GTK_", "QT_", "FCITX_", "XMODIFIERS"))}
    env.update(HOME=tmp, XDG_CONFIG_HOME=tmp + "/config", XDG_CACHE_HOME=tmp + "/cache",
               XDG_DATA_HOME=tmp + "/data", XDG_RUNTIME_DIR=tmp + "/run", QX_HOME=tmp + "/qx",
               GSETTINGS_BACKEND="memory", NO_AT_BRIDGE="1", LANG="C.UTF-8",
               GTK_IM_MODULE="fcitx", QT_IM_MODULE="fcitx", XMODIFIERS="@im=fcitx",
               # Our addon from the build folder beside fcitx5's own.
               FCITX_ADDON_DIRS=BIN + ":/usr/lib/x86_64-linux-gnu/fcitx5",
               FCITX_DATA_DIRS=DATA + ":/usr/share/fcitx5", SKIP_FCITX_PATH="1")
    os.makedirs(tmp + "/run", mode=0o700)
    os.makedirs(tmp + "/config/fcitx5")
    with open(tmp + "/config/fcitx5/profile", "w") as f:
        f.write(PROFILE)
    with open(tmp + "/config/fcitx5/config", "w") as f:
        f.write(CONFIG)

    read_fd, write_fd = os.pipe()
    start(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x600x24", "-nolisten", "tcp"],
          env, pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
    os.close(write_fd)
    with os.fdopen(read_fd, "rb") as r:
        display = r.readline().strip()
    if not display:
        raise RuntimeError("Xvfb did not start")
    env["DISPLAY"] = ":" + display.decode()
    bus = start(["dbus-daemon", "--session", "--nofork", "--print-address"], env, stdout=subprocess.PIPE)
    env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()

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

    def keys(*names, delay=30):
        subprocess.run(["xdotool", "key", "--delay", str(delay), *names], env=env, check=True, timeout=30)

    def windows(title):
        found = subprocess.run(["xdotool", "search", "--name", title], env=env, capture_output=True, text=True)
        return found.stdout.split()

    def expect(name, path, wanted, seconds=8):
        try:
            wait_for(name, lambda: read(path) == wanted, seconds)
            print(f"ok: {name}: {wanted!r}")
            return True
        except TimeoutError:
            failures.append(f"{name}: wanted {wanted!r}, it holds {read(path)!r}")
            print("FAILED: " + failures[-1])
            return False

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
        subprocess.run(["xdotool", "windowfocus", "--sync", window], env=env, check=True, timeout=10)
        keys("Escape")
        wait_for("the phrase dialog to close", lambda: not windows("自造词组"), 10)
        print("ok: 自造词组 opened by the third wrong key in a window of its own, closed with Esc")
    except (TimeoutError, subprocess.SubprocessError) as e:
        failures.append(f"the phrase dialog: {e}")
        print("FAILED: " + failures[-1])
    entry = windows("^qxentry$")[0]
    subprocess.run(["xdotool", "windowfocus", "--sync", entry], env=env, check=True, timeout=10)
    time.sleep(0.5)
    keys("z", "l", "space")
    expected += "中"
    expect("typing goes on after the dialog", text_file, expected)
    report_latency(log_file, rounds)

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
        subprocess.run(["xdotool", "windowfocus", "--sync", window], env=env, check=True, timeout=10)
        keys("Escape")
        wait_for("the about box to close", lambda: not windows("关于"), 10)
        print("ok: 关于 chosen from the menu, shown by the dialog program, closed with Esc")
    except (TimeoutError, subprocess.SubprocessError) as e:
        failures.append(f"the menu's about box: {e}")
        print("FAILED: " + failures[-1])
    os.kill(panel.pid, signal.SIGTERM)

    # A Qt application and a terminal, through fcitx5's Qt plugin and GTK module; five-stroke
    # again, typed in the entry.
    subprocess.run(["xdotool", "windowfocus", "--sync", entry], env=env, check=True, timeout=10)
    time.sleep(0.5)
    keys("i", "5")
    for name, script, title in (("Qt line edit", "qtapp.py", "qxqt"), ("terminal", "vteapp.py", "qxterm")):
        other_text, other_log = f"{tmp}/{title}.text", f"{tmp}/{title}.log"
        other = start([PYTHON, os.path.join(COMMON, script), other_text, other_log], env,
                      stderr=open(f"{tmp}/{title}.err", "w"))
        try:
            wait_for("the " + name, lambda: "ready" in read(other_log), 20)
            other_window = wait_for("the window of the " + name, lambda: windows("^" + title + "$"), 10)[0]
            subprocess.run(["xdotool", "windowfocus", "--sync", other_window], env=env, check=True, timeout=10)
            time.sleep(0.8)
            keys("k", "h", "k", "space")
            expect(f"{name}: khk Space", other_text, "中", 10)
        except (TimeoutError, subprocess.SubprocessError) as e:
            failures.append(f"{name}: {e}")
            print("FAILED: " + failures[-1])
        os.kill(other.pid, signal.SIGTERM)
        try:
            other.wait(5)
        except subprocess.TimeoutExpired:
            pass


def report_latency(log_file, rounds):
    presses, samples = [], []
    last_text = None
    for line in open(log_file, encoding="utf-8"):
        parts = line.rstrip("\n").split(" ", 2)
        if parts[0] == "press" and len(parts) == 3 and parts[2] == "20":
            presses.append(float(parts[1]))
        elif parts[0] == "text" and len(parts) == 3:
            t, now = float(parts[1]), parts[2]
            grew = last_text is not None and len(now) > len(last_text) and now.endswith("中")
            if grew and presses and t >= presses[-1]:
                samples.append((t - presses[-1]) * 1000)
                presses.clear()
            last_text = now
    if len(samples) < rounds // 2:
        failures.append(f"latency: only {len(samples)} commits could be timed")
        return
    samples.sort()
    p99 = samples[min(len(samples) - 1, int(round(0.99 * (len(samples) - 1))))]
    print(f"latency through fcitx5, Space press to commit, {len(samples)} keys: "
          f"median {statistics.median(samples):.2f} ms, p99 {p99:.2f} ms")


if __name__ == "__main__":
    try:
        main()
    except Exception as e:  # noqa: BLE001 - any failure is the test's failure
        failures.append(f"{type(e).__name__}: {e}")
    for f in failures:
        print("FAILED: " + f)
    sys.exit(1 if failures else 0)
