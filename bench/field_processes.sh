#!/usr/bin/env bash
# Whole nuvak-cli track --stars processes on frames of today's large cameras:
#   speed   30 frames of 6248 x 4176 holding a field of 20 stars: track --stars auto (the stars
#           found on the first frame, each measured in every frame, the field solved) beside the
#           plain path that reads every frame's file whole once (bench_bigframes whole), in
#           turn, REPS times (default 3); target at most 1.5 x
#   memory  the peak resident memory of track --stars auto on 4 and on 12 frames of
#           9576 x 6388: target under 300 MB, and no growth with the number of frames
# The frames (about 1.5 GB and 1.5 GB) are written once into a temporary folder and removed
# at the end.
# Usage: bench/field_processes.sh BUILD_DIR
set -euo pipefail
build=${1:-build-bench}
reps=${REPS:-3}
# shellcheck source=bench/timing.sh
source "$(dirname "$0")/timing.sh"
large_setup field_processes "$build"

"$helper" field "$dir/camera" 6248 4176 30 20 >/dev/null
frames=("$dir"/camera/field_*.fits)
# The frames are past the eight figures' 4000 pixels: the command says so and exits with 0.
stars() { "$cli" track --stars auto --report "$dir/s.json" "$@" 2>/dev/null; }
read -r stars_best stars_median < <(measure stars "${frames[@]}")
read -r whole_best whole_median < <(measure "$helper" whole "${frames[@]}")
echo "nuvak-cli track --stars auto, 30 frames 6248 x 4176, 20 stars, $reps repetitions each"
printf '%-38s %10s %10s\n' "" "best s" "median s" \
    "many-star run" "$stars_best" "$stars_median" \
    "every file read whole" "$whole_best" "$whole_median"
awk -v a="$stars_best" -v b="$whole_best" -v c="$stars_median" -v d="$whole_median" \
    'BEGIN { printf "%-38s %10.2f %10.2f   (target <= 1.5)\n", "ratio stars / whole files", a / b, c / d }'

"$helper" field "$dir/large" 9576 6388 12 20 >/dev/null
large=("$dir"/large/field_*.fits)
peak() {
    # Peak resident set in MB of one many-star run over the first n frames.
    /usr/bin/time -f '%M' -o "$dir/rss" "$cli" track --stars auto --report "$dir/m.json" "${large[@]:0:$1}" \
        >/dev/null 2>&1 || true
    awk '{ printf "%.0f", $1 / 1024 }' "$dir/rss"
}
echo "peak memory of nuvak-cli track --stars auto on 9576 x 6388 frames (target < 300 MB, no growth)"
printf '%-38s %10s\n' "" "MB" "4 frames" "$(peak 4)" "12 frames" "$(peak 12)"
