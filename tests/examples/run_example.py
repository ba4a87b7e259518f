#!/usr/bin/python3
"""Runs an example host (examples/host.cpp or host.c) against the test server.

    run_example.py --ports PORTS.json --wine-run WRAPPER PROGRAM

Takes a fresh authorisation code from the server's /seed-code, bound to a
redirect URI so that the example's redirect_uri field counts, runs PROGRAM
under Wine with the server's token and resource URLs and the test client's
and user's credentials in its environment, and fails unless it exits 0
having run every step: none skipped, the JSON body echoed byte for byte, and
the refused request reported as -1.
"""

import argparse
import json
import os
import subprocess
import sys
import urllib.request

REDIRECT_URI = "https://app.example/callback"
# The body both examples post, as the server echoes it: UTF-8, no mark.
JSON_BODY_HEX = b'{"message":"hello","count":3}'.hex()


def run(wine_run, program, ports_file):
    with open(ports_file, encoding="utf-8") as f:
        base = "http://127.0.0.1:%d" % json.load(f)["http"]
    with urllib.request.urlopen("%s/seed-code?client_id=test-client&redirect_uri=%s"
                                % (base, REDIRECT_URI), timeout=30) as reply:
        code = json.load(reply)["code"]
    env = dict(os.environ, WINEDEBUG="-all", LANG="C", OAUTH_CLIENT_ID="test-client",
               OAUTH_CLIENT_SECRET="test-secret", OAUTH_USERNAME="alice",
               OAUTH_PASSWORD="pa&ss=wo+rd% 9")
    result = subprocess.run([wine_run, program, base + "/token", base + "/resource", code,
                             REDIRECT_URI], env=env, stdin=subprocess.DEVNULL,
                            capture_output=True, timeout=120)
    output = result.stdout.decode("utf-8", "replace")
    sys.stdout.write(output + result.stderr.decode("utf-8", "replace"))
    problems = []
    if result.returncode != 0:
        problems.append("exit code %d" % result.returncode)
    for wanted in ("Every step succeeded.", '"grant_type":"authorization_code"',
                   '"body_hex":"%s"' % JSON_BODY_HEX, "RequestToken returned -1"):
        if wanted not in output:
            problems.append("no %r in the output" % wanted)
    if "skipped" in output:
        problems.append("a step was skipped")
    for problem in problems:
        print("FAILED: " + problem)
    return 1 if problems else 0


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--ports", required=True)
    parser.add_argument("--wine-run", required=True)
    parser.add_argument("program")
    args = parser.parse_args()
    return run(args.wine_run, args.program, args.ports)


if __name__ == "__main__":
    sys.exit(main())
