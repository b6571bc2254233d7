#!/usr/bin/env bash
# The tray program on a large history, measured whole as a user starts it: 1,000 tasks x 1,000 intervals with one
# task running, under Xvfb with trayer as the notification area, TZ=UTC, warm page cache.
#
#   scripts/measure-tray.sh [BUILD_DIR] [RUNS]
#
# For each run it prints, in milliseconds from the start of the process:
#   icon      start-up until the program's icon is in the tray (the Task List stays hidden);
#   tasklist  start-up until the Task List window, shown at start with the period "All time", is on screen
#             (the window is shown after its time log is filled);
# and the largest resident set of each process (`/usr/bin/time`), in MB. The figures are found by polling the
# X server every few milliseconds, so each is late by up to that step and the cost of one poll (~3 ms); the
# minimum and the median of RUNS (default 10) are printed last. Needs Xvfb, trayer, xdotool and xwininfo, which
# the end-to-end tests use too. KELMORA measures another build of the program.
set -eu

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${1:-build-release}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
RUNS=${2:-10}
PROGRAM=${KELMORA:-$BUILD/src/app/kelmora}
CLI=$BUILD/src/cli/kelmora-cli
GENERATE=$BUILD/bench/kelmora-bench-data
for program in "$PROGRAM" "$CLI" "$GENERATE"; do
    [ -x "$program" ] || {
        echo "missing $program: cmake --build $BUILD --target kelmora kelmora-cli kelmora-bench-data" >&2
        exit 2
    }
done
for tool in Xvfb trayer xdotool xwininfo; do
    command -v "$tool" >/dev/null || {
        echo "missing $tool (apt-get install xvfb trayer xdotool x11-utils)" >&2
        exit 2
    }
done

WORK=$(mktemp -d /tmp/kelmora-tray.XXXXXX)
XVFB=
TRAYER=
cleanup() {
    [ -z "$TRAYER" ] || kill "$TRAYER" 2>/dev/null || true
    [ -z "$XVFB" ] || kill "$XVFB" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
export TZ=UTC LC_ALL=C.UTF-8 XDG_CONFIG_HOME=$WORK/config XDG_CACHE_HOME=$WORK/cache XDG_RUNTIME_DIR=$WORK/run
mkdir -p "$XDG_CONFIG_HOME/Kelmora" "$XDG_RUNTIME_DIR"
chmod 700 "$XDG_RUNTIME_DIR"
DATA=$WORK/data
echo "Generating 1,000 tasks x 1,000 intervals ..." >&2
"$GENERATE" "$DATA" 1000 1000
"$CLI" --data-dir "$DATA" start 500 >/dev/null

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$WORK/display" 2>/dev/null &
XVFB=$!
for _ in $(seq 100); do [ -s "$WORK/display" ] && break; sleep 0.05; done
export DISPLAY=:$(cat "$WORK/display")
trayer --edge top --align right --widthtype pixel --width 200 --heighttype pixel --height 30 >/dev/null 2>&1 &
TRAYER=$!
for _ in $(seq 100); do xwininfo -root -tree | grep -q '("panel" "trayer")' && break; sleep 0.05; done
sleep 3 # the files just written are older than the caches' two seconds by now

now_ms() { echo $(($(date +%s%N) / 1000000)); }

# The program's icon: a child of trayer's panel that belongs to kelmora and has its size.
icon_shown() { xwininfo -root -tree | grep '("kelmora" "Kelmora")' | grep -qv ' 1x1+'; }
tasklist_shown() { xdotool search --onlyvisible --name '^Kelmora: Task List$' >/dev/null 2>&1; }

# measure SHOW_WINDOW CHECK: prints "ms rss_mb"
measure() {
    local show=$1 check=$2
    printf '[General]\nShowWindow=%s\nPeriod=4\n' "$show" >"$XDG_CONFIG_HOME/Kelmora/kelmora.conf"
    local start
    start=$(now_ms)
    /usr/bin/time -f %M -o "$WORK/rss" "$PROGRAM" --data-dir "$DATA" 2>/dev/null &
    local pid=$! shown=
    for _ in $(seq 2000); do
        if $check; then
            shown=$(($(now_ms) - start))
            break
        fi
        sleep 0.002
    done
    sleep 0.5 # whatever the program does just after it is shown counts towards its memory too
    "$PROGRAM" --data-dir "$DATA" /t >/dev/null 2>&1 || true
    wait "$pid" || true
    echo "${shown:-timeout} $(($(tail -1 "$WORK/rss") / 1024))"
}

summary() { # NAME VALUES...
    local name=$1
    shift
    printf '%s' "$*" | tr ' ' '\n' | sort -n | awk -v name="$name" \
        '{ v[NR] = $1 } END { printf "%-22s min %d  median %d  (n=%d)\n", name, v[1], v[int((NR + 1) / 2)], NR }'
}

icons=() lists=() rss_icon=() rss_list=()
measure 0 icon_shown >/dev/null # warm-up
for run in $(seq "$RUNS"); do
    read -r ms rss < <(measure 0 icon_shown)
    icons+=("$ms") rss_icon+=("$rss")
    read -r ms rss < <(measure 1 tasklist_shown)
    lists+=("$ms") rss_list+=("$rss")
    echo "run $run: icon ${icons[-1]} ms (${rss_icon[-1]} MB), Task List all time ${lists[-1]} ms (${rss_list[-1]} MB)" >&2
done
echo "== tray program, 1,000 x 1,000 ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
summary "icon (ms)" "${icons[*]}"
summary "task list all (ms)" "${lists[*]}"
summary "max RSS, icon (MB)" "${rss_icon[*]}"
summary "max RSS, list (MB)" "${rss_list[*]}"
