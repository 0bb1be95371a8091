#!/usr/bin/env bash
# Regenerates the demo clips from ffmpeg's built-in test pattern (needs ffmpeg
# with libx264). The files are committed, so this only runs when they change.
#   clip.mp4       progressive MP4 (index first) for a plain <video> element
#   clip-frag.mp4  fragmented MP4, one fragment per second, for Media Source
#                  Extensions
# With --stream FILE SIZE SECONDS, writes only a fragmented clip of that size
# and length, made the same way but faster and at a camera's bit rate (the
# camera-wall benchmark makes its 1280x720 streams so).
set -euo pipefail
size=320x180 seconds=3 level=3.0
quality=(-preset veryslow -crf 32)
if [ "${1:-}" = "--stream" ]; then
  out="$(realpath -m "$2")" size="$3" seconds="$4" level=3.1
  quality=(-preset veryfast -b:v 2M -maxrate 2M -bufsize 2M)
fi
cd "$(dirname "${BASH_SOURCE[0]}")"
# Baseline profile, level 3.0: the widest-supported H.264 ("avc1.42C01E"); 3.1
# is the least that holds 720p at 25 frames/s.
common=(-hide_banner -loglevel error -y
        -f lavfi -i "testsrc2=size=$size:rate=25:duration=$seconds"
        -c:v libx264 -profile:v baseline -level "$level" -pix_fmt yuv420p
        "${quality[@]}" -g 25 -keyint_min 25 -sc_threshold 0
        -an -map_metadata -1 -fflags +bitexact -flags:v +bitexact)
fragmented=(-movflags frag_keyframe+empty_moov+default_base_moof)
if [ -n "${out:-}" ]; then
  ffmpeg "${common[@]}" "${fragmented[@]}" "$out"
  exit 0
fi
ffmpeg "${common[@]}" -movflags +faststart clip.mp4
ffmpeg "${common[@]}" "${fragmented[@]}" clip-frag.mp4
