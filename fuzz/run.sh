#!/usr/bin/env bash
# Runs each fuzzer for VMP_FUZZ_SECONDS (default 60) over a scratch copy of
# its committed seed corpus, so that the inputs it finds never land in the
# repository. Exits non-zero when any target crashed, failed a property or
# could not run; a failing target's scratch directory (input, log) is kept.
#   fuzz/run.sh BUILD_DIR
set -u
here=$(cd "$(dirname "$0")" && pwd)
build=${1:?usage: $0 BUILD_DIR}
seconds=${VMP_FUZZ_SECONDS:-60}
status=0
for target in fuzz_address fuzz_settings; do
  work=$(mktemp -d "${TMPDIR:-/tmp}/vmp-$target.XXXXXX")
  cp -R "$here/corpus/$target" "$work/corpus"
  mkdir "$work/artifacts" "$work/files"
  # The settings fuzzer writes a file per input: into the scratch directory.
  if TMPDIR="$work/files" timeout --kill-after=10 $((seconds + 120)) "$build/fuzz/$target" \
      -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
      -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1; then
    echo "$target: ok, $(grep -o 'stat::number_of_executed_units: *[0-9]*' "$work/log" | grep -o '[0-9]*$') runs"
    rm -rf "$work"
  else
    echo "$target: FAILED; input and log kept in $work"
    grep -E '^property failed|==[0-9]+== ?ERROR|runtime error|^SUMMARY' "$work/log" | head -n 5 | sed 's/^/    /'
    status=1
  fi
done
exit $status
