#!/usr/bin/python3
"""A forwarding HTTP proxy on loopback for OAuth_Dll's proxy tests.

Standard library only; listens on 127.0.0.2, a loopback address of its own,
on a port the OS picks: Wine's WinHTTP takes a proxy whose host name is the
server's own (127.0.0.1) for no proxy at all, and goes straight to it.

    proxy.py start --dir STATE [--wait 30] [--max-seconds 900]
        start the proxy in the background and wait until it has written
        STATE/ports.json ({"proxy": port})
    proxy.py stop --dir STATE
        stop it (SIGTERM, then SIGKILL)
    proxy.py serve --ports-file F [--max-seconds N]
        run in the foreground (what start runs)

What it answers:

  CONNECT host:port             a tunnel to host:port (counted)
  GET http://host:port/...      the request forwarded, one per connection
                                (counted); a path that starts with /proxy-407
                                is answered 407 with a Basic challenge instead
  GET /proxy.pac                a proxy auto-config file naming this proxy
  GET /direct.pac               one that sends everything direct
  GET /stats                    {"requests": n, "pac": m}: the requests counted
                                and the auto-config files served so far

Everything is bounded in time: a connection is dropped after two minutes of
silence, and the proxy ends by itself after --max-seconds.
"""

import argparse
import json
import os
import select
import socket
import sys
import threading

import background

CONNECTION_SECONDS = 120
HOST = "127.0.0.2"
LOCK = threading.Lock()
COUNT = {"requests": 0, "pac": 0}


def count(key="requests"):
    with LOCK:
        COUNT[key] += 1


def read_head(connection):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = connection.recv(65536)
        if not chunk or len(data) > 1024 * 1024:
            return None, b""
        data += chunk
    head, _, rest = data.partition(b"\r\n\r\n")
    return head.decode("latin-1").split("\r\n"), rest


def reply(connection, status, content_type, body, extra=""):
    connection.sendall(("HTTP/1.1 %s\r\nContent-Type: %s\r\nContent-Length: %d\r\n%s"
                        "Connection: close\r\n\r\n" % (status, content_type, len(body), extra))
                       .encode("latin-1") + body)


def relay(a, b):
    """Copies both ways until either side closes or falls silent."""
    while True:
        readable, _, _ = select.select([a, b], [], [], CONNECTION_SECONDS)
        if not readable:
            return
        for source in readable:
            data = source.recv(65536)
            if not data:
                return
            (b if source is a else a).sendall(data)


def split_host_port(authority, default_port):
    host, _, port = authority.rpartition(":")
    if not host or not port.isdigit():
        return authority, default_port
    return host.strip("[]"), int(port)


def forward(connection, lines, rest):
    method, target, version = lines[0].split(" ", 2)
    authority, _, path = target[len("http://"):].partition("/")
    path = "/" + path
    count()
    if path.startswith("/proxy-407"):
        reply(connection, "407 Proxy Authentication Required", "text/plain", b"who are you?",
              'Proxy-Authenticate: Basic realm="proxy"\r\n')
        return
    headers = [line for line in lines[1:]
               if line.partition(":")[0].strip().lower() not in ("connection", "proxy-connection",
                                                                 "keep-alive")]
    upstream = socket.create_connection(split_host_port(authority, 80), timeout=CONNECTION_SECONDS)
    with upstream:
        head = "\r\n".join(["%s %s %s" % (method, path, version)] + headers + ["Connection: close"])
        upstream.sendall(head.encode("latin-1") + b"\r\n\r\n" + rest)
        relay(connection, upstream)


def tunnel(connection, lines):
    count()
    upstream = socket.create_connection(split_host_port(lines[0].split(" ")[1], 443),
                                        timeout=CONNECTION_SECONDS)
    with upstream:
        connection.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
        relay(connection, upstream)


def serve_connection(connection, port):
    with connection:
        try:
            connection.settimeout(CONNECTION_SECONDS)
            lines, rest = read_head(connection)
            if not lines:
                return
            method, _, target = lines[0].partition(" ")
            target = target.rpartition(" ")[0]
            if method == "CONNECT":
                tunnel(connection, lines)
            elif target.startswith("http://"):
                forward(connection, lines, rest)
            elif target == "/proxy.pac":
                count("pac")
                pac = 'function FindProxyForURL(url, host) { return "PROXY %s:%d"; }' % (HOST, port)
                reply(connection, "200 OK", "application/x-ns-proxy-autoconfig", pac.encode())
            elif target == "/direct.pac":
                count("pac")
                pac = 'function FindProxyForURL(url, host) { return "DIRECT"; }'
                reply(connection, "200 OK", "application/x-ns-proxy-autoconfig", pac.encode())
            elif target == "/stats":
                with LOCK:
                    body = json.dumps(COUNT).encode("ascii")
                reply(connection, "200 OK", "application/json", body)
            else:
                reply(connection, "404 Not Found", "text/plain", b"")
        except (OSError, ValueError):
            pass


def serve(args):
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind((HOST, 0))
    listener.listen(64)
    port = listener.getsockname()[1]

    def accept():
        while True:
            connection, _ = listener.accept()
            threading.Thread(target=serve_connection, args=(connection, port), daemon=True).start()

    threading.Thread(target=accept, daemon=True).start()
    return background.publish_and_wait(args.ports_file, {"proxy": port, "pid": os.getpid()},
                                       args.max_seconds)


def start(args):
    command = [sys.executable, os.path.abspath(__file__), "serve",
               "--ports-file", background.ports_path(args.dir), "--max-seconds", str(args.max_seconds)]
    return background.start(args.dir, "proxy", command, args.wait, "proxy")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("action", choices=["start", "stop", "serve"])
    parser.add_argument("--dir")
    parser.add_argument("--ports-file")
    parser.add_argument("--wait", type=float, default=30)
    parser.add_argument("--max-seconds", type=float, default=900)
    args = parser.parse_args()
    if args.action == "serve":
        if not args.ports_file:
            parser.error("serve needs --ports-file")
        return serve(args)
    if not args.dir:
        parser.error("--dir is required")
    return background.stop(args.dir, "proxy") if args.action == "stop" else start(args)


if __name__ == "__main__":
    sys.exit(main())
