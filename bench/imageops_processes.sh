#!/usr/bin/env bash
# Speed of the 3 x 3 high-pass and the blur on a 4000 x 3000 24-bit picture, each beside
# OpenCV's filter2D with the same kernel on the same picture (python3-opencv, one thread):
#   (a) the filter alone: bench_imageops (HighPassCommand, BlurCommand on a document, Google
#       Benchmark, median of 5 repetitions, wall time) against cv2.filter2D timed inside Python into a preallocated output;
#       Gpixel/s of both and ours / peer (above 1: ours is faster)
#   (b) whole processes: nuvak-cli process IN.bmp OUT.bmp --op highpass (--op blur) against
#       python3 doing cv2.imread, filter2D and cv2.imwrite of the same files; best and median
#       of REPS runs (default 7) after one warm-up, and ours / peer (below 1: ours is faster)
# The picture: byte k of pixel (x, y) = (37 (3 x + k) + 101 y + (x xor y) mod 64) mod 256.
# Kernels: high-pass 0 -1 0 / -1 4 -1 / 0 -1 0; blur 0 1 0 / 1 0 1 / 0 5 0 over 8, anchored on
# its bottom row (rows y-2 ... y), edges replicated.
# Usage: bench/imageops_processes.sh BUILD_DIR
set -euo pipefail
build=${1:-build-bench}
reps=${REPS:-7}
bench="$build/bench/bench_imageops"
cli="$build/nuvak-cli"
source "$(dirname "$0")/timing.sh"
peer_setup imageops_processes "cv2, numpy" "$bench"

common='
import sys, time
import numpy as np
import cv2
cv2.setNumThreads(1)
W, H = 4000, 3000
highpass = (np.array([[0, -1, 0], [-1, 4, -1], [0, -1, 0]], np.float32), (-1, -1))
blur = (np.array([[0, 1, 0], [1, 0, 1], [0, 5, 0]], np.float32) / 8, (1, 2))
def picture():
    x = np.arange(W, dtype=np.int64)[None, :, None]
    y = np.arange(H, dtype=np.int64)[:, None, None]
    k = np.arange(3, dtype=np.int64)[None, None, :]
    return ((37 * (3 * x + k) + 101 * y + ((x ^ y) & 63)) % 256).astype(np.uint8)
'

# (a) The filters alone.
"$bench" --benchmark_filter='^(HighPass|Blur)/' --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_counters_tabular=true --benchmark_out="$work/ours.json" --benchmark_out_format=json
"$python" - "$work/ours.json" <<EOF
$common
import json
ours = {b["name"].split("/")[0]: b["items_per_second"] / 1e9
        for b in json.load(open(sys.argv[1]))["benchmarks"] if b.get("aggregate_name") == "median"}
img = picture()
out = np.empty_like(img)
print("(a) filter alone on 4000 x 3000 x 3 bytes: Gpixel/s, OpenCV %s filter2D with one thread" % cv2.__version__)
print("%-10s %12s %12s %12s %14s" % ("", "ours median", "peer median", "peer best", "ours / peer"))
for name, (kernel, anchor) in (("HighPass", highpass), ("Blur", blur)):
    times = []
    for _ in range(21):
        t0 = time.perf_counter()
        cv2.filter2D(img, -1, kernel, dst=out, anchor=anchor, borderType=cv2.BORDER_REPLICATE)
        times.append(time.perf_counter() - t0)
    times.sort()
    median, best = W * H / times[len(times) // 2] / 1e9, W * H / times[0] / 1e9
    print("%-10s %12.3f %12.3f %12.3f %14.2f" % (name, ours[name], median, best, ours[name] / median))
EOF

# (b) Whole processes.
if [[ ! -x "$cli" ]]; then
    echo "imageops_processes: no $cli (a build with Qt makes it); whole processes skipped" >&2
    exit 0
fi
in="$work/in.bmp"
"$python" - "$in" <<EOF
$common
cv2.imwrite(sys.argv[1], picture())
EOF
for op in highpass blur; do
    if ! "$cli" process "$in" "$work/out.bmp" --op "$op" >/dev/null 2>&1; then
        echo "imageops_processes: $cli process --op $op does not run yet; whole processes skipped" >&2
        exit 0
    fi
done
peer_script="$common
kernel, anchor = {'highpass': highpass, 'blur': blur}[sys.argv[3]]
img = cv2.imread(sys.argv[1], cv2.IMREAD_COLOR)
cv2.imwrite(sys.argv[2], cv2.filter2D(img, -1, kernel, anchor=anchor, borderType=cv2.BORDER_REPLICATE))
"


echo "(b) whole processes on a 4000 x 3000 24-bit BMP, $reps repetitions each: seconds"
printf '%-10s %10s %10s %10s %10s %12s %14s\n' "" "ours best" "median" "peer best" "median" "best ratio" "median ratio"
for op in highpass blur; do
    read -r ob om < <(measure "$cli" process "$in" "$work/ours.bmp" --op "$op")
    read -r pb pm < <(measure "$python" -c "$peer_script" "$in" "$work/peer.bmp" "$op")
    awk -v n="$op" -v ob="$ob" -v om="$om" -v pb="$pb" -v pm="$pm" \
        'BEGIN { printf "%-10s %10.3f %10.3f %10.3f %10.3f %12.2f %14.2f\n", n, ob, om, pb, pm, ob / pb, om / pm }'
done
