#!/usr/bin/env bash
# Whole-process speed of opening a 4096 x 4096 16-bit FITS frame, beside a Python peer in the
# same run:
#   info     nuvak-cli info F.fits: read, levels, the display and the two byte planes
#   render   nuvak-cli render F.fits OUT.bmp: the same, then the display written as a BMP
#   peer     python3 with astropy and numpy: getdata, min/max/mean, 8-bit three-channel scaling
# Each runs REPS times (default 7); the best and the median wall times are printed, then the
# ratios of ours to the peer's.
#   bench/open_processes.sh BUILD_DIR
set -euo pipefail
build=${1:-build-bench}
reps=${REPS:-7}
cli="$build/nuvak-cli"
# The Debian interpreter is the one with python3-astropy (scripts/install-deps bench).
python=${PYTHON:-/usr/bin/python3}
[[ -x "$python" ]] || python=python3
if [[ ! -x "$cli" ]]; then
    echo "open_processes: no $cli (a build with Qt makes it); skipped" >&2
    exit 0
fi
if ! "$python" -c 'import astropy, numpy' 2>/dev/null; then
    echo "open_processes: $python lacks astropy or numpy (scripts/install-deps bench installs them)" >&2
    exit 1
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
frame="$work/sky-4096.fits"

# A sky: a noisy background with a gradient, and 300 stars as
# Gaussian profiles, stored as unsigned 16-bit (BITPIX 16 with BZERO 32768).
"$python" - "$frame" <<'EOF'
import sys
import numpy as np
from astropy.io import fits
side = 4096
rng = np.random.default_rng(7)
yy, xx = np.mgrid[0:side, 0:side].astype(np.float32)
sky = 1200 + 0.05 * xx + 0.03 * yy + rng.normal(0, 25, (side, side)).astype(np.float32)
for _ in range(300):
    cx, cy = rng.uniform(20, side - 20, 2)
    peak, sigma = rng.uniform(500, 60000), rng.uniform(1.2, 3.0)
    x0, x1, y0, y1 = int(cx) - 12, int(cx) + 13, int(cy) - 12, int(cy) + 13
    sub = np.exp(-((xx[y0:y1, x0:x1] - cx) ** 2 + (yy[y0:y1, x0:x1] - cy) ** 2) / (2 * sigma**2))
    sky[y0:y1, x0:x1] += peak * sub
data = np.clip(sky, 0, 65535).astype(np.uint16)
fits.PrimaryHDU(data).writeto(sys.argv[1], overwrite=True)
EOF

peer_script='
import sys
import numpy as np
from astropy.io import fits
d = fits.getdata(sys.argv[1])
lo, hi, mean = int(d.min()), int(d.max()), float(d.mean())
s = np.clip((d.astype(np.float32) - lo) * (255.0 / max(hi - lo, 1)), 0, 255).astype(np.uint8)
rgb = np.dstack((s, s, s))
print(lo, hi, mean, rgb.shape)
'

source "$(dirname "$0")/timing.sh"

read -r info_best info_median < <(measure "$cli" info "$frame")
read -r render_best render_median < <(measure "$cli" render "$frame" "$work/out.bmp")
read -r peer_best peer_median < <(measure "$python" -c "$peer_script" "$frame")

echo "nuvak-cli open of a 4096 x 4096 16-bit FITS frame beside $python (astropy, numpy), $reps repetitions each"
printf '%-8s %10s %10s %12s %14s\n' "" "best s" "median s" "best/peer" "median/peer"
row() {
    awk -v n="$1" -v b="$2" -v m="$3" -v pb="$peer_best" -v pm="$peer_median" \
        'BEGIN { printf "%-8s %10.3f %10.3f %12.2f %14.2f\n", n, b, m, b / pb, m / pm }'
}
row info "$info_best" "$info_median"
row render "$render_best" "$render_median"
row peer "$peer_best" "$peer_median"
