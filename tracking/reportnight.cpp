// The report's figures of the night as a whole: steps, clouds, the width's trend, the
// structure function and the polar-axis error by hour angle.

#include "tracking/reportnight.h"

#include <algorithm>
#include <cmath>

namespace nuvak::night {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kSiderealRadPerS = 7.2921159e-5;

// Steps: kStepSide candidate frames on each side, a move beyond kStepPx (as a spike must be),
// kStepSpread times the stretches' spread and, in each axis, kStepMotion times the median
// frame-to-frame motion.
constexpr int kStepSide = 4;
constexpr double kStepPx = 5;
constexpr double kStepSpread = 4;
constexpr double kStepMotion = 3;

// Structure function bins: lags from kFirstLag cadences to half the span, each bin kLagRatio
// times the last, at most kMaxBins; a bin needs kMinPairs pairs.
constexpr double kFirstLag = 0.75;
constexpr double kLagRatio = 1.3;
constexpr int kMaxBins = 16;
constexpr int kMinPairs = 3;

double median(std::vector<double> v) { return MedianOf(std::move(v)); }

// The median distance of the points from their median point.
double spread(const std::vector<double>& u, const std::vector<double>& w) {
    const double mu = median(u), mw = median(w);
    std::vector<double> d;
    for (std::size_t k = 0; k < u.size(); ++k) d.push_back(std::hypot(u[k] - mu, w[k] - mw));
    return median(d);
}

}  // namespace

StillTrack StillPositions(const std::vector<ReportFrame>& frames, const std::vector<double>& t,
                          const std::vector<bool>& candidate, const std::vector<int>& part, int p) {
    StillTrack s;
    std::vector<std::size_t>& f = s.frames;
    for (std::size_t i = 0; i < frames.size(); ++i)
        if (candidate[i] && part[i] == p) f.push_back(i);
    std::vector<double> vx, vy;
    for (std::size_t k = 1; k < f.size(); ++k) {
        const double dt = t[f[k]] - t[f[k - 1]];
        if (!(dt > 0)) continue;
        vx.push_back((frames[f[k]].x - frames[f[k - 1]].x) / dt);
        vy.push_back((frames[f[k]].y - frames[f[k - 1]].y) / dt);
    }
    const double mvx = vx.empty() ? 0 : median(vx), mvy = vy.empty() ? 0 : median(vy);
    for (const std::size_t i : f) {
        s.u.push_back(frames[i].x - mvx * (t[i] - t[f[0]]));
        s.w.push_back(frames[i].y - mvy * (t[i] - t[f[0]]));
    }
    return s;
}

std::vector<bool> Steps(const std::vector<ReportFrame>& frames, const std::vector<double>& t,
                        const std::vector<bool>& candidate, const std::vector<int>& part) {
    std::vector<bool> step(frames.size(), false);
    const int parts = part.empty() ? 0 : *std::max_element(part.begin(), part.end()) + 1;
    for (int p = 0; p < parts; ++p) {
        const StillTrack still = StillPositions(frames, t, candidate, part, p);
        const std::vector<std::size_t>& f = still.frames;
        const std::vector<double>&u = still.u, &w = still.w;
        const std::ptrdiff_t n = std::ptrdiff_t(f.size());
        if (n < 2 * kStepSide) continue;
        std::vector<double> ax, ay;
        for (std::size_t k = 1; k < f.size(); ++k)
            ax.push_back(std::abs(u[k] - u[k - 1])), ay.push_back(std::abs(w[k] - w[k - 1]));
        const double motionX = median(ax), motionY = median(ay);
        // The boundaries whose sides differ so; the medians see a step from a few boundaries
        // about it, and the step itself is the largest move between two frames among them.
        std::vector<bool> passes(f.size(), false);
        for (std::ptrdiff_t k = kStepSide; k + kStepSide <= n; ++k) {
            const std::vector<double> bu(u.begin() + k - kStepSide, u.begin() + k),
                bw(w.begin() + k - kStepSide, w.begin() + k), au(u.begin() + k, u.begin() + k + kStepSide),
                aw(w.begin() + k, w.begin() + k + kStepSide);
            const double du = median(au) - median(bu), dw = median(aw) - median(bw), d = std::hypot(du, dw);
            const double stretch = std::max(spread(bu, bw), spread(au, aw));
            passes[std::size_t(k)] = d > kStepPx && d > kStepSpread * stretch && std::abs(du) > kStepMotion * motionX &&
                                     std::abs(dw) > kStepMotion * motionY;
        }
        for (std::size_t k = 0; k < f.size();) {
            if (!passes[k]) {
                ++k;
                continue;
            }
            std::size_t best = k;
            double largest = -1;
            for (; k < f.size() && passes[k]; ++k) {
                const double move = std::hypot(u[k] - u[k - 1], w[k] - w[k - 1]);
                if (move > largest) largest = move, best = k;
            }
            step[f[best]] = true;
        }
    }
    return step;
}

std::vector<bool> Clouds(const std::vector<ReportFrame>& frames) {
    std::vector<double> flux;
    for (const ReportFrame& f : frames)
        if (f.found && f.flux > 0) flux.push_back(f.flux);
    const double half = median(flux) / 2;
    std::vector<bool> cloud(frames.size(), false);
    for (std::size_t i = 0; i < frames.size(); ++i)
        cloud[i] = frames[i].found && std::isfinite(half) && std::isfinite(frames[i].flux) && frames[i].flux < half;
    return cloud;
}

Figure WidthTrend(const std::vector<double>& t, const std::vector<double>& fwhm) {
    std::vector<double> x, y;
    for (std::size_t k = 0; k < t.size() && k < fwhm.size(); ++k)
        if (std::isfinite(t[k]) && std::isfinite(fwhm[k])) x.push_back(t[k] / 3600), y.push_back(fwhm[k]);
    const std::size_t n = x.size();
    if (n < 4) return Figure{kNoValue, std::pair(kNoValue, kNoValue)};
    double mx = 0, my = 0;
    for (std::size_t k = 0; k < n; ++k) mx += x[k] / double(n), my += y[k] / double(n);
    double sxx = 0, sxy = 0;
    for (std::size_t k = 0; k < n; ++k) sxx += (x[k] - mx) * (x[k] - mx), sxy += (x[k] - mx) * (y[k] - my);
    if (!(sxx > 0)) return Figure{kNoValue, std::pair(kNoValue, kNoValue)};
    const double slope = sxy / sxx, intercept = my - slope * mx;
    double ss = 0;
    for (std::size_t k = 0; k < n; ++k) ss += std::pow(y[k] - intercept - slope * x[k], 2);
    const double se = std::sqrt(ss / double(n - 2) / sxx), half = StudentT975(double(n - 2)) * se;
    return Figure{slope, std::pair(slope - half, slope + half)};
}

void StructureFunction(TrackingReport& r) {
    std::vector<double> t, ra, dec;
    for (std::size_t i = 0; i < r.t.size(); ++i)
        if (i < r.used.size() && r.used[i] && std::isfinite(r.t[i]) && std::isfinite(r.ra[i]) &&
            std::isfinite(r.dec[i]))
            t.push_back(r.t[i]), ra.push_back(r.ra[i]), dec.push_back(r.dec[i]);
    const std::size_t n = t.size();
    if (n < 4) return;
    std::vector<double> steps;
    for (std::size_t k = 1; k < n; ++k)
        if (t[k] > t[k - 1]) steps.push_back(t[k] - t[k - 1]);
    const double span = *std::max_element(t.begin(), t.end()) - *std::min_element(t.begin(), t.end());
    const double first = kFirstLag * median(steps), last = span / 2;
    if (!(first > 0) || !(last > first)) return;
    const int bins = std::clamp(int(std::ceil(std::log(last / first) / std::log(kLagRatio))), 1, kMaxBins);
    const double step = std::log(last / first) / bins;
    std::vector<double> sum(std::size_t(bins), 0), lag(std::size_t(bins), 0);
    std::vector<int> pairs(std::size_t(bins), 0);
    for (std::size_t a = 0; a < n; ++a)
        for (std::size_t b = a + 1; b < n; ++b) {
            const double dt = std::abs(t[b] - t[a]);
            if (dt < first || dt > last) continue;
            const auto k = std::size_t(std::min(bins - 1, int(std::log(dt / first) / step)));
            sum[k] += std::pow(ra[b] - ra[a], 2) + std::pow(dec[b] - dec[a], 2);
            lag[k] += dt;
            ++pairs[k];
        }
    for (std::size_t k = 0; k < std::size_t(bins); ++k) {
        if (pairs[k] < kMinPairs) continue;
        StructurePoint p;
        p.pairs = pairs[k];
        p.lagS = lag[k] / pairs[k];
        p.rmsArcsec = std::sqrt(sum[k] / pairs[k]);
        // Pairs sharing frames are not independent: about half the frames that lie that far
        // from the span's end make independent pairs, each giving two axes.
        const double independent =
            std::max(1.0, std::min(double(pairs[k]), std::floor(double(n) * (1 - p.lagS / span) / 2)));
        const double dof = 2 * independent;
        p.lo = p.rmsArcsec * std::sqrt(dof / ChiSquareQuantile(dof, kZ975));
        p.hi = p.rmsArcsec * std::sqrt(dof / ChiSquareQuantile(dof, -kZ975));
        r.structureFunction.push_back(p);
    }
    const std::vector<StructurePoint>& s = r.structureFunction;
    if (s.size() < 3) return;
    const auto top = std::max_element(
        s.begin(), s.end(), [](const StructurePoint& a, const StructurePoint& b) { return a.rmsArcsec < b.rmsArcsec; });
    if (top->lo <= s.front().hi) {
        r.structureReading = "flat";
    } else if (top != s.end() - 1 &&
               std::any_of(top + 1, s.end(), [&](const StructurePoint& p) { return p.hi < top->lo; })) {
        r.structureReading = "periodic";
        r.structurePeakLagS = top->lagS;
    } else {
        r.structureReading = "rising";
    }
}

void PolarByHourAngle(TrackingReport& r, const TimeAxis& times, double latDeg, double lonDeg, double raDeg) {
    if (!times.epochUtcS) return;
    HourAnglePolar p;
    p.latDeg = latDeg, p.lonDeg = lonDeg, p.raDeg = raDeg;
    r.hourAngleH.assign(r.t.size(), kNoValue);
    double sx = 0, sy = 0;
    for (std::size_t i = 0; i < r.t.size(); ++i) {
        if (!std::isfinite(r.t[i])) continue;
        const double h = HourAngleHours(*times.epochUtcS + r.t[i], lonDeg, raDeg);
        r.hourAngleH[i] = h;
        if (i >= r.used.size() || !r.used[i]) continue;
        if (!std::isfinite(p.startH)) p.startH = h;
        p.endH = h;
        sx += std::cos(h * kPi / 12), sy += std::sin(h * kPi / 12);
    }
    if (!std::isfinite(p.startH)) return;
    p.meanH = std::atan2(sy, sx) * 12 / kPi;
    const double sinH = std::sin(p.meanH * kPi / 12), cosH = std::cos(p.meanH * kPi / 12);
    const double cosLat = std::cos(latDeg * kPi / 180), sign = latDeg >= 0 ? 1 : -1;
    p.component = std::abs(sinH) >= std::abs(cosH) ? "altitude" : "azimuth";
    p.mixed = std::min(std::abs(sinH), std::abs(cosH)) > 0.5 * std::max(std::abs(sinH), std::abs(cosH));
    // Arc-minutes of the component per arc-second a minute of declination drift.
    const double per = p.component == "altitude" ? sinH : cosLat * cosH;
    const double factor = std::abs(per) > 1e-6 ? -1.0 / (60 * sign * kSiderealRadPerS * per) / 60 : kNoValue;
    p.errorArcmin.value = r.driftDec.value * factor;
    if (r.driftDec.ci95) {
        const double a = r.driftDec.ci95->first * factor, b = r.driftDec.ci95->second * factor;
        p.errorArcmin.ci95 = std::pair(std::min(a, b), std::max(a, b));
    }
    r.polarHourAngle = p;
}

}  // namespace nuvak::night
