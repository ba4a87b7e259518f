#!/usr/bin/python3
"""A scripted browser for a command that logs in with the authorization code.

    useragent.py [--timeout 60] [--tamper-state] [--drop-code] [--cafile CA]
                 [--expect-exit N] [--expect-stdout RE] [--expect-stderr RE]
                 [--ports PORTS.json] -- COMMAND [ARG...]

Starts COMMAND (with this program's standard input), echoes its stderr and
takes the first authorization URL there (http.../authorize?...). Fetches it
without following the redirect, then requests the Location (the command's
loopback redirect URI) as a browser would: --tamper-state puts another value
in state first, --drop-code takes the code out. Then it waits for the command
and echoes its stdout. With --ports, @BASE@ in COMMAND stands for the test
server's plain-HTTP address, as in the CLI's other tests.

Exit status: the command's; with any --expect-* option 0 when each holds
(exit status, 0 by default; a regular expression found in that output), else
1. 124: the command outlived --timeout (killed). 125: the user agent could not
do its part (no URL, no redirect, redirect URI unreachable; command killed).
"""

import argparse
import http.client
import json
import os
import queue
import re
import signal
import ssl
import subprocess
import sys
import threading
import time
import urllib.parse

URL = re.compile(r"https?://[^\s\"'<>]+/authorize\?[^\s\"'<>]+")


def fetch(url, args):
    """One GET, no redirect followed: (status, Location or None)."""
    parts = urllib.parse.urlsplit(url)
    tls = parts.scheme == "https"
    connection = (http.client.HTTPSConnection if tls else http.client.HTTPConnection)(
        parts.hostname, parts.port, timeout=args.timeout,
        **({"context": ssl.create_default_context(cafile=args.cafile)} if tls else {}))
    try:
        connection.request("GET", (parts.path or "/") + ("?" + parts.query if parts.query else ""))
        response = connection.getresponse()
        response.read()
        return response.status, response.getheader("Location")
    finally:
        connection.close()


def browse(url, args):
    """The browser's part; returns what went wrong, or None."""
    try:
        status, location = fetch(url, args)
        if status not in (301, 302, 303, 307) or not location:
            return "the authorization URL answered %d without a redirect" % status
        parts = urllib.parse.urlsplit(location)
        query = urllib.parse.parse_qsl(parts.query, keep_blank_values=True)
        drop = ({"code"} if args.drop_code else set()) | ({"state"} if args.tamper_state else set())
        query = [(k, v) for k, v in query if k not in drop]
        if args.tamper_state:
            query.append(("state", "tampered-by-useragent"))
        location = urllib.parse.urlunsplit(parts._replace(query=urllib.parse.urlencode(query)))
        sys.stderr.write("useragent: redirected to %s\n" % location)
        status, _ = fetch(location, args)
        sys.stderr.write("useragent: the redirect URI answered %d\n" % status)
    except (OSError, http.client.HTTPException) as error:
        return "request failed: %s" % error
    return None


def main():
    parser = argparse.ArgumentParser(usage=__doc__.split("\n\n")[1])
    parser.add_argument("--timeout", type=float, default=60)
    parser.add_argument("--expect-exit", type=int)
    for flag in ("--tamper-state", "--drop-code"):
        parser.add_argument(flag, action="store_true")
    for option in ("--cafile", "--expect-stdout", "--expect-stderr", "--ports"):
        parser.add_argument(option)
    parser.add_argument("command", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    command = args.command[1:] if args.command[:1] == ["--"] else args.command
    if not command:
        parser.error("no command given")
    if args.ports:
        with open(args.ports, encoding="utf-8") as f:
            base = "http://127.0.0.1:%d" % json.load(f)["http"]
        command = [arg.replace("@BASE@", base) for arg in command]

    deadline = time.monotonic() + args.timeout
    # A group of its own, so that a command that hangs goes with its children.
    process = subprocess.Popen(command, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                               start_new_session=True)
    out, err, urls = [], [], queue.Queue()

    def read_stderr():
        for line in iter(process.stderr.readline, b""):
            err.append(line)
            sys.stderr.buffer.write(line)
            sys.stderr.flush()
            match = URL.search(line.decode("utf-8", "replace"))
            if match:
                urls.put(match.group(0))
        urls.put(None)

    readers = [threading.Thread(target=read_stderr, daemon=True),
               threading.Thread(target=lambda: out.extend(iter(process.stdout.readline, b"")),
                                daemon=True)]
    for reader in readers:
        reader.start()
    url, ended = None, None
    while url is None:
        try:
            url = urls.get(timeout=0.2) or ""
        except queue.Empty:
            # Wine's helper processes may keep the pipe open after the command ends.
            ended = ended or (time.monotonic() if process.poll() is not None else None)
            if time.monotonic() > deadline or ended and time.monotonic() - ended > 1:
                url = ""
    problem = browse(url, args) if url else "the command printed no authorization URL"
    try:
        # A command that the browser did not reach would only wait on.
        code = process.wait(timeout=0.1 if problem else max(0.1, deadline - time.monotonic()))
    except subprocess.TimeoutExpired:
        os.killpg(process.pid, signal.SIGKILL)
        process.wait()
        code = None
    for reader in readers:
        reader.join(timeout=2)
    sys.stdout.buffer.write(b"".join(out))
    sys.stdout.flush()

    if problem:
        sys.stderr.write("useragent: %s\n" % problem)
        return 125
    if code is None:
        sys.stderr.write("useragent: the command ran longer than %g s\n" % args.timeout)
        return 124
    if (args.expect_exit, args.expect_stdout, args.expect_stderr) == (None, None, None):
        return code
    expected = args.expect_exit or 0
    failures = [] if code == expected else ["exit status %d, expected %d" % (code, expected)]
    for name, pattern, data in (("stdout", args.expect_stdout, out),
                                ("stderr", args.expect_stderr, err)):
        text = b"".join(data).decode("utf-8", "replace")
        if pattern is not None and not re.search(pattern, text, re.S | re.M):
            failures.append("%s does not match %r" % (name, pattern))
    for failure in failures:
        sys.stderr.write("useragent: %s\n" % failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
