#!/usr/bin/env bash
# Several writers on one data folder at once, as status-bar scripts, hotkeys and a second terminal make
# them: LOOPS loops of kelmora-cli start/stop/add for SECONDS, then what the files show. Prints the adds
# that reported success but are missing, the most tasks seen running at once, the open spans left, and
# the time those extra open spans count that nobody worked.
#
#   scripts/writers-run.sh KELMORA_CLI [SECONDS] [LOOPS]
set -u
cli=$1
seconds=${2:-30}
loops=${3:-4}
dir=$(mktemp -d /tmp/kelmora-writers.XXXXXX)
export TZ=UTC
run() { "$cli" --data-dir "$dir/data" "$@"; }
for i in $(seq 0 9); do run create "t$i" >/dev/null; done
end=$((SECONDS + seconds))

writer() {
    local loop=$1 count=0 ok=0 fail=0
    while [ $SECONDS -lt $end ]; do
        local task=t$((RANDOM % 10))
        case $((RANDOM % 3)) in
        0) run start "$task" 2>/dev/null ;;
        1) run stop 2>/dev/null ;;
        2)
            # A span of its own, long before anything runs.
            local start stop
            local base="2001-01-01 00:00:00 UTC + $((loop * 100000 + count)) minutes"
            start=$(date -u -d "$base" '+%Y-%m-%d %H:%M:%S')
            stop=$(date -u -d "$base + 30 seconds" '+%Y-%m-%d %H:%M:%S')
            count=$((count + 1))
            if run add "$task" "$start" "$stop" 2>/dev/null; then
                printf '%s\t%s\t%s\n' "$task" "$start" "$stop" >>"$dir/added"
            fi
            ;;
        esac
    done
}
watcher() {
    local most=0 now
    while [ $SECONDS -lt $end ]; do
        now=$(run tasks 2>/dev/null | grep -c $'\trunning\t')
        [ "$now" -gt "$most" ] && most=$now
        sleep 0.2
    done
    echo "$most" >"$dir/most"
}
for loop in $(seq 1 "$loops"); do writer "$loop" & done
watcher &
wait

touch "$dir/added"
added=$(wc -l <"$dir/added")
missing=0
while IFS=$'\t' read -r task start stop; do
    run intervals "$task" | grep -qF "$start"$'\t'"$stop" || missing=$((missing + 1))
done <"$dir/added"
now=$(date -u +%s)
# Every open span but the latest-started one counts time up to now that was never worked.
open=$(for i in $(seq 0 9); do run intervals "t$i" | awk -F'\t' -v t="t$i" '$5 == "open" { print $2 "\t" t }'; done | sort)
open_count=$(printf '%s' "$open" | grep -c . || true)
tasks_with_two=$(printf '%s\n' "$open" | awk -F'\t' 'NF { n[$2]++ } END { c = 0; for (t in n) if (n[t] > 1) c++; print c }')
invented=0
if [ "$open_count" -gt 1 ]; then
    while IFS=$'\t' read -r start task; do
        invented=$((invented + now - $(date -u -d "$start UTC" +%s)))
    done < <(printf '%s\n' "$open" | head -n $((open_count - 1)))
fi
echo "commands' adds reported ok: $added, missing from the files: $missing"
echo "most tasks running at once: $(cat "$dir/most")"
echo "open spans left: $open_count, tasks with two or more: $tasks_with_two"
echo "time counted by the extra open spans: $invented s"
rm -rf "$dir"
