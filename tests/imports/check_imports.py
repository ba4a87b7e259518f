#!/usr/bin/python3
"""Fails when a shipped module imports a function that is not on the reviewed
allow-list, or when the list allows a function that Windows 7 SP1 lacks.

Wine exports functions that Windows 7 does not, so an import that only newer
Windows has passes every other test and then stops the module from loading on
Windows 7 ("entry point not found"). Imports are bound when the module loads,
so any import newer than Windows 7 is a failure, however rarely it is called.

usage: check_imports.py --objdump OBJDUMP --allow-list FILE MODULE...
"""
import argparse
import re
import subprocess
import sys

# Client releases, oldest first; the list may allow nothing past Windows 7.
RELEASES = ["NT4", "2000", "XP", "Vista", "Win7", "8", "8.1", "10", "11"]
NEWEST_ALLOWED = RELEASES.index("Win7")
# Imports from a module that ships with the product carry this instead.
OURS = "ours"


class Entry:
    def __init__(self, line_no, name, release, denied, note):
        self.line_no, self.name, self.release = line_no, name, release
        self.denied, self.note = denied, note


def key(name):
    """module!function with the module name folded: Windows matches DLL
    names without regard to case, function names exactly."""
    module, _, function = name.partition("!")
    return module.lower() + "!" + function


def read_allow_list(path):
    entries, errors = {}, []
    with open(path, encoding="utf-8") as f:
        for line_no, line in enumerate(f, 1):
            text, _, note = line.partition("#")
            fields = text.split()
            if not fields:
                continue
            where = f"{path}:{line_no}"
            if (len(fields) not in (2, 3) or "!" not in fields[0]
                    or (len(fields) == 3 and fields[2] != "deny")):
                errors.append(f"{where}: expected 'module!function release [deny]'")
                continue
            entry = Entry(line_no, fields[0], fields[1], len(fields) == 3, note.strip())
            if key(entry.name) in entries:
                errors.append(f"{where}: {entry.name} is listed twice")
            entries[key(entry.name)] = entry
            if entry.release != OURS and entry.release not in RELEASES:
                errors.append(f"{where}: {entry.name}: unknown release '{entry.release}'"
                              f" (one of {' '.join(RELEASES)} or {OURS})")
            elif (not entry.denied and entry.release in RELEASES
                    and RELEASES.index(entry.release) > NEWEST_ALLOWED):
                errors.append(f"{where}: {entry.name} is allowed but needs Windows "
                              f"{entry.release}; Windows 7 SP1 cannot load a module that imports it")
    return entries, errors


def read_imports(objdump, module):
    """The module's imports as module!function, or module!@ordinal for an
    import by ordinal, from the import tables that objdump -p prints."""
    result = subprocess.run([objdump, "-p", module], capture_output=True, text=True)
    if result.returncode != 0:
        raise SystemExit(f"FAIL: {objdump} -p {module}: {result.stderr.strip()}")
    imports, unread, dll = [], [], None
    for line in result.stdout.splitlines():
        if line.strip().startswith("DLL Name:"):
            dll = line.split(":", 1)[1].strip()
        elif not line.strip():
            dll = None
        elif dll and not line.strip().startswith("vma:"):
            # "\tvma\thint-or-ordinal  name", the name "<none>" for an ordinal
            m = re.fullmatch(r"\s*[0-9a-fA-F]+\s+(\d+)\s+(\S+)\s*", line)
            if not m:
                unread.append(line.strip())
            elif m.group(2) == "<none>":
                imports.append(f"{dll}!@{m.group(1)}")
            else:
                imports.append(f"{dll}!{m.group(2)}")
    return imports, unread


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--objdump", required=True)
    parser.add_argument("--allow-list", required=True)
    parser.add_argument("modules", nargs="+")
    args = parser.parse_args()

    entries, failures = read_allow_list(args.allow_list)
    used = set()
    for module in args.modules:
        imports, unread = read_imports(args.objdump, module)
        if not imports:
            failures.append(f"{module}: no imports found; is it a PE module?")
        # An import line this parser does not understand must not pass unseen.
        failures += [f"{module}: cannot read import line '{line}'" for line in unread]
        for name in imports:
            entry = entries.get(key(name))
            used.add(key(name))
            if entry is None:
                failures.append(f"{module}: {name} is not on the allow-list; look up the "
                                f"minimum Windows version Microsoft documents for it and, if "
                                f"Windows 7 has it, add it to {args.allow_list}")
            elif entry.denied:
                failures.append(f"{module}: {name} must not be imported "
                                f"({entry.release}): {entry.note}")
        print(f"{module}: {len(imports)} imports")

    for k, entry in sorted(entries.items(), key=lambda item: item[1].line_no):
        if k not in used and not entry.denied:
            print(f"note: {entry.name} is listed but no module imports it")
    for failure in failures:
        print("FAIL: " + failure)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
