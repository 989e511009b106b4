# The processes of a desktop test (Xvfb, D-Bus, the input-method daemon, applications):
# each started in a session of its own so that stop_all ends it with everything it started,
# also on failure or timeout, and waits that are always bounded.
import os
import signal
import subprocess
import time

processes = []


def start(argv, env, **kw):
    p = subprocess.Popen(argv, env=env, start_new_session=True, **kw)
    processes.append(p)
    return p


def stop_all():
    for p in reversed(processes):
        if p.poll() is None:
            try:
                os.killpg(p.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
    deadline = time.monotonic() + 5
    for p in reversed(processes):
        try:
            p.wait(max(0.1, deadline - time.monotonic()))
        except subprocess.TimeoutExpired:
            try:
                os.killpg(p.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            p.wait()


def timeout(*_):
    raise TimeoutError("the end-to-end test ran out of time")


def wait_for(what, predicate, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        value = predicate()
        if value:
            return value
        time.sleep(0.05)
    raise TimeoutError("waited in vain for " + what)
