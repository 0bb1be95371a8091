#!/usr/bin/env bash
# Builds vmpclient and the soak driver (RelWithDebInfo) and runs an unattended
# soak under Xvfb with openbox: the real program logged in to the demo
# platform on port 80 of a loopback address, the camera wall up most of the
# time, pages switched and a popup opened and closed every minute, the
# renderer killed every 10 minutes and the platform stopped for 60 s every
# 15 minutes. Writes soak.md (tables), soak.csv (every sample), soak.png
# (plot), client.log and engine-stats.txt to the results folder. Not part of
# the tests.
#   bench/soak.sh [--dry-run | --per-event] [vmp-soak options, see --help]
# --dry-run: 5 minutes on a compressed schedule that exercises every action.
# --per-event: each kind of event repeated (--events N, 100 by default) after
# a warm-up, and the PSS left behind per event, in per-event.md; no plot.
# The build goes to $VMP_SOAK_BUILD_DIR (default: build-soak), the results to
# $VMP_SOAK_OUT (default: the build folder's soak-results). Port 80 needs root.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${VMP_SOAK_BUILD_DIR:-$root/build-soak}"
results="${VMP_SOAK_OUT:-$out/soak-results}"

schedule=()
if [ "${1:-}" = "--dry-run" ]; then
  shift
  schedule=(--seconds 300 --warmup 60 --switch-every 30 --switch-phase 30 --popup-every 30 --popup-phase 15
            --kill-every 120 --kill-phase 80 --outage-every 150 --outage-phase 100)
fi
per_event=0
if [ "${1:-}" = "--per-event" ]; then
  per_event=1
fi

bash "$root/scripts/setup.sh"
cmake -S "$root" -B "$out" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVMP_BUILD_TESTS=OFF -DVMP_BUILD_BENCH=ON >/dev/null
cmake --build "$out" --target vmp-soak -j 2

export XDG_RUNTIME_DIR="${XDG_RUNTIME_DIR:-$(mktemp -d /tmp/vmp-runtime-XXXXXX)}"
chmod 700 "$XDG_RUNTIME_DIR"
machine="Machine: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ *//'), $(nproc) cores,\
 $(awk '/MemTotal/ {printf "%.0f GiB RAM", $2 / 1048576}' /proc/meminfo), Debian $(cat /etc/debian_version),\
 Linux $(uname -r), Qt $(qmake -query QT_VERSION 2>/dev/null || echo '?'), Xvfb 1280x1024x24 with openbox,\
 Mesa $(dpkg-query -W -f='${Version}' libgl1-mesa-dri 2>/dev/null | cut -d- -f1) (software OpenGL)"

mkdir -p "$results"
xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
  "$out/bench/vmp-soak" --out "$results" --machine "$machine" "${schedule[@]}" "$@"
if [ "$per_event" = 1 ]; then
  echo "Table: $results/per-event.md"
  exit 0
fi
gnuplot -e "datafile='$results/soak.csv'; outfile='$results/soak.png'" "$root/bench/soak.gp"
echo "Tables: $results/soak.md  Plot: $results/soak.png  Samples: $results/soak.csv"
