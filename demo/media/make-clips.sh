#!/usr/bin/env bash
# Regenerates the demo clips from ffmpeg's built-in test pattern (needs ffmpeg
# with libx264). The files are committed, so this only runs when they change.
#   clip.mp4       progressive MP4 (index first) for a plain <video> element
#   clip-frag.mp4  fragmented MP4, one fragment per second, for Media Source
#                  Extensions
set -euo pipefail
cd "$(dirname "${BASH_SOURCE[0]}")"
# Baseline profile, level 3.0: the widest-supported H.264 ("avc1.42C01E").
common=(-hide_banner -loglevel error -y
        -f lavfi -i "testsrc2=size=320x180:rate=25:duration=3"
        -c:v libx264 -profile:v baseline -level 3.0 -pix_fmt yuv420p
        -preset veryslow -crf 32 -g 25 -keyint_min 25 -sc_threshold 0
        -an -map_metadata -1 -fflags +bitexact -flags:v +bitexact)
ffmpeg "${common[@]}" -movflags +faststart clip.mp4
ffmpeg "${common[@]}" -movflags frag_keyframe+empty_moov+default_base_moof clip-frag.mp4
