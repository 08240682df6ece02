// The stars of a field: picked on one frame, each measured through the night as the report
// measures its star, and the field's common motion, rotation and scale solved from all of
// them; and a synthetic field of known truth.

#include "tracking/stars.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <numbers>
#include <optional>
#include <random>
#include <stdexcept>

#include <Eigen/Dense>

#include "core/error.h"
#include "core/format.h"
#include "resources/messages.h"
#include "tracking/reportreader.h"

namespace nuvak {

namespace {

constexpr double kPi = std::numbers::pi;
// The sky's level and sigma come from about this many samples spread over the frame.
constexpr double kSkySamples = 200000;
// A star's peak stands more than kStarSigmas sky sigmas above the sky; a local maximum more
// than kNeighbourSigmas above it is a neighbour that may spoil a star's isolation, when it
// stands higher than kNeighbourFraction of the star's height.
constexpr double kStarSigmas = 10;
constexpr double kNeighbourSigmas = 5;
constexpr double kNeighbourFraction = 0.1;
// The pixels at half a star's height are counted within this radius of its peak: FWHM
// estimates reach twice it.
constexpr int kWidthReach = 20;
// A star's isolation radius in FWHM and in search ranges (the larger counts), and its
// distance from the edges in FWHM beside the search range.
constexpr double kIsolationFwhm = 4, kIsolationSearch = 2;
constexpr double kEdgeFwhm = 3;
// The cell of the grid the local maxima are looked up on, pixels.
constexpr int kGridCell = 32;

// A star whose residual lies beyond kClipSigmas of the offsets' scatter (from the median
// absolute residual) is left out of its frame, never for less than kMinClipPx: centroids are
// no better than that, and a noiseless track must keep its stars. At most kClipRounds rounds
// of leaving out, each at most one star a frame.
constexpr double kClipSigmas = 6;
constexpr double kMinClipPx = 0.01;
// Rounds of fitting the frames and averaging the stars' places.
constexpr int kPlaceRounds = 5;
constexpr int kClipRounds = 20;
// The seeing in the weights has settled when a round changes it by less than this fraction.
constexpr double kJitterSettled = 0.01;

// The synthetic field's stars keep this far from the edges, pixels.
constexpr double kFieldMargin = 50;

// A local maximum of a frame.
struct Peak {
    int x, y;
    std::int32_t v;
};

// Adds the local maxima above level among rows [y0, y1) of a frame of w x h: pixels no lower
// than their eight neighbours, of a plateau only its first pixel in scan order (x, then y).
// The frame's rows from row0 on are held in band (band[x][y - row0]), the rows next to y0 and
// y1 - 1 too where the frame has them.
void AddLocalMaxima(const IntArray2D& band, int row0, int w, int h, int y0, int y1, double level,
                    std::vector<Peak>& peaks) {
    for (int x = 0; x < w; ++x)
        for (int y = y0; y < y1; ++y) {
            const std::int32_t v = band[x][y - row0];
            if (!(v > level)) continue;
            bool highest = true;
            for (int dx = -1; dx <= 1 && highest; ++dx)
                for (int dy = -1; dy <= 1; ++dy) {
                    const int nx = x + dx, ny = y + dy;
                    if ((dx == 0 && dy == 0) || nx < 0 || ny < 0 || nx >= w || ny >= h) continue;
                    const std::int32_t u = band[nx][ny - row0];
                    if (u > v || (u == v && (dx < 0 || (dx == 0 && dy < 0)))) {
                        highest = false;
                        break;
                    }
                }
            if (highest) peaks.push_back({x, y, v});
        }
}

// Shows one star's pass over the frames as its stretch of the whole bar.
class StarProgress final : public Progress {
public:
    StarProgress(Progress& whole, int offset) : whole_(whole), offset_(offset) {}
    void setPosition(int position) override {
        if (position > 0) whole_.setPosition(offset_ + position);
    }

private:
    Progress& whole_;
    int offset_;
};

// A turn and scale (a, b) and a shift about the frame's centre (see FieldMotion).
struct Similarity {
    double a = 1, b = 0, tx = 0, ty = 0;
};

struct Point {
    double x = 0, y = 0;
};

Point Apply(const Similarity& s, Point c, Point p) {
    const double u = p.x - c.x, v = p.y - c.y;
    return {c.x + s.a * u - s.b * v + s.tx, c.y + s.b * u + s.a * v + s.ty};
}

Point Undo(const Similarity& s, Point c, Point p) {
    const double u = p.x - c.x - s.tx, v = p.y - c.y - s.ty, n = s.a * s.a + s.b * s.b;
    return {c.x + (s.a * u + s.b * v) / n, c.y + (s.a * v - s.b * u) / n};
}

// A star found in a usable frame.
struct Observation {
    int star = 0;
    Point p;
    double sigma = kNoValue;  // centroid sigma, pixels
    bool kept = true;         // not left out as an outlier
    double weight = 1;        // within its frame, mean 1 over the frame's kept stars
    double ex = 0, ey = 0;    // the residual about the frame's fit
};

struct FrameFit {
    bool solved = false;              // three stars or more: turn and scale fitted
    int stars = 0;                    // stars kept
    Similarity s;                     // a shift alone with fewer than three stars
    double thetaVariance = kNoValue;  // of atan2(b, a), for a star of weight 1 and unit scatter
};

// Fits one frame's kept stars against their places (weighted least squares), and writes
// their weights and residuals. Each star's offset varies by its centroid sigma and by the
// seeing, which moves every star alike (jitterPx per axis).
FrameFit FitFrame(std::vector<Observation>& obs, const std::vector<Point>& places, Point c, double jitterPx) {
    FrameFit fit;
    double sum = 0;
    bool sigmas = true;
    for (const Observation& o : obs)
        if (o.kept) {
            ++fit.stars;
            sigmas = sigmas && std::isfinite(o.sigma) && o.sigma > 0;
            if (sigmas) sum += 1 / (o.sigma * o.sigma + jitterPx * jitterPx);
        }
    if (fit.stars == 0) return fit;
    // Weights 1 / variance where every star has its sigma, equal ones otherwise.
    for (Observation& o : obs)
        if (o.kept) o.weight = sigmas ? fit.stars / ((o.sigma * o.sigma + jitterPx * jitterPx) * sum) : 1;
    if (fit.stars >= 3) {
        Eigen::Matrix4d n = Eigen::Matrix4d::Zero();
        Eigen::Vector4d r = Eigen::Vector4d::Zero();
        for (const Observation& o : obs) {
            if (!o.kept) continue;
            const double x = places[std::size_t(o.star)].x - c.x, y = places[std::size_t(o.star)].y - c.y;
            const Eigen::Vector4d rx(x, -y, 1, 0), ry(y, x, 0, 1);
            n += o.weight * (rx * rx.transpose() + ry * ry.transpose());
            r += o.weight * (rx * (o.p.x - c.x) + ry * (o.p.y - c.y));
        }
        const Eigen::FullPivLU<Eigen::Matrix4d> lu(n);
        if (lu.isInvertible()) {
            const Eigen::Vector4d q = lu.solve(r);
            const Eigen::Matrix4d cov = lu.inverse();
            const double a = q(0), b = q(1), m = a * a + b * b;
            fit.solved = m > 0;
            fit.s = {a, b, q(2), q(3)};
            fit.thetaVariance = (a * a * cov(1, 1) + b * b * cov(0, 0) - 2 * a * b * cov(0, 1)) / (m * m);
        }
    }
    if (!fit.solved) {
        // The weighted mean of the plain offsets.
        fit.s = {};
        double sw = 0;
        for (const Observation& o : obs) {
            if (!o.kept) continue;
            const Point at = places[std::size_t(o.star)];
            fit.s.tx += o.weight * (o.p.x - at.x);
            fit.s.ty += o.weight * (o.p.y - at.y);
            sw += o.weight;
        }
        fit.s.tx /= sw;
        fit.s.ty /= sw;
    }
    for (Observation& o : obs) {
        const Point at = Apply(fit.s, c, places[std::size_t(o.star)]);
        o.ex = o.p.x - at.x;
        o.ey = o.p.y - at.y;
    }
    return fit;
}

// A seeded generator whose draws are the same on every platform: the 64-bit Mersenne twister
// is fully defined, the uniform and normal draws made from it are our own.
class Draws {
public:
    explicit Draws(std::uint64_t seed) : engine_(seed) {}
    // Uniform in (0, 1).
    double uniform() { return (double(engine_() >> 11) + 0.5) * 0x1.0p-53; }
    double normal() {
        const double r = std::sqrt(-2 * std::log(uniform()));
        return r * std::cos(2 * kPi * uniform());
    }

private:
    std::mt19937_64 engine_;
};

}  // namespace

std::vector<FieldStar> FindFieldStars(const std::string& frame, const MeasureSettings& settings, int maxStars,
                                      std::size_t bandBytes) {
    std::vector<FieldStar> stars;
    // A colour camera's mosaic is searched on its superpixels, as the report measures it.
    ReportReader reader(settings, FrameStore::Band);
    reader.open(frame);
    reader.setSuperpixels(IsBayerMosaic(reader.header().cardText));
    const int scale = reader.superpixels() ? 2 : 1;  // image pixels a searched pixel
    const int w = reader.width(), h = reader.height();
    if (maxStars <= 0 || w <= 0 || h <= 0) return stars;

    const int bandRows = int(std::clamp<std::size_t>(bandBytes / (std::size_t(w) * 4), 1, std::size_t(h)));
    int row0 = 0, row1 = 0;  // the rows the reader holds
    const auto hold = [&](int y0, int y1) {
        y0 = std::max(y0, 0), y1 = std::min(y1, h);
        if (y0 >= row0 && y1 <= row1) return;
        reader.setBand(y0, y1);
        reader.read(y0, y1);
        row0 = y0, row1 = y1;
    };
    const IntArray2D& band = reader.frame();
    const auto at = [&](int x, int y) { return band[x][y - row0]; };

    // The sky: median and MAD of a grid of samples. Samples are whole numbers: a sky smoother
    // than one unit is taken as one, so that the steps of its quantisation are no stars.
    const int step = std::max(1, int(std::sqrt(double(w) * double(h) / kSkySamples)));
    std::vector<double> samples;
    for (int b0 = 0; b0 < h; b0 += bandRows) {
        const int b1 = std::min(b0 + bandRows, h);
        hold(b0, b1);
        for (int x = 0; x < w; x += step)
            for (int y = (b0 + step - 1) / step * step; y < b1; y += step) samples.push_back(at(x, y));
    }
    const double sky = MedianOf(samples);
    for (double& v : samples) v = std::abs(v - sky);
    const double sigma = std::max(kMadToSigma * MedianOf(samples), 1.0);

    // The maxima, each band read with the rows beside it.
    std::vector<Peak> peaks;
    const int inner = std::max(bandRows - 2, 1);
    for (int b0 = 0; b0 < h; b0 += inner) {
        const int b1 = std::min(b0 + inner, h);
        hold(b0 - 1, b1 + 1);
        AddLocalMaxima(band, row0, w, h, b0, b1, sky + kNeighbourSigmas * sigma, peaks);
    }
    std::sort(peaks.begin(), peaks.end(), [](const Peak& p, const Peak& q) {
        return p.v != q.v ? p.v > q.v : p.y != q.y ? p.y < q.y : p.x < q.x;
    });
    // The maxima on a grid of cells, for the neighbours about a star.
    const int gw = (w + kGridCell - 1) / kGridCell, gh = (h + kGridCell - 1) / kGridCell;
    std::vector<std::vector<int>> cells(std::size_t(gw) * std::size_t(gh));
    for (std::size_t k = 0; k < peaks.size(); ++k)
        cells[std::size_t(peaks[k].x / kGridCell) * std::size_t(gh) + std::size_t(peaks[k].y / kGridCell)].push_back(
            int(k));

    const int search = (std::max(settings.searchRange, 0) + scale - 1) / scale;
    IntArray2D converted;
    for (std::size_t k = 0; k < peaks.size() && int(stars.size()) < maxStars; ++k) {
        const Peak& p = peaks[k];
        const double height = p.v - sky;
        if (!(height > kStarSigmas * sigma)) break;  // the rest are fainter

        // The width from the area at half the height; the centroid below reaches no further
        // than twice kWidthReach.
        hold(p.y - 2 * kWidthReach - 2, p.y + 2 * kWidthReach + 3);
        int area = 0;
        for (int x = std::max(p.x - kWidthReach, 0); x <= std::min(p.x + kWidthReach, w - 1); ++x)
            for (int y = std::max(p.y - kWidthReach, 0); y <= std::min(p.y + kWidthReach, h - 1); ++y)
                if ((x - p.x) * (x - p.x) + (y - p.y) * (y - p.y) <= kWidthReach * kWidthReach &&
                    at(x, y) - sky >= height / 2)
                    ++area;
        if (area < 2) continue;
        const double fwhm = 2 * std::sqrt(area / kPi);

        const double px = p.x + 0.5, py = p.y + 0.5, edge = kEdgeFwhm * fwhm + search;
        if (px < edge || py < edge || w - px < edge || h - py < edge) continue;

        const double reach = std::max(kIsolationFwhm * fwhm, kIsolationSearch * search);
        bool isolated = true;
        for (int gx = std::max(int((p.x - reach) / kGridCell), 0);
             isolated && gx <= std::min(int((p.x + reach) / kGridCell), gw - 1); ++gx)
            for (int gy = std::max(int((p.y - reach) / kGridCell), 0);
                 isolated && gy <= std::min(int((p.y + reach) / kGridCell), gh - 1); ++gy)
                for (const int j : cells[std::size_t(gx) * std::size_t(gh) + std::size_t(gy)]) {
                    const Peak& q = peaks[std::size_t(j)];
                    if (std::size_t(j) == k || std::hypot(q.x - p.x, q.y - p.y) > reach) continue;
                    if (q.v - sky > kNeighbourFraction * height) {
                        isolated = false;
                        break;
                    }
                }
        if (!isolated) continue;

        // The core: no pixel saturated before the dark and the noise cut.
        const double core = std::max(fwhm, 2.0);
        const int rc = int(std::ceil(core));
        const int y0 = std::max(p.y - rc, 0), y1 = std::min(p.y + rc + 1, h);
        if (converted.width() != w || converted.height() < y1 - y0) converted = IntArray2D(w, 2 * rc + 1);
        reader.readConverted(converted, y0, y1);
        bool saturated = false;
        double sx = 0, sy = 0, s = 0;
        for (int x = std::max(p.x - rc, 0); x <= std::min(p.x + rc, w - 1); ++x)
            for (int y = y0; y < y1; ++y) {
                if (std::hypot(x - p.x, y - p.y) > core) continue;
                saturated = saturated || converted[x][y - y0] >= kSaturated;
                const double d = std::max(at(x, y) - sky, 0.0);
                sx += (x + 0.5) * d;
                sy += (y + 0.5) * d;
                s += d;
            }
        if (saturated) continue;
        // s > 0: the peak stands above the sky. Superpixel i covers image pixels 2i and 2i + 1.
        stars.push_back({scale * sx / s, scale * sy / s, double(p.v), scale * fwhm});
    }
    return stars;
}

std::vector<std::vector<ReportFrame>> MeasureFieldStars(const std::vector<std::string>& frames,
                                                        const MeasureSettings& settings,
                                                        const std::vector<FieldStar>& stars, Progress* progress) {
    const int n = int(frames.size());
    if (progress) progress->setMaximum(n * int(stars.size()));
    std::vector<std::vector<ReportFrame>> out;
    out.reserve(stars.size());
    for (const FieldStar& star : stars) {
        MeasureSettings s = settings;
        s.starSpecified = true;
        s.starX = int(star.x);
        s.starY = int(star.y);
        if (progress) {
            StarProgress bar(*progress, n * int(out.size()));
            out.push_back(MeasureReportFrames(frames, s, &bar));
        } else {
            out.push_back(MeasureReportFrames(frames, s));
        }
    }
    if (progress) progress->setPosition(0);
    return out;
}

FieldMotion SolveField(const std::vector<std::vector<ReportFrame>>& stars, const std::vector<double>& t,
                       const std::vector<bool>& usable, int width, int height, double arcsecPerPixel,
                       double cameraAngleDeg) {
    const std::size_t n = t.size();
    if (usable.size() != n) throw std::invalid_argument("one usable flag per frame");
    for (const auto& s : stars)
        if (s.size() != n) throw std::invalid_argument("one measurement per star and frame");
    FieldMotion m;
    for (auto* v : {&m.dx, &m.dy, &m.ra, &m.dec, &m.rotationRad, &m.scale}) v->assign(n, kNoValue);
    m.starCount.assign(n, 0);
    for (Figure* f : {&m.seeingJitterArcsec, &m.rotationDegPerHour, &m.rateArcsecPerMinAtCorner})
        f->ci95 = std::pair(kNoValue, kNoValue);

    const auto found = [&](std::size_t s, std::size_t i) {
        const ReportFrame& f = stars[s][i];
        return usable[i] && f.found && std::isfinite(f.x) && std::isfinite(f.y);
    };
    for (std::size_t i = 0; i < n && m.referenceFrame < 0; ++i) {
        int count = 0;
        for (std::size_t s = 0; s < stars.size(); ++s) count += found(s, i);
        if (count >= 3) m.referenceFrame = int(i);
    }
    if (m.referenceFrame < 0) return m;
    const std::size_t ref = std::size_t(m.referenceFrame);

    // The stars of the reference frame, their first places there and their observations.
    std::vector<Point> places;
    std::vector<std::vector<Observation>> obs(n);
    for (std::size_t s = 0; s < stars.size(); ++s) {
        if (!found(s, ref)) continue;
        const int star = int(places.size());
        places.push_back({stars[s][ref].x, stars[s][ref].y});
        for (std::size_t i = 0; i < n; ++i)
            if (found(s, i)) obs[i].push_back({star, {stars[s][i].x, stars[s][i].y}, stars[s][i].centroidSigmaPx});
    }
    m.stars = int(places.size());
    const Point c{width / 2.0, height / 2.0};

    // Each frame fitted against the stars' places, each place the mean of its star's positions
    // brought back by the fits, and the places then carried onto the reference frame by its
    // own fit, so that the reference frame stays where it is.
    std::vector<FrameFit> fits(n);
    double jitter = 0;  // the seeing's scatter in pixels, as the last fits found it
    const auto fitAll = [&] {
        for (std::size_t i = 0; i < n; ++i) fits[i] = FitFrame(obs[i], places, c, jitter);
    };
    const auto solve = [&] {
        for (int round = 0; round < kPlaceRounds; ++round) {
            fitAll();
            std::vector<Point> sum(places.size());
            std::vector<double> weight(places.size(), 0);
            for (std::size_t i = 0; i < n; ++i) {
                if (!fits[i].solved) continue;
                for (const Observation& o : obs[i]) {
                    if (!o.kept) continue;
                    const Point back = Undo(fits[i].s, c, o.p);
                    const auto s = std::size_t(o.star);
                    sum[s].x += o.weight * back.x;
                    sum[s].y += o.weight * back.y;
                    weight[s] += o.weight;
                }
            }
            for (std::size_t s = 0; s < places.size(); ++s)
                if (weight[s] > 0) places[s] = {sum[s].x / weight[s], sum[s].y / weight[s]};
            const FrameFit onto = FitFrame(obs[ref], places, c, jitter);
            if (onto.solved)
                for (Point& p : places) p = Apply(onto.s, c, p);
        }
        fitAll();
    };
    // The residuals' sum of squares over the fitted frames and its degrees of freedom.
    const auto pooled = [&] {
        double sumSquares = 0, dof = 0;
        std::vector<bool> placed(places.size(), false);
        for (std::size_t i = 0; i < n; ++i) {
            if (!fits[i].solved) continue;
            for (const Observation& o : obs[i])
                if (o.kept) sumSquares += o.ex * o.ex + o.ey * o.ey, placed[std::size_t(o.star)] = true;
            dof += 2 * fits[i].stars - 4;
        }
        dof -= 2 * double(std::count(placed.begin(), placed.end(), true)) - 4;
        return std::pair(sumSquares, dof);
    };
    // A star far off its frame's fit is left out there, the worst one of a frame at a time
    // (an outlier pulls the fit towards it, and so the others off it), and only while the frame
    // keeps three stars; a star left out comes back once the fits take it in again (its own
    // outlier had moved its place in every frame). Then everything is fitted again.
    const auto clip = [&] {
        std::vector<double> e;
        for (std::size_t i = 0; i < n; ++i)
            if (fits[i].solved)
                for (const Observation& o : obs[i])
                    if (o.kept) e.push_back(std::abs(o.ex)), e.push_back(std::abs(o.ey));
        const double dof = pooled().second;
        if (e.empty() || dof < 1) return false;
        // The residuals scatter less than the offsets by the share of the fits' parameters.
        const double sigma = kMadToSigma * MedianOf(e) * std::sqrt(double(e.size()) / dof);
        const double limit = std::max(kClipSigmas * sigma, kMinClipPx);
        bool changed = false;
        for (std::size_t i = 0; i < n; ++i) {
            if (!fits[i].solved) continue;
            Observation* worst = nullptr;
            double far = limit;
            for (Observation& o : obs[i]) {
                const double d = std::hypot(o.ex, o.ey);
                if (!o.kept && d <= limit) o.kept = changed = true;
                else if (o.kept && d > far) worst = &o, far = d;
            }
            if (worst && fits[i].stars > 3) worst->kept = false, changed = true;
        }
        return changed;
    };
    // Fitted until the stars left out and the seeing in the weights settle.
    for (int pass = 0;; ++pass) {
        solve();
        const auto [sumSquares, dof] = pooled();
        const double next = dof >= 1 ? std::sqrt(sumSquares / dof) : 0;
        const bool settled = !(std::abs(next - jitter) > kJitterSettled * next);
        jitter = next;
        if (pass == kClipRounds) break;
        if (!clip() && settled) break;
    }

    // Per frame; the scatter pooled over the fitted frames.
    std::vector<double> lineT, lineTheta, lineWeight;
    for (std::size_t i = 0; i < n; ++i) {
        const FrameFit& fit = fits[i];
        if (fit.stars == 0) continue;
        m.starCount[i] = fit.stars;
        m.dx[i] = fit.s.tx;
        m.dy[i] = fit.s.ty;
        const auto [ra, dec] = TurnToSky(fit.s.tx, fit.s.ty, cameraAngleDeg);
        m.ra[i] = ra * arcsecPerPixel;
        m.dec[i] = dec * arcsecPerPixel;
        if (!fit.solved) continue;
        m.rotationRad[i] = std::atan2(fit.s.b, fit.s.a);
        m.scale[i] = std::hypot(fit.s.a, fit.s.b);
        if (std::isfinite(t[i]) && fit.thetaVariance > 0) {
            lineT.push_back(t[i]);
            lineTheta.push_back(m.rotationRad[i]);
            lineWeight.push_back(1 / fit.thetaVariance);
        }
    }
    if (const auto [sumSquares, dof] = pooled(); dof >= 1) {
        const double rms = std::sqrt(sumSquares / dof) * arcsecPerPixel;
        // A lower quantile that Wilson-Hilferty cannot give (a degree of freedom or two)
        // leaves the interval open above.
        const double lower = ChiSquareQuantile(dof, -kZ975), upper = ChiSquareQuantile(dof, kZ975);
        m.seeingJitterArcsec =
            Figure{rms, std::pair(rms * std::sqrt(dof / upper),
                                  lower > 0 ? rms * std::sqrt(dof / lower) : std::numeric_limits<double>::infinity())};
    }

    // The rotation's rate: a weighted straight line through it over time.
    const std::size_t k = lineT.size();
    if (k < 3) return m;
    double sw = 0, tm = 0, ym = 0;
    for (std::size_t j = 0; j < k; ++j)
        sw += lineWeight[j], tm += lineWeight[j] * lineT[j], ym += lineWeight[j] * lineTheta[j];
    tm /= sw;
    ym /= sw;
    double stt = 0, sty = 0;
    for (std::size_t j = 0; j < k; ++j) {
        stt += lineWeight[j] * (lineT[j] - tm) * (lineT[j] - tm);
        sty += lineWeight[j] * (lineT[j] - tm) * (lineTheta[j] - ym);
    }
    if (!(stt > 0)) return m;
    const double slope = sty / stt;
    double sse = 0;
    for (std::size_t j = 0; j < k; ++j) {
        const double e = lineTheta[j] - ym - slope * (lineT[j] - tm);
        sse += lineWeight[j] * e * e;
    }
    const double df = double(k) - 2;
    const double half = StudentT975(df) * std::sqrt(sse / df / stt);
    const auto figure = [&](double perRadPerS) {
        return Figure{slope * perRadPerS, std::pair((slope - half) * perRadPerS, (slope + half) * perRadPerS)};
    };
    m.rotationDegPerHour = figure(180 / kPi * 3600);
    m.rateArcsecPerMinAtCorner = figure(std::hypot(width, height) / 2 * arcsecPerPixel * 60);
    return m;
}

std::vector<SyntheticFrame> WriteSyntheticField(const std::string& folder, const FieldOptions& o, FieldTruth* truth) {
    const std::optional<double> start = ParseIsoDateTime(o.start);
    if (!start) throw std::invalid_argument("synthetic start time is not a date-time: " + o.start);
    Draws draws(o.seed);
    const int w = o.width, h = o.height;
    const Point c{w / 2.0, h / 2.0};

    // The stars' places on frame 0: given, or on a grid over the frame within the margin,
    // each moved a little off its cell's centre.
    std::vector<Point> places;
    for (const auto& [x, y] : o.places) places.push_back({x, y});
    if (o.places.empty() && o.stars > 0) {
        const double iw = w - 2 * kFieldMargin, ih = h - 2 * kFieldMargin;
        const int cols = std::max(1, int(std::lround(std::sqrt(o.stars * iw / ih))));
        const int rows = (o.stars + cols - 1) / cols;
        for (int k = 0; k < o.stars; ++k) {
            const double u = 0.3 * (draws.uniform() - 0.5), v = 0.3 * (draws.uniform() - 0.5);
            const int column = k % cols, row = k / cols;  // the star's cell of the grid
            places.push_back(
                {kFieldMargin + (column + 0.5 + u) * iw / cols, kFieldMargin + (row + 0.5 + v) * ih / rows});
        }
    }
    const std::size_t count = places.size();
    std::vector<double> peaks(count);
    for (std::size_t k = 0; k < count; ++k)
        peaks[k] = o.brightestPeak *
                   std::pow(o.faintestPeak / o.brightestPeak, count > 1 ? double(k) / double(count - 1) : 0.0);

    const int n = std::max(o.frames, 0);
    if (truth) {
        truth->rotationRad.assign(std::size_t(n), 0);
        truth->x.assign(count, std::vector<double>(std::size_t(n)));
        truth->y.assign(count, std::vector<double>(std::size_t(n)));
    }
    const double sigma = o.fwhmPx / (2 * std::sqrt(2 * std::log(2.0)));
    const int reach = int(std::ceil(6 * sigma));
    const double seeingPx = o.seeingArcsec / o.arcsecPerPixel;
    const long long startMs = std::llround(*start * 1000);
    const double pixelUm = std::tan(o.arcsecPerPixel / 3600 * kPi / 180) * o.focalMm * 1000;
    std::vector<SyntheticFrame> frames{std::size_t(n)};
    std::vector<double> image(std::size_t(w) * std::size_t(h));
    std::vector<std::uint16_t> v(image.size());
    for (int k = 0; k < n; ++k) {
        // Exposures start on the cadence, to the millisecond as the headers hold them.
        const long long ms = startMs + std::llround(k * o.cadenceS * 1000);
        SyntheticFrame& f = frames[std::size_t(k)];
        f.t = double(ms - startMs) / 1000;
        const double theta = o.rotationDegPerHour * f.t / 3600 * kPi / 180;
        const Similarity move{std::cos(theta), std::sin(theta), o.driftXPxPerMin * f.t / 60,
                              o.driftYPxPerMin * f.t / 60};
        f.x = c.x + move.tx;
        f.y = c.y + move.ty;
        const auto [ra, dec] = TurnToSky(move.tx, move.ty, o.cameraAngleDeg);
        f.ra = ra * o.arcsecPerPixel;
        f.dec = dec * o.arcsecPerPixel;

        // The stars where the field takes them, the field's own with their seeing.
        std::vector<std::pair<Point, double>> drawn;
        for (std::size_t s = 0; s < count; ++s) {
            Point p = Apply(move, c, places[s]);
            p.x += seeingPx * draws.normal();
            p.y += seeingPx * draws.normal();
            drawn.emplace_back(p, peaks[s]);
            if (truth) truth->x[s][std::size_t(k)] = p.x, truth->y[s][std::size_t(k)] = p.y;
        }
        for (const FieldOptions::Extra& e : o.extras) drawn.emplace_back(Apply(move, c, {e.x, e.y}), e.peak);
        if (truth) truth->rotationRad[std::size_t(k)] = theta;

        // Each star a circular Gaussian sampled at the pixel centres, on the sky, with the
        // sky's and the stars' shot noise and the read noise.
        std::fill(image.begin(), image.end(), o.sky);
        for (const auto& [p, peak] : drawn)
            for (int x = std::max(int(p.x) - reach, 0); x <= std::min(int(p.x) + reach, w - 1); ++x)
                for (int y = std::max(int(p.y) - reach, 0); y <= std::min(int(p.y) + reach, h - 1); ++y) {
                    const double dx = x + 0.5 - p.x, dy = y + 0.5 - p.y;
                    image[std::size_t(x) * std::size_t(h) + std::size_t(y)] +=
                        peak * std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
                }
        if (o.bayer)
            for (int x = 0; x < w; ++x)
                for (int y = 0; y < h; ++y)
                    image[std::size_t(x) * std::size_t(h) + std::size_t(y)] *=
                        x % 2 == y % 2 ? (x % 2 ? 0.3 : 0.45) : 1.0;
        for (std::size_t j = 0; j < image.size(); ++j) {
            const double value = image[j] + std::sqrt(image[j] + o.readNoise * o.readNoise) * draws.normal();
            v[j] = std::uint16_t(std::clamp(std::lround(value), 0L, 65535L));
        }
        // After a flip pixel (x, y) shows (w - 1 - x, h - 1 - y): the samples in reverse order.
        const bool flipped = o.flipAtFrame >= 0 && k >= o.flipAtFrame;
        if (flipped) {
            std::reverse(v.begin(), v.end());
            f.x = w - f.x, f.y = h - f.y;
            if (truth)
                for (std::size_t s = 0; s < count; ++s) {
                    double &x = truth->x[s][std::size_t(k)], &y = truth->y[s][std::size_t(k)];
                    x = w - x, y = h - y;
                }
        }
        char name[32];
        std::snprintf(name, sizeof name, "field_%03d.fits", k);
        f.path = folder + "/" + name;
        std::string date(1, '\'');
        date += FormatIsoDateTime(double(ms) / 1000);
        date += '\'';
        std::vector<std::pair<std::string, std::string>> cards = {{"DATE-OBS", date},
                                                                  {"EXPTIME", FormatDecimals(o.exposureS, 3)},
                                                                  {"FOCALLEN", FormatDecimals(o.focalMm, 3)},
                                                                  {"XPIXSZ", FormatDecimals(pixelUm, 8)},
                                                                  {"OBJCTDEC", FormatDecimals(o.decDeg, 4)}};
        if (o.flipAtFrame >= 0) cards.emplace_back("PIERSIDE", flipped ? "'WEST'" : "'EAST'");
        if (o.bayer) cards.emplace_back("BAYERPAT", "'RGGB'");
        WriteFits16(f.path, w, h, v, cards);
    }
    return frames;
}

std::vector<ReportFrame> CommonMotionFrames(const std::vector<std::vector<ReportFrame>>& stars,
                                            const FieldMotion& motion) {
    if (stars.empty()) return {};
    std::vector<ReportFrame> common = stars.front();
    const int ref = motion.referenceFrame;
    const double x0 = ref >= 0 ? stars.front()[std::size_t(ref)].x : 0,
                 y0 = ref >= 0 ? stars.front()[std::size_t(ref)].y : 0;
    for (std::size_t i = 0; i < common.size(); ++i) {
        ReportFrame& f = common[i];
        const bool solved = i < motion.dx.size() && std::isfinite(motion.dx[i]) && std::isfinite(motion.dy[i]);
        if (!solved) {
            if (f.found) f.found = false, f.lostReason = "no_star", f.lostMessage = msg::kReportLostNoStar;
            continue;
        }
        f.found = true;
        f.lostReason.clear(), f.lostMessage.clear();
        f.x = x0 + motion.dx[i], f.y = y0 + motion.dy[i];
        double flux = 0, inverse = 0;
        std::vector<double> fwhm, hfd;
        for (const auto& star : stars) {
            const ReportFrame& g = star[i];
            if (!g.found) continue;
            flux += std::isfinite(g.flux) ? g.flux : 0;
            if (g.centroidSigmaPx > 0) inverse += 1 / (g.centroidSigmaPx * g.centroidSigmaPx);
            fwhm.push_back(g.fwhmPx), hfd.push_back(g.hfdPx);
        }
        f.flux = flux;
        f.centroidSigmaPx = inverse > 0 ? 1 / std::sqrt(inverse) : kNoValue;
        f.fwhmPx = MedianOf(fwhm), f.hfdPx = MedianOf(hfd);
    }
    return common;
}

FieldRotation FieldFigures(const FieldMotion& motion, const TrackingReport& report) {
    constexpr double kSiderealRadPerS = 7.2921159e-5, kArcminPerRad = 10800 / std::numbers::pi;
    FieldRotation f;
    f.stars = motion.stars;
    f.seeingJitterArcsec = motion.seeingJitterArcsec;
    f.degPerHour = motion.rotationDegPerHour;
    f.rateArcsecPerMinAtCorner = motion.rateArcsecPerMinAtCorner;
    f.starCount = motion.starCount;
    for (double r : motion.rotationRad) f.rotationDeg.push_back(r * 180 / std::numbers::pi);
    // |a figure| and its interval, folded at 0 and scaled.
    const auto folded = [](const Figure& g, double scale) {
        Figure out{std::abs(g.value) * scale, std::pair(kNoValue, kNoValue)};
        if (g.ci95) {
            const double lo = g.ci95->first * scale, hi = g.ci95->second * scale;
            out.ci95 = std::pair(lo <= 0 && hi >= 0 ? 0.0 : std::min(std::abs(lo), std::abs(hi)),
                                 std::max(std::abs(lo), std::abs(hi)));
        }
        return out;
    };
    const double cosDec = report.decDeg ? std::cos(*report.decDeg * std::numbers::pi / 180) : kNoValue;
    // Degrees an hour to radians a second, then over the sidereal rate.
    f.polarFromRotationArcmin =
        folded(f.degPerHour, std::numbers::pi / 180 / 3600 * cosDec / kSiderealRadPerS * kArcminPerRad);
    // Arc-seconds a minute to radians a second.
    f.polarFromDriftArcmin = folded(report.driftDec, 1.0 / 60 / 206264.80624709636 / kSiderealRadPerS * kArcminPerRad);
    f.polarTotalArcmin = std::hypot(f.polarFromRotationArcmin.value, f.polarFromDriftArcmin.value);
    const auto nonzero = [](const Figure& g) { return g.ci95 && g.ci95->first > 0; };
    const bool rotation = nonzero(f.polarFromRotationArcmin), drift = nonzero(f.polarFromDriftArcmin);
    f.agreement = rotation && drift ? "both" : drift ? "drift_only" : rotation ? "rotation_only" : "neither";
    return f;
}

FieldNight MeasureFieldNight(const std::vector<std::string>& frames, const MeasureSettings& settings, int maxStars,
                             const ReportOptions& options) {
    FieldNight night;
    if (frames.empty()) throw std::invalid_argument("a field night needs frames");
    const std::vector<FieldStar> found = FindFieldStars(frames.front(), settings, maxStars);
    if (found.size() < 3) throw Refusal(FillMessage(msg::kFieldTooFewStars, frames.front(), found.size()));
    night.stars = MeasureFieldStars(frames, settings, found);
    const TimeAxis times = FrameTimes(night.stars.front(), options.intervalS);
    const std::vector<std::string> order = TimeOrderFlags(times.t);
    const std::vector<std::size_t> flips = MeridianFlips(night.stars.front());
    const std::size_t flip = flips.empty() ? order.size() : flips.front();
    std::vector<bool> usable(order.size());
    for (std::size_t i = 0; i < usable.size(); ++i) usable[i] = order[i].empty() && i < flip;
    RunFrames first(settings, FrameStore::Band);
    first.open(frames.front());
    night.motion = SolveField(night.stars, times.t, usable, first.width(), first.height(), options.arcsecPerPixel,
                              options.cameraAngleDeg);
    night.common = CommonMotionFrames(night.stars, night.motion);
    for (std::size_t i = flip; i < night.common.size(); ++i) {
        night.common[i].found = false;
        night.common[i].lostReason = "after_meridian_flip";
        night.common[i].lostMessage = msg::kReportLostAfterFlip;
    }
    night.report = ComputeReport(night.common, times, options);
    night.report.field = FieldFigures(night.motion, night.report);
    if (flip < night.common.size())
        night.report.warnings.push_back({"stars_meridian_flip", FillMessage(msg::kReportStarsFlip, flip + 1)});
    return night;
}

}  // namespace nuvak
