"""The test servers as background processes of ctest's set-up and clean-up steps.

A server runs detached, writes STATE/ports.json once it listens, and ends by
itself after --max-seconds should no stop step ever run. Its fixture step
waits for that file; the stop step ends it by the pid it left in
STATE/<name>.pid (SIGTERM, then SIGKILL after five seconds).
"""

import json
import os
import signal
import subprocess
import sys
import threading
import time


def ports_path(state):
    return os.path.join(state, "ports.json")


def log_path(state, name):
    return os.path.join(state, name + ".log")


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    except PermissionError:
        return True
    return True


def stop(state, name):
    try:
        with open(os.path.join(state, name + ".pid"), encoding="ascii") as f:
            pid = int(f.read().strip())
    except (OSError, ValueError):
        pid = None
    if pid is not None and alive(pid):
        os.kill(pid, signal.SIGTERM)
        deadline = time.monotonic() + 5
        while alive(pid) and time.monotonic() < deadline:
            time.sleep(0.05)
        if alive(pid):
            os.kill(pid, signal.SIGKILL)
    for file in (name + ".pid", "ports.json"):
        try:
            os.remove(os.path.join(state, file))
        except OSError:
            pass
    return 0


def start(state, name, command, wait, what):
    """Starts command (which writes ports_path(state)) with its output in
    log_path(state, name); prints the ports, or the log and a failure line."""
    os.makedirs(state, exist_ok=True)
    stop(state, name)  # one left over from an interrupted run
    ports = ports_path(state)
    log = log_path(state, name)
    with open(log, "w", encoding="utf-8") as out:
        process = subprocess.Popen(command, stdin=subprocess.DEVNULL, stdout=out,
                                   stderr=subprocess.STDOUT, start_new_session=True)
    with open(os.path.join(state, name + ".pid"), "w", encoding="ascii") as f:
        f.write(str(process.pid))
    deadline = time.monotonic() + wait
    while time.monotonic() < deadline:
        if os.path.exists(ports):
            with open(ports, encoding="utf-8") as f:
                print(f.read())
            return 0
        if process.poll() is not None:
            break
        time.sleep(0.05)
    with open(log, encoding="utf-8", errors="replace") as f:
        sys.stderr.write(f.read())
    stop(state, name)
    sys.stderr.write("%s did not come up\n" % what)
    return 1


def publish_and_wait(ports_file, ports, max_seconds):
    """The serving side: writes the ports whole (the fixture step may read at
    any moment), then waits for SIGTERM or max_seconds."""
    done = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: done.set())
    signal.signal(signal.SIGINT, lambda *_: done.set())
    temporary = ports_file + ".tmp"
    with open(temporary, "w", encoding="utf-8") as f:
        json.dump(ports, f)
    os.replace(temporary, ports_file)
    done.wait(max_seconds)
    try:
        os.remove(ports_file)
    except OSError:
        pass
    return 0
