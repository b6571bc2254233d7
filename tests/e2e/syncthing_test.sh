#!/usr/bin/env bash
# Two machines share one data folder through two real Syncthing instances on 127.0.0.1. Offline, both track
# one task, change categories and make a task under the same id; after the sync and the fold both folders
# hold the same files and no conflict copy, every span survives and none counts twice. Given KELMORA, side a
# runs the tray program under Xvfb, which folds by itself and says so.   Usage: $0 KELMORA_CLI [KELMORA]
set -euo pipefail
cli=$(realpath "$1")
tray=${2:+$(realpath "$2")}
command -v syncthing >/dev/null || { echo "FAIL: syncthing is not installed (scripts/install-deps.sh)" >&2; exit 1; }
work=$(mktemp -d /tmp/kelmora-sync.XXXXXX)
export TZ=UTC LC_ALL=C XDG_CACHE_HOME=$work/cache XDG_CONFIG_HOME=$work/config STNOUPGRADE=1
key=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
declare -A gui id address pids other=([a]=b [b]=a)
# Each instance is a process group of its own (setsid): Syncthing's monitor and the process it starts.
cleanup() {
    for s in "${!pids[@]}"; do kill -TERM -- "-${pids[$s]}" 2>/dev/null || true; done
    for s in "${!pids[@]}"; do for _ in $(seq 50); do kill -0 -- "-${pids[$s]}" 2>/dev/null || break; sleep 0.1; done; done
    for s in "${!pids[@]}"; do kill -KILL -- "-${pids[$s]}" 2>/dev/null || true; done
    [ -z "${tray_pid:-}" ] || kill -KILL "$tray_pid" 2>/dev/null || true
    [ -z "${x_pid:-}" ] || kill -KILL "$x_pid" "$trayer_pid" 2>/dev/null || true
    { wait; } 2>/dev/null || true
    [ -n "${KEEP:-}" ] || rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP
fail() {
    echo "FAIL: $*" >&2
    [ -z "$tray" ] || { echo "--- tray program" >&2; tail -n 15 "$work/tray.log" >&2; }
    for s in a b; do echo "--- side $s" >&2; ls -la "$work/$s/data" >&2 || true; tail -n 15 "$work/$s.log" >&2 || true; done
    exit 1
}
deadline=$((SECONDS + 100))
# Polls a condition until it holds; past the deadline the test fails.
poll() { until "$@"; do ((SECONDS < deadline)) || fail "timed out waiting for: $*"; sleep 0.1; done; }
api() { local s=$1 method=$2 path=$3; shift 3; curl -sSf -m 10 -X "$method" -H "X-API-Key: $key" "http://127.0.0.1:${gui[$s]}/rest/$path" "$@"; }
kc() { local s=$1; shift; "$cli" --data-dir "$work/$s/data" "$@"; }
listening() { gui[$1]=$(sed -n 's/.*GUI and API listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/$1.log"); [ -n "${gui[$1]}" ]; }

# Each instance: its own home, 127.0.0.1 only, no discovery, relays, NAT traversal, reports or upgrades.
for s in a b; do
    mkdir -p "$work/$s/data"
    syncthing generate --home="$work/$s/home" --no-default-folder --skip-port-probing >"$work/$s.log" 2>&1 ||
        fail "syncthing generate failed"
    sed -i -e 's#<listenAddress>default<#<listenAddress>tcp://127.0.0.1:0<#' -e 's#<urAccepted>0<#<urAccepted>-1<#' \
        -e 's#<\(globalAnnounce\|localAnnounce\|relays\|nat\|crashReporting\)Enabled>true<#<\1Enabled>false<#' \
        -e 's#<startBrowser>true<#<startBrowser>false<#' -e 's#<autoUpgradeIntervalH>[0-9]*<#<autoUpgradeIntervalH>0<#' \
        "$work/$s/home/config.xml"
    setsid syncthing serve --home="$work/$s/home" --no-browser --no-restart --gui-address=127.0.0.1:0 --gui-apikey="$key" \
        --logflags=0 >"$work/$s.log" 2>&1 &
    pids[$s]=$!
done
for s in a b; do
    poll listening $s
    poll api $s GET system/status -o "$work/$s.status"
    id[$s]=$(jq -r .myID "$work/$s.status")
    address[$s]=$(jq -r '[.connectionServiceStatus[].lanAddresses[]] | first' "$work/$s.status")
done
# maxConflicts above 0 (a folder written into config.xml by hand gets 0, and the losing side is dropped);
# pullerPauseS 1, so that a pull that met a file changed but not yet scanned is retried at once.
for s in a b; do
    jq -nc --arg id "${id[${other[$s]}]}" --arg addr "${address[${other[$s]}]}" \
        '{deviceID: $id, addresses: [$addr]}' | api $s POST config/devices -d @-
    jq -nc --arg path "$work/$s/data" --arg a "${id[a]}" --arg b "${id[b]}" '{id: "kelmora", path: $path,
        type: "sendreceive", rescanIntervalS: 1, fsWatcherEnabled: true, fsWatcherDelayS: 1, maxConflicts: 10,
        pullerPauseS: 1, devices: [{deviceID: $a}, {deviceID: $b}]}' | api $s POST config/folders -d @-
    api $s GET config/folders/kelmora | jq -e '.maxConflicts == 10' >/dev/null || fail "maxConflicts did not take"
done

# The data files by content; Syncthing's own (.stfolder, its temporary files) and the report page left out.
listing() { (cd "$work/$1/data" && find . -type f ! -path './.st*' ! -name '.syncthing.*' ! -name report.htm -exec sha256sum {} + | sort -k2); }
copies() { find "$work/$1/data" -name '*.sync-conflict-*' ! -name '.syncthing.*' | wc -l; }
# In sync: both idle and needing nothing, each holds all the other announced, and the files are the same.
insync() {
    for s in a b; do
        api $s GET "db/status?folder=kelmora" | jq -e '.state == "idle" and .needTotalItems == 0 and
            .localFiles == .globalFiles and .localBytes == .globalBytes' >/dev/null || return 1
        api $s GET "db/completion?folder=kelmora&device=${id[${other[$s]}]}" |
            jq -e '.completion == 100 and .needItems == 0 and .needDeletes == 0' >/dev/null || return 1
    done
    [ "$(listing a)" = "$(listing b)" ]
}
sync() { for s in a b; do poll api $s POST "db/scan?folder=kelmora"; done; poll insync; }
# A paused folder does not run: its state is empty.
paused() { api $1 GET "db/status?folder=kelmora" | jq -e '.state == ""' >/dev/null; }

# 1. In sync: a task made on side a reaches side b.
kc a create Shared >/dev/null
sync
[ "$(kc b tasks | cut -f2)" = Shared ] || fail "side b does not have the task side a made"
if [ -n "$tray" ]; then
    mkdir -m 700 "$work/run"
    exec {xfd}<> <(:)
    Xvfb -displayfd "$xfd" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 & x_pid=$!
    read -r -t 20 -u "$xfd" display || fail "Xvfb did not start"
    export DISPLAY=:$display XDG_RUNTIME_DIR=$work/run DBUS_SESSION_BUS_ADDRESS=disabled: KELMORA_DATA_DIR=$work/a/data
    unset WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_CURRENT_DESKTOP
    poll xdpyinfo >/dev/null
    trayer --edge top --align right --widthtype pixel --width 160 >/dev/null 2>&1 & trayer_pid=$!
    "$tray" >"$work/tray.log" 2>&1 & tray_pid=$!
    icon() { xwininfo -root -tree | grep -q '("kelmora" "Kelmora")'; }
    poll icon
fi
# 2. Offline: the folder paused on both sides.
for s in a b; do api $s PATCH config/folders/kelmora -d '{"paused": true}'; poll paused $s; done
# 3. Each side alone, interleaved so that side a's task 1 and side b's categories.xml win the conflicts.
runs() { [ "$(kc "$1" status --format '{span}')" \> 00:00:01 ]; }
track() { kc "$1" start Shared; poll runs "$1"; kc "$1" stop; }
kc b create Beta >/dev/null
kc a create Alpha >/dev/null
kc a add Shared "2020-01-06 09:00:00" "2020-01-06 10:00:00"
kc a add Shared "2020-01-07 09:00:00" "2020-01-07 09:45:00"
track a
kc b add Shared "2020-01-06 11:00:00" "2020-01-06 12:30:00"
kc b add Shared "2020-01-08 14:00:00" "2020-01-08 14:20:00"
track b
kc a set-category Alpha "$(kc a category-create Home)"
kc a set-category Shared "$(kc a categories | awk -F'\t' '$2 == "Home" { print $1 }')"
kc b set-category Beta "$(kc b category-create Work)"
total() { kc "$1" tasks --period all | awk -F'\t' '$2 == "Shared" { split($3, t, ":"); print t[1] * 3600 + t[2] * 60 + t[3] }'; }
for s in a b; do kc $s intervals Shared | cut -f2- >"$work/$s.spans"; done
total_a=$(total a) total_b=$(total b)

# 4. Online until both sides agree; 5. both fold at once, as two tray programs would, until no copy is left.
for s in a b; do api $s PATCH config/folders/kelmora -d '{"paused": false}'; done
sync
found=$(($(copies a) + $(copies b))) rounds=0
[ "$found" -gt 0 ] || [ -n "$tray" ] || fail "Syncthing left no conflict copies to fold"
while [ "$(($(copies a) + $(copies b)))" -gt 0 ]; do
    ((++rounds <= 3)) || fail "conflict copies are left after 3 rounds of folding"
    # The tray program folds side a from its watch of the folder, and its changes reach side b.
    if [ -z "$tray" ]; then
        kc a doctor >"$work/a.doctor" & fold_a=$!
        kc b doctor >"$work/b.doctor" & fold_b=$!
        wait $fold_a && wait $fold_b || fail "doctor failed"
        grep -q '^folded' "$work/a.doctor" || fail "doctor did not say what it folded"
    else
        folded() { [ "$(copies a)" = 0 ]; }
        poll folded
    fi
    sync
done
if [ -n "$tray" ]; then
    grep -q '^Kelmora: Merged changes from another machine: ' "$work/tray.log" || fail "the tray program said no merge"
    [ -z "${SCREENSHOT:-}" ] || import -window root "$SCREENSHOT"
    "$tray" /t
    ended() { ! kill -0 "$tray_pid" 2>/dev/null; }
    poll ended
    wait "$tray_pid" || fail "the tray program did not end cleanly"
    tray_pid=
fi

# The result: the files are the same on both sides, so one side's word stands for both.
kc a intervals Shared | cut -f2- | sort >"$work/merged.spans"
sort "$work/a.spans" "$work/b.spans" | diff - "$work/merged.spans" >&2 || fail "the spans of task Shared are not those both sides tracked"
# Totals are rounded down to the second: a sum of two may lose one second; a span counted twice adds more.
merged=$(total a) sum=$((total_a + total_b))
((merged - sum == 0 || merged - sum == 1)) || fail "task Shared counts ${merged}s, the two sides tracked ${sum}s"
[ "$(kc a tasks | cut -f2 | sort | paste -sd' ')" = "Alpha Beta Shared" ] || fail "the tasks are: $(kc a tasks)"
memberships=$(awk -F'\t' 'NR == FNR { name[$1] = $2; next }
    { n = split($3, m, ","); for (i = 1; i <= n; i++) print $2 "/" name[m[i]] }' <(kc a tasks) <(kc a categories) |
    sort | paste -sd' ')
[ "$memberships" = "Home/Alpha Home/Shared Work/Beta" ] || fail "the categories hold: $memberships"
echo "spans of Shared: side a $(wc -l <"$work/a.spans") (${total_a}s), side b $(wc -l <"$work/b.spans") (${total_b}s)," \
    "merged $(wc -l <"$work/merged.spans") (${merged}s); conflict copies $found, fold rounds $rounds"
