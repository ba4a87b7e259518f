#!/usr/bin/python3
"""Set-up and clean-up steps for the tests that talk to the test server.

    fixture.py pki   --dir PKI            make the test CA, the server certificate
                                          it issues, and an untrusted self-signed one
    fixture.py start --dir STATE --pki PKI [--wait 20]
                                          start authserver.py in the background and
                                          wait until it has written STATE/ports.json
    fixture.py stop  --dir STATE          stop it (SIGTERM, then SIGKILL)

Everything is bounded in time: start gives up after --wait seconds, stop after
five, and the server ends by itself after --max-seconds (900) should no stop
step ever run.
"""

import argparse
import os
import subprocess
import sys

import background

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "authserver.py")

# The address the tests use, so the certificate names it both ways.
SERVER_NAMES = "subjectAltName=IP:127.0.0.1,DNS:localhost,DNS:127.0.0.1"


def openssl(*args):
    subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE, timeout=60)


def still_valid(cert):
    """True when cert exists and stays valid for at least another week."""
    if not os.path.exists(cert):
        return False
    result = subprocess.run(["openssl", "x509", "-in", cert, "-noout", "-checkend", "604800"],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
    return result.returncode == 0


def make_pki(directory):
    os.makedirs(directory, exist_ok=True)
    path = lambda name: os.path.join(directory, name)
    names = ["ca.pem", "ca.der", "server.pem", "server.key", "untrusted.pem", "untrusted.key"]
    # Kept while valid: each new CA would add one more root to the prefix.
    if all(os.path.exists(path(n)) for n in names) and still_valid(path("ca.pem")) \
            and still_valid(path("server.pem")) and still_valid(path("untrusted.pem")):
        return
    with open(path("server.ext"), "w", encoding="ascii") as f:
        f.write("basicConstraints=critical,CA:FALSE\n"
                "keyUsage=critical,digitalSignature,keyEncipherment\n"
                "extendedKeyUsage=serverAuth\n" + SERVER_NAMES + "\n")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "3650",
            "-keyout", path("ca.key"), "-out", path("ca.pem"),
            "-subj", "/O=OAuth_Dll tests/CN=OAuth_Dll Test Root CA",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    openssl("x509", "-in", path("ca.pem"), "-outform", "der", "-out", path("ca.der"))
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-sha256", "-keyout", path("server.key"),
            "-out", path("server.csr"), "-subj", "/O=OAuth_Dll tests/CN=127.0.0.1")
    openssl("x509", "-req", "-in", path("server.csr"), "-CA", path("ca.pem"),
            "-CAkey", path("ca.key"), "-CAcreateserial", "-sha256", "-days", "825",
            "-extfile", path("server.ext"), "-out", path("server.pem"))
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "825",
            "-keyout", path("untrusted.key"), "-out", path("untrusted.pem"),
            "-subj", "/O=OAuth_Dll tests/CN=127.0.0.1", "-addext", SERVER_NAMES)


def start(state, pki, wait, max_seconds):
    command = [sys.executable, SERVER, "--ports-file", background.ports_path(state),
               "--log", background.log_path(state, "server"), "--max-seconds", str(max_seconds)]
    if pki:
        command += ["--cert", os.path.join(pki, "server.pem"),
                    "--key", os.path.join(pki, "server.key"),
                    "--untrusted-cert", os.path.join(pki, "untrusted.pem"),
                    "--untrusted-key", os.path.join(pki, "untrusted.key")]
    return background.start(state, "server", command, wait, "test server")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("action", choices=["pki", "start", "stop"])
    parser.add_argument("--dir", required=True)
    parser.add_argument("--pki")
    parser.add_argument("--wait", type=float, default=20)
    parser.add_argument("--max-seconds", type=float, default=900)
    args = parser.parse_args()
    if args.action == "pki":
        make_pki(args.dir)
        return 0
    if args.action == "start":
        return start(args.dir, args.pki, args.wait, args.max_seconds)
    return background.stop(args.dir, "server")


if __name__ == "__main__":
    sys.exit(main())
