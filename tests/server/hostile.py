#!/usr/bin/python3
"""Misbehaving HTTP and TLS servers for OAuth_Dll's fault tests.

Standard library only; listens on 127.0.0.1 only, on ports the OS picks.

    hostile.py start --dir STATE --pki PKI [--wait 30] [--max-seconds 900]
        make this server's certificates in STATE (from the test CA in PKI,
        which tests/server/fixture.py pki made), start the server in the
        background and wait until it has written STATE/ports.json
    hostile.py stop --dir STATE
        stop it (SIGTERM, then SIGKILL)
    hostile.py serve --ports-file F --pki PKI --certs STATE [--max-seconds N]
        run in the foreground (what start runs)

ports.json names one port per behaviour. Each plain-HTTP listener reads the
request (line, headers and a Content-Length body) and then:

  refused         nothing listens there
  silent          never answers
  trickle         sends a whole small reply, headers included, one byte a second
  trickle_body    sends the headers at once, then the body one byte a second
  steady_body     sends 3 MiB (byte i is i % 251) at a steady 640 KiB a second,
                  about five seconds in all
  cut_headers     sends part of the header block, then closes
  cut_line        sends the status line and complete header lines, then closes
                  before the empty line that ends the block
  short_body      declares Content-Length 1000, sends 100 bytes, closes
  short_stall     declares Content-Length 1000, sends 100 bytes, goes silent
  cut_chunked     sends one chunk of a chunked body, then closes
  endless_chunked sends a small chunk every 100 ms and never the last chunk
  huge_declared   declares one byte more than 256 MiB and sends a few bytes
  big_declared    declares exactly 256 MiB, sends 4 KiB, goes silent
  huge_chunked    streams zeros, chunked, until 256 MiB + 1 MiB have gone
  big_headers     sends a header block of 1 MiB (1024 lines of 1 KiB)
  challenge       answers 401 with Negotiate, NTLM and Basic challenges
  control         GET /stats?listener=NAME answers
                  {"connections": n, "requests": n}: connections accepted
                  and requests read (after the handshake, for TLS listeners)

TLS listeners answer a plain 200 when a request arrives at all:

  untrusted       a chain to a root that nobody trusts
  expired         issued by the test CA, expired yesterday
  wrong_name      issued by the test CA for another host name
  old_tls         issued by the test CA, TLS 1.0 and 1.1 only (null when the
                  local OpenSSL cannot offer them)

Everything is bounded in time: a connection is dropped after at most two
minutes, start gives up after --wait seconds, stop after five, and the
server ends by itself after --max-seconds.
"""

import argparse
import datetime
import json
import os
import socket
import ssl
import subprocess
import sys
import threading
import time
import warnings

import background

MAX_BODY = 256 * 1024 * 1024
CONNECTION_SECONDS = 120
SERVER_NAMES = "subjectAltName=IP:127.0.0.1,DNS:localhost"
LEAF_EXTENSIONS = ("basicConstraints=critical,CA:FALSE\n"
                   "keyUsage=critical,digitalSignature,keyEncipherment\n"
                   "extendedKeyUsage=serverAuth\n" + SERVER_NAMES + "\n")


# --- certificates -----------------------------------------------------------

def openssl(*args):
    subprocess.run(["openssl", *args], check=True, stdout=subprocess.DEVNULL,
                   stderr=subprocess.PIPE, timeout=60)


def still_valid(cert, seconds):
    if not os.path.exists(cert):
        return False
    result = subprocess.run(["openssl", "x509", "-in", cert, "-noout", "-checkend", str(seconds)],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
    return result.returncode == 0


def make_leaf_request(directory, name):
    path = lambda n: os.path.join(directory, n)
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-sha256", "-keyout", path(name + ".key"),
            "-out", path(name + ".csr"), "-subj", "/O=OAuth_Dll tests/CN=127.0.0.1")


def make_untrusted(directory):
    """A leaf issued by a root of its own that no store holds, sent with that root."""
    path = lambda n: os.path.join(directory, n)
    if still_valid(path("untrusted.pem"), 604800) and os.path.exists(path("untrusted.key")):
        return
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-sha256", "-days", "3650",
            "-keyout", path("rogue-ca.key"), "-out", path("rogue-ca.pem"),
            "-subj", "/O=OAuth_Dll tests/CN=Untrusted Rogue Root",
            "-addext", "basicConstraints=critical,CA:TRUE",
            "-addext", "keyUsage=critical,keyCertSign,cRLSign")
    make_leaf_request(directory, "untrusted-leaf")
    with open(path("leaf.ext"), "w", encoding="ascii") as f:
        f.write(LEAF_EXTENSIONS)
    openssl("x509", "-req", "-in", path("untrusted-leaf.csr"), "-CA", path("rogue-ca.pem"),
            "-CAkey", path("rogue-ca.key"), "-CAcreateserial", "-sha256", "-days", "825",
            "-extfile", path("leaf.ext"), "-out", path("untrusted-leaf.pem"))
    with open(path("untrusted.pem"), "w", encoding="ascii") as out:
        for part in ("untrusted-leaf.pem", "rogue-ca.pem"):
            with open(path(part), encoding="ascii") as f:
                out.write(f.read())
    os.replace(path("untrusted-leaf.key"), path("untrusted.key"))


def make_expired(directory, pki):
    """A leaf from the trusted test CA whose validity ended a day ago.

    openssl x509 cannot date a certificate in the past; openssl ca can, given
    a small database of its own."""
    path = lambda n: os.path.join(directory, n)
    ca_pem, ca_key = os.path.join(pki, "ca.pem"), os.path.join(pki, "ca.key")
    marker = path("expired.issuer")
    with open(ca_pem, "rb") as f:
        issuer = f.read()
    if os.path.exists(path("expired.pem")) and os.path.exists(marker):
        with open(marker, "rb") as f:
            if f.read() == issuer:
                return
    database = path("ca-db")
    os.makedirs(database, exist_ok=True)
    open(os.path.join(database, "index.txt"), "w").close()
    with open(os.path.join(database, "serial"), "w", encoding="ascii") as f:
        f.write("%016X\n" % int(time.time() * 1000))
    with open(path("expired.cnf"), "w", encoding="ascii") as f:
        f.write("[ca]\ndefault_ca = test\n"
                "[test]\n"
                "database = %s/index.txt\nnew_certs_dir = %s\nserial = %s/serial\n"
                "default_md = sha256\npolicy = any\nunique_subject = no\n"
                "x509_extensions = leaf\n"
                "[any]\ncommonName = supplied\norganizationName = optional\n"
                "[leaf]\n%s" % (database, database, database, LEAF_EXTENSIONS))
    make_leaf_request(directory, "expired")
    now = datetime.datetime.now(datetime.timezone.utc)
    stamp = lambda t: t.strftime("%Y%m%d%H%M%SZ")
    openssl("ca", "-batch", "-notext", "-config", path("expired.cnf"), "-cert", ca_pem,
            "-keyfile", ca_key, "-in", path("expired.csr"), "-out", path("expired.pem"),
            "-startdate", stamp(now - datetime.timedelta(days=2)),
            "-enddate", stamp(now - datetime.timedelta(days=1)))
    with open(marker, "wb") as f:
        f.write(issuer)


def make_wrong_name(directory, pki):
    """A valid leaf from the trusted test CA that names another host only."""
    path = lambda n: os.path.join(directory, n)
    ca_pem, ca_key = os.path.join(pki, "ca.pem"), os.path.join(pki, "ca.key")
    marker = path("wrong-name.issuer")
    with open(ca_pem, "rb") as f:
        issuer = f.read()
    if still_valid(path("wrong-name.pem"), 604800) and os.path.exists(marker):
        with open(marker, "rb") as f:
            if f.read() == issuer:
                return
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-sha256", "-keyout", path("wrong-name.key"),
            "-out", path("wrong-name.csr"), "-subj", "/O=OAuth_Dll tests/CN=wrong-name.invalid")
    with open(path("wrong-name.ext"), "w", encoding="ascii") as f:
        f.write(LEAF_EXTENSIONS.replace(SERVER_NAMES, "subjectAltName=DNS:wrong-name.invalid"))
    openssl("x509", "-req", "-in", path("wrong-name.csr"), "-CA", ca_pem, "-CAkey", ca_key,
            "-CAcreateserial", "-CAserial", path("wrong-name.srl"), "-sha256", "-days", "825",
            "-extfile", path("wrong-name.ext"), "-out", path("wrong-name.pem"))
    with open(marker, "wb") as f:
        f.write(issuer)


def make_certificates(directory, pki):
    os.makedirs(directory, exist_ok=True)
    make_untrusted(directory)
    make_expired(directory, pki)
    make_wrong_name(directory, pki)


# --- bookkeeping ------------------------------------------------------------

class Counts:
    def __init__(self):
        self.lock = threading.Lock()
        self.values = {}

    def add(self, listener, key):
        with self.lock:
            entry = self.values.setdefault(listener, {"connections": 0, "requests": 0})
            entry[key] += 1

    def get(self, listener):
        with self.lock:
            return dict(self.values.get(listener, {"connections": 0, "requests": 0}))


COUNTS = Counts()


def read_request(connection):
    """Reads one request; returns (request line, headers dict, body) or None."""
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = connection.recv(65536)
        if not chunk:
            return None
        data += chunk
        if len(data) > 1024 * 1024:
            return None
    head, _, body = data.partition(b"\r\n\r\n")
    lines = head.decode("latin-1").split("\r\n")
    headers = {}
    for line in lines[1:]:
        name, _, value = line.partition(":")
        headers[name.strip().lower()] = value.strip()
    length = int(headers.get("content-length", "0") or 0)
    while len(body) < length:
        chunk = connection.recv(65536)
        if not chunk:
            break
        body += chunk
    return lines[0], headers, body


def trickle(connection, data, interval=1.0):
    for i in range(len(data)):
        connection.sendall(data[i:i + 1])
        time.sleep(interval)


def hold(connection, seconds=CONNECTION_SECONDS):
    """Keeps the connection open without answering until the peer goes."""
    connection.settimeout(seconds)
    try:
        while connection.recv(65536):
            pass
    except OSError:
        pass


SMALL_REPLY = (b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 2\r\n\r\nok")


# --- behaviours -------------------------------------------------------------

def silent(connection, request):
    hold(connection)


def trickle_all(connection, request):
    trickle(connection, SMALL_REPLY)


def trickle_body(connection, request):
    body = b"0123456789" * 6
    connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                       b"Content-Length: %d\r\n\r\n" % len(body))
    trickle(connection, body)


STEADY_BYTES = 3 * 1024 * 1024
STEADY_PIECE = 64 * 1024


def steady_body(connection, request):
    pattern = bytes(i % 251 for i in range(251 * ((STEADY_PIECE // 251) + 2)))
    connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                       b"Content-Length: %d\r\n\r\n" % STEADY_BYTES)
    sent = 0
    while sent < STEADY_BYTES:
        offset = sent % 251
        piece = pattern[offset:offset + min(STEADY_PIECE, STEADY_BYTES - sent)]
        connection.sendall(piece)
        sent += len(piece)
        time.sleep(0.1)


def cut_headers(connection, request):
    connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/pla")


def cut_line(connection, request):
    connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nX-Half: done\r\n")


def short_body(connection, request):
    connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                       b"Content-Length: 1000\r\n\r\n" + b"x" * 100)


def short_stall(connection, request):
    short_body(connection, request)
    hold(connection)


def cut_chunked(connection, request):
    connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                       b"Transfer-Encoding: chunked\r\n\r\n10\r\n0123456789abcdef\r\n")


def endless_chunked(connection, request):
    connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n"
                       b"Transfer-Encoding: chunked\r\n\r\n")
    deadline = time.monotonic() + CONNECTION_SECONDS
    while time.monotonic() < deadline:
        connection.sendall(b"10\r\n0123456789abcdef\r\n")
        time.sleep(0.1)


def huge_declared(connection, request):
    connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                       b"Content-Length: %d\r\n\r\n" % (MAX_BODY + 1) + b"\0" * 4096)
    hold(connection, 30)


def big_declared(connection, request):
    connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                       b"Content-Length: %d\r\n\r\n" % MAX_BODY + b"\0" * 4096)
    hold(connection, 30)


def huge_chunked(connection, request):
    connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n"
                       b"Transfer-Encoding: chunked\r\n\r\n")
    block = 1024 * 1024
    chunk = b"%x\r\n" % block + b"\0" * block + b"\r\n"
    for _ in range(MAX_BODY // block + 1):
        connection.sendall(chunk)
    connection.sendall(b"0\r\n\r\n")


def big_headers(connection, request):
    line = b"X-Filler-%04d: " + b"v" * 1000 + b"\r\n"
    head = b"".join(line % i for i in range(1024))
    connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\n" + head +
                       b"Content-Length: 2\r\n\r\nok")


def challenge(connection, request):
    # A second request on the same connection would be the client answering
    # a challenge by itself; each one is counted.
    while request is not None:
        connection.sendall(b"HTTP/1.1 401 Unauthorized\r\n"
                           b"WWW-Authenticate: Negotiate\r\n"
                           b"WWW-Authenticate: NTLM\r\n"
                           b"WWW-Authenticate: Basic realm=\"hostile\"\r\n"
                           b"Content-Type: text/plain\r\nContent-Length: 6\r\n\r\ndenied")
        request = read_request(connection)
        if request is not None:
            COUNTS.add("challenge", "requests")
            COUNTS.add("challenge-authorized" if "authorization" in request[1]
                       else "challenge-plain", "requests")


def tls_reply(connection, request):
    connection.sendall(SMALL_REPLY)


def control(connection, request):
    line = request[0].split(" ")
    target = line[1] if len(line) > 1 else "/"
    listener = target.partition("listener=")[2].partition("&")[0]
    body = json.dumps(COUNTS.get(listener)).encode("ascii")
    connection.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\n"
                       b"Content-Length: %d\r\nConnection: close\r\n\r\n" % len(body) + body)


BEHAVIOURS = {
    "silent": silent,
    "trickle": trickle_all,
    "trickle_body": trickle_body,
    "steady_body": steady_body,
    "cut_headers": cut_headers,
    "cut_line": cut_line,
    "short_body": short_body,
    "short_stall": short_stall,
    "cut_chunked": cut_chunked,
    "endless_chunked": endless_chunked,
    "huge_declared": huge_declared,
    "big_declared": big_declared,
    "huge_chunked": huge_chunked,
    "big_headers": big_headers,
    "challenge": challenge,
    "control": control,
}


# --- listeners --------------------------------------------------------------

class Listener:
    def __init__(self, name, behaviour, context=None):
        self.name = name
        self.behaviour = behaviour
        self.context = context
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.socket.bind(("127.0.0.1", 0))
        self.socket.listen(64)
        self.port = self.socket.getsockname()[1]
        threading.Thread(target=self._accept, daemon=True).start()

    def _accept(self):
        while True:
            try:
                connection, _ = self.socket.accept()
            except OSError:
                return
            threading.Thread(target=self._serve, args=(connection,), daemon=True).start()

    def _serve(self, connection):
        COUNTS.add(self.name, "connections")
        try:
            connection.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
            connection.settimeout(CONNECTION_SECONDS)
            if self.context is not None:
                connection = self.context.wrap_socket(connection, server_side=True)
            request = read_request(connection)
            if request is None:
                return
            COUNTS.add(self.name, "requests")
            self.behaviour(connection, request)
        except (OSError, ssl.SSLError, ValueError):
            pass
        finally:
            try:
                connection.close()
            except OSError:
                pass


def closed_port():
    probe = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    probe.bind(("127.0.0.1", 0))
    port = probe.getsockname()[1]
    probe.close()
    return port


def tls_context(cert, key, legacy=False):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    if legacy:
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)
            context.minimum_version = ssl.TLSVersion.TLSv1
            context.maximum_version = ssl.TLSVersion.TLSv1_1
        context.set_ciphers("DEFAULT:@SECLEVEL=0")
    context.load_cert_chain(cert, key)
    return context


def serve(args):
    ports = {"refused": closed_port(), "pid": os.getpid()}
    listeners = [Listener(name, behaviour) for name, behaviour in BEHAVIOURS.items()]
    certs = lambda n: os.path.join(args.certs, n)
    listeners.append(Listener("untrusted", tls_reply,
                              tls_context(certs("untrusted.pem"), certs("untrusted.key"))))
    listeners.append(Listener("expired", tls_reply,
                              tls_context(certs("expired.pem"), certs("expired.key"))))
    listeners.append(Listener("wrong_name", tls_reply,
                              tls_context(certs("wrong-name.pem"), certs("wrong-name.key"))))
    ports["old_tls"] = None
    try:
        listeners.append(Listener("old_tls", tls_reply,
                                  tls_context(os.path.join(args.pki, "server.pem"),
                                              os.path.join(args.pki, "server.key"), legacy=True)))
    except (ssl.SSLError, ValueError) as error:
        sys.stderr.write("no TLS 1.0/1.1 listener: %s\n" % error)
    for listener in listeners:
        ports[listener.name] = listener.port

    return background.publish_and_wait(args.ports_file, ports, args.max_seconds)


# --- fixture steps ----------------------------------------------------------

def start(args):
    certs = os.path.join(args.dir, "certs")
    make_certificates(certs, args.pki)
    command = [sys.executable, os.path.abspath(__file__), "serve",
               "--ports-file", background.ports_path(args.dir), "--pki", args.pki, "--certs", certs,
               "--max-seconds", str(args.max_seconds)]
    return background.start(args.dir, "hostile", command, args.wait, "hostile server")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("action", choices=["start", "stop", "serve"])
    parser.add_argument("--dir")
    parser.add_argument("--pki")
    parser.add_argument("--certs")
    parser.add_argument("--ports-file")
    parser.add_argument("--wait", type=float, default=30)
    parser.add_argument("--max-seconds", type=float, default=900)
    args = parser.parse_args()
    if args.action == "serve":
        if not (args.ports_file and args.pki and args.certs):
            parser.error("serve needs --ports-file, --pki and --certs")
        return serve(args)
    if not args.dir:
        parser.error("--dir is required")
    if args.action == "stop":
        return background.stop(args.dir, "hostile")
    if not args.pki:
        parser.error("start needs --pki")
    return start(args)


if __name__ == "__main__":
    sys.exit(main())
