#!/usr/bin/env bash
# Whole nuvak-cli track processes on 50 frames of 2048 x 2048, each timed beside its peer in
# the same run:
#   whole frame             track FRAMES
#   whole frame, noise cut  track --noise-cut FRAMES          (target: at most 1.6 x the first)
#   given star              track --star X,Y FRAMES
#   given star, noise cut and two darks
#                           track --star X,Y --noise-cut --dark D1 --dark D2 FRAMES
#                                                             (target: at most 2.0 x the third)
#   whole frame, report     track --report R.json FRAMES       (target: at most 1.3 x the first)
#   given star, report      track --report R.json --star X,Y FRAMES
#                                                             (target: at most 1.3 x the third)
# The six run in turn, REPS times (default 7); best and median wall times are printed, and
# the two ratios of each. The frames (sky noise, a star drifting half a pixel a frame, hot
# pixels shared with the darks) are written once into a temporary folder.
# Usage: bench/track_processes.sh BUILD_DIR
set -euo pipefail
build=${1:-build-bench}
cli="$build/nuvak-cli"
reps=${REPS:-7}
if [[ ! -x "$cli" ]]; then
    echo "track_processes: no $cli (a build with Qt makes it); skipped" >&2
    exit 0
fi
if ! command -v python3 >/dev/null; then
    echo "track_processes: python3 writes the frames and is not here; skipped" >&2
    exit 0
fi

dir=$(mktemp -d "${TMPDIR:-/tmp}/nuvak-track-processes.XXXXXX")
trap 'rm -rf "$dir"' EXIT

python3 - "$dir" <<'EOF'
import math, random, sys

folder = sys.argv[1]
side, frames = 2048, 50
rng = random.Random(20261208)
n = side * side

def encode(high, low):
    # Rows after a one-block header; stored value = sample - 32768, big-endian.
    cards = ["SIMPLE  =                    T", "BITPIX  =                   16", "NAXIS   =                    2",
             "NAXIS1  = %20d" % side, "NAXIS2  = %20d" % side, "BZERO   =                32768", "END"]
    header = "".join(c.ljust(80) for c in cards).ljust(2880).encode("ascii")
    data = bytearray(2 * n)
    data[0::2] = high
    data[1::2] = low
    data += bytes(-len(data) % 2880)
    return header, data

def put(data, x, y, v):
    s = (v - 32768) & 0xFFFF
    data[2 * (y * side + x)] = s >> 8
    data[2 * (y * side + x) + 1] = s & 0xFF

# Hot pixels at the same places in every frame and dark.
hot = [(rng.randrange(side), rng.randrange(side)) for _ in range(800)]

def write(name, base, star):
    # Sky: base + 0 ... 63 (base a multiple of 256, so the high byte is the same everywhere).
    noise = rng.randbytes(n).translate(bytes(b & 63 for b in range(256)))
    header, data = encode(bytes([(base + 32768) >> 8]) * n, noise)
    if star:
        sx, sy = star
        for x in range(int(sx) - 12, int(sx) + 13):
            for y in range(int(sy) - 12, int(sy) + 13):
                dx, dy = x + 0.5 - sx, y + 0.5 - sy
                put(data, x, y, base + 32 + int(30000 * math.exp(-(dx * dx + dy * dy) / 8.0)))
    for x, y in hot:
        put(data, x, y, 60000)
    with open(f"{folder}/{name}", "wb") as f:
        f.write(header)
        f.write(data)

for i in range(frames):
    write("frame%02d.fits" % (i + 1), 1024, (1000.3 + 0.5 * i, 1200.6 - 0.3 * i))
for k in (1, 2):
    write("dark%d.fits" % k, 256, None)
EOF

frames=("$dir"/frame*.fits)
names=("whole frame" "whole frame, noise cut" "given star" "given star, noise cut, 2 darks" "whole frame, report"
       "given star, report")
runs=(
    ""
    "--noise-cut"
    "--star 1000,1200"
    "--star 1000,1200 --noise-cut --dark $dir/dark1.fits --dark $dir/dark2.fits"
    "--report $dir/r.json"
    "--report $dir/r.json --star 1000,1200"
)
declare -a times=("" "" "" "" "" "")
# One run of each first, unmeasured, so that every file is in the page cache.
for k in 0 1 2 3 4 5; do
    # shellcheck disable=SC2086
    "$cli" track ${runs[$k]} "${frames[@]}" >/dev/null
done
for ((rep = 0; rep < reps; ++rep)); do
    for k in 0 1 2 3 4 5; do
        start=$EPOCHREALTIME
        # shellcheck disable=SC2086
        "$cli" track ${runs[$k]} "${frames[@]}" >/dev/null
        end=$EPOCHREALTIME
        times[$k]+="$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.4f ", b - a }')"
    done
done

# Best and median of each; the ratios of the noise-cut runs to their peers.
report() {
    printf '%s\n' "${times[@]}" | awk -v names="$(printf '%s|' "${names[@]}")" '
        function sort(a, n,   i, j, t) { for (i = 2; i <= n; ++i) for (j = i; j > 1 && a[j - 1] > a[j]; --j) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t } }
        {
            n = split($0, v, " "); sort(v, n)
            best[NR] = v[1]; med[NR] = n % 2 ? v[(n + 1) / 2] : (v[n / 2] + v[n / 2 + 1]) / 2
        }
        END {
            split(names, label, "|")
            printf "%-34s %10s %10s\n", "track, 50 frames 2048 x 2048", "best s", "median s"
            for (k = 1; k <= 6; ++k) printf "%-34s %10.3f %10.3f\n", label[k], best[k], med[k]
            printf "ratio noise cut / whole frame      %10.2f %10.2f   (target <= 1.6)\n", best[2] / best[1], med[2] / med[1]
            printf "ratio star + cut + darks / star    %10.2f %10.2f   (target <= 2.0)\n", best[4] / best[3], med[4] / med[3]
            printf "ratio report / whole frame         %10.2f %10.2f   (target <= 1.3)\n", best[5] / best[1], med[5] / med[1]
            printf "ratio report / given star          %10.2f %10.2f   (target <= 1.3)\n", best[6] / best[3], med[6] / med[3]
        }'
}
echo "nuvak-cli track processes, $reps repetitions each"
report
