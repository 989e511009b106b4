#!/usr/bin/python3
# Benchmark: key-to-screen latency of qx against another five-stroke IBus engine from
# Debian (ibus-table's wubi-jidian86), typed the same way in the same harness: a private
# Xvfb, D-Bus session and ibus-daemon, the GTK 3 entry of the end-to-end test, xdotool.
# For each engine the same five-stroke codes are typed, each followed by Space, and the
# time from the Space press reaching the application to the commit arriving there is
# taken. Prints median and p99 of each. Not a test: it passes or fails nothing.
#
# usage: latency_compare.py BIN_DIR COMPONENT_DIR [ROUNDS]
import os
import shutil
import statistics
import subprocess
import sys
import tempfile
import time

BIN, COMPONENT = sys.argv[1:3]
ROUNDS = int(sys.argv[3]) if len(sys.argv) > 3 else 100
HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "common", "tests"))
from desktopprocesses import start, stop_all, wait_for  # noqa: E402

PYTHON = "/usr/bin/python3"
# Codes that both five-stroke tables give as the first candidate of their code.
CODES = ["khk", "wqvb"]  # 中, 你


def samples_of(log_file, since):
    presses, samples, last = [], [], None
    for line in open(log_file, encoding="utf-8"):
        parts = line.rstrip("\n").split(" ", 2)
        if len(parts) < 2 or float(parts[1]) < since:
            continue
        if parts[0] == "press" and len(parts) == 3 and parts[2] == "20":
            presses.append(float(parts[1]))
        elif parts[0] == "text":
            now = parts[2] if len(parts) == 3 else ""
            if last is not None and len(now) > len(last) and presses and float(parts[1]) >= presses[-1]:
                samples.append((float(parts[1]) - presses[-1]) * 1000)
                presses.clear()
            last = now
    return samples


def main():
    tmp = tempfile.mkdtemp(prefix="qx-latency-")
    try:
        env = {k: v for k, v in os.environ.items() if not k.startswith(("IBUS_", "DBUS_", "XDG_", "GTK_", "QT_"))}
        env.update(HOME=tmp, XDG_CONFIG_HOME=tmp + "/config", XDG_CACHE_HOME=tmp + "/cache",
                   XDG_DATA_HOME=tmp + "/data", XDG_RUNTIME_DIR=tmp + "/run", QX_HOME=tmp + "/qx",
                   IBUS_COMPONENT_PATH=COMPONENT + ":/usr/share/ibus/component", GSETTINGS_BACKEND="keyfile",
                   NO_AT_BRIDGE="1", GTK_IM_MODULE="ibus", LANG="C.UTF-8")
        os.makedirs(tmp + "/run", mode=0o700)
        os.makedirs(tmp + "/config/glib-2.0/settings")
        with open(tmp + "/config/glib-2.0/settings/keyfile", "w") as f:
            f.write("[desktop/ibus/general]\npreload-engines=['qx', 'table:wubi-jidian86']\n"
                    "engines-order=['qx', 'table:wubi-jidian86']\n")
        read_fd, write_fd = os.pipe()
        start(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x600x24", "-nolisten", "tcp"],
              env, pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd, "rb") as r:
            env["DISPLAY"] = ":" + r.readline().strip().decode()
        bus = start(["dbus-daemon", "--session", "--nofork", "--print-address"], env, stdout=subprocess.PIPE)
        env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()
        subprocess.run([BIN + "/qxreg", "add", "HKLM\\Software\\QX", "/v", "五笔优先", "/t", "REG_DWORD", "/d", "1"],
                       env=env, check=True, stdout=subprocess.DEVNULL)
        start(["ibus-daemon", "--panel=disable", "--config=disable", "--cache=none"], env,
              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for("the IBus daemon", lambda: subprocess.run(["ibus", "address"], env=env, capture_output=True)
                 .stdout.strip() not in (b"", b"(null)"), 15)
        text_file, log_file = tmp + "/text", tmp + "/log"
        start([PYTHON, HERE + "/entryapp.py", text_file, log_file, tmp + "/shot.png"], env,
              stderr=subprocess.DEVNULL)
        wait_for("the application", lambda: os.path.exists(log_file) and "ready" in open(log_file).read(), 20)
        subprocess.run(["xdotool", "mousemove", "200", "40", "click", "1"], env=env, check=True)
        results = {}
        for engine in ("qx", "table:wubi-jidian86"):
            if subprocess.run(["ibus", "engine", engine], env=env, capture_output=True).returncode != 0:
                print(f"{engine}: not available")
                continue
            # Warm up: the engine process starts on its first key.
            before = open(text_file, encoding="utf-8").read()
            subprocess.run(["xdotool", "key", "k", "h", "k", "space"], env=env, check=True)
            wait_for(engine + " to type", lambda: open(text_file, encoding="utf-8").read() != before, 30)
            time.sleep(0.5)
            since = time.monotonic()
            for i in range(ROUNDS):
                code = CODES[i % len(CODES)]
                subprocess.run(["xdotool", "key", "--delay", "15", *code, "space"], env=env, check=True)
                time.sleep(0.2)  # a typist's pause between characters: each commit is timed alone
            time.sleep(1.0)
            results[engine] = sorted(samples_of(log_file, since))
        for engine, s in results.items():
            if not s:
                print(f"{engine}: no commits timed")
                continue
            p99 = s[min(len(s) - 1, int(round(0.99 * (len(s) - 1))))]
            print(f"{engine:22s} {len(s):4d} keys  median {statistics.median(s):6.2f} ms  p99 {p99:6.2f} ms")
    finally:
        stop_all()
        shutil.rmtree(tmp, ignore_errors=True)


if __name__ == "__main__":
    main()
