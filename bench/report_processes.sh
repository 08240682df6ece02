#!/usr/bin/env bash
# Whole nuvak-cli track --report processes on frames of today's large cameras:
#   speed   100 frames of 6248 x 4176, a star given (search range 20): the report's run beside
#           the plain path that opens each frame and reads the rows its star search reads
#           (bench_bigframes rows), in turn, REPS times (default 3); target at most 1.5 x
#   memory  the peak resident memory of the report on 9576 x 6388 frames (three distinct files,
#           listed over and over), with a star for 20 and for 200 frames, without one for 10
#           and 40: target under 300 MB, and no growth with the number of frames
# The frames (about 5.6 GB) are written once into a temporary folder and removed at the end.
# Usage: bench/report_processes.sh BUILD_DIR
set -euo pipefail
build=${1:-build-bench}
reps=${REPS:-3}
# shellcheck source=bench/timing.sh
source "$(dirname "$0")/timing.sh"
large_setup report_processes "$build"

star=$("$helper" write "$dir/camera" 6248 4176 100)
frames=("$dir"/camera/frame*.fits)
y=${star#*,}
"$cli" track --report "$dir/r.json" --star "$star" "${frames[@]}" 2>/dev/null
read -r report_best report_median < <(measure "$cli" track --report "$dir/r.json" --star "$star" "${frames[@]}")
read -r rows_best rows_median < <(measure "$helper" rows "$y" 20 "${frames[@]}")
echo "nuvak-cli track --report, 100 frames 6248 x 4176, star given, $reps repetitions each"
printf '%-38s %10s %10s\n' "" "best s" "median s" \
    "report run" "$report_best" "$report_median" \
    "the star rows read alone" "$rows_best" "$rows_median"
awk -v a="$report_best" -v b="$rows_best" -v c="$report_median" -v d="$rows_median" \
    'BEGIN { printf "%-38s %10.2f %10.2f   (target <= 1.5)\n", "ratio report / rows", a / b, c / d }'

# Peak memory: three files of 9576 x 6388 listed as many frames as asked for.
star=$("$helper" write "$dir/large" 9576 6388 3)
large=("$dir"/large/frame*.fits)
list() {
    local n=$1 out=()
    for ((i = 0; i < n; ++i)); do out+=("${large[i % 3]}"); done
    printf '%s\n' "${out[@]}"
}
peak() {
    # Peak resident set in MB of one report run with the given options over n frames.
    local n=$1
    shift
    mapfile -t names < <(list "$n")
    /usr/bin/time -f '%M' -o "$dir/rss" "$cli" track --report "$dir/m.json" "$@" "${names[@]}" >/dev/null 2>&1 || true
    awk '{ printf "%.0f", $1 / 1024 }' "$dir/rss"
}
echo "peak memory of nuvak-cli track --report on 9576 x 6388 frames (target < 300 MB, no growth)"
printf '%-38s %10s\n' "" "MB" \
    "star given, 20 frames" "$(peak 20 --star "$star")" \
    "star given, 200 frames" "$(peak 200 --star "$star")" \
    "whole-frame search, 10 frames" "$(peak 10)" \
    "whole-frame search, 40 frames" "$(peak 40)"
