#!/usr/bin/env bash
# Whole processes of the RGB composite: nuvak-cli rgb on the two-star set-up of bench_rgbcomp
# (3 x 20 frames of 2048 x 2048, three darks, a flat) to a BMP, beside a process that only
# reads the same 64 files: python3 with numpy taking each file's 16-bit samples and folding
# them with 32768 into one 32-bit array. Best and median of REPS runs (default 3) after one
# warm-up, and ours / reader (the composite's cost in reads of its frames).
# Usage: bench/rgbcomp_processes.sh BUILD_DIR
set -euo pipefail
build=${1:-build-bench}
reps=${REPS:-3}
bench="$build/bench/bench_rgbcomp"
cli="$build/nuvak-cli"
source "$(dirname "$0")/timing.sh"
peer_setup rgbcomp_processes "numpy" "$bench"
if [[ ! -x "$cli" ]]; then
    echo "rgbcomp_processes: no $cli (a build with Qt makes it); skipped" >&2
    exit 0
fi
"$bench" --write-project "$work/two-stars.mvl"
mapfile -t frames < <(tr -d '\r' <"$work/two-stars.mvl" | grep '\.fits$')
reader='
import sys
import numpy as np
out = None
for path in sys.argv[1:]:
    with open(path, "rb") as f:
        data = f.read()
    # The header ends with the block holding END; the 2048 x 2048 samples follow.
    end = 0
    while data[end:end + 3] != b"END":
        end += 80
    start = (end // 2880 + 1) * 2880
    samples = np.frombuffer(data, ">i2", 2048 * 2048, start)
    if out is None:
        out = np.empty(2048 * 2048, np.int32)
    np.add(samples, 32768, out=out, dtype=np.int32)
'
echo "whole processes on ${#frames[@]} FITS files of 2048 x 2048, $reps repetitions each: seconds"
printf '%-30s %10s %10s\n' "" "best" "median"
read -r ob om < <(measure "$cli" rgb "$work/two-stars.mvl" "$work/out.bmp")
read -r pb pm < <(measure "$python" -c "$reader" "${frames[@]}")
printf '%-30s %10.3f %10.3f\n' "nuvak-cli rgb (two stars)" "$ob" "$om" "numpy read of the same files" "$pb" "$pm"
awk -v ob="$ob" -v om="$om" -v pb="$pb" -v pm="$pm" \
    'BEGIN { printf "%-30s %10.2f %10.2f\n", "ours / read", ob / pb, om / pm }'
