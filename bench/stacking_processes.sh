#!/usr/bin/env bash
# Speed of the composite of 20 colour pictures of 4000 x 3000 by average and by expected value
# (the per-pixel median), each beside numpy on a stacked uint8 array of shape (20, 3000, 4000, 3):
#   (a) the composite alone: bench_stacking (Composite, Google Benchmark, median of 5
#       repetitions, wall time) against numpy's mean(axis=0) and median(axis=0) timed inside
#       Python, 5 runs each; Mpixel/s of the result for both and ours / peer (above 1: ours is faster)
#   (b) whole processes: nuvak-cli stack --method average (expected) IN1.bmp ... IN20.bmp OUT.bmp
#       against python3 reading the same BMPs into one stacked array with numpy, taking its
#       mean (median) over the pictures, truncating to bytes and writing the BMP; best and
#       median of REPS runs (default 3) after one warm-up, and ours / peer (below 1: ours is faster)
# The pictures: byte k of pixel (x, y) of picture f = (37 (3 x + k) + 101 y + 149 f
#   + (x xor (y + 7 f)) mod 64 + (f (x + 3 y)) mod 97) mod 256.
# Usage: bench/stacking_processes.sh BUILD_DIR
set -euo pipefail
build=${1:-build-bench}
reps=${REPS:-3}
bench="$build/bench/bench_stacking"
cli="$build/nuvak-cli"
source "$(dirname "$0")/timing.sh"
peer_setup stacking_processes "numpy" "$bench"

common='
import sys, time, struct
import numpy as np
F, W, H = 20, 4000, 3000
def picture(f, out):
    x = np.arange(W, dtype=np.int64)[None, :, None]
    y = np.arange(H, dtype=np.int64)[:, None, None]
    k = np.arange(3, dtype=np.int64)[None, None, :]
    out[...] = (37 * (3 * x + k) + 101 * y + 149 * f + ((x ^ (y + 7 * f)) & 63) + (f * (x + 3 * y)) % 97) % 256
def stack():
    s = np.empty((F, H, W, 3), np.uint8)
    for f in range(F):
        picture(f, s[f])
    return s
'

# (a) The composite alone.
"$bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
    --benchmark_counters_tabular=true --benchmark_out="$work/ours.json" --benchmark_out_format=json
"$python" - "$work/ours.json" <<PY
$common
import json
ours = {b["name"].split("/")[0]: b["items_per_second"] / 1e6
        for b in json.load(open(sys.argv[1]))["benchmarks"] if b.get("aggregate_name") == "median"}
s = stack()
print("(a) composite alone of 20 x 4000 x 3000 x 3 bytes: Mpixel/s of the result, numpy %s" % np.__version__)
print("%-14s %-15s %12s %12s %12s %14s" % ("", "peer", "ours median", "peer median", "peer best", "ours / peer"))
for name, peer, run in (("Average", "mean(axis=0)", lambda: np.mean(s, axis=0)),
                        ("ExpectedValue", "median(axis=0)", lambda: np.median(s, axis=0))):
    times = []
    for _ in range(5):
        t0 = time.perf_counter()
        run()
        times.append(time.perf_counter() - t0)
    times.sort()
    median, best = W * H / times[len(times) // 2] / 1e6, W * H / times[0] / 1e6
    print("%-14s %-15s %12.1f %12.1f %12.1f %14.2f" % (name, peer, ours[name], median, best, ours[name] / median))
PY

# (b) Whole processes.
if [[ ! -x "$cli" ]]; then
    echo "stacking_processes: no $cli (a build with Qt makes it); whole processes skipped" >&2
    exit 0
fi
"$python" - "$work" <<PY
$common
def write_bmp(path, img):
    h, w = img.shape[:2]
    size = w * 3 * h  # rows of 12000 bytes need no padding
    with open(path, "wb") as f:
        f.write(b"BM" + struct.pack("<IHHI", 54 + size, 0, 0, 54))
        f.write(struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, size, 2835, 2835, 0, 0))
        f.write(img.tobytes())
one = np.empty((H, W, 3), np.uint8)
for f in range(F):
    picture(f, one)
    write_bmp("%s/in%02d.bmp" % (sys.argv[1], f), one)
PY
inputs=("$work"/in*.bmp)
peer_script="$common
method, out, ins = sys.argv[1], sys.argv[2], sys.argv[3:]
s = None
for f, path in enumerate(ins):
    with open(path, 'rb') as file:
        head = file.read(54)
        w, h = struct.unpack('<ii', head[18:26])
        if s is None:
            s = np.empty((len(ins), h, w, 3), np.uint8)
        s[f] = np.frombuffer(file.read(w * 3 * h), np.uint8).reshape(h, w, 3)
result = (np.mean(s, axis=0) if method == 'average' else np.median(s, axis=0)).astype(np.uint8)
with open(out, 'wb') as file:
    file.write(head)
    file.write(result.tobytes())
"


echo "(b) whole processes on 20 BMPs of 4000 x 3000, $reps repetitions each: seconds"
printf '%-10s %10s %10s %10s %10s %12s %14s\n' "" "ours best" "median" "peer best" "median" "best ratio" "median ratio"
for method in average expected; do
    read -r ob om < <(measure "$cli" stack --method "$method" "${inputs[@]}" "$work/ours.bmp")
    read -r pb pm < <(measure "$python" -c "$peer_script" "$method" "$work/peer.bmp" "${inputs[@]}")
    awk -v n="$method" -v ob="$ob" -v om="$om" -v pb="$pb" -v pm="$pm" \
        'BEGIN { printf "%-10s %10.3f %10.3f %10.3f %10.3f %12.2f %14.2f\n", n, ob, om, pb, pm, ob / pb, om / pm }'
    # The pixels after the 54-byte headers must agree.
    cmp -s <(tail -c +55 "$work/ours.bmp") <(tail -c +55 "$work/peer.bmp") || echo "  $method: the pixels differ from the peer's"
done
