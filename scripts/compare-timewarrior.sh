#!/usr/bin/env bash
# Kelmora and Timewarrior side by side on the same history: 1,000 tasks x 1,000 intervals, one task running,
# every command run whole by hyperfine as a status bar or a script runs it (warm page cache, TZ=UTC). Prints
# hyperfine's table for each command and the ratio Kelmora/Timewarrior where Timewarrior has the same command.
#
#   scripts/compare-timewarrior.sh [BUILD_DIR] [RUNS]
#
# BUILD_DIR is a Release build (default build-release) with kelmora-cli and the bench programs built. hyperfine
# and timewarrior are installed with apt-get when missing (measuring tools, not the program's dependencies).
#
# Last run, 15 runs each, medians (minimum), load ~2 on 2 cores; README.md's Performance section has the floors:
#   status 6.2 ms (4.7)      empty folder 1.5 ms (1.3)      start 9.1 ms (6.8)     timew get dom.active 3.2-4.9 ms
#   tasks week 6.8 ms (6.1)  tasks all 7.1 ms (4.8)                                timew summary :week 17.6-21.7 ms
#   log all 125 ms (118)     report all --output 291 ms (271)                      timew export :all 5.8-6.1 s
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-build-release}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
RUNS=${2:-30}
CLI=${KELMORA_CLI:-$BUILD/src/cli/kelmora-cli} # KELMORA_CLI measures another build of it
GENERATE=$BUILD/bench/kelmora-bench-data
for program in "$CLI" "$GENERATE"; do
    [ -x "$program" ] || {
        echo "missing $program: cmake --build $BUILD --target kelmora-cli kelmora-bench-data" >&2
        exit 2
    }
done
if ! command -v hyperfine >/dev/null || ! command -v timew >/dev/null; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo=sudo
    $sudo apt-get install -y hyperfine timewarrior >/dev/null
fi

WORK=$(mktemp -d /tmp/kelmora-compare.XXXXXX)
trap 'rm -rf "$WORK"' EXIT
export TZ=UTC XDG_CACHE_HOME=$WORK/cache TIMEWARRIORDB=$WORK/timew
DATA=$WORK/kelmora
EMPTY=$WORK/empty
mkdir -p "$EMPTY" "$TIMEWARRIORDB/data"
touch "$TIMEWARRIORDB/timewarrior.cfg"
echo "Generating 1,000 tasks x 1,000 intervals ..." >&2
"$GENERATE" "$DATA" 1000 1000

# Timewarrior gets Kelmora's own log: one tagged interval per span, in its monthly files, oldest first. Its
# files hold whole seconds; Kelmora's milliseconds are cut.
"$CLI" --data-dir "$DATA" log --period all |
    awk -F'\t' '{
        sub(/\r$/, "", $4); gsub(/[-: ]/, "", $3); gsub(/[-: ]/, "", $4); gsub(/"/, "\\\"", $1)
        print substr($3, 1, 4) "-" substr($3, 5, 2) "\tinc " substr($3, 1, 8) "T" substr($3, 9) "Z - " \
              substr($4, 1, 8) "T" substr($4, 9) "Z # \"" $1 "\""
    }' | sort -t'	' -k1,1 -k2,2 |
    awk -F'\t' -v folder="$TIMEWARRIORDB/data" '{ print $2 > (folder "/" $1 ".data") }'
"$CLI" --data-dir "$DATA" start 500
timew start "Task number 500" >/dev/null
timew get dom.active >/dev/null # lets it build whatever it keeps beside the data
# The files just written are not cached for two seconds; a status bar finds them older.
sleep 3

k() { echo "$CLI --data-dir $DATA $*"; }
run() { # NAME KELMORA [TIMEWARRIOR]
    local name=$1 kelmora=$2 timew=${3:-}
    local args=(--warmup 3 --runs "$RUNS" --export-json "$WORK/result.json" --style basic -N)
    echo
    echo "== $name"
    if [ -n "$timew" ]; then
        hyperfine "${args[@]}" -n kelmora "$kelmora" -n timewarrior "$timew" >&2
    else
        hyperfine "${args[@]}" -n kelmora "$kelmora" >&2
    fi
    python3 - "$WORK/result.json" "$name" <<'EOF'
import json, sys
results = json.load(open(sys.argv[1]))["results"]
ms = lambda r: "median %.1f ms (min %.1f, mean %.1f)" % (r["median"] * 1e3, r["min"] * 1e3, r["mean"] * 1e3)
line = "%-34s kelmora %s" % (sys.argv[2], ms(results[0]))
if len(results) > 1:
    line += "   timewarrior %s   ratio %.3f" % (ms(results[1]), results[0]["median"] / results[1]["median"])
print(line)
EOF
}

{
    run "status" "$(k status)" "timew get dom.active"
    run "status, empty data folder" "$CLI --data-dir $EMPTY status"
    run "start (switching task)" "$(k start 505)"
    "$CLI" --data-dir "$DATA" start 500
    sleep 3
    run "tasks --period week" "$(k tasks --period week)" "timew summary :week"
    run "tasks --period all" "$(k tasks --period all)"
    run "log --period all" "$(k log --period all)" "timew export :all"
    run "report --period all --output F" "$(k report --period all --output "$WORK/report.html")"
} | tee "$WORK/summary"
echo
echo "== summary (median, min and mean of each; $(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
grep -v '^==\|^$' "$WORK/summary"
