#!/bin/sh
# Times whole runs of daybridge-cli on a long-time user's calendar of N appointments: the
# first full sync Palm Desktop -> empty Outlook calendar file, then `status`, then a month
# listing, each under /usr/bin/time -v (wall time and peak memory).
#   bench/wholerun/measure-whole-runs.sh BUILD_DIR N [WORK_DIR]
set -eu
build=$1
records=$2
work=${3:-$(mktemp -d)}
"$build/bench/wholerun/generator/daybridge-bigcal" --out "$work" --records "$records"
set -a
. "$work/demo.env"
set +a
cli="$build/cli/daybridge-cli"
measure() {
  label=$1
  shift
  /usr/bin/time -v "$@" > "$work/$label.out" 2> "$work/$label.time" || true
  wall=$(sed -n 's/.*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/$label.time")
  peak=$(sed -n 's/.*Maximum resident set size (kbytes): //p' "$work/$label.time")
  printf '%-8s %6s records  wall %-9s peak %6d MB  %s\n' "$label" "$records" "$wall" \
    $((peak / 1024)) "$(tail -n 1 "$work/$label.out")"
}
measure sync "$cli" sync --direction palm-to-outlook --range all --conflict skip
measure status "$cli" status
measure list "$cli" list palm --from 2026-12-01 --to 2026-12-31
