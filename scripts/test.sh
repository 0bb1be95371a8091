#!/usr/bin/env bash
# Installs what is missing, builds, and runs the whole test suite:
#   1. every test of a debug build (display tests under Xvfb),
#   2. the unit and engine tests built with AddressSanitizer and
#      UndefinedBehaviorSanitizer,
#   3. the threaded tests built with ThreadSanitizer,
#   4. the fuzz targets for a bounded time.
# Set VMP_TEST_QUICK=1 to run step 1 only.
set -uo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${VMP_TEST_DIR:-$root/build-test}"

bash "$root/scripts/setup.sh" || exit 1

# The tests name files and type text in Chinese, so they run in a UTF-8
# locale whatever the machine's own is.
export LC_ALL=C.UTF-8

# The engine and Qt want a private runtime directory.
export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/vmp-runtime-XXXXXX)}"
chmod 700 "$XDG_RUNTIME_DIR"

passed=0
failed=0
step() {
  local name="$1"; shift
  echo
  echo "=== $name ==="
  if "$@"; then
    passed=$((passed + 1))
  else
    echo "=== $name FAILED ===" >&2
    failed=$((failed + 1))
  fi
}

in_xvfb() {
  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset -nolisten tcp" "$@"
}

# Every test runs once; a failure fails its step.
run_ctest() {
  local dir="$1"; shift
  (cd "$dir" && in_xvfb ctest --output-on-failure --timeout 600 "$@")
}

step "debug build" bash "$root/scripts/build.sh" "$out/debug" -DCMAKE_BUILD_TYPE=Debug
step "all tests (debug)" run_ctest "$out/debug"

if [ "${VMP_TEST_QUICK:-0}" != 1 ]; then
  export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1:allocator_may_return_null=1"
  export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
  step "sanitizer build (address, undefined)" bash "$root/scripts/build.sh" "$out/asan" \
    -DCMAKE_BUILD_TYPE=Debug -DVMP_SANITIZE=address -DVMP_BUILD_BENCH=OFF
  step "unit and engine tests (address, undefined)" run_ctest "$out/asan" -L 'unit|engine'

  export TSAN_OPTIONS="halt_on_error=1:second_deadlock_stack=1:suppressions=$root/tests/tsan.supp"
  step "sanitizer build (thread)" bash "$root/scripts/build.sh" "$out/tsan" \
    -DCMAKE_BUILD_TYPE=Debug -DVMP_SANITIZE=thread -DCMAKE_CXX_COMPILER=clang++ -DVMP_BUILD_BENCH=OFF
  step "threaded tests (thread)" run_ctest "$out/tsan" -L tsan

  if [ -f "$root/fuzz/CMakeLists.txt" ]; then
    fuzz_build() {
      cmake -S "$root" -B "$out/fuzz" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++ \
        -DVMP_BUILD_FUZZERS=ON -DVMP_BUILD_TESTS=OFF -DVMP_BUILD_BENCH=OFF >/dev/null &&
        cmake --build "$out/fuzz" -j "$(nproc)" --target fuzz_address fuzz_settings
    }
    step "fuzz build" fuzz_build
    step "fuzzing" env VMP_FUZZ_SECONDS="${VMP_FUZZ_SECONDS:-45}" bash "$root/fuzz/run.sh" "$out/fuzz"
  fi
fi

echo
echo "steps: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
