#!/usr/bin/env bash
# Shows kelmora-cli at work on a demo data folder of its own, made afresh each run, so the user's own
# data is never touched.
set -euo pipefail

build_dir=${1:-build}
cli="$build_dir/src/cli/kelmora-cli"
if [ ! -x "$cli" ]; then
    echo "kelmora-cli not found at $cli; build first (see README.md)" >&2
    exit 1
fi

demo_dir="${TMPDIR:-/tmp}/kelmora-demo"
rm -rf "$demo_dir"
k() { "$cli" --data-dir "$demo_dir" "$@"; }

yesterday=$(date -d yesterday +%F)
ago() { date -d "-$1 minutes" '+%F %T'; }

k create "Writing" >/dev/null
k create "Code review" >/dev/null
k create "E-mail" >/dev/null
k add "Writing" "$yesterday 09:00:00" "$yesterday 11:30:00"
k add "Code review" "$yesterday 13:00:00" "$yesterday 14:15:00"
k add "E-mail" "$(ago 200)" "$(ago 170)"
k add "Writing" "$(ago 160)" "$(ago 85)"
k start "Code review"

echo "Demo data folder: $demo_dir"
echo
echo "== kelmora-cli tasks --period day =="
k tasks --period day
echo
echo "== kelmora-cli tasks (all time) =="
k tasks
echo
echo "== kelmora-cli intervals Writing =="
k intervals Writing
echo
echo "Try it yourself: $cli --data-dir $demo_dir --help"
