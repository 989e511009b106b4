# What the desktop end-to-end tests do alike: a private environment in a temporary home,
# the X server and the session bus, keys and windows through xdotool, checking the text an
# application wrote, the Qt and terminal applications beside the GTK entry, and the latency
# of a commit. Failures are gathered in one list; the test prints them and fails at the end.
import os
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import time

from desktopprocesses import start, stop_all, timeout, wait_for

PYTHON = "/usr/bin/python3"
HERE = os.path.dirname(os.path.abspath(__file__))


def read(path):
    try:
        return open(path, encoding="utf-8").read()
    except FileNotFoundError:
        return ""


class Desktop:
    def __init__(self, tmp, failures, drop, **settings):
        """An environment of the test's own under tmp: nothing named by a prefix in drop is
        inherited, and settings are added."""
        self.tmp, self.failures = tmp, failures
        self.env = {k: v for k, v in os.environ.items() if not k.startswith(drop)}
        self.env.update(HOME=tmp, XDG_CONFIG_HOME=tmp + "/config", XDG_CACHE_HOME=tmp + "/cache",
                        XDG_DATA_HOME=tmp + "/data", XDG_RUNTIME_DIR=tmp + "/run", QX_HOME=tmp + "/qx",
                        NO_AT_BRIDGE="1", LANG="C.UTF-8", **settings)
        os.makedirs(tmp + "/run", mode=0o700)

    def start_display_and_bus(self):
        """Xvfb on a display it picks itself and tells, and a session bus of its own."""
        read_fd, write_fd = os.pipe()
        start(["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x600x24", "-nolisten", "tcp"],
              self.env, pass_fds=(write_fd,), stderr=subprocess.DEVNULL)
        os.close(write_fd)
        with os.fdopen(read_fd, "rb") as r:
            display = r.readline().strip()
        if not display:
            raise RuntimeError("Xvfb did not start")
        self.env["DISPLAY"] = ":" + display.decode()
        bus = start(["dbus-daemon", "--session", "--nofork", "--print-address"], self.env, stdout=subprocess.PIPE)
        self.env["DBUS_SESSION_BUS_ADDRESS"] = bus.stdout.readline().decode().strip()

    def keys(self, *names, delay=30):
        subprocess.run(["xdotool", "key", "--delay", str(delay), *names], env=self.env, check=True, timeout=30)

    def windows(self, title):
        found = subprocess.run(["xdotool", "search", "--name", title], env=self.env, capture_output=True, text=True)
        return found.stdout.split()

    def focus(self, window):
        subprocess.run(["xdotool", "windowfocus", "--sync", window], env=self.env, check=True, timeout=10)

    def fail(self, message):
        self.failures.append(message)
        print("FAILED: " + message)

    def expect(self, name, path, wanted, seconds=8, holder="it"):
        """Whether the file an application writes its text to comes to hold wanted."""
        try:
            wait_for(name, lambda: read(path) == wanted, seconds)
            print(f"ok: {name}: {wanted!r}")
            return True
        except TimeoutError:
            self.fail(f"{name}: wanted {wanted!r}, {holder} holds {read(path)!r}")
            return False

    def other_applications(self, settle=0.8):
        """A Qt line edit and a GTK terminal: five-stroke khk Space arrives in each as 中 (the
        input method already in five-stroke)."""
        for name, script, title in (("Qt line edit", "qtapp.py", "qxqt"), ("terminal", "vteapp.py", "qxterm")):
            text, log = f"{self.tmp}/{title}.text", f"{self.tmp}/{title}.log"
            other = start([PYTHON, os.path.join(HERE, script), text, log], self.env,
                          stderr=open(f"{self.tmp}/{title}.err", "w"))
            try:
                wait_for("the " + name, lambda: "ready" in read(log), 20)
                self.focus(wait_for("the window of the " + name, lambda: self.windows("^" + title + "$"), 10)[0])
                time.sleep(settle)
                self.keys("k", "h", "k", "space")
                self.expect(f"{name}: khk Space", text, "中", 10)
            except (TimeoutError, subprocess.SubprocessError) as e:
                self.fail(f"{name}: {e}")
            other.terminate()
            try:
                other.wait(5)
            except subprocess.TimeoutExpired:
                pass

    def report_latency(self, log_file, rounds, through):
        """From the application's log of key presses (keyval in hex: 20 is Space) and texts:
        each Space press to the text growing by 中."""
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
            self.fail(f"latency: only {len(samples)} commits could be timed")
            return
        samples.sort()
        p99 = samples[min(len(samples) - 1, int(round(0.99 * (len(samples) - 1))))]
        print(f"latency through {through}, Space press to commit, {len(samples)} keys: "
              f"median {statistics.median(samples):.2f} ms, p99 {p99:.2f} ms")


def run_test(run, failures, name, seconds, logs, out):
    """Runs run(tmp) in a temporary home within seconds, ends every process it started and
    keeps its logs in out as NAME-e2e-LOG; any exception is a failure too. Prints the
    failures and exits 1 if any."""
    signal.signal(signal.SIGALRM, timeout)
    signal.alarm(seconds)
    tmp = tempfile.mkdtemp(prefix=f"qx-{name}-")
    try:
        run(tmp)
    except Exception as e:  # noqa: BLE001 - any failure is the test's failure
        failures.append(f"{type(e).__name__}: {e}")
    finally:
        stop_all()
        for log in logs:
            if os.path.exists(os.path.join(tmp, log)):
                shutil.copy(os.path.join(tmp, log), os.path.join(out, f"{name}-e2e-{log}"))
        shutil.rmtree(tmp, ignore_errors=True)
        signal.alarm(0)
    for f in failures:
        print("FAILED: " + f)
    sys.exit(1 if failures else 0)
