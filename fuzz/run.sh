#!/usr/bin/env bash
# Runs each fuzzer for a bounded time over a scratch copy of its committed seed
# corpus, so that the inputs it finds never land in the repository.
#
#   fuzz/run.sh BUILD_DIR        VMP_FUZZ_SECONDS per target, default 60
#
# Prints one line per target; exits non-zero when any target crashed, failed
# a property or could not run. A failing target's scratch directory (crash
# input, log) is kept and named.
set -u

here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: $0 BUILD_DIR}
seconds=${VMP_FUZZ_SECONDS:-60}
case $seconds in
  '' | *[!0-9]*) echo "VMP_FUZZ_SECONDS must be a whole number of seconds, not '$seconds'" >&2; exit 2 ;;
esac
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1}

# An interrupted run leaves no scratch directory behind.
files=""
work=""
trap 'rm -rf ${files:+"$files"} ${work:+"$work"}' EXIT
trap 'exit 130' INT TERM

final_stat() { sed -n "s/^stat::$1: *//p" "$2" | tail -n 1; }

status=0
for target in fuzz_address fuzz_settings; do
  binary=""
  for candidate in "$build/fuzz/$target" "$build/$target"; do
    if [ -x "$candidate" ]; then binary=$candidate; break; fi
  done
  if [ -z "$binary" ]; then
    echo "$target: FAILED, not built under $build"
    status=1
    continue
  fi

  work=$(mktemp -d "${TMPDIR:-/tmp}/vmp-$target.XXXXXX")
  cp -R "$here/corpus/$target" "$work/corpus"
  mkdir "$work/artifacts"
  # The settings fuzzer writes and syncs a file per input: in memory where
  # possible, a disk would hold it to a few runs a second.
  if [ -d /dev/shm ] && [ -w /dev/shm ]; then
    files=$(mktemp -d /dev/shm/vmp-$target.XXXXXX)
  else
    files="$work/files"
    mkdir "$files"
  fi
  # The outer timeout only guards against a fuzzer that stops honouring
  # -max_total_time; it is never reached otherwise.
  TMPDIR="$files" timeout --kill-after=10 $((seconds + 120)) "$binary" \
    -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1
  rc=$?
  rm -rf "$files"
  files=""

  runs=$(final_stat number_of_executed_units "$work/log")
  rate=$(final_stat average_exec_per_sec "$work/log")
  cov=$(grep -o 'cov: [0-9]* ft: [0-9]*' "$work/log" | tail -n 1)
  units=$(find "$work/corpus" -type f | wc -l)
  figures="${runs:-?} runs, ${rate:-?} exec/s, ${cov:-cov: ?}, corpus $units"
  if [ "$rc" -eq 0 ]; then
    echo "$target: ok, $figures"
    rm -rf "$work"
    work=""
  else
    echo "$target: FAILED (exit $rc), $figures; input and log kept in $work"
    grep -E '^(property failed|  (input|reference|URL host|content|line|expected line) )' "$work/log" \
      | cut -c 1-200 | sed 's/^/    /'
    grep -E '==[0-9]+== ?ERROR|runtime error|^SUMMARY' "$work/log" | head -n 5 | sed 's/^/    /'
    work=""
    status=1
  fi
done
exit $status
