#!/bin/sh
# Times whole runs of daybridge-cli on a long-time user's calendar of N appointments: the
# first full sync Palm Desktop -> empty Outlook calendar file, then `status`, then a month
# listing, each under /usr/bin/time -v (wall time and peak memory). Then the floor on the same
# files (bench_floor, when built): reading both files' bytes, libical's parse of the calendar
# file alone, the datebook parse alone.
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
  # The processor time beside the wall time: on a machine busy with other work the wall time
  # says more about the others than about this run.
  cpu=$(sed -n 's/.*\(User\|System\) time (seconds): //p' "$work/$label.time" |
    awk '{ s += $1 } END { printf "%.2f", s }')
  printf '%-8s %6s records  wall %-9s cpu %6ss  peak %6d MB  %s\n' "$label" "$records" "$wall" \
    "$cpu" $((peak / 1024)) "$(tail -n 1 "$work/$label.out")"
}
measure sync "$cli" sync --direction palm-to-outlook --range all --conflict skip
measure status "$cli" status
measure list "$cli" list palm --from 2026-12-01 --to 2026-12-31
floor="$build/bench/wholerun/floor/bench_floor"
if [ -x "$floor" ]; then
  DAYBRIDGE_FLOOR_DATEBOOK="$work/palm/Alice/datebook/datebook.dat" "$floor" \
    --benchmark_repetitions=3 --benchmark_report_aggregates_only=true 2> /dev/null |
    grep -E '_(mean|stddev) ' || true
fi
