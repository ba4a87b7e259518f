#!/bin/sh
# Runs a test program under Wine's heap validation and fails when Wine
# reports any heap error, even if the program itself passes.
#
#   heapcheck.sh <wine-prefix> <keeper.exe> <program> [arguments...]
#
# What Wine 8 checks, by setting:
# - WINEDEBUG=warn+heap turns on tail checking (the bytes after each block
#   are filled), free checking (freed blocks are filled and the last 1024
#   frees are held back) and parameter checks. At run time it reports only a
#   second free of a block ("delayed freed block"): nothing looks at the
#   fills again unless the heap is validated, so an overrun or a write into
#   freed memory goes unseen. A GlobalFlag value in the prefix's registry
#   (Session Manager or Image File Execution Options, as a number or a text)
#   changes none of the heap flags.
# - WINEDEBUG=+heap sets, on top of that, "validate all": every heap call
#   first validates the whole heap, so an overrun is reported at the next
#   heap call ("invalid block tail"), a write into freed memory when the heap
#   is next walked ("free block overwritten") and a second free at once. It
#   also traces every call; that stream is dropped here and only the heap
#   errors and warnings are kept. (Wine turns debug output off when stderr
#   is /dev/null, and with it the validation, so it must go through a pipe.)
#
# This script uses +heap. Validation costs time in proportion to the heap,
# so long randomized runs are checked with fewer iterations.
#
# Wine's own service processes are started by the first program of a freshly
# started prefix and inherit its WINEDEBUG; under +heap they report heap
# errors of their own. A quiet keeper process therefore holds the prefix
# running, services included, while the program is checked.
#
# The environment is the one cmake/wine-run.sh sets, with Wine's debugger
# disabled: a program that fails a validation is ended at once instead of
# waiting minutes for a backtrace.
set -u
export WINEPREFIX=$1
export WINEARCH=win32
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
export LANG="${LANG:-C}"
keeper=$2
shift 2
work=$(mktemp -d)
keeper_pid=
cleanup() {
    if [ -n "$keeper_pid" ]; then kill "$keeper_pid" 2>/dev/null; wait "$keeper_pid" 2>/dev/null; fi
    rm -rf "$work"
}
trap cleanup EXIT

WINEDEBUG=-all wine "$keeper" hold >"$work/keeper" 2>/dev/null &
keeper_pid=$!
waited=0
until grep -q ready "$work/keeper" 2>/dev/null; do
    if ! kill -0 "$keeper_pid" 2>/dev/null || [ "$waited" -ge 600 ]; then
        echo "heapcheck: the keeper process did not start" >&2
        exit 1
    fi
    sleep 0.1
    waited=$((waited + 1))
done

{
    WINEDEBUG=-all,+heap wine "$@" 2>&1 1>&3 3>&-
    echo $? >"$work/status"
} 3>&1 | awk -v reports="$work/reports" '
    /:trace:heap:/ { next }
    /:(err|warn|fixme):heap:/ { print > reports; print; next }
    { print }
' >&2

status=$(cat "$work/status")
count=0
[ -f "$work/reports" ] && count=$(wc -l <"$work/reports")
if [ "$count" -ne 0 ]; then
    echo "heapcheck: Wine reported $count heap error(s)"
    head -n 20 "$work/reports" | sed 's/^/heapcheck: heap error: /'
    exit 1
fi
if [ "$status" -ne 0 ]; then
    echo "heapcheck: the program failed with status $status" >&2
    exit "$status"
fi
echo "heapcheck: no heap error reported"
