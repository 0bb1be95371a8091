#!/usr/bin/env bash
# Builds vmpclient and the baseline programs of this folder (RelWithDebInfo),
# runs the benchmarks under Xvfb with a window manager and a platform server
# on port 80 of a loopback address, and prints a markdown table and the
# machine it ran on. Not part of the tests.
#   bench/run.sh [--runs N] [--parts start,page,wall] [--wall-runs N]
#                [--wall-warmup S] [--wall-window S]
# The camera wall ("wall") runs against Debian's chromium, with 1280x720
# streams that ffmpeg makes here once; both come from
# scripts/packages-bench.txt.
# The build goes to $VMP_BENCH_DIR (default: build-bench). Port 80 needs root
# or, once built: sudo setcap cap_net_bind_service=+ep build-bench/bench/vmp-bench
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${VMP_BENCH_DIR:-$root/build-bench}"

bash "$root/scripts/setup.sh" "$root/scripts/packages-bench.txt"
cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVMP_BUILD_TESTS=OFF -DVMP_BUILD_BENCH=ON >/dev/null
cmake --build "$out" --target vmp-bench -j "$(nproc)"
stream="$out/wall-1280x720-25fps.mp4"
[ -s "$stream" ] || bash "$root/demo/media/make-clips.sh" --stream "$stream" 1280x720 10

export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/vmp-runtime-XXXXXX)}"
chmod 700 "$XDG_RUNTIME_DIR"

echo "Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores," \
     "$(awk '/MemTotal/ {printf "%.0f GiB RAM", $2 / 1048576}' /proc/meminfo)," \
     "Debian $(cat /etc/debian_version), Linux $(uname -r), Qt $(qmake -query QT_VERSION 2>/dev/null || echo '?')," \
     "Xvfb 1280x1024x24 with Mesa $(dpkg-query -W -f='${Version}' libgl1-mesa-dri 2>/dev/null | cut -d- -f1) (software OpenGL)"
echo
# Xvfb rather than the desktop, so that every run sees the same screen.
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
  "$out/bench/vmp-bench" --client "$out/vmpclient" --empty "$out/bench/vmp-bench-emptywindow" \
  --browser "$out/bench/vmp-bench-minibrowser" --wall-stream "$stream" "$@"
