"""Figure 11: where the CPU of a token goes on 32 threads, side by side.

The rates of figure 7 move by several hundredths from run to run on two
cores, more than most single costs of an exchange. This profile counts
instead: perf samples the whole machine while bench_threads.exe runs both
sides in one process, rounds alternating, and every sample is put down to the
side whose round was running at its time (bench_threads.exe --spans writes
the rounds' times), to its process (the benchmark, the Wine server, nginx)
and to the module and function it fell in. Wine's performance counter counts
CLOCK_MONOTONIC_RAW, which perf is told to stamp its samples with, so the two
clocks agree. Modules of the benchmark process are found from the bases it
wrote, and their functions from their own symbol tables (Wine's builtin DLLs
and ours keep them), since perf cannot read PE files.
"""

import bisect
import collections
import os
import re
import signal
import subprocess

WINE_DLLS = "/usr/lib/i386-linux-gnu/wine/i386-windows"
SAMPLE_HZ = 999
SAMPLE = re.compile(r"^\s*(\S+)\s+(\d+)\s+([\d.]+):\s+([0-9a-f]+)\s+(.*?)\s+\((.*)\)\s*$")


def unix_path(path):
    """The file behind a module path as the benchmark saw it, or None."""
    if path[:2].upper() == "Z:":
        return path[2:].replace("\\", "/")
    name = path.replace("\\", "/").rsplit("/", 1)[-1].lower()
    candidate = os.path.join(WINE_DLLS, name)
    return candidate if os.path.exists(candidate) else None


def without_parameters(name):
    """A demangled C++ name without its parameter list, which only widens
    the table; (anonymous namespace) and templates stay."""
    if not name.endswith(")"):
        return name
    depth = 0
    for i in range(len(name) - 1, -1, -1):
        depth += {")": 1, "(": -1}.get(name[i], 0)
        if depth == 0:
            return name[:i]
    return name


class PeSymbols:
    """Function names of one PE module loaded at base."""

    def __init__(self, path, base):
        self.addresses, self.names = [], []
        if path is None:
            return
        header = subprocess.run(["i686-w64-mingw32-objdump", "-p", path], capture_output=True,
                                text=True).stdout
        found = re.search(r"ImageBase\s+([0-9a-fA-F]+)", header)
        if not found:
            return
        shift = base - int(found.group(1), 16)
        table = subprocess.run(["i686-w64-mingw32-nm", "-n", "-C", path], capture_output=True,
                               text=True).stdout
        for line in table.splitlines():
            parts = line.strip().split(" ", 2)
            if len(parts) == 3 and parts[1] in ("t", "T") and parts[0]:
                self.addresses.append(int(parts[0], 16) + shift)
                self.names.append(without_parameters(parts[2]))

    def name(self, address):
        i = bisect.bisect_right(self.addresses, address) - 1
        return self.names[i] if i >= 0 else "?"


def read_spans(path):
    """The rounds as (start, end, side, requests, round) and the modules as
    (base, end, path), from a bench_threads.exe --spans file."""
    spans, modules = [], []
    with open(path, encoding="utf-8", errors="replace") as f:
        for line in f:
            fields = line.split()
            if fields and fields[0] == "span":
                spans.append((float(fields[3]), float(fields[4]), fields[1], int(fields[5]),
                              int(fields[2])))
            elif fields and fields[0] == "module":
                base = int(fields[1], 16)
                modules.append((base, base + int(fields[2]), line.split(None, 3)[3].strip()))
    return sorted(spans), sorted(modules)


def record(bench, threads, count, rounds):
    """Runs the token rounds under a system-wide perf and attributes the
    samples (see attribute)."""
    spans = os.path.join(bench.state, "profile-spans.txt")
    data = os.path.join(bench.state, "profile.data")
    helpers = bench.helper_pids()
    perf = subprocess.Popen(["perf", "record", "-a", "-q", "-k", "CLOCK_MONOTONIC_RAW",
                             "-F", str(SAMPLE_HZ), "-o", data],
                            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    try:
        bench.wine("bench_threads.exe", "--mode", "token", "--url", bench.http + "/token",
                   "--threads", str(threads), "--count", str(count), "--rounds", str(rounds),
                   "--tag", "p11", "--spans", "Z:" + spans.replace("/", "\\"), timeout=1800)
    finally:
        perf.send_signal(signal.SIGINT)
        perf.wait(timeout=300)
    return attribute(data, spans, helpers)


def attribute(data, spans_path, helpers):
    """Microseconds of CPU per token, by side, for each process, each
    (process, module) and each (process, module, function); under the key
    "rounds", each side's (round, requests per second) for run.py's pairing."""
    spans, modules = read_spans(spans_path)
    starts = [s[0] for s in spans]
    module_starts = [m[0] for m in modules]
    symbols = {}
    requests = collections.Counter()
    for _, _, side, n, _ in spans:
        requests[side] += n
    roles = {pid: name for pid, name in zip(helpers, ("Wine server", "nginx"))}
    # A virtual machine's perf samples by the clock, idle time included.
    roles["0"] = "idle"
    samples = {side: collections.Counter() for side in requests}
    script = subprocess.Popen(["perf", "script", "-i", data, "-F", "comm,pid,time,ip,sym,dso"],
                              stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True,
                              errors="replace")
    for line in script.stdout:
        found = SAMPLE.match(line)
        if not found:
            continue
        comm, pid, time, ip, sym, dso = found.groups()
        i = bisect.bisect_right(starts, float(time)) - 1
        if i < 0 or float(time) > spans[i][1]:
            continue
        side = spans[i][2]
        if comm.startswith("bench_threads"):
            roles.setdefault(pid, "benchmark process")
        process = roles.get(pid, "other processes")
        module = os.path.basename(dso)
        address = int(ip, 16)
        if process == "benchmark process" and not dso.startswith("[k"):
            j = bisect.bisect_right(module_starts, address) - 1
            if j >= 0 and address < modules[j][1]:
                path = modules[j][2]
                module = path.replace("\\", "/").rsplit("/", 1)[-1]
                if path not in symbols:
                    symbols[path] = PeSymbols(unix_path(path), modules[j][0])
                sym = symbols[path].name(address)
        function = sym if sym and sym != "[unknown]" else "?"
        for key in ((process,), (process, module), (process, module, function)):
            samples[side][key] += 1
    script.wait()
    us = 1e6 / SAMPLE_HZ
    result = {side: {key: count * us / requests[side] for key, count in counter.items()}
              for side, counter in samples.items()}
    result["rounds"] = {side: [(number, n / (end - start))
                               for start, end, each, n, number in spans if each == side]
                        for side in requests}
    return result


def rows(profile, table, label, rate_ratio):
    """Adds figure 11's rows: the profiled rounds' paired rate ratio, the
    processes, then the modules and functions whose cost differs most
    between the sides."""
    oauth, raw = profile.get("oauth", {}), profile.get("winhttp", {})
    keys = set(oauth) | set(raw)
    diff = lambda key: oauth.get(key, 0) - raw.get(key, 0)
    row = lambda name, key: table.add("11 %s: %s" % (label, name), "%.1f us" % oauth.get(key, 0),
                                      "%.1f us" % raw.get(key, 0), "%+.1f us" % diff(key))
    busy = lambda side: sum(v for k, v in side.items() if len(k) == 1 and k[0] != "idle")
    total_oauth, total_raw = busy(oauth), busy(raw)
    table.add("11 %s: tokens/s of the profiled rounds, median of the paired ratios" % label,
              "-", "-", "%.3f" % rate_ratio)
    table.add("11 %s: all processes, idle time left out" % label, "%.1f us" % total_oauth, "%.1f us" % total_raw,
              "%+.1f us (%.3f)" % (total_oauth - total_raw, total_oauth / total_raw if total_raw else 0))
    for key in sorted((k for k in keys if len(k) == 1), key=lambda k: -oauth.get(k, 0)):
        row(key[0], key)
    for depth, limit in ((2, 12), (3, 16)):
        chosen = sorted((k for k in keys if len(k) == depth and abs(diff(k)) >= 0.3),
                        key=lambda k: -abs(diff(k)))[:limit]
        for key in chosen:
            row(" / ".join(key), key)
