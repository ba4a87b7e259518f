#!/usr/bin/python3
"""Makes the release archives with scripts/package and checks them as a user
would meet them.

    check_package.py --build DIR --dist DIR --cxx COMPILER --ports PORTS.json --wine-run WRAPPER

Unpacks the release archive into an empty folder and checks: the layout, every
line of SHA256SUMS, that each binary is stripped and names its debug file (by
name and CRC) in the debug archive, and that oauthcli --version reports
VERSION for all four binaries. Then builds examples/host.cpp from the
unpacked include/ and lib/ alone, as its header comment says, and runs it
from bin/ against the test server (tests/examples/run_example.py).
"""

import argparse
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import zipfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))
sys.path.insert(0, os.path.join(ROOT, "tests", "examples"))
import run_example  # noqa: E402

BINARIES = ["OAuth_Dll.dll", "QZSHR190.dll", "qzhttpclient190.dll", "oauthcli.exe"]
EXPECTED = sorted(["bin/" + name for name in BINARIES] + [
    "include/OAuthClient.h", "include/OAuthErrors.h", "lib/OAuth_Dll.lib", "lib/libOAuth_Dll.dll.a", "lib/OAuth_Dll.def",
    "examples/host.cpp", "examples/host.c", "examples/OAuthSlots.h",
    "README.md", "LICENSE", "CHANGELOG.md", "SHA256SUMS"])


def section(binary, name):
    """The bytes of a PE file's section, or None. Names longer than eight
    characters are "/N", an offset into the COFF string table."""
    with open(binary, "rb") as f:
        data = f.read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    symbols, symbol_count = struct.unpack_from("<II", data, pe + 12)
    count, optional_size = struct.unpack_from("<H12xH", data, pe + 6)
    table = pe + 24 + optional_size
    for i in range(count):
        raw_name, size, raw_size, offset = struct.unpack_from("<8sI4xII", data, table + 40 * i)
        raw_name = raw_name.rstrip(b"\0")
        if raw_name.startswith(b"/"):
            at = symbols + 18 * symbol_count + int(raw_name[1:])
            raw_name = data[at:data.index(b"\0", at)]
        if raw_name == name.encode():
            return data[offset:offset + min(size or raw_size, raw_size)]
    return None


def check(unpacked, debug_unpacked, version, problems):
    found = sorted(os.path.relpath(os.path.join(d, n), unpacked).replace(os.sep, "/")
                   for d, _, names in os.walk(unpacked) for n in names)
    found_without_docs = [name for name in found if not name.startswith("docs/")]
    if found_without_docs != EXPECTED:
        problems.append("layout %s, expected %s" % (found_without_docs, EXPECTED))
    if os.path.isdir(os.path.join(ROOT, "docs")) != any(n.startswith("docs/") for n in found):
        problems.append("docs/ of the source tree and of the archive differ")

    with open(os.path.join(unpacked, "SHA256SUMS"), encoding="ascii") as f:
        sums = dict(reversed(line.rstrip("\n").split("  ", 1)) for line in f)
    if sorted(sums) != [name for name in found if name != "SHA256SUMS"]:
        problems.append("SHA256SUMS does not list exactly the other files")
    for name, digest in sums.items():
        with open(os.path.join(unpacked, name), "rb") as f:
            if hashlib.sha256(f.read()).hexdigest() != digest:
                problems.append("checksum of %s" % name)

    for name in BINARIES:
        binary = os.path.join(unpacked, "bin", name)
        debug = os.path.join(debug_unpacked, "bin", name + ".debug")
        if section(binary, ".debug_info") is not None:
            problems.append("%s is not stripped" % name)
        link = section(binary, ".gnu_debuglink")
        if not os.path.exists(debug) or section(debug, ".debug_info") is None:
            problems.append("no debug information for %s" % name)
        elif link is None or link[:link.index(b"\0")] != (name + ".debug").encode():
            problems.append("%s does not name %s.debug" % (name, name))
        else:
            with open(debug, "rb") as f:
                crc = zlib.crc32(f.read())
            if struct.unpack_from("<I", link, len(link) - 4)[0] != crc:
                problems.append("%s names a debug file with another CRC" % name)


def main():
    parser = argparse.ArgumentParser()
    for option in ("--build", "--dist", "--cxx", "--ports", "--wine-run"):
        parser.add_argument(option, required=True)
    args = parser.parse_args()
    subprocess.run([sys.executable, os.path.join(ROOT, "scripts", "package"), "--build",
                    args.build, "--dist", args.dist, "--jobs", "2"], check=True)
    with open(os.path.join(ROOT, "VERSION"), encoding="ascii") as f:
        version = f.readline().strip()
    top = "OAuth_Dll-%s-win32" % version

    problems = []
    scratch = tempfile.mkdtemp(prefix="unpacked-", dir=args.dist)
    try:
        with zipfile.ZipFile(os.path.join(args.dist, top + ".zip")) as z:
            z.extractall(os.path.join(scratch, "release"))
        with zipfile.ZipFile(os.path.join(args.dist, top + "-debug.zip")) as z:
            z.extractall(os.path.join(scratch, "debug"))
        unpacked = os.path.join(scratch, "release", top)
        check(unpacked, os.path.join(scratch, "debug", top), version, problems)

        env = dict(os.environ, WINEDEBUG="-all", LANG="C")
        cli = subprocess.run([args.wine_run, os.path.join(unpacked, "bin", "oauthcli.exe"),
                              "--version"], env=env, capture_output=True, text=True, timeout=120)
        expected = "".join("%s %s\n" % (name, version) for name in
                           ("oauthcli", "OAuth_Dll.dll", "qzhttpclient190.dll", "QZSHR190.dll"))
        if cli.stdout.replace("\r\n", "\n") != expected:
            problems.append("oauthcli --version printed %r" % cli.stdout)

        host = os.path.join(unpacked, "bin", "host.exe")
        subprocess.run([args.cxx, "-I" + os.path.join(unpacked, "include"),
                        os.path.join(unpacked, "examples", "host.cpp"),
                        "-L" + os.path.join(unpacked, "lib"), "-lOAuth_Dll", "-static", "-o", host],
                       check=True)
        if run_example.run(args.wine_run, host, args.ports) != 0:
            problems.append("the example built from the archive failed")
    finally:
        shutil.rmtree(scratch, ignore_errors=True)
    for problem in problems:
        print("FAILED: " + problem)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
