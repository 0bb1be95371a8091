#!/usr/bin/env bash
# Installs what is missing, builds, and starts vmpclient in the current
# directory (where it keeps "set.txt" and ".cache").
#   --demo  also starts the demo platform on http://127.0.0.2 (port 80)
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
demo=0
args=()
for arg in "$@"; do
  case "$arg" in
    --demo) demo=1 ;;
    *) args+=("$arg") ;;
  esac
done

bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh" "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVMP_BUILD_TESTS=OFF -DVMP_BUILD_BENCH=OFF

demo_pid=
if [ "$demo" -eq 1 ]; then
  "$root/build/demo/vmp-demo-platform" --address 127.0.0.2 --port 80 --video "$root/demo/media/clip.mp4" \
    --stream "$root/demo/media/clip-frag.mp4" &
  demo_pid=$!
  trap '[ -n "$demo_pid" ] && kill "$demo_pid" 2>/dev/null || true' EXIT
  sleep 0.5
  kill -0 "$demo_pid" 2>/dev/null || { echo "The demo platform did not start (see above)." >&2; exit 1; }
fi

if [ -z "${DISPLAY:-}" ]; then
  echo "No display: starting vmpclient under Xvfb (it will not be visible)." >&2
  xvfb-run -a -s "-screen 0 1280x1024x24" "$root/build/vmpclient" "${args[@]}"
else
  "$root/build/vmpclient" "${args[@]}"
fi
