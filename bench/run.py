#!/usr/bin/python3
"""Runs every benchmark inside a network namespace that scripts/bench made,
against nginx in that namespace, and prints one table.

    run.py --build BUILD --netns NAME --pki PKI [--quick]

The namespace must exist with its loopback up; scripts/bench creates it,
trusts the test CA in BUILD/wineprefix, and deletes the namespace afterwards.
This script starts nginx (and stops it again, also when a run fails), flips
the namespace's loopback routes between quickack on and off, runs the
Windows programs under Wine and the scripting client with /usr/bin/python3,
reads nginx's access log to count connections and TLS handshakes, and takes
medians over rounds.
"""

import argparse
import collections
import os
import random
import signal
import statistics
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
import cpu_profile  # noqa: E402  (figure 11, beside this file)
PYTHON = "/usr/bin/python3"
HTTP_PORT = 8080
HTTPS_PORT = 8443
# A second https port for the fresh-connection side of figure 3: Wine pools
# connections by host and port for the whole process.
FRESH_PORT = 8444
MIB = 1024 * 1024
JSON_RESOURCE_BYTES = 4096

TOKEN_REPLY = ('{"access_token":"2YotnFZFEjr1zCsicMWpAA-bench-0123456789abcdef",'
               '"token_type":"Bearer","expires_in":3600,'
               '"refresh_token":"tGzv3JOkF0XG5Qx2TlKWIA-bench-0123456789abcdef","scope":"read"}')
RESOURCE_REPLY = ('{"items":[{"id":1,"name":"first item","tags":["a","b"]},'
                  '{"id":2,"name":"second item","tags":["c"]}],"next":null}')

NGINX_CONF = """\
daemon on;
master_process on;
worker_processes 1;
user root;
pid {state}/nginx.pid;
error_log {state}/error.log warn;
events {{ worker_connections 4096; }}
http {{
    types {{ text/plain txt; }}
    default_type application/octet-stream;
    client_body_temp_path {state}/tmp/body;
    proxy_temp_path {state}/tmp/proxy;
    fastcgi_temp_path {state}/tmp/fastcgi;
    uwsgi_temp_path {state}/tmp/uwsgi;
    scgi_temp_path {state}/tmp/scgi;
    # Connection serial, request number on it, TLS session reuse (r) or a
    # full handshake (.), and the run tag of the query string.
    log_format bench '$connection $connection_requests $ssl_session_reused '
                     '$request_method $uri $arg_run $status $body_bytes_sent';
    access_log {state}/access.log bench;
    keepalive_timeout 300s;
    keepalive_requests 1000000;
    sendfile on;
    tcp_nodelay on;
    ssl_certificate {pki}/server.pem;
    ssl_certificate_key {pki}/server.key;
    ssl_session_cache shared:bench:4m;
    ssl_session_timeout 10m;
    server {{
        listen 127.0.0.1:{http_port};
        listen 127.0.0.1:{https_port} ssl;
        listen 127.0.0.1:{fresh_port} ssl;
        location = /token {{
            default_type application/json;
            return 200 '{token_reply}';
        }}
        location = /resource {{
            default_type application/json;
            return 200 '{resource_reply}';
        }}
        location /body/ {{
            alias {bodies}/;
        }}
        location /json/ {{
            alias {bodies}/json/;
            default_type application/json;
        }}
    }}
}}
"""


class Crash(RuntimeError):
    """A program died of a fault."""


def log(message):
    sys.stderr.write("bench: %s\n" % message)
    sys.stderr.flush()


class Bench:
    def __init__(self, args):
        self.build = os.path.abspath(args.build)
        self.netns = args.netns
        self.pki = os.path.abspath(args.pki)
        self.quick = args.quick
        self.state = os.path.join(self.build, "bench-run")
        self.bodies = os.path.join(self.state, "bodies")
        self.bin = os.path.join(self.build, "bin")
        self.access_log = os.path.join(self.state, "access.log")
        self.http = "http://127.0.0.1:%d" % HTTP_PORT
        self.https = "https://127.0.0.1:%d" % HTTPS_PORT
        self.https_fresh = "https://127.0.0.1:%d" % FRESH_PORT
        self.crashes = []
        # Per tag and side, the CPU ticks of the Wine server and nginx
        # during that side's rounds (see helper_pids).
        self.helper_ticks = {}

    # --- the namespace and the server ------------------------------------

    def in_netns(self, command):
        return ["ip", "netns", "exec", self.netns] + command

    def set_quickack(self, on):
        for destination in ("127.0.0.0/8", "127.0.0.1"):
            subprocess.run(["ip", "-n", self.netns, "route", "change", "local", destination,
                            "dev", "lo", "proto", "kernel", "scope", "host", "src", "127.0.0.1",
                            "table", "local", "quickack", "1" if on else "0"], check=True)

    def write_bodies(self, sizes):
        os.makedirs(self.bodies, exist_ok=True)
        ascii_block = "".join('{"id":%d,"name":"plain ascii resource item","ok":true}\n' % i
                              for i in range(100))
        text_block = "".join('{"id":%d,"name":"Größe naïve café — 日本語 текст 😀","ok":true}\n' % i
                             for i in range(100))
        for size in sizes:
            target = size * MIB
            for kind in ("ascii", "utf8", "utf16le"):
                path = os.path.join(self.bodies, "%s-%dm.txt" % (kind, size))
                if os.path.exists(path) and os.path.getsize(path) == target:
                    continue
                if kind == "ascii":
                    data = fill(ascii_block.encode("ascii"), target, b" ")
                elif kind == "utf8":
                    data = fill(text_block.encode("utf-8"), target, b" ", "utf-8")
                else:
                    data = b"\xff\xfe" + fill(text_block.encode("utf-16-le"), target - 2,
                                              " ".encode("utf-16-le"), "utf-16-le")
                with open(path, "wb") as f:
                    f.write(data)

    def write_json_resource(self):
        """A 4 KiB JSON document, served with type application/json."""
        folder = os.path.join(self.bodies, "json")
        os.makedirs(folder, exist_ok=True)
        items, i = [], 0
        while len('{"items":[%s]}' % ",".join(items)) < JSON_RESOURCE_BYTES - 80:
            items.append('{"id":%d,"name":"resource item %d","tags":["a","b"],"ok":true}' % (i, i))
            i += 1
        text = '{"items":[%s]}' % ",".join(items)
        text = text[:-1] + "," + '"pad":"%s"}' % ("x" * (JSON_RESOURCE_BYTES - len(text) - 9))
        assert len(text) == JSON_RESOURCE_BYTES
        with open(os.path.join(folder, "item-4k"), "w", encoding="ascii") as f:
            f.write(text)

    def start_nginx(self):
        os.makedirs(os.path.join(self.state, "tmp"), exist_ok=True)
        conf = os.path.join(self.state, "nginx.conf")
        with open(conf, "w", encoding="utf-8") as f:
            f.write(NGINX_CONF.format(state=self.state, pki=self.pki, bodies=self.bodies,
                                      http_port=HTTP_PORT, https_port=HTTPS_PORT,
                                      fresh_port=FRESH_PORT,
                                      token_reply=TOKEN_REPLY, resource_reply=RESOURCE_REPLY))
        if os.path.exists(self.access_log):
            os.remove(self.access_log)
        subprocess.run(self.in_netns(["nginx", "-c", conf, "-p", self.state]), check=True,
                       timeout=30)

    def stop_nginx(self):
        pid_file = os.path.join(self.state, "nginx.pid")
        try:
            with open(pid_file, encoding="ascii") as f:
                pid = int(f.read().strip())
        except (OSError, ValueError):
            return
        try:
            os.kill(pid, signal.SIGTERM)
        except ProcessLookupError:
            return
        deadline = time.monotonic() + 5
        while time.monotonic() < deadline and os.path.exists(pid_file):
            time.sleep(0.05)

    # --- running the clients ---------------------------------------------

    def run(self, command, timeout=600, retry=True):
        # A program that dies of a fault (Wine reports exit code 5 for an
        # unhandled exception) is run once more, and counted: the figures are
        # kept, the crash is reported under the tables.
        for attempt in (1, 2):
            code, lines, errors = self.run_once(command, timeout)
            if code == 0:
                return lines
            sys.stderr.write(errors)
            if code == 5 and not retry:
                self.crashes.append(" ".join(os.path.basename(c) for c in command[:2]) + " " +
                                    " ".join(command[2:]))
                raise Crash(command)
            if attempt == 1 and code == 5:
                self.crashes.append(" ".join(os.path.basename(c) for c in command[:2]) + " " +
                                    " ".join(command[2:]))
                log("%s crashed; running it again" % os.path.basename(command[1] if len(command) > 1
                                                                       else command[0]))
                continue
            raise RuntimeError("%s failed with exit code %d" % (" ".join(command), code))

    def run_once(self, command, timeout):
        # Files, not pipes: the helper processes that Wine starts with the
        # first program of a session inherit its output handles and outlive
        # it, so a pipe would never reach its end.
        with tempfile.TemporaryFile("w+") as out, tempfile.TemporaryFile("w+") as err:
            result = subprocess.run(self.in_netns(command), stdin=subprocess.DEVNULL, stdout=out,
                                    stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            text = out.read()
            code = result.returncode
            # Wine's crash report may reach standard output while the exit
            # code still reads as success.
            if code == 0 and "Unhandled page fault" in text + err.read():
                code = 5
            err.seek(0)
            lines = [line.split() for line in text.splitlines() if line.strip()]
            return code, lines, err.read() if code != 0 else ""

    def wine(self, program, *args, directory=None, timeout=600, retry=True):
        path = os.path.join(directory or self.bin, program)
        return self.run([os.path.join(self.build, "wine-run.sh"), path] + list(args), timeout, retry)

    def token(self, url, count, rounds, tag, program_dir=None, only=None):
        args = ["--url", url + "/token", "--count", str(count), "--rounds", str(rounds), "--tag", tag]
        if only:
            args += ["--only", only]
        lines = self.wine("bench_token.exe", *args, directory=program_dir)
        return per_request(lines, 1, 3, count)

    def python_token(self, url, count, rounds, tag):
        lines = self.run([PYTHON, os.path.join(HERE, "token_python.py"), "--url", url + "/token",
                          "--count", str(count), "--rounds", str(rounds), "--tag", tag,
                          "--ca", os.path.join(self.pki, "ca.pem")])
        return per_request(lines, 1, 3, count)["python"]

    def resource(self, url, count, rounds, tag, method="GET", only=None, fresh_url=None):
        args = ["--url", url + "/resource", "--count", str(count), "--rounds", str(rounds),
                "--tag", tag, "--method", method, "--fresh-url", (fresh_url or url) + "/resource"]
        if only:
            args += ["--only", only]
        return per_request(self.wine("bench_resource.exe", *args), 1, 3, count)

    def helper_pids(self):
        """The Wine server of the build's prefix (it works in a folder named
        after the prefix's device and inode) and nginx's worker: the other
        processes on the two cores while the benchmark runs."""
        prefix = os.stat(os.path.join(self.build, "wineprefix"))
        server_dir = "server-%x-%x" % (prefix.st_dev, prefix.st_ino)
        pids = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                if os.path.basename(os.readlink("/proc/%s/cwd" % pid)) != server_dir:
                    continue
                with open("/proc/%s/comm" % pid, encoding="ascii") as f:
                    if "wineserver" in f.read():
                        pids.append(pid)
                        break
            except OSError:
                continue
        try:
            with open(os.path.join(self.state, "nginx.pid"), encoding="ascii") as f:
                master = f.read().strip()
            with open("/proc/%s/task/%s/children" % (master, master), encoding="ascii") as f:
                pids += f.read().split()[:1]
        except OSError:
            pass
        return pids

    def threads(self, mode, url, threads, count, rounds, tag):
        """Per side, the rounds (see thread_rounds). The rounds are run three
        to a process; a process that dies of a fault is run again (up to
        three times) with rounds of new numbers, and only whole runs count."""
        lines = []
        pids = self.helper_pids()
        helpers = ["--helpers", ",".join(pids)] if pids else []
        for first in range(1, rounds + 1, 3):
            n = min(3, rounds + 1 - first)
            for attempt in range(3):
                try:
                    lines += self.wine("bench_threads.exe", "--mode", mode, "--url", url,
                                       "--threads", str(threads), "--count", str(count),
                                       "--rounds", str(n), "--tag", tag,
                                       "--first-round", str(first + 100 * attempt),
                                       *helpers, timeout=1800, retry=False)
                    break
                except Crash:
                    log("bench_threads.exe crashed; running its rounds again")
            else:
                raise RuntimeError("bench_threads.exe crashed three times")
        ticks = self.helper_ticks.setdefault(tag, {})
        for fields in lines:
            if fields[0] == "helpers" and all(int(t) >= 0 for t in fields[3:]):
                side = ticks.setdefault(fields[1], [0] * (len(fields) - 3))
                for i, t in enumerate(fields[3:]):
                    side[i] += int(t)
        return thread_rounds(lines)

    def steps(self, url, threads, count, rounds):
        lines = self.wine("bench_steps.exe", "--url", url + "/token", "--threads", str(threads),
                          "--count", str(count), "--rounds", str(rounds), timeout=1800)
        parts = [(f[1], float(f[2]), float(f[3])) for f in lines if f[0] == "part"]
        return thread_rounds([f for f in lines if f[0] == "step"]), parts

    def calls(self, mode, url, count, threads):
        lines = self.wine("bench_calls.exe", "--mode", mode, "--url", url, "--count", str(count),
                          "--threads", str(threads), timeout=1800)
        first = {f[0]: [float(v) for v in f[1:]] for f in lines if f[0] != "call"}
        calls = [(f[1], f[2], float(f[3]), float(f[4])) for f in lines if f[0] == "call"]
        return first, calls

    def cold(self, url, pairs, tag):
        """Milliseconds to the first token of each side, a fresh process each,
        in sets whose order turns: the library, raw WinHTTP, and raw WinHTTP
        following the user's proxy settings as the library does."""
        pairs_ms = []
        sides = ("oauth", "winhttp", "winhttp-proxy")
        for i in range(pairs):
            order = sides[i % 3:] + sides[:i % 3]
            times = {}
            for side in order:
                run_url = "%s/token?run=%s-%s-%d" % (url, tag, side, i)
                lines = self.wine("bench_coldstart.exe", "--side", side, "--url", run_url, timeout=120)
                times[side] = float(lines[-1][2])
                times[side + "-load"] = float(lines[-1][3])
            pairs_ms.append(times)
        return pairs_ms

    def module_loads(self, runs):
        """Milliseconds of each module's LoadLibrary after winhttp.dll's, a
        fresh process per run: name -> list of times."""
        times = collections.defaultdict(list)
        for _ in range(runs):
            for fields in self.wine("bench_coldstart.exe", "--side", "modules", timeout=120):
                if fields[0] == "module":
                    times[fields[1]].append(float(fields[2]))
        return times

    # --- the server's log --------------------------------------------------

    def connections(self):
        """Per run tag: connections, and of those, how many resumed a TLS session."""
        seen = {}
        counts = collections.defaultdict(lambda: [0, 0])
        with open(self.access_log, encoding="utf-8", errors="replace") as f:
            for line in f:
                fields = line.split()
                if len(fields) < 6:
                    continue
                serial, reused, tag = fields[0], fields[2], fields[5]
                if (tag, serial) in seen:
                    continue
                seen[(tag, serial)] = True
                counts[tag][0] += 1
                if reused == "r":
                    counts[tag][1] += 1
        return counts


def fill(block, size, pad, encoding=None):
    """block repeated to exactly size bytes; a character cut in two at the end
    is dropped and the room filled with pad."""
    data = (block * (size // len(block) + 1))[:size]
    if encoding:
        data = data[:size - size % len(pad)].decode(encoding, "ignore").encode(encoding)
    return data + pad * ((size - len(data)) // len(pad))


def per_request(lines, side_index, ms_index, count):
    """Median milliseconds per request of each side, over the rounds."""
    rounds = collections.defaultdict(list)
    for fields in lines:
        rounds[fields[side_index]].append(float(fields[ms_index]) / count)
    return {side: statistics.median(values) for side, values in rounds.items()}


def thread_rounds(lines):
    """Rounds of "threads|step SIDE ROUND WALL CPU REQUESTS FAILED" lines, by
    side: a list of (round, requests per second, CPU microseconds per request,
    failed requests, CPU milliseconds, requests, median microseconds of one
    request)."""
    sides = collections.defaultdict(list)
    for fields in lines:
        if fields[0] not in ("threads", "step") or len(fields) < 8:
            continue
        wall, cpu, requests, failed = float(fields[3]), float(fields[4]), int(fields[5]), int(fields[6])
        sides[fields[1]].append((int(fields[2]), requests / (wall / 1000), 1000 * cpu / requests, failed,
                                 cpu, requests, float(fields[7])))
    return sides


def cpu_per_request(rounds):
    """Microseconds of process CPU per request over all rounds together: Wine
    counts process time in ticks of 10 ms, too coarse for one short round."""
    return 1000 * sum(r[4] for r in rounds) / sum(r[5] for r in rounds)


def paired_ratios(rounds_a, rounds_b, index):
    """a's figure divided by b's in the same round, for every round both ran."""
    b = {r[0]: r for r in rounds_b}
    return [r[index] / b[r[0]][index] for r in rounds_a if r[0] in b]


def paired(rounds_a, rounds_b, index):
    """The median over rounds of a's figure divided by b's in the same round."""
    return statistics.median(paired_ratios(rounds_a, rounds_b, index))


def median_interval(values, resamples=2000):
    """A 95 % bootstrap interval of the median: on two cores the paired ratio
    of one round at 32 threads lands anywhere from 0.6 to 1.4, so a median
    alone says little about how near a goal the truth is."""
    rng = random.Random(17)
    medians = sorted(statistics.median(rng.choices(values, k=len(values)))
                     for _ in range(resamples))
    return medians[int(0.025 * resamples)], medians[int(0.975 * resamples) - 1]


def median_of(rounds, index):
    return statistics.median(r[index] for r in rounds)


def median_count(counts, prefix, rounds):
    values = [counts[f"{prefix}-{r}"][0] for r in range(1, rounds + 1)]
    resumed = [counts[f"{prefix}-{r}"][1] for r in range(1, rounds + 1)]
    return statistics.median(values), statistics.median(resumed)


class Table:
    def __init__(self):
        self.rows = []

    def add(self, figure, value, baseline="-", ratio="-", goal="-", met="-"):
        self.rows.append((figure, value, baseline, ratio, goal, met))

    def print(self, title):
        header = ("figure", "value", "baseline", "ratio", "goal", "met?")
        widths = [max(len(str(row[i])) for row in self.rows + [header]) for i in range(6)]
        print()
        print(title)
        line = "  ".join("%-*s" % (widths[i], header[i]) for i in range(6))
        print(line)
        print("-" * len(line))
        for row in self.rows:
            print("  ".join("%-*s" % (widths[i], row[i]) for i in range(6)))


def ms(value):
    return "%.3f ms/req" % value


def yes(condition):
    return "yes" if condition else "NO"


def base_figures(bench, args):
    """Figures 1 to 6: one thread, the library against raw WinHTTP and
    requests-oauthlib, connection reuse, body decoding, memory, objects."""

    n = 200 if args.quick else 2000
    rounds = 2 if args.quick else 5
    tls_rounds = 1 if args.quick else 3
    nopin_count = 200 if args.quick else 500
    artefact_count = 100 if args.quick else 200
    sizes = [1, 16, 64]

    log("writing the resource bodies")
    bench.write_bodies(sizes)
    log("starting nginx in namespace %s" % args.netns)
    bench.start_nginx()
    try:
        table = Table()
        artefact = Table()

        # The delayed-ACK artefact, shown once: the same small runs with the
        # loopback's quickack off and on.
        for on in (False, True):
            bench.set_quickack(on)
            label = "quickack %s" % ("on" if on else "off")
            log("POST and GET with %s" % label)
            tag = "ack%d" % on
            token = bench.token(bench.http, artefact_count, 1, tag + "-tok")
            python = bench.python_token(bench.http, artefact_count, 1, tag + "-py")
            get = bench.resource(bench.http, artefact_count, 1, tag + "-get", only="reuse")["reuse"]
            post = bench.resource(bench.http, artefact_count, 1, tag + "-post", method="POST",
                                  only="reuse")["reuse"]
            artefact.add("POST /token, OAuth_Dll RequestToken (%s)" % label, ms(token["oauth"]))
            artefact.add("POST /token, raw WinHTTP (%s)" % label, ms(token["winhttp"]))
            artefact.add("POST /token, requests-oauthlib (%s)" % label, ms(python))
            artefact.add("POST /resource, OAuth_Dll RequestResource (%s)" % label, ms(post))
            artefact.add("GET /resource, OAuth_Dll RequestResource (%s)" % label, ms(get))
        # Everything below runs with quickack on.

        # Figures 1 and 2: token requests over http (the client's own cost)
        # and over https.
        fig1 = {}
        fig2 = {}
        for scheme, url, r in (("http", bench.http, rounds), ("https", bench.https, tls_rounds)):
            log("figure 1, %s: %d token requests x %d rounds, OAuth_Dll and raw WinHTTP" % (scheme, n, r))
            fig1[scheme] = bench.token(url, n, r, "f1" + scheme)
            log("figure 2, %s: requests-oauthlib" % scheme)
            fig2[scheme] = bench.python_token(url, n, r, "f2" + scheme)
        nopin = {}
        for scheme, url in (("http", bench.http), ("https", bench.https)):
            log("figure 1, %s: %d token requests with the component unpinned" % (scheme, nopin_count))
            nopin[scheme] = bench.token(url, nopin_count, 1, "np" + scheme,
                                        program_dir=os.path.join(bench.bin, "nopin"))

        log("figure 3: %d https resource requests x %d rounds, reused and fresh connections" % (n, tls_rounds))
        fig3 = bench.resource(bench.https, n, tls_rounds, "f3", fresh_url=bench.https_fresh)

        log("figure 4: body decoding")
        decode_lines = bench.wine("bench_decode.exe", "--base", bench.http + "/body/",
                                  "--sizes", ",".join(str(s) for s in sizes),
                                  "--rounds", "3" if args.quick else "5", timeout=900)
        log("figure 5: peak memory for 64 MiB bodies")
        memory = {}
        for kind in ("ascii", "utf8", "utf16le"):
            lines = bench.wine("bench_memory.exe", "--url", "%s/body/%s-64m.txt" % (bench.http, kind))
            memory[kind] = {fields[1]: int(fields[2]) for fields in lines}
        log("figure 6: per-object cost")
        object_lines = bench.wine("bench_objects.exe", "--count", "20000" if args.quick else "100000",
                                  "--rounds", str(rounds))
        counts = bench.connections()
    finally:
        bench.stop_nginx()

    # Figures 1 and 2.
    for scheme in ("http", "https"):
        r = rounds if scheme == "http" else tls_rounds
        oauth, raw = fig1[scheme]["oauth"], fig1[scheme]["winhttp"]
        table.add("1 token exchange %s: OAuth_Dll / raw WinHTTP" % scheme, ms(oauth), ms(raw),
                  "%.3f" % (oauth / raw), "<= 1.10", yes(oauth / raw <= 1.10))
        unpinned, unpinned_raw = nopin[scheme]["oauth"], nopin[scheme]["winhttp"]
        table.add("1 token exchange %s: component unpinned (before), OAuth_Dll / raw" % scheme,
                  ms(unpinned), ms(unpinned_raw), "%.3f" % (unpinned / unpinned_raw))
        conns = "connections per %d: OAuth_Dll %g, raw %g, unpinned %g (per %d)" % (
            n, median_count(counts, "f1%s-oauth" % scheme, r)[0],
            median_count(counts, "f1%s-winhttp" % scheme, r)[0],
            median_count(counts, "np%s-oauth" % scheme, 1)[0], nopin_count)
        table.add("1 token exchange %s: server log" % scheme, conns)
    for scheme in ("http", "https"):
        oauth, raw, python = fig1[scheme]["oauth"], fig1[scheme]["winhttp"], fig2[scheme]
        raw_ratio = raw / python
        table.add("2 %s: raw WinHTTP / requests-oauthlib" % scheme, ms(raw), ms(python),
                  "%.3f" % raw_ratio)
        table.add("2 %s: OAuth_Dll / requests-oauthlib" % scheme, ms(oauth), ms(python),
                  "%.3f" % (oauth / python), "<= 1.10 x %.3f = %.3f" % (raw_ratio, 1.10 * raw_ratio),
                  yes(oauth / python <= 1.10 * raw_ratio))

    # Figure 3.
    reuse, fresh = fig3["reuse"], fig3["fresh"]
    table.add("3 https GET /resource: reused / fresh connections (throughput)",
              "%.0f req/s" % (1000 / reuse), "%.0f req/s" % (1000 / fresh),
              "%.2f" % (fresh / reuse), ">= 3", yes(fresh / reuse >= 3))
    for side in ("reuse", "fresh"):
        connections, resumed = median_count(counts, "f3-" + side, tls_rounds)
        table.add("3 %s: TCP connections / TLS handshakes per %d" % (side, n),
                  "%g connections, %g handshakes (%g full, %g resumed)" % (
                      connections, connections, connections - resumed, resumed))

    # Figure 4: MB/s of body bytes, and the time ratio to one MultiByteToWideChar pass.
    timings = collections.defaultdict(list)
    for fields in decode_lines:
        timings[(fields[1], int(fields[2]), fields[3])].append(float(fields[5]))
    names = {"text": "GetBodyText", "as0": "GetBodyTextAs(ANSI)", "as1": "GetBodyTextAs(UTF-16LE)",
             "as2": "GetBodyTextAs(UTF-8)"}
    for kind in ("ascii", "utf8", "utf16le"):
        for size in sizes:
            base = statistics.median(timings[(kind, size, "mbtwc")])
            base_rate = size * MIB / 1e6 / (base / 1000)
            # What any decoder that hands out a new text pays at least: the
            # same pass into a new array, whose pages are touched the first time.
            fresh = statistics.median(timings[(kind, size, "mbtwc_fresh")])
            table.add("4 floor: the pass into a new array, %s %d MiB" % (kind, size),
                      "%.0f MB/s" % (size * MIB / 1e6 / (fresh / 1000)), "%.0f MB/s" % base_rate,
                      "%.2f" % (fresh / base))
            for op in ("text", "as0", "as2", "as1"):
                if (kind, size, op) not in timings:
                    continue
                value = statistics.median(timings[(kind, size, op)])
                rate = size * MIB / 1e6 / (value / 1000)
                table.add("4 %s %s %d MiB" % (names[op], kind, size), "%.0f MB/s" % rate,
                          "%.0f MB/s" % base_rate, "%.2f" % (value / base), "<= 3",
                          yes(value / base <= 3))

    # Figure 5.
    for kind in ("ascii", "utf8", "utf16le"):
        m = memory[kind]
        body = m["body"]
        table.add("5 peak private bytes, 64 MiB %s body, receive + GetBodyText" % kind,
                  "%.1f MiB" % (m["total"] / MIB), "%.1f MiB" % (body / MIB),
                  "%.2f" % (m["total"] / body), "<= 6", yes(m["total"] <= 6 * body))
        table.add("5 %s: of which receive / text phase" % kind,
                  "%.1f / %.1f MiB" % (m["receive"] / MIB, m["text"] / MIB))

    # Figure 6.
    cycles = collections.defaultdict(list)
    for fields in object_lines:
        cycles[fields[1]].append(float(fields[3]))
    table.add("6 token request create, fill, release", "%.0f ns/cycle" % statistics.median(cycles["token"]))
    table.add("6 resource request create, fill, release",
              "%.0f ns/cycle" % statistics.median(cycles["resource"]))
    table.add("6 OAuth client create, release", "%.0f ns/cycle" % statistics.median(cycles["client"]))

    artefact.print("Wine's WinHTTP writes a POST's headers and body as two segments: with quickack off "
                   "each POST waits for the server's delayed ACK (%d requests each)" % artefact_count)
    table.print("OAuth_Dll benchmarks (quickack on; medians of %d rounds, %d over https)"
                % (rounds, tls_rounds))


# Figures 7 and 8: the thread counts, with their goals (the least ratio of
# requests per second to raw WinHTTP's; for 32 token threads also the most
# ratio of CPU per token).
TOKEN_THREADS = ((1, 0.97, None), (4, None, None), (8, None, None), (32, 0.95, 1.10))
RESOURCE_THREADS = ((1, 0.97, None), (32, 0.95, None))
COLD_GOAL = 1.10


def helper_row(table, label, threads, sides, ticks):
    """The Wine server's and nginx's CPU per request on each side, and all
    three processes together: with the two cores full, the ratio of those
    totals is what the rates follow."""
    if set(ticks) != {"oauth", "winhttp"} or len(ticks["oauth"]) != 2:
        return
    figures = {}
    for side, rounds in sides.items():
        requests = sum(r[5] for r in rounds)
        server, nginx = (10000 * t / requests for t in ticks[side])
        figures[side] = (server, nginx, cpu_per_request(rounds) + server + nginx)
    table.add("%s, %d: Wine server + nginx CPU per request; all three processes" % (
                  label.split(",")[0], threads),
              "%.0f + %.0f us; %.0f us" % figures["oauth"],
              "%.0f + %.0f us; %.0f us" % figures["winhttp"],
              "all %.2f" % (figures["oauth"][2] / figures["winhttp"][2]))


def thread_rows(table, label, threads, sides, counts, tag, rate_goal, cpu_goal):
    oauth, raw = sides["oauth"], sides["winhttp"]
    ratios = paired_ratios(oauth, raw, 1)
    rate_ratio = statistics.median(ratios)
    low, high = median_interval(ratios)
    cpu_ratio = cpu_per_request(oauth) / max(cpu_per_request(raw), 1e-9)
    failed_oauth = sum(r[3] for r in oauth)
    failed_raw = sum(r[3] for r in raw)
    goals = []
    met = failed_oauth == 0
    if rate_goal is not None:
        goals.append(">= %.2f" % rate_goal)
        met = met and rate_ratio >= rate_goal
    goals.append("0 failed")
    if cpu_goal is not None:
        goals.append("CPU <= %.2f" % cpu_goal)
        met = met and cpu_ratio <= cpu_goal
    table.add("%s, %d thread%s: OAuth_Dll / raw WinHTTP" % (label, threads, "" if threads == 1 else "s"),
              "%.0f/s, %.0f us CPU" % (median_of(oauth, 1), cpu_per_request(oauth)),
              "%.0f/s, %.0f us CPU" % (median_of(raw, 1), cpu_per_request(raw)),
              "%.3f (%.2f-%.2f; CPU %.2f)" % (rate_ratio, low, high, cpu_ratio), ", ".join(goals),
              yes(met))
    table.add("%s, %d: failed requests, connections per round" % (label.split(",")[0], threads),
              "failed %d / %d; connections OAuth_Dll %g, raw %g" % (
                  failed_oauth, failed_raw,
                  statistics.median(counts["%s-oauth-%d" % (tag, r[0])][0] for r in oauth),
                  statistics.median(counts["%s-winhttp-%d" % (tag, r[0])][0] for r in raw)))


def concurrency_figures(bench, args, sections):
    """Figure 7: tokens and resources on many threads; 8: cold start; 9: the
    ladder of per-exchange steps from raw WinHTTP to RequestToken; 10: calls
    out of the modules; 11: a profile of figure 7's 32-thread tokens."""
    rounds = 2 if args.quick else 9
    # Single rounds on 32 threads spread far more than on one (see
    # median_interval): medians of 25 rounds of one build moved from 0.92 to
    # 0.97 run by run, so the rows with a goal run more of them, which
    # halves the interval of the median.
    rounds_for = lambda threads: rounds if args.quick else {1: 25, 32: 100}.get(threads, rounds)
    per_thread = (lambda t: 50) if args.quick else (lambda t: max(200, 800 // t))
    resource_per_thread = (lambda t: 30) if args.quick else (lambda t: max(100, 800 // t))
    cold_pairs = 3 if args.quick else 30
    step_rounds = 1 if args.quick else 7

    bench.write_json_resource()
    bench.set_quickack(True)
    bench.start_nginx()
    try:
        token_runs, resource_runs, cold_runs, step_runs, module_runs = {}, {}, {}, {}, {}
        if "threads" in sections:
            for threads, _, _ in TOKEN_THREADS:
                log("figure 7: tokens on %d threads, %d each x %d rounds" % (
                    threads, per_thread(threads), rounds_for(threads)))
                token_runs[threads] = bench.threads("token", bench.http + "/token", threads,
                                                    per_thread(threads), rounds_for(threads),
                                                    "t7tok%d" % threads)
            for threads, _, _ in RESOURCE_THREADS:
                log("figure 7: https resource GETs on %d threads, %d each x %d rounds" % (
                    threads, resource_per_thread(threads), rounds_for(threads)))
                resource_runs[threads] = bench.threads(
                    "resource", bench.https + "/json/item-4k", threads, resource_per_thread(threads),
                    rounds_for(threads), "t7res%d" % threads)
        if "cold" in sections:
            for scheme, url in (("http", bench.http), ("https", bench.https)):
                log("figure 8: cold start over %s, %d sets of processes" % (scheme, cold_pairs))
                cold_runs[scheme] = bench.cold(url, cold_pairs, "c8" + scheme)
            log("figure 8: the modules' loads, %d fresh processes" % cold_pairs)
            module_runs = bench.module_loads(cold_pairs)
        if "steps" in sections:
            for threads, count in ((1, 100 if args.quick else 600), (32, 10 if args.quick else 60)):
                log("figure 9: the step ladder on %d threads, %d each x %d rounds" % (
                    threads, count, step_rounds))
                step_runs[threads] = bench.steps(bench.http, threads, count, step_rounds)
        call_runs = {}
        if "calls" in sections:
            for label, mode, url, threads, count in (
                    ("RequestToken http, 1 thread", "token", bench.http + "/token", 1,
                     200 if args.quick else 3000),
                    ("RequestToken http, 32 threads", "token", bench.http + "/token", 32,
                     10 if args.quick else 100),
                    ("RequestResource 4 KiB text https, 1 thread", "resource",
                     bench.https + "/json/item-4k", 1, 200 if args.quick else 2000)):
                log("figure 10: calls made by %s, %d requests each" % (label, count))
                call_runs[label] = bench.calls(mode, url, count, threads)
        profiled = None
        if "profile" in sections:
            log("figure 11: a profile of tokens on 32 threads, %d each x %d rounds" % (
                per_thread(32), rounds))
            profiled = cpu_profile.record(bench, 32, per_thread(32), rounds)
        counts = bench.connections()
    finally:
        bench.stop_nginx()

    table = Table()
    for threads, rate_goal, cpu_goal in TOKEN_THREADS:
        if threads in token_runs:
            thread_rows(table, "7 tokens, http", threads, token_runs[threads], counts,
                        "t7tok%d" % threads, rate_goal, cpu_goal)
            helper_row(table, "7 tokens, http", threads, token_runs[threads],
                       bench.helper_ticks.get("t7tok%d" % threads, {}))
    for threads, rate_goal, cpu_goal in RESOURCE_THREADS:
        if threads in resource_runs:
            thread_rows(table, "7 resource GET 4 KiB text, https", threads, resource_runs[threads],
                        counts, "t7res%d" % threads, rate_goal, cpu_goal)
            helper_row(table, "7 resource GET 4 KiB text, https", threads, resource_runs[threads],
                       bench.helper_ticks.get("t7res%d" % threads, {}))
    for scheme, pairs in cold_runs.items():
        oauth = statistics.median(p["oauth"] for p in pairs)
        raw = statistics.median(p["winhttp"] for p in pairs)
        ratio = statistics.median(p["oauth"] / p["winhttp"] for p in pairs)
        table.add("8 cold start %s: LoadLibrary to first token, OAuth_Dll / winhttp.dll" % scheme,
                  "%.1f ms" % oauth, "%.1f ms" % raw, "%.3f" % ratio, "<= %.2f" % COLD_GOAL,
                  yes(ratio <= COLD_GOAL))
        # The library follows the user's proxy settings; where they say
        # "detect automatically" (Wine's and a new Windows profile's default),
        # its first exchange makes the lookup that raw WinHTTP's default proxy
        # never makes. The same raw program making that lookup too shows
        # what is the setting's and what is the library's.
        proxied = statistics.median(p["winhttp-proxy"] for p in pairs)
        ratio = statistics.median(p["oauth"] / p["winhttp-proxy"] for p in pairs)
        table.add("8 cold start %s: OAuth_Dll / winhttp.dll following the user's proxy "
                  "settings" % scheme, "%.1f ms" % oauth, "%.1f ms" % proxied, "%.3f" % ratio,
                  "<= %.2f" % COLD_GOAL, yes(ratio <= COLD_GOAL))
        table.add("8 cold start %s: of which the LoadLibrary call" % scheme,
                  "%.1f ms" % statistics.median(p["oauth-load"] for p in pairs),
                  "%.1f ms" % statistics.median(p["winhttp-load"] for p in pairs))
    if module_runs:
        # Under Wine the loader charges about as much for a module with
        # nothing in it as for ours; the sum is what the library's three
        # modules add to a first call, whatever they do.
        ours = ("QZSHR190.dll", "OAuth_Dll.dll", "qzhttpclient190.dll")
        medians = {name: statistics.median(values) for name, values in module_runs.items()}
        table.add("8 cold start: LoadLibrary of each module after winhttp.dll's",
                  " + ".join("%s %.1f" % (name.split(".")[0], medians[name]) for name in ours) +
                  " = %.1f ms" % sum(medians[name] for name in ours),
                  "empty module %.1f ms" % medians["bench_empty.dll"])
    if table.rows:
        table.print("Threads and first calls (quickack on; tokens over http; per round every thread "
                    "makes its requests; medians of %d rounds, %d on one thread and %d on 32; "
                    "ratios the median of paired rounds and its 95 %% bootstrap interval; cold "
                    "start over %d sets of fresh processes)"
                    % (rounds, rounds_for(1), rounds_for(32), cold_pairs))

    if profiled:
        where = Table()
        rounds_of = profiled["rounds"]
        cpu_profile.rows(profiled, where, "tokens, http, 32 threads",
                         paired(rounds_of["oauth"], rounds_of["winhttp"], 1))
        where.print("Where a token's CPU goes on 32 threads (%d rounds in one process, the sides "
                    "alternating): system-wide perf samples put down to the side whose round was "
                    "running, in microseconds per token; value OAuth_Dll, baseline raw WinHTTP, "
                    "ratio column the difference. The processes, then the modules and functions "
                    "that differ most" % rounds)

    if step_runs:
        ladder = Table()
        for threads, (sides, _) in step_runs.items():
            for name in STEP_NAMES:
                if name not in sides:
                    continue
                rounds_of = sides[name]
                cpu = cpu_per_request(rounds_of)
                step = "-"
                base = STEP_BASES.get(name)
                if base in sides:
                    step = "%+.0f us median, %+.0f us CPU" % (
                        median_of(rounds_of, 6) - median_of(sides[base], 6),
                        cpu - cpu_per_request(sides[base]))
                ladder.add("9 %d thread%s: %s" % (threads, "" if threads == 1 else "s", STEP_TEXT[name]),
                           "%.0f/s, median %.0f us, %.0f us CPU" % (
                               median_of(rounds_of, 1), median_of(rounds_of, 6), cpu),
                           step, "%.2f (%.2f-%.2f)" % (
                               (paired(rounds_of, sides["raw"], 1),) +
                               median_interval(paired_ratios(rounds_of, sides["raw"], 1))))
        for threads, (_, parts) in step_runs.items():
            for name, median, mean in parts:
                ladder.add("9 %d thread%s, every step, part: %s" % (
                    threads, "" if threads == 1 else "s", PART_TEXT.get(name, name)),
                    "median %.1f us, mean %.1f us" % (median, mean))
        ladder.print("Where a token's time goes: each rung adds one step to the one before (http, "
                     "%d rounds); value: tokens/s, the median time of one token and process CPU per "
                     "token; baseline column: the step's cost against its base rung (median: of "
                     "every token's own time; CPU: all rounds together, which Wine counts in 10 ms "
                     "ticks); ratio: throughput against raw, with the 95 %% interval of that "
                     "median. Then the rung with every step, each part timed on its own" % step_rounds)

    if call_runs:
        calls_table = Table()
        overhead = None
        for label, (first, calls) in call_runs.items():
            mean, median, cpu = first["total"]
            inside, timed_calls = first["inside"]
            outside_cost, inside_cost = first["overhead"]
            overhead = (outside_cost, inside_cost)
            calls_table.add("10 %s: one request's time, mean / median; process CPU" % label,
                            "%.1f / %.1f us; %.0f us CPU" % (mean, median, cpu))
            calls_table.add("10 %s: inside timed calls (WinHTTP, loader, heap, conversions)" % label,
                            "%.1f us in %.1f calls" % (inside, timed_calls), "-", "%.2f" % (inside / mean))
            calls_table.add("10 %s: outside them, median / mean: the library's own code, counted "
                            "calls, and timing's cost" % label,
                            "%.1f / %.1f us" % tuple(first["outside"]),
                            "timing ~%.1f us" % (timed_calls * (outside_cost + inside_cost)))
            for module, function, per, us in sorted(calls, key=lambda c: (-max(c[3], 0), -c[2])):
                if per < 0.5 and us < 1:
                    continue
                calls_table.add("10 %s: %s -> %s" % (label, module, function), "%.2f calls" % per,
                                "%.1f us" % us if us >= 0 else "-")
        calls_table.print("Calls out of the library and its component per request, counted through "
                          "their import tables, after warm-up; baseline column: time inside the call "
                          "where it is timed. Timing adds %.2f us outside and %.2f us inside each timed "
                          "call (measured around an empty call), shown in the 'outside' rows" % overhead)


# The ladder's rungs in order, what each adds, and the rung it is measured
# against (component and library against the last stand-in rung that they
# contain).
STEP_NAMES = ("raw", "component-session", "+connect", "+options", "+timeouts", "+header-lines",
              "+reply-queries", "+session-lock", "+deadline-watch", "+probe-load", "component",
              "library")
STEP_TEXT = {
    "raw": "raw WinHTTP (one connection handle per thread)",
    "component-session": "raw on a session opened as the component opens it",
    "+connect": "+ a connection handle per exchange",
    "+options": "+ four WinHttpSetOption calls per request",
    "+timeouts": "+ WinHttpSetTimeouts and the response timeout",
    "+header-lines": "+ headers added one line at a time",
    "+reply-queries": "+ reply header queries and QueryDataAvailable",
    "+session-lock": "+ a process-wide lock around the session",
    "+deadline-watch": "+ the deadline watch list and its shared timer",
    "+probe-load": "+ probe, LoadLibraryEx and FreeLibrary of the component",
    "component": "the component itself, a client per exchange",
    "library": "RequestToken",
}
STEP_BASES = {
    "component-session": "raw", "+connect": "component-session", "+options": "+connect",
    "+timeouts": "+options", "+header-lines": "+timeouts", "+reply-queries": "+header-lines",
    "+session-lock": "+reply-queries", "+deadline-watch": "+session-lock",
    "+probe-load": "+deadline-watch", "component": "+deadline-watch", "library": "component",
}

PART_TEXT = {
    "load": "probe, LoadLibraryEx, FreeLibrary", "lock": "session lock",
    "watch-start": "deadline watch start", "connect": "WinHttpConnect",
    "open": "WinHttpOpenRequest", "options": "four WinHttpSetOption",
    "timeouts": "WinHttpSetTimeouts + response timeout", "header-lines": "two WinHttpAddRequestHeaders",
    "send": "send and receive (the round trip)", "queries": "status and header queries",
    "read": "QueryDataAvailable and ReadData", "close": "closing the request and connection handles",
    "watch-stop": "deadline watch stop",
}

SECTIONS = ("base", "threads", "cold", "steps", "calls")
# Asked for by name only: it needs perf, and its figures explain figure 7's
# rather than stand beside them.
EXTRA_SECTIONS = ("profile",)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--netns", required=True)
    parser.add_argument("--pki", required=True)
    parser.add_argument("--quick", action="store_true", help="fewer requests and rounds")
    parser.add_argument("--only", default=",".join(SECTIONS),
                        help="comma-separated sections: " + ", ".join(SECTIONS + EXTRA_SECTIONS))
    args = parser.parse_args()
    sections = set(args.only.split(","))
    if not sections <= set(SECTIONS + EXTRA_SECTIONS):
        parser.error("unknown section in --only")
    bench = Bench(args)
    if "base" in sections:
        base_figures(bench, args)
    if sections & {"threads", "cold", "steps", "calls", "profile"}:
        concurrency_figures(bench, args, sections)
    if bench.crashes:
        print()
        print("Programs that died of a fault and were run again (%d):" % len(bench.crashes))
        for crash in bench.crashes:
            print("  " + crash)
    return 0


if __name__ == "__main__":
    sys.exit(main())
