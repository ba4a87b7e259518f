#!/usr/bin/python3
"""Client-credentials token requests with Debian's requests-oauthlib on one
session, the scripting client a user would otherwise pick.

    token_python.py --url URL --count 2000 --rounds 5 [--ca ca.pem] [--tag NAME]

Prints "token python ROUND MS" per round, like bench_token.exe. Runs with
/usr/bin/python3, the interpreter that has Debian's packages.
"""

import argparse
import os
import sys
import time

# oauthlib refuses plain http unless told that this is deliberate; the
# benchmark's http server is on the private loopback only.
os.environ.setdefault("OAUTHLIB_INSECURE_TRANSPORT", "1")

from oauthlib.oauth2 import BackendApplicationClient  # noqa: E402
from requests_oauthlib import OAuth2Session  # noqa: E402


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--url", required=True)
    parser.add_argument("--count", type=int, default=2000)
    parser.add_argument("--rounds", type=int, default=5)
    parser.add_argument("--ca")
    parser.add_argument("--tag", default="token")
    args = parser.parse_args()

    session = OAuth2Session(client=BackendApplicationClient(client_id="bench-client"),
                            scope=["read"])
    verify = args.ca if args.ca else True
    for round_number in range(0, args.rounds + 1):
        count = 20 if round_number == 0 else args.count
        url = "%s?run=%s-python-%d" % (args.url, args.tag, round_number)
        start = time.perf_counter()
        for _ in range(count):
            token = session.fetch_token(token_url=url, client_id="bench-client",
                                        client_secret="bench-secret", verify=verify)
            if not token.get("access_token"):
                sys.stderr.write("bench: no access token in %r\n" % (token,))
                return 1
        elapsed = (time.perf_counter() - start) * 1000.0
        if round_number > 0:
            print("token python %d %.3f" % (round_number, elapsed), flush=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
