// Each frame of a run measured for the report: the star found where the run finds it, the sky
// in an annulus around it, a circular Gaussian fitted to a small cut-out, the half-flux
// diameter, the centroid's uncertainty and the saturation flag.

#include <algorithm>
#include <cctype>
#include <cmath>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <limits>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <Eigen/Dense>

#include "core/error.h"
#include "core/format.h"
#include "resources/messages.h"
#include "tracking/report.h"
#include "tracking/reportreader.h"

namespace nuvak {

namespace {

// 2 sqrt(2 ln 2): the full width at half maximum of a Gaussian in sigmas.
constexpr double kFwhmPerSigma = 2.3548200450309493;
// Sky pixels beyond this many sigmas of the median are left out of the sky's sigma; the
// standard deviation of a normal distribution cut there is kClippedSigma of its sigma.
constexpr double kSkyClip = 3.5;
constexpr double kClippedSigma = 0.99694;
// A star is found when its peak stands this many sky sigmas above the sky.
constexpr double kSignificance = 5;
// Fewer sky pixels than this give no trustworthy sky.
constexpr int kMinSkyPixels = 8;
// The widest first guess of the star's FWHM in pixels: it bounds the cut-out.
constexpr double kMaxFwhmGuess = 40;
// The star's FWHM in pixels the first frame's band is cut for.
constexpr double kFirstFwhmGuess = 8;
// Sub-pixels per pixel side for the half-flux diameter.
constexpr int kSubPixels = 4;

// The rows [y0, y1) of the open frame already read and corrected.
struct RowsRead {
    int y0 = 0, y1 = 0;
};

// Part of a frame: pixel (x, y) is band[x - col0][y - row0].
struct FrameRows {
    const IntArray2D& band;
    int col0, row0;
    std::int32_t operator()(int x, int y) const { return band[x - col0][y - row0]; }
};

// One pixel of the cut-out: its centre and value.
struct Sample {
    double x, y, v;
};

// A part of a pixel in the half-flux diameter: its distance from the centre and its signal.
struct Part {
    double d, v;
    bool operator<(const Part& o) const { return d < o.d || (d == o.d && v < o.v); }
};

// The working arrays of one frame's measurement, kept from frame to frame so that a night
// allocates them once.
struct Scratch {
    std::vector<std::int32_t> sky, deviation;  // the sky annulus
    std::vector<Sample> samples;               // the fit's cut-out
    // The half-flux diameter's parts, y offsets, distances, rings and the ring it sorts.
    std::vector<Part> parts, ring;
    std::vector<double> offsets, nearest, distances, ringSum, ringPositive, ringFarthest;
    std::vector<int> ringOf;
};

// The sky annulus's outer radius for a star of the given FWHM: from three FWHM to five.
int annulusOuter(double fwhmGuess) {
    return int(std::ceil(3 * fwhmGuess)) + std::max(int(std::ceil(2 * fwhmGuess)), 6);
}

// Rows on each side of a search centre the measurement of one frame is expected to read: the
// search window's r and the centroid square's r more, or the peak's distance from the centre
// (less than r) and the sky annulus's outer radius, for a star of about the given FWHM, with
// two rows more. A band this high stays small in the caches; a frame whose star has grown past
// the guess widens it (ensureRows).
int rowsAboutStar(int r, double fwhmGuess) { return std::max(2 * r, r + annulusOuter(fwhmGuess) + 2); }

// A frame of at most this many bytes is held whole; a larger one a band of rows at a time.
constexpr std::size_t kWholeFrameBytes = std::size_t(64) << 20;
// The rows of a band of a whole-frame search: about eight megabytes.
int searchBandRows(int w) { return std::max(64, int((std::size_t(8) << 20) / (std::size_t(std::max(w, 1)) * 4))); }

// Makes rows [y0, y1) (clipped to the frame) read, reading only those not read yet; the read
// rows stay one range.
void ensureRows(ReportReader& reader, RowsRead& rows, int y0, int y1) {
    y0 = std::max(y0, 0);
    y1 = std::min(y1, reader.height());
    if (y0 >= y1) return;
    if (y0 < reader.frameRow0() || y1 > reader.frameRow0() + reader.bandRows()) {
        // Rows past the band: it moves to hold them and those read so far, which are read again.
        if (rows.y0 < rows.y1) {
            y0 = std::min(y0, rows.y0);
            y1 = std::max(y1, rows.y1);
        }
        reader.setBand(y0, y1);
        rows = {};
    }
    if (rows.y0 >= rows.y1) {
        reader.read(y0, y1);
        rows = {y0, y1};
        return;
    }
    // Any gap between the new rows and the old ones is read too.
    if (y0 < rows.y0) reader.read(y0, rows.y0);
    if (y1 > rows.y1) reader.read(rows.y1, y1);
    rows = {std::min(rows.y0, y0), std::max(rows.y1, y1)};
}

int clampToInt(long long v) {
    return int(std::clamp<long long>(v, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

// The median of whole numbers (the mean of the middle two of an even count); v is reordered.
double median(std::vector<std::int32_t>& v) {
    const auto mid = v.begin() + std::ptrdiff_t(v.size() / 2);
    std::nth_element(v.begin(), mid, v.end());
    const double hi = *mid;
    if (v.size() % 2) return hi;
    return 0.5 * (hi + *std::max_element(v.begin(), mid));
}

// The sky level and sigma of the pixels whose centres lie rin ... rout from the centre of
// pixel (px, py): their median, and the standard deviation of those within 3.5 sigmas of it,
// sigma first from their median absolute deviation. The deviation rather than the MAD itself
// gives the sigma because integer samples make the MAD jump by whole steps.
std::optional<std::pair<double, double>> skyAround(const FrameRows& frame, int w, int h, int px, int py, int rin,
                                                   int rout, Scratch& scratch) {
    std::vector<std::int32_t>& v = scratch.sky;
    v.clear();
    for (int x = std::max(px - rout, 0); x <= std::min(px + rout, w - 1); ++x) {
        const long long dx2 = (long long)(x - px) * (x - px);
        for (int y = std::max(py - rout, 0); y <= std::min(py + rout, h - 1); ++y) {
            const long long d2 = dx2 + (long long)(y - py) * (y - py);
            if (d2 >= (long long)rin * rin && d2 <= (long long)rout * rout) v.push_back(frame(x, y));
        }
    }
    if (int(v.size()) < kMinSkyPixels) return std::nullopt;
    const double level = median(v);
    // The deviations from a median of whole numbers are whole or halves: twice them are whole.
    const auto twiceLevel = std::int32_t(2 * level);
    std::vector<std::int32_t>& twiceDeviation = scratch.deviation;
    twiceDeviation.resize(v.size());
    for (std::size_t k = 0; k < v.size(); ++k) twiceDeviation[k] = std::abs(2 * v[k] - twiceLevel);
    const double mad = kMadToSigma * (median(twiceDeviation) / 2);
    double sum = 0, sumSq = 0;
    int count = 0;
    for (double x : v) {
        const double d = x - level;
        if (mad > 0 && std::abs(d) > kSkyClip * mad) continue;
        sum += d;
        sumSq += d * d;
        ++count;
    }
    const double mean = sum / count;
    const double sigma = std::sqrt(std::max(sumSq / count - mean * mean, 0.0) * count / std::max(count - 1, 1));
    return std::pair{level, mad > 0 ? sigma / kClippedSigma : sigma};
}

// A circular Gaussian on a constant: b + a exp(-((x - x0)^2 + (y - y0)^2) / (2 s^2)).
using Params = Eigen::Matrix<double, 5, 1>;  // b, a, x0, y0, s
using Normal = Eigen::Matrix<double, 5, 5>;

struct Fit {
    Params p;
    bool converged = false;
};

// The model's value and its derivatives by b, a, x0, y0 and s at one sample.
double model(const Params& p, const Sample& q, Params& grad) {
    const double dx = q.x - p[2], dy = q.y - p[3], s2 = p[4] * p[4];
    const double r2 = dx * dx + dy * dy;
    const double e = std::exp(-r2 / (2 * s2));
    const double ae = p[1] * e;
    grad << 1, e, ae * dx / s2, ae * dy / s2, ae * r2 / (s2 * p[4]);
    return p[0] + ae;
}

// The lower triangle of m plus alpha g g', each term taken as (alpha g_i) g_j: an unrolled
// rank update of the 5 x 5 normal matrix, the same sums as Eigen's.
void addOuterLower(Normal& m, const Params& g, double alpha = 1) {
    for (int i = 0; i < 5; ++i) {
        const double s = alpha * g[i];
        for (int j = i; j < 5; ++j) m(j, i) += s * g[j];
    }
}

double cost(const std::vector<Sample>& samples, const Params& p) {
    Params g;
    double c = 0;
    for (const Sample& q : samples) {
        const double r = q.v - model(p, q, g);
        c += r * r;
    }
    return c;
}

// Levenberg-Marquardt least squares from the start p: converged when the centre and width
// steps fall below a thousandth of a thousandth of a pixel, or no step lowers the sum of
// squares any more.
Fit fitGaussian(const std::vector<Sample>& samples, Params p) {
    constexpr int kMaxIterations = 200;
    constexpr double kStepTolerance = 1e-6;
    Fit fit;
    double lambda = 1e-3;
    double c = cost(samples, p);
    for (int it = 0; it < kMaxIterations; ++it) {
        Normal jtj = Normal::Zero();
        Params jtr = Params::Zero();
        Params g;
        for (const Sample& q : samples) {
            const double r = q.v - model(p, q, g);
            addOuterLower(jtj, g);
            jtr += g * r;
        }
        jtj = jtj.selfadjointView<Eigen::Lower>();
        bool stepped = false;
        while (lambda < 1e12) {
            Normal damped = jtj;
            damped.diagonal() *= 1 + lambda;
            const Params step = damped.ldlt().solve(jtr);
            const Params trial = p + step;
            const double tc =
                trial[4] > 0 && step.allFinite() ? cost(samples, trial) : std::numeric_limits<double>::infinity();
            if (tc < c) {
                p = trial;
                c = tc;
                lambda = std::max(lambda * 0.1, 1e-12);
                stepped = true;
                if (step.tail<3>().cwiseAbs().maxCoeff() < kStepTolerance) {
                    fit.p = p;
                    fit.converged = true;
                    return fit;
                }
                break;
            }
            lambda *= 10;
        }
        if (!stepped) {
            // No step lowers the sum of squares: p is its minimum as far as doubles tell.
            fit.p = p;
            fit.converged = true;
            return fit;
        }
    }
    fit.p = p;
    return fit;
}

// The pixels of a square of half-width r about pixel (px, py) whose centres lie within r of
// that pixel's centre; the pixels whose raw value (as read, before any correction) is at the
// top of the 16-bit range are left out and counted in saturated.
void cutOut(const FrameRows& frame, int w, int h, int px, int py, int r, const FrameRows& raw, int& saturated,
            std::vector<Sample>& s) {
    s.clear();
    saturated = 0;
    for (int x = std::max(px - r, 0); x <= std::min(px + r, w - 1); ++x)
        for (int y = std::max(py - r, 0); y <= std::min(py + r, h - 1); ++y) {
            if ((x - px) * (x - px) + (y - py) * (y - py) > r * r) continue;
            if (raw(x, y) >= kSaturated) {
                ++saturated;
                continue;
            }
            s.push_back({x + 0.5, y + 0.5, double(frame(x, y))});
        }
}

// The diameter of the circle about (cx, cy) that holds half of the background-subtracted flux
// within radius rap, each pixel's signal spread evenly over it (kSubPixels^2 parts); with the
// flux within rap. NaN diameter when that flux is not positive.
//
// The parts are taken in order of distance (ties by signal): the diameter lies at the first
// positive part whose running sum reaches half the flux. Rather than sorting all of them, the
// parts are spread over rings of equal width by distance; a ring is sorted only when the sum
// before it and its positive parts could reach the half, so the answer is the full sort's.
std::pair<double, double> halfFluxDiameter(const FrameRows& frame, int w, int ylo, int yhi, double cx, double cy,
                                           double rap, double background, Scratch& scratch) {
    std::vector<Part>& parts = scratch.parts;
    const int x0 = std::max(int(std::floor(cx - rap)) - 1, 0), x1 = std::min(int(std::ceil(cx + rap)) + 1, w);
    const int y0 = std::max(int(std::floor(cy - rap)) - 1, ylo), y1 = std::min(int(std::ceil(cy + rap)) + 1, yhi);
    constexpr double kPart = 1.0 / kSubPixels;
    constexpr int kParts = kSubPixels * kSubPixels;
    const std::size_t most = x1 > x0 && y1 > y0 ? std::size_t(x1 - x0) * std::size_t(y1 - y0) * std::size_t(kParts) : 0;
    if (parts.size() < most) parts.resize(most);
    // The parts' offsets from the centre along y, the same for every column, and each row's
    // smallest square of them.
    std::vector<double>&dys = scratch.offsets, &nearY = scratch.nearest;
    dys.resize(std::size_t(std::max(y1 - y0, 0)) * kSubPixels);
    nearY.resize(std::size_t(std::max(y1 - y0, 0)));
    for (int y = y0; y < y1; ++y) {
        double* dy = &dys[std::size_t(y - y0) * kSubPixels];
        for (int j = 0; j < kSubPixels; ++j) dy[j] = y + (j + 0.5) * kPart - cy;
        nearY[std::size_t(y - y0)] =
            std::min(std::min(dy[0] * dy[0], dy[1] * dy[1]), std::min(dy[2] * dy[2], dy[3] * dy[3]));
    }
    // A pixel whose nearest part's squared distance passes this lies wholly beyond rap: every
    // part's square root is then above rap, with a margin far wider than any rounding.
    const double beyond = rap * rap * (1 + 1e-9);
    // Column by column, over the rows that reach within rap: the squared distances of the
    // parts, their square roots in one plain loop (which the compiler takes several at a
    // time), then the parts within rap in order.
    std::vector<double>& dist = scratch.distances;
    dist.resize(std::size_t(std::max(y1 - y0, 0)) * kParts);
    std::size_t n = 0;
    double total = 0;
    for (int x = x0; x < x1; ++x) {
        double dx[kSubPixels];
        for (int i = 0; i < kSubPixels; ++i) dx[i] = x + (i + 0.5) * kPart - cx;
        const double nearX = std::min(std::min(dx[0] * dx[0], dx[1] * dx[1]), std::min(dx[2] * dx[2], dx[3] * dx[3]));
        int ya = y0, yb = y1;
        while (ya < yb && nearX + nearY[std::size_t(ya - y0)] > beyond) ++ya;
        while (yb > ya && nearX + nearY[std::size_t(yb - 1 - y0)] > beyond) --yb;
        if (ya == yb) continue;
        for (int y = ya; y < yb; ++y) {
            const double* dy = &dys[std::size_t(y - y0) * kSubPixels];
            double* d = &dist[std::size_t(y - ya) * kParts];
            for (int i = 0; i < kSubPixels; ++i)
                for (int j = 0; j < kSubPixels; ++j) d[i * kSubPixels + j] = dx[i] * dx[i] + dy[j] * dy[j];
        }
        const auto end = dist.begin() + std::ptrdiff_t(yb - ya) * kParts;
        for (auto d = dist.begin(); d != end; ++d) *d = std::sqrt(*d);
        for (int y = ya; y < yb; ++y) {
            const double v = (frame(x, y) - background) * kPart * kPart;
            const double* d = &dist[std::size_t(y - ya) * kParts];
            for (int k = 0; k < kParts; ++k) {
                if (d[k] > rap) continue;
                parts[n++] = {d[k], v};
                total += v;
            }
        }
    }
    if (!(total > 0)) return {kNoValue, total};

    // Rings by distance: part q goes to ring ringOf(d), non-decreasing in d. Each ring's sum,
    // positive sum and farthest part; only the rings where the half may be reached are
    // gathered and sorted.
    const int rings = std::max(1, int(n / 16));
    const double perUnit = rings / (rap > 0 ? rap : 1.0);
    std::vector<int>& ringOf = scratch.ringOf;
    std::vector<double>&sum = scratch.ringSum, &positive = scratch.ringPositive, &farthest = scratch.ringFarthest;
    ringOf.resize(n);
    sum.assign(std::size_t(rings), 0);
    positive.assign(std::size_t(rings), 0);
    farthest.assign(std::size_t(rings), -1);
    for (std::size_t q = 0; q < n; ++q) {
        const int k = std::min(int(parts[q].d * perUnit), rings - 1);
        ringOf[q] = k;
        sum[std::size_t(k)] += parts[q].v;
        if (parts[q].v > 0) positive[std::size_t(k)] += parts[q].v;
        farthest[std::size_t(k)] = std::max(farthest[std::size_t(k)], parts[q].d);
    }

    const double half = total / 2;
    double before = 0, previous = 0;
    std::vector<Part>& ring = scratch.ring;
    for (int k = 0; k < rings; ++k) {
        if (farthest[std::size_t(k)] < 0) continue;  // no part in this ring
        if (before + positive[std::size_t(k)] >= half) {
            ring.clear();
            for (std::size_t q = 0; q < n; ++q)
                if (ringOf[q] == k) ring.push_back(parts[q]);
            std::sort(ring.begin(), ring.end());
            double running = before;
            for (const Part& q : ring) {
                if (running + q.v >= half && q.v > 0) {
                    // Between the last distance and this one, in proportion to the flux still missing.
                    return {2 * (previous + (q.d - previous) * (half - running) / q.v), total};
                }
                running += q.v;
                previous = q.d;
            }
        } else {
            previous = farthest[std::size_t(k)];
        }
        before += sum[std::size_t(k)];
    }
    return {2 * rap, total};
}

}  // namespace

namespace {

// The sizes a star of the run's measurement m is measured with: its FWHM as the run saw it
// (twice the equal-area radius of its half-maximum pixels), the fit's radius (two FWHM) and the
// sky annulus (three FWHM to five).
struct StarRadii {
    double fwhmGuess;
    int rfit, rin, rout;
    explicit StarRadii(const StarMeasurement& m)
        : fwhmGuess(std::clamp(2 * m.fwhmRadius, 1.5, kMaxFwhmGuess)),
          rfit(std::max(int(std::ceil(2 * fwhmGuess)), 4)),
          rin(int(std::ceil(3 * fwhmGuess))),
          rout(annulusOuter(fwhmGuess)) {}
};

// What the report's measurement of one frame's star needs, copied out of the frame's rows
// so that it can be measured while the next frame is read: the pixels about the star (and,
// after the noise cut or a dark, the fit's pixels as read), in the reader's pixels.
struct StarPatch {
    StarMeasurement m;
    int w = 0, h = 0;   // the frame's size
    IntArray2D pixels;  // pixel (x, y) is pixels[x - x0][y - y0]
    int x0 = 0, y0 = 0, y1 = 0;
    IntArray2D raw;  // empty when the pixels are the samples as read; else raw[x - x0][y - rawY0]
    int rawY0 = 0;
    ReportFrame* frame = nullptr;
};

// Reads the rows the star of m needs (the sky annulus and the fit's pixels as read) and copies
// them out. expectedFwhm becomes the star size the next frame's band is cut for.
StarPatch gatherStar(ReportReader& reader, RowsRead& rows, const StarMeasurement& m, const MeasureSettings& settings,
                     IntArray2D& rawBand, double& expectedFwhm, ReportFrame& f) {
    const int w = reader.width(), h = reader.height();
    const StarRadii radii(m);
    const int rout = radii.rout, rfit = radii.rfit;
    // The next frame's band expects a star up to half as large again.
    expectedFwhm = std::min(1.5 * radii.fwhmGuess, kMaxFwhmGuess);
    ensureRows(reader, rows, m.py - rout - 1, m.py + rout + 2);
    StarPatch patch;
    patch.m = m;
    patch.w = w;
    patch.h = h;
    patch.frame = &f;
    // The sky annulus, the fit's circle and the half-flux circle (within the annulus's inner
    // radius of a centre at most half the fit's radius from the peak) lie within rout of the
    // peak; one pixel more on each side.
    const int x0 = std::max(m.px - rout - 2, 0), x1 = std::min(m.px + rout + 3, w);
    const int y0 = std::max(m.py - rout - 2, rows.y0), y1 = std::min(m.py + rout + 3, rows.y1);
    const auto copy = [x0, x1](const IntArray2D& from, int fromRow0, int r0, int r1, IntArray2D& to) {
        to = IntArray2D(std::max(x1 - x0, 1), std::max(r1 - r0, 1));
        for (int x = x0; x < x1; ++x) std::copy(from[x] + (r0 - fromRow0), from[x] + (r1 - fromRow0), to[x - x0]);
    };
    patch.x0 = x0;
    patch.y0 = y0;
    patch.y1 = y1;
    copy(reader.frame(), reader.frameRow0(), y0, y1, patch.pixels);
    // Without the noise cut and a dark the frame's rows are the samples as read already.
    if (settings.noiseCut || (settings.darkProcessing && !settings.darks.empty())) {
        const int ry0 = std::max(m.py - rfit, 0), ry1 = std::min(m.py + rfit + 1, h);
        if (rawBand.width() < w || rawBand.height() < ry1 - ry0) rawBand = IntArray2D(w, 2 * rfit + 1);
        reader.readConverted(rawBand, ry0, ry1);
        copy(rawBand, ry0, ry0, ry1, patch.raw);
        patch.rawY0 = ry0;
    }
    return patch;
}

// The report's figures of a frame whose star the search found at patch.m (in the reader's
// pixels): the sky about it, the fitted Gaussian (or the centroid where the fit fails), the
// half-flux diameter, the centroid's uncertainty and the saturation flag; found once the peak
// stands out of the sky. Positions and lengths end in image pixels.
void measureStar(const StarPatch& patch, Scratch& scratch) {
    ReportFrame& f = *patch.frame;
    const StarMeasurement& m = patch.m;
    const int w = patch.w, h = patch.h;
    f.peak = m.maximum;
    const StarRadii radii(m);
    const double fwhmGuess = radii.fwhmGuess;
    const int rfit = radii.rfit, rin = radii.rin, rout = radii.rout;
    const FrameRows frame{patch.pixels, patch.x0, patch.y0};
    const auto sky = skyAround(frame, w, h, m.px, m.py, rin, rout, scratch);
    if (!sky) return;
    const auto [background, noise] = *sky;
    f.background = background;
    f.noise = noise;
    if (!(m.maximum - background > kSignificance * noise) || !(m.maximum > background)) return;

    // The fit's pixels, the saturated ones (as read, before the noise cut and the dark) left out.
    const int ry0 = std::max(m.py - rfit, 0), ry1 = std::min(m.py + rfit + 1, h);
    const FrameRows raw = patch.raw.width() > 0 ? FrameRows{patch.raw, patch.x0, patch.rawY0} : frame;
    int saturated = 0;
    std::vector<Sample>& samples = scratch.samples;
    cutOut(frame, w, h, m.px, m.py, rfit, raw, saturated, samples);
    f.saturated = saturated > 0;
    f.found = true;
    f.lostReason.clear();
    f.lostMessage.clear();

    Params start;
    start << background, m.maximum - background, m.px + 0.5, m.py + 0.5, fwhmGuess / kFwhmPerSigma;
    std::optional<Fit> fit;
    if (samples.size() > 10) fit = fitGaussian(samples, start);
    const auto plausible = [&](const Fit& g) {
        return g.converged && g.p.allFinite() && g.p[1] > 0 && g.p[4] > 0.25 && g.p[4] < rfit &&
               std::abs(g.p[2] - (m.px + 0.5)) < rfit * 0.5 && std::abs(g.p[3] - (m.py + 0.5)) < rfit * 0.5;
    };
    double fwhm = fwhmGuess;
    if (fit && plausible(*fit)) {
        const Params& p = fit->p;
        f.x = p[2];
        f.y = p[3];
        fwhm = f.fwhmPx = kFwhmPerSigma * p[4];
        // The centre's covariance of the unweighted fit for pixel variances of the sky's
        // plus k times the star's signal, k (the inverse gain) taken from the residuals:
        // (J'J)^-1 (sum V J'J) (J'J)^-1.
        Params g;
        double num = 0, den = 0;
        for (const Sample& q : samples) {
            const double res = q.v - model(p, q, g);
            const double signal = p[1] * g[1];
            num += signal * (res * res - noise * noise);
            den += signal * signal;
        }
        const double k = den > 0 ? std::max(num / den, 0.0) : 0.0;
        Normal jtj = Normal::Zero(), meat = Normal::Zero();
        for (const Sample& q : samples) {
            model(p, q, g);
            addOuterLower(jtj, g);
            addOuterLower(meat, g, noise * noise + k * p[1] * g[1]);
        }
        jtj = jtj.selfadjointView<Eigen::Lower>();
        meat = meat.selfadjointView<Eigen::Lower>();
        const Normal inv = jtj.inverse();
        const Normal cov = inv * meat * inv;
        f.centroidSigmaPx = std::sqrt(std::max((cov(2, 2) + cov(3, 3)) / 2, 0.0));
    } else {
        // The background-subtracted centroid over the fit's circle (the saturated pixels
        // included, at their value); its uncertainty from the sky noise alone.
        double sx = 0, sy = 0, s = 0;
        for (int x = std::max(m.px - rfit, 0); x <= std::min(m.px + rfit, w - 1); ++x)
            for (int y = ry0; y < ry1; ++y) {
                if ((x - m.px) * (x - m.px) + (y - m.py) * (y - m.py) > rfit * rfit) continue;
                const double d = std::max(frame(x, y) - background, 0.0);
                sx += (x + 0.5) * d;
                sy += (y + 0.5) * d;
                s += d;
            }
        f.x = sx / s;  // s > 0: the peak pixel stands above the sky
        f.y = sy / s;
        double vx = 0, vy = 0;
        for (int x = std::max(m.px - rfit, 0); x <= std::min(m.px + rfit, w - 1); ++x)
            for (int y = ry0; y < ry1; ++y) {
                if ((x - m.px) * (x - m.px) + (y - m.py) * (y - m.py) > rfit * rfit) continue;
                vx += (x + 0.5 - f.x) * (x + 0.5 - f.x);
                vy += (y + 0.5 - f.y) * (y + 0.5 - f.y);
            }
        f.centroidSigmaPx = noise * std::sqrt((vx + vy) / 2) / s;
    }
    // The half-flux diameter within three FWHM of the centre, inside the sky annulus.
    const double rap = std::min(3 * fwhm, double(rin));
    std::tie(f.hfdPx, f.flux) = halfFluxDiameter(frame, w, patch.y0, patch.y1, f.x, f.y, rap, background, scratch);
    if (f.superpixels) {
        // Superpixel i covers image pixels 2i and 2i + 1: lengths and positions double.
        for (double* v : {&f.x, &f.y, &f.fwhmPx, &f.hfdPx, &f.centroidSigmaPx}) *v *= 2;
    }
}

// Measures the stars of a night's frames on a second thread, in order, while the first reads
// the next frames; on the calling thread where the machine has one core. Each star writes its
// own frame's figures, which nothing else touches until finish.
class StarWorker {
public:
    explicit StarWorker(bool threaded) {
        if (!threaded || std::thread::hardware_concurrency() < 2) return;
        try {
            thread_ = std::thread([this] { work(); });
        } catch (const std::system_error&) {
            // No thread to be had: the stars are measured on the calling thread.
        }
    }
    ~StarWorker() { stop(); }
    StarWorker(const StarWorker&) = delete;
    StarWorker& operator=(const StarWorker&) = delete;

    void measure(StarPatch patch) {
        if (!thread_.joinable()) return measureStar(patch, scratch_);
        {
            // A few stars waiting at most, so that memory stays bounded on a slow second core.
            std::unique_lock lock(mutex_);
            room_.wait(lock, [this] { return queue_.size() < kWaiting; });
            queue_.push_back(std::move(patch));
        }
        ready_.notify_one();
    }
    // The frames once every star given is measured; a failure on the second thread is thrown here.
    std::vector<ReportFrame> finish(std::vector<ReportFrame> frames) {
        stop();
        if (failure_) std::rethrow_exception(failure_);
        return frames;
    }

private:
    void stop() {
        if (!thread_.joinable()) return;
        {
            const std::lock_guard lock(mutex_);
            closing_ = true;
        }
        ready_.notify_one();
        thread_.join();
    }
    void work() {
        for (;;) {
            StarPatch patch;
            {
                std::unique_lock lock(mutex_);
                ready_.wait(lock, [this] { return closing_ || !queue_.empty(); });
                if (queue_.empty()) return;
                patch = std::move(queue_.front());
                queue_.pop_front();
            }
            room_.notify_one();
            if (failure_) continue;
            try {
                measureStar(patch, scratch_);
            } catch (...) {
                failure_ = std::current_exception();
            }
        }
    }

    static constexpr std::size_t kWaiting = 8;
    Scratch scratch_;
    std::mutex mutex_;
    std::condition_variable ready_, room_;
    std::deque<StarPatch> queue_;
    bool closing_ = false;
    std::exception_ptr failure_;  // written by the second thread alone, read after it is joined
    std::thread thread_;          // last: it starts once the rest is made
};

// x / 2 rounded down: an image position's superpixel.
long long halfDown(long long x) { return x >= 0 ? x / 2 : -((1 - x) / 2); }

// bandRows: the rows of each band of a whole-frame search, or 0 to hold a frame whole when
// it is small enough and to take bands of about eight megabytes otherwise.
std::vector<ReportFrame> measureFrames(const std::vector<std::string>& frames, const MeasureSettings& settings,
                                       PassScope scope, Progress* progress, int bandRows) {
    Progress silent;
    Progress& report = progress ? *progress : silent;
    const int n = int(frames.size());
    // The window's run reads as it always has (frames and darks within its size limit) and
    // ends at its first stop; a night goes on, each stop kept with its frame.
    const bool windowRun = scope != PassScope::Night;
    const bool withReport = scope != PassScope::Run;
    ReportReader reader(settings, windowRun ? FrameStore::Whole : FrameStore::Band);
    report.setMaximum(n);
    // The run's search: the same radius for every frame, around the picked star and then the
    // last measured centroid, or over the whole frame less a border.
    const int runR = RunSearchRadius(settings);
    int r = runR;                                        // the same in the reader's pixels
    long long rx = settings.starX, ry = settings.starY;  // the run's search centre, image pixels
    bool first = true;                                   // no frame opened yet: the first one decides on superpixels
    // The star's size the band is cut for: a wide star's on the first frame, so that the
    // second frame's band (cut for the star found, half as large again) usually fits in the
    // same array; only the rows a frame needs are read either way.
    double expectedFwhm = kFirstFwhmGuess;
    // The stars are measured beside the reading; each frame's record stays where it is made.
    StarWorker stars(withReport);
    std::vector<ReportFrame> out;
    out.reserve(frames.size());
    IntArray2D rawBand;
    for (int i = 0; i < n; ++i) {
        report.setPosition(i + 1);
        ReportFrame& f = out.emplace_back();
        f.path = frames[i];
        // A frame the window's run stops at is a lost frame here, with its reason.
        const auto lose = [&f](const char* reason, std::string message) {
            f.lostReason = reason;
            f.lostMessage = std::move(message);
        };
        try {
            reader.open(frames[i]);
        } catch (const FileError& e) {
            f.run.stop = std::current_exception();
            lose("unreadable", e.problem());
            if (windowRun) return stars.finish(std::move(out));
            continue;
        } catch (const FrameSizeError& e) {
            f.run.stop = std::current_exception();
            f.headerCards = reader.header().cardText;
            lose("other_size", FillMessage(e.kind == FrameSizeError::Kind::NotDarkSize ? msg::kReportLostNotDarkSize
                                                                                       : msg::kReportLostNotFirstSize,
                                           e.width, e.height, e.expectedWidth, e.expectedHeight));
            if (windowRun) return stars.finish(std::move(out));
            continue;
        }
        f.run.opened = true;
        f.headerCards = reader.header().cardText;
        if (first) {
            // A Bayer mosaic is measured on superpixels: positions and radii in their units
            // within, image pixels in what the frame records.
            first = false;
            if (withReport && IsBayerMosaic(f.headerCards)) {
                reader.setSuperpixels(true);
                r = std::max(runR / 2, 1);
            }
        }
        f.superpixels = reader.superpixels();
        const int s = f.superpixels ? 2 : 1;
        const int imageW = reader.header().width, imageH = reader.header().height;
        const int w = reader.width(), h = reader.height();
        // A frame past the window's size limit stops its run, not the night's measurement.
        if (!windowRun && (imageW > kTrackMaxSide || imageH > kTrackMaxSide))
            f.run.stop = std::make_exception_ptr(FrameSizeError(FrameSizeError::Kind::TooLarge, imageW, imageH));
        const bool whole = bandRows == 0 && std::size_t(imageW) * std::size_t(imageH) * 4 <= kWholeFrameBytes;
        // Whatever stops below leaves the frame without a star.
        lose("no_star", msg::kReportLostNoStar);
        try {
            RowsRead rows;
            // The run's measurement (image pixels) and the report's search (the reader's).
            std::optional<StarMeasurement> run, m;
            try {
                if (settings.starSpecified) {
                    const auto [y0, y1] = SearchRows(imageW, imageH, true, rx, ry, runR);
                    // The report searches the same star: about the run's centre in its pixels.
                    const long long cx = s == 2 ? halfDown(rx) : rx, cy = s == 2 ? halfDown(ry) : ry;
                    const int reach = rowsAboutStar(r, expectedFwhm);
                    if (!whole) {
                        reader.setBand(
                            clampToInt(std::clamp(std::min(cy - reach, (long long)(y0 / s)), 0LL, (long long)h)),
                            clampToInt(std::clamp(std::max(cy + reach + 1, (long long)((y1 + s - 1) / s)), 0LL,
                                                  (long long)h)));
                    } else {
                        reader.setBand(0, h);
                    }
                    // A window with no pixel in the frame stops the run here, so that a centre
                    // far outside never has to be represented as an int.
                    if (y0 >= y1) PsfZero();
                    ensureRows(reader, rows, y0 / s, (y1 + s - 1) / s);
                    run = MeasureStar(reader.rawFrame(), reader.rawRow0(), imageW, imageH, true, clampToInt(rx),
                                      clampToInt(ry), runR);
                    if (s == 2) {
                        ensureRows(reader, rows, clampToInt(std::clamp(cy - 2LL * r, -1LL, (long long)h)),
                                   clampToInt(std::clamp(cy + 2LL * r, -1LL, (long long)h)));
                        m = MeasureStar(reader.frame(), reader.frameRow0(), w, h, true, clampToInt(cx), clampToInt(cy),
                                        r);
                    }
                } else if (whole) {
                    reader.setBand(0, h);
                    ensureRows(reader, rows, 0, h);
                    run = MeasureStar(reader.rawFrame(), imageW, imageH, false, 0, 0, runR);
                    if (s == 2) m = MeasureStar(reader.frame(), w, h, false, 0, 0, r);
                } else {
                    // The whole frame's peak a band at a time (the image's and, on superpixels,
                    // the report's), then the rows about it.
                    PeakScan scan, image;
                    const int rowsPerBand = bandRows > 0 ? bandRows : searchBandRows(w);
                    for (int b0 = 0; b0 < h; b0 += rowsPerBand) {
                        const int b1 = std::min(b0 + rowsPerBand, h);
                        reader.setBand(b0, b1);
                        reader.read(b0, b1);
                        ScanPeakRows(reader.rawFrame(), reader.rawRow0(), imageW, imageH, false, 0, 0, runR, s * b0,
                                     s * b1, image);
                        if (s == 2) ScanPeakRows(reader.frame(), b0, w, h, false, 0, 0, r, b0, b1, scan);
                    }
                    if (!image.found) PsfZero();
                    const int reach = rowsAboutStar(r, expectedFwhm);
                    const int iy = image.py / s;
                    const int y0 = s == 2 && scan.found ? std::min(scan.py, iy) : iy;
                    const int y1 = s == 2 && scan.found ? std::max(scan.py, iy) : iy;
                    reader.setBand(y0 - std::max(reach, runR / s + 1), y1 + std::max(reach, runR / s + 1) + 1);
                    ensureRows(reader, rows, (image.py - runR) / s, (image.py + runR) / s + 1);
                    run = MeasureAroundPeak(reader.rawFrame(), reader.rawRow0(), imageW, imageH, image, runR);
                    if (s == 2) {
                        if (!scan.found) PsfZero();
                        ensureRows(reader, rows, scan.py - r, scan.py + r + 1);
                        m = MeasureAroundPeak(reader.frame(), reader.frameRow0(), w, h, scan, r);
                    }
                }
            } catch (const TrackingError&) {
                // No peak at all: not found, and the run stops here.
                if (!run) {
                    f.run.stop = std::current_exception();
                    if (windowRun) {
                        report.setMaximum(0);
                        return stars.finish(std::move(out));
                    }
                }
            }
            if (run) {
                f.run.measured = true;
                f.run.peakX = run->px;
                f.run.peakY = run->py;
                f.run.cx = run->cx;
                f.run.cy = run->cy;
                f.run.fwhmRadius = run->fwhmRadius;
                // The next frame searches about this one's centroid.
                rx = TruncatedCentre(run->cx);
                ry = TruncatedCentre(run->cy);
                if (s == 1) m = run;
            }
            if (!m || !withReport) continue;
            stars.measure(gatherStar(reader, rows, *m, settings, rawBand, expectedFwhm, f));
        } catch (const FileError& e) {
            // Samples cut short: an unreadable frame, where the run stops.
            f.found = false;
            lose("unreadable", e.problem());
            f.run.measured = false;
            f.run.stop = std::current_exception();
            if (windowRun) return stars.finish(std::move(out));
        }
    }
    report.setPosition(0);
    return stars.finish(std::move(out));
}

}  // namespace

std::vector<ReportFrame> MeasurePass(const std::vector<std::string>& frames, const MeasureSettings& settings,
                                     PassScope scope, Progress* progress) {
    return measureFrames(frames, settings, scope, progress, 0);
}

std::vector<ReportFrame> MeasureReportFrames(const std::vector<std::string>& frames, const MeasureSettings& settings,
                                             Progress* progress) {
    return measureFrames(frames, settings, PassScope::Night, progress, 0);
}

int FillRunState(const std::vector<ReportFrame>& records, const MeasureSettings& settings, int n,
                 TrackingState& state) {
    state.MeanX = state.MeanY = 0.0;
    for (int i = 0; i < n && i < int(records.size()); ++i) {
        const RunFigures& run = records[std::size_t(i)].run;
        if (run.opened) state.SearchRadius = RunSearchRadius(settings);
        if (run.stop) return i;
        if (i == 0) {
            state.FirstPeakX = run.peakX;
            state.FirstPeakY = run.peakY;
        }
        state.CentroidX[i] = run.cx;
        state.CentroidY[i] = run.cy;
        state.FwhmRadius[i] = run.fwhmRadius;
        state.MeanX += run.cx / n;
        state.MeanY += run.cy / n;
    }
    return -1;
}

void RunMeasurement(const std::vector<std::string>& frames, const MeasureSettings& settings, TrackingState& state,
                    Progress* progress) {
    if (frames.size() > std::size_t(kMaxFrames))
        throw std::invalid_argument("more frames than the tracking state holds");
    const std::vector<ReportFrame> records = MeasurePass(frames, settings, PassScope::Run, progress);
    if (const int stop = FillRunState(records, settings, int(frames.size()), state); stop >= 0)
        std::rethrow_exception(records[std::size_t(stop)].run.stop);
}

namespace detail {
std::vector<ReportFrame> MeasureReportFramesInBands(const std::vector<std::string>& frames,
                                                    const MeasureSettings& settings, int bandRows) {
    return measureFrames(frames, settings, PassScope::Night, nullptr, std::max(bandRows, 1));
}
}  // namespace detail

}  // namespace nuvak
