// The report's statistics: frame flags, sky axes, drift lines with block-bootstrap intervals,
// residual RMS, the periodic error from a Lomb-Scargle periodogram, the polar-alignment error,
// the star widths and whether the track is limited by centroid noise.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <stdexcept>

#include <Eigen/Dense>

#include "core/format.h"
#include "resources/messages.h"
#include "tracking/report.h"
#include "tracking/reportnight.h"

namespace nuvak {

namespace {
constexpr double kPi = 3.14159265358979323846;
}  // namespace

double MedianOf(std::vector<double> v) {
    std::erase_if(v, [](double x) { return !std::isfinite(x); });
    if (v.empty()) return kNoValue;
    const std::size_t h = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + std::ptrdiff_t(h), v.end());
    const double upper = v[h];
    if (v.size() % 2) return upper;
    return (upper + *std::max_element(v.begin(), v.begin() + std::ptrdiff_t(h))) / 2;
}

// Student's t: a table up to 10 degrees of freedom, the Cornish-Fisher expansion beyond.
double StudentT975(double df) {
    static const double table[] = {12.706, 4.303, 3.182, 2.776, 2.571, 2.447, 2.365, 2.306, 2.262, 2.228};
    if (df <= 10) return table[std::clamp(int(df), 1, 10) - 1];
    const double z = kZ975, z3 = z * z * z, z5 = z3 * z * z;
    return z + (z3 + z) / (4 * df) + (5 * z5 + 16 * z3 + 3 * z) / (96 * df * df);
}

double ChiSquareQuantile(double df, double z) {
    const double a = 2 / (9 * df);
    return df * std::pow(std::max(0.0, 1 - a + z * std::sqrt(a)), 3);
}

namespace {

double Median(const std::vector<double>& v) { return MedianOf(v); }
double ChiSquare95(double df) { return ChiSquareQuantile(df, 1.6448536269514722); }

// A found frame is a jump no mount makes, and is flagged lost, when its position, after the
// run's median velocity is taken out, lies farther from the median of its neighbours (up to
// kJumpNeighbours found frames on each side) than both kJumpPx pixels and kJumpFactor times
// the median frame-to-frame motion. Taking the velocity out keeps the frames beside a gap in
// the sequence from looking like jumps; the median motion keeps a fast periodic error or poor
// seeing from doing so.
constexpr double kJumpPx = 5;
constexpr double kJumpFactor = 10;
constexpr int kJumpNeighbours = 3;

// Bootstrap resamples of the drift's interval.
constexpr int kBootstrapRuns = 2000;
// The drift is fitted together with the periodic error when its peak is significant (below
// kHarmonicFap) and the span holds at least kJointCycles of it: a slow random wander also
// peaks at the longest periods, and a sinusoid fitted to it would hide the wander from the
// bootstrap.
constexpr double kJointCycles = 3;
// Periodogram: frequency steps per 1 / span, and the most frequencies the grid holds.
constexpr double kOversampling = 10;
constexpr std::size_t kMaxFrequencies = 20000;
// The peak is the n-th harmonic of the worm when its period is within this fraction of worm / n
// and its false-alarm probability below kHarmonicFap (a noise peak is no harmonic of anything).
constexpr double kHarmonicTolerance = 0.05;
constexpr double kHarmonicFap = 0.01;
// Centroid sigmas are a model: residuals within this factor of them still count as noise.
constexpr double kNoiseAllowance = 1.2;
// A width that grows by more than this fraction of its median over the night, with an interval
// of its slope above 0, is a focus drift.
constexpr double kFocusRise = 0.1;
// Arc-minutes of polar-axis error per arc-second a minute of declination drift, at the equator.
constexpr double kPolarFactor = 3.8197;
// A centroid over an exposure of T seconds sees a harmonic of period P shrunk by
// sinc(pi T / P); beyond T = kSmearLimit P so little is left that undoing it would mostly
// magnify noise (at 0.6 the factor is 0.50, and it reaches 0 at T = P).
constexpr double kSmearLimit = 0.6;

// A seed from the values, so that the same data give the same report.
std::uint64_t SeedFrom(const std::vector<double>& a, const std::vector<double>& b) {
    std::uint64_t h = 14695981039346656037ull;
    for (const auto* v : {&a, &b})
        for (const double x : *v) {
            std::uint64_t bits;
            std::memcpy(&bits, &x, sizeof bits);
            for (int k = 0; k < 8; ++k) h = (h ^ ((bits >> (8 * k)) & 0xFF)) * 1099511628211ull;
        }
    return h;
}

// The candidate frames that jump (see kJumpPx), each part of the night (see ComputeReport)
// on its own: a meridian flip moves the star on the image.
std::vector<bool> Jumps(const std::vector<ReportFrame>& frames, const std::vector<double>& t,
                        const std::vector<bool>& candidate, const std::vector<int>& part) {
    std::vector<bool> jump(frames.size(), false);
    const int parts = part.empty() ? 0 : part.back() + 1;
    for (int p = 0; p < parts; ++p) {
        const night::StillTrack still = night::StillPositions(frames, t, candidate, part, p);
        const std::vector<std::size_t>& f = still.frames;
        const std::vector<double>&u = still.u, &w = still.w;
        if (f.size() < 3) continue;
        std::vector<double> steps;
        for (std::size_t k = 1; k < f.size(); ++k) steps.push_back(std::hypot(u[k] - u[k - 1], w[k] - w[k - 1]));
        const double motion = Median(steps);
        const std::ptrdiff_t n = std::ptrdiff_t(f.size());
        for (std::ptrdiff_t k = 0; k < n; ++k) {
            std::vector<double> nu, nw;
            for (std::ptrdiff_t j = std::max<std::ptrdiff_t>(0, k - kJumpNeighbours);
                 j <= std::min(n - 1, k + kJumpNeighbours); ++j)
                if (j != k) nu.push_back(u[j]), nw.push_back(w[j]);
            const double offset = std::hypot(u[k] - Median(nu), w[k] - Median(nw));
            jump[f[k]] = offset > kJumpPx && offset > kJumpFactor * motion;
        }
    }
    return jump;
}

// The generalised (floating-mean) Lomb-Scargle power of y at angular frequency omega: the
// fraction of y's variance about its mean that a sinusoid with offset explains.
double LombScarglePower(const std::vector<double>& t, const std::vector<double>& y, double omega) {
    const double w = 1.0 / double(t.size());
    double Y = 0, C = 0, S = 0, YY = 0, YC = 0, YS = 0, CC = 0, SS = 0, CS = 0;
    for (std::size_t i = 0; i < t.size(); ++i) {
        const double c = std::cos(omega * t[i]), s = std::sin(omega * t[i]);
        Y += w * y[i], C += w * c, S += w * s;
        YY += w * y[i] * y[i], YC += w * y[i] * c, YS += w * y[i] * s;
        CC += w * c * c, SS += w * s * s, CS += w * c * s;
    }
    YY -= Y * Y, YC -= Y * C, YS -= Y * S, CC -= C * C, SS -= S * S, CS -= C * S;
    const double d = CC * SS - CS * CS;
    if (!(YY > 0) || !(d > 0)) return 0;
    return (SS * YC * YC + CC * YS * YS - 2 * CS * YC * YS) / (YY * d);
}

// Least-squares coefficients of y on the columns of x.
Eigen::VectorXd Solve(const Eigen::MatrixXd& x, const Eigen::VectorXd& y) { return x.colPivHouseholderQr().solve(y); }

// The columns: one a part (1 for its points, 0 elsewhere; a single part is the constant),
// t - tMid and, when omega > 0, sin(omega t) and cos(omega t).
Eigen::MatrixXd Design(const std::vector<double>& t, const std::vector<int>& part, int parts, double tMid,
                       double omega) {
    Eigen::MatrixXd x = Eigen::MatrixXd::Zero(Eigen::Index(t.size()), parts + (omega > 0 ? 3 : 1));
    for (std::size_t i = 0; i < t.size(); ++i) {
        const auto r = Eigen::Index(i);
        x(r, part[i]) = 1;
        x(r, parts) = t[i] - tMid;
        if (omega > 0) x(r, parts + 1) = std::sin(omega * t[i]), x(r, parts + 2) = std::cos(omega * t[i]);
    }
    return x;
}

struct DriftLine {
    Figure slope;                    // per second
    std::vector<double> intercepts;  // at t = 0, one a part
    std::vector<double> residual;
};

// The least-squares line through (t, y) and a 95 % interval for the true slope. The points
// of each part (part[i] in 0 ... parts - 1, every part holding a point) have their own
// intercept and share the slope.
//
// A periodic error adds to the line's slope a part that depends on its phase, and it does so
// coherently over the whole span: resampling its cycles as if independent would understate
// it. So the line is fitted a second time together with a sinusoid at the periodic error's
// period (omega > 0): that slope is free of the periodic part. Its spread comes from a
// circular block bootstrap of that fit's residuals (blocks well beyond the length of their
// autocorrelation), turned into an interval with Student's t on the number of blocks.
// The interval is centred on the plain line's slope and widened by its distance from the
// joint fit's slope, so it holds the joint fit's interval and the line's own slope.
DriftLine FitDrift(const std::vector<double>& t, const std::vector<double>& y, const std::vector<int>& part, int parts,
                   double omega) {
    DriftLine out;
    const std::size_t m = t.size();
    if (m < std::size_t(parts) + 2) return out;
    const auto [lo, hi] = std::minmax_element(t.begin(), t.end());
    if (!(*hi > *lo)) return out;
    const double tMid = (*lo + *hi) / 2;
    const Eigen::VectorXd ye = Eigen::Map<const Eigen::VectorXd>(y.data(), Eigen::Index(m));

    const Eigen::MatrixXd line = Design(t, part, parts, tMid, 0);
    const Eigen::VectorXd b = Solve(line, ye);
    out.slope.value = b(parts);
    for (int k = 0; k < parts; ++k) out.intercepts.push_back(b(k) - b(parts) * tMid);
    const Eigen::VectorXd e = ye - line * b;
    out.residual.assign(e.data(), e.data() + m);

    const bool joint = omega > 0 && m >= std::size_t(parts) + 7;
    const Eigen::MatrixXd x = joint ? Design(t, part, parts, tMid, omega) : line;
    const Eigen::Index p = x.cols();
    const Eigen::VectorXd bj = joint ? Solve(x, ye) : b;
    const Eigen::VectorXd ej = (ye - x * bj) * std::sqrt(double(m) / double(m - p));
    // The slope as a linear function of the data: slope = c . y.
    const Eigen::MatrixXd xtx = x.transpose() * x;
    const Eigen::VectorXd c = x * xtx.ldlt().solve(Eigen::VectorXd::Unit(p, parts));

    // Block length: three times the first lag at which the residuals' autocorrelation is
    // insignificant (shorter blocks understate a slow random wander), at least m^(1/3).
    const double var = ej.squaredNorm();
    std::size_t block = 1;
    if (var > 0)
        while (block < m / 3) {
            double acf = 0;
            for (std::size_t i = block; i < m; ++i) acf += ej(Eigen::Index(i)) * ej(Eigen::Index(i - block));
            if (acf / var < 2 / std::sqrt(double(m))) break;
            ++block;
        }
    block = std::clamp<std::size_t>(std::max(3 * block, std::size_t(std::ceil(std::cbrt(double(m))))), 1,
                                    std::max<std::size_t>(1, m / 3));

    std::mt19937_64 rng(SeedFrom(t, y));
    double sum = 0, sum2 = 0;
    for (int run = 0; run < kBootstrapRuns; ++run) {
        double delta = 0;
        for (std::size_t i = 0; i < m;) {
            const std::size_t start = rng() % m;
            for (std::size_t k = 0; k < block && i < m; ++k, ++i)
                delta += c(Eigen::Index(i)) * ej(Eigen::Index((start + k) % m));
        }
        sum += delta, sum2 += delta * delta;
    }
    const double mean = sum / kBootstrapRuns;
    const double se = std::sqrt(std::max(0.0, sum2 / kBootstrapRuns - mean * mean));
    const std::size_t blocks = m / block;  // whole blocks of the night
    const double df = std::max(1.0, std::min(double(m - p), double(blocks) - 1));
    const double half = StudentT975(df) * se + std::abs(b(parts) - bj(parts));
    out.slope.ci95 = std::pair(b(parts) - half, b(parts) + half);
    return out;
}

double Rms(const std::vector<double>& e) {
    if (e.empty()) return kNoValue;
    double s = 0;
    for (const double v : e) s += v * v;
    return std::sqrt(s / double(e.size()));
}

// The periodic error from the RA residuals on the real time axis (see PeriodicError).
// Frequencies run from 2 / span to 1 / (2 x median cadence); the highest grid peak is refined
// by a golden-section search between its neighbours. The false-alarm probability is Baluev's
// (2008) approximation for the floating-mean periodogram: the single-frequency probability
// combined with the Davies bound over the effective baseline sqrt(4 pi var(t)).
PeriodicError FindPeriodicError(const std::vector<double>& t, const std::vector<double>& y,
                                std::optional<double> wormPeriodS) {
    PeriodicError pe;
    const std::size_t m = t.size();
    if (m < 5) return pe;
    std::vector<double> sorted = t, cadence;
    std::sort(sorted.begin(), sorted.end());
    const double span = sorted.back() - sorted.front();
    for (std::size_t i = 1; i < m; ++i) cadence.push_back(sorted[i] - sorted[i - 1]);
    const double step = Median(cadence);
    if (!(span > 0) || !(step > 0)) return pe;
    const double fMin = 2 / span, fMax = 1 / (2 * step);
    if (!(fMax >= fMin)) return pe;
    double df = 1 / (kOversampling * span);
    if ((fMax - fMin) / df + 1 > double(kMaxFrequencies)) df = (fMax - fMin) / double(kMaxFrequencies - 1);
    const std::size_t count = std::size_t((fMax - fMin) / df) + 1;
    pe.frequency.resize(count);
    pe.power.resize(count);
    std::size_t best = 0;
    for (std::size_t k = 0; k < count; ++k) {
        pe.frequency[k] = fMin + double(k) * df;
        pe.power[k] = LombScarglePower(t, y, 2 * kPi * pe.frequency[k]);
        if (pe.power[k] > pe.power[best]) best = k;
    }
    double a = pe.frequency[best > 0 ? best - 1 : best], b = pe.frequency[std::min(best + 1, count - 1)];
    const double g = (std::sqrt(5.0) - 1) / 2;
    for (int it = 0; it < 40 && b > a; ++it) {
        const double c1 = b - g * (b - a), c2 = a + g * (b - a);
        if (LombScarglePower(t, y, 2 * kPi * c1) >= LombScarglePower(t, y, 2 * kPi * c2)) b = c2;
        else a = c1;
    }
    double f = (a + b) / 2;
    double z = LombScarglePower(t, y, 2 * kPi * f);
    if (z < pe.power[best]) f = pe.frequency[best], z = pe.power[best];

    const double omega = 2 * kPi * f;
    Eigen::MatrixXd x(Eigen::Index(m), 3);
    for (std::size_t i = 0; i < m; ++i) x.row(Eigen::Index(i)) << 1, std::sin(omega * t[i]), std::cos(omega * t[i]);
    const Eigen::VectorXd c = Solve(x, Eigen::Map<const Eigen::VectorXd>(y.data(), Eigen::Index(m)));
    pe.periodS.value = 1 / f;
    pe.amplitudePpArcsec.value = 2 * std::hypot(c(1), c(2));
    pe.fitPhase = std::atan2(c(2), c(1));

    double tMean = 0, tVar = 0;
    for (const double v : t) tMean += v / double(m);
    for (const double v : t) tVar += (v - tMean) * (v - tMean) / double(m);
    const double nh = double(m) - 1, nk = double(m) - 3;
    const double gamma = std::sqrt(2 / nh) * std::exp(std::lgamma(nh / 2) - std::lgamma((nh - 1) / 2));
    const double w = fMax * std::sqrt(4 * kPi * tVar);
    const double zc = std::clamp(z, 0.0, 1.0);
    const double tau = gamma * w * std::pow(1 - zc, (nk - 1) / 2) * std::sqrt(nh * zc / 2);
    const double single = std::pow(1 - zc, nk / 2);
    pe.fap.value = std::clamp(1 - (1 - single) * std::exp(-tau), 0.0, 1.0);

    if (wormPeriodS && *wormPeriodS > 0 && pe.fap.value < kHarmonicFap) {
        const double n = std::round(*wormPeriodS / pe.periodS.value);
        if (n >= 1 && std::abs(n * pe.periodS.value / *wormPeriodS - 1) <= kHarmonicTolerance) pe.harmonic = int(n);
    }
    return pe;
}

double Sinc(double x) { return x == 0 ? 1 : std::sin(x) / x; }

// The median time between successive times (sorted); NaN with fewer than two.
double MedianCadence(std::vector<double> t) {
    std::sort(t.begin(), t.end());
    std::vector<double> steps;
    for (std::size_t i = 1; i < t.size(); ++i) steps.push_back(t[i] - t[i - 1]);
    return Median(steps);
}

// A figure and its interval times a positive factor.
Figure Scaled(const Figure& f, double factor) {
    Figure out{f.value * factor, std::nullopt};
    if (f.ci95) out.ci95 = std::pair{f.ci95->first * factor, f.ci95->second * factor};
    return out;
}

// The periodic error's amplitude undone from the exposure's smear (see TrackingReport).
void CorrectSmear(TrackingReport& r, const std::vector<double>& t) {
    const double period = r.pe.periodS.value, observed = r.pe.amplitudePpArcsec.value;
    if (!(period > 0) || !std::isfinite(observed)) return;
    const double cadence = MedianCadence(t);
    if (!r.exposureS) {
        r.warnings.push_back({"exposure_unknown", msg::kReportExposureUnknown});
    } else if (*r.exposureS > kSmearLimit * period) {
        r.warnings.push_back(
            {"exposure_smear", FillMessage(msg::kReportSmearTooLong, FormatG6(*r.exposureS), FormatG6(period))});
    } else if (cadence > period / 2) {
        r.warnings.push_back({"cadence", FillMessage(msg::kReportCadenceTooSlow, FormatG6(cadence), FormatG6(period))});
    } else {
        r.smearFactor = Sinc(kPi * *r.exposureS / period);
        r.amplitudePpCorrectedArcsec = Scaled(r.pe.amplitudePpArcsec, 1 / r.smearFactor);
        const double cosDec = r.decDeg ? std::cos(*r.decDeg * kPi / 180) : 0;
        if (cosDec > 1e-3) r.amplitudePpAxisArcsec = Scaled(r.amplitudePpCorrectedArcsec, 1 / cosDec);
    }
}

// The RA positions y at times t folded on the period from phase 0 at fold.phaseRefT and
// fitted with the harmonics (see WormFold) together with the drift line (one intercept a part,
// as FitDrift's): a line fitted alone would take up part of an unfinished cycle. Phases,
// cycles and the residuals about that line per point.
void FitWormFold(WormFold& fold, const std::vector<double>& t, const std::vector<double>& y,
                 const std::vector<int>& part, int parts, double exposureS, std::vector<ReportWarning>& warnings) {
    const double period = fold.periodS;
    const std::size_t m = t.size();
    std::vector<double> phase(m);
    std::vector<long long> cycle(m);
    for (std::size_t i = 0; i < m; ++i) {
        const double c = std::floor((t[i] - fold.phaseRefT) / period);
        phase[i] = std::clamp((t[i] - fold.phaseRefT) / period - c, 0.0, std::nextafter(1.0, 0.0));
        cycle[i] = (long long)c;
    }
    const long long first = m ? *std::min_element(cycle.begin(), cycle.end()) : 0;
    fold.phase = phase;
    fold.cycle.clear();
    for (const long long c : cycle) fold.cycle.push_back(int(c - first));

    // The widest gap between the folded phases, round the cycle: a harmonic needs two frames
    // within each of its periods.
    std::vector<double> sorted = phase;
    std::sort(sorted.begin(), sorted.end());
    double gap = sorted.empty() ? 1 : sorted.front() + 1 - sorted.back();
    for (std::size_t i = 1; i < sorted.size(); ++i) gap = std::max(gap, sorted[i] - sorted[i - 1]);
    std::vector<int> orders;
    fold.harmonics.assign(kWormHarmonics, {});
    for (int k = 1; k <= kWormHarmonics; ++k) {
        WormHarmonic& h = fold.harmonics[std::size_t(k - 1)];
        h.order = k;
        h.smearFactor = Sinc(kPi * exposureS * k / period);
        if (!(gap < 0.5 / k)) {
            h.left = "phase_coverage";
            warnings.push_back({"harmonic_phase_coverage", FillMessage(msg::kReportHarmonicCoverage, k)});
        } else if (exposureS * k > kSmearLimit * period) {
            h.left = "exposure_smear";
            warnings.push_back({"harmonic_exposure_smear", FillMessage(msg::kReportHarmonicSmear, k)});
        } else {
            orders.push_back(k);
        }
    }
    if (orders.empty()) return;

    // The highest orders go while the fit has too few frames or cannot tell them apart.
    const Eigen::VectorXd ye = Eigen::Map<const Eigen::VectorXd>(y.data(), Eigen::Index(m));
    const auto [lo, hi] = std::minmax_element(t.begin(), t.end());
    const double tMid = (*lo + *hi) / 2;
    const Eigen::MatrixXd line = Design(t, part, parts, tMid, 0);
    for (; !orders.empty(); orders.pop_back()) {
        const Eigen::Index q = Eigen::Index(2 * orders.size()), p = line.cols() + q;
        if (Eigen::Index(m) < p + 2) continue;
        Eigen::MatrixXd x(Eigen::Index(m), p);
        x.leftCols(line.cols()) = line;
        for (std::size_t i = 0; i < m; ++i) {
            const auto row = Eigen::Index(i);
            for (std::size_t j = 0; j < orders.size(); ++j) {
                const double a = 2 * kPi * orders[j] * phase[i];
                x(row, line.cols() + Eigen::Index(2 * j)) = std::sin(a);
                x(row, line.cols() + Eigen::Index(2 * j + 1)) = std::cos(a);
            }
        }
        const auto qr = x.colPivHouseholderQr();
        if (qr.rank() < p) continue;
        const Eigen::VectorXd b = qr.solve(ye);
        const Eigen::VectorXd e = ye - x * b;
        const double dof = double(Eigen::Index(m) - p);
        const Eigen::MatrixXd cov = (x.transpose() * x).inverse() * (e.squaredNorm() / dof);
        const double tq = StudentT975(dof);
        fold.residualRmsAfterPecArcsec = std::sqrt(e.squaredNorm() / double(m));
        const Eigen::VectorXd about = ye - line * b.head(line.cols());
        fold.residual.assign(about.data(), about.data() + m);

        // Each harmonic's sine and cosine coefficients undone from the smear, and their covariance.
        Eigen::VectorXd c = b.tail(q);
        Eigen::MatrixXd v = cov.bottomRightCorner(q, q);
        for (std::size_t j = 0; j < orders.size(); ++j) {
            const double f = fold.harmonics[std::size_t(orders[j] - 1)].smearFactor;
            for (const Eigen::Index col : {Eigen::Index(2 * j), Eigen::Index(2 * j + 1)}) {
                c(col) /= f;
                v.row(col) /= f;
                v.col(col) /= f;
            }
        }
        for (std::size_t j = 0; j < orders.size(); ++j) {
            WormHarmonic& h = fold.harmonics[std::size_t(orders[j] - 1)];
            const auto s = Eigen::Index(2 * j), k = s + 1;
            const double a = c(s), bc = c(k), amplitude = std::hypot(a, bc);
            const double se =
                amplitude > 0
                    ? std::sqrt(std::max(0.0, a * a * v(s, s) + bc * bc * v(k, k) + 2 * a * bc * v(s, k))) / amplitude
                    : std::sqrt(std::max(v(s, s), v(k, k)));
            h.amplitudeArcsec = Figure{amplitude, std::pair(std::max(0.0, amplitude - tq * se), amplitude + tq * se)};
            h.phaseRad = std::atan2(bc, a);
        }
        for (int n = 0; n < WormFold::kCurvePoints; ++n) {
            const double ph = double(n) / WormFold::kCurvePoints;
            Eigen::VectorXd g(q);
            for (std::size_t j = 0; j < orders.size(); ++j) {
                const double a = 2 * kPi * orders[j] * ph;
                g(Eigen::Index(2 * j)) = std::sin(a);
                g(Eigen::Index(2 * j + 1)) = std::cos(a);
            }
            const double value = g.dot(c), half = tq * std::sqrt(std::max(0.0, g.dot(v * g)));
            fold.curve.push_back({ph, value, value - half, value + half});
        }
        return;
    }
    warnings.push_back({"fold_too_few_frames", msg::kReportFoldTooFew});
}

}  // namespace

double WormCurveAt(const WormFold& fold, double phase) {
    double v = 0;
    for (const WormHarmonic& h : fold.harmonics)
        if (h.left.empty() && std::isfinite(h.amplitudeArcsec.value))
            v += h.amplitudeArcsec.value * std::sin(2 * kPi * h.order * phase + h.phaseRad);
    return v;
}

std::pair<double, double> TurnToSky(double dx, double dy, double cameraAngleDeg) {
    // Quarter turns exactly, so that 90 degrees gives no rounding residue on the other axis.
    double a = std::fmod(cameraAngleDeg, 360.0);
    if (a < 0) a += 360;
    double c = 0, s = 0;
    if (a == 0) c = 1;
    else if (a == 90) s = 1;
    else if (a == 180) c = -1;
    else if (a == 270) s = -1;
    else c = std::cos(a * kPi / 180), s = std::sin(a * kPi / 180);
    return {dx * c + dy * s, -dx * s + dy * c};
}

TrackingReport ComputeReport(const std::vector<ReportFrame>& frames, const ReportOptions& options) {
    return ComputeReport(frames, FrameTimes(frames, options.intervalS), options);
}

// Saturated frames keep their positions (the centroid of a clipped star is still sound) but
// not their widths: a clipped profile fits too wide a Gaussian.
TrackingReport ComputeReport(const std::vector<ReportFrame>& frames, const TimeAxis& times,
                             const ReportOptions& options) {
    const std::size_t n = frames.size();
    if (times.t.size() != n) throw std::invalid_argument("one time per frame");
    TrackingReport r;
    r.timeSource = times.source;
    r.epochUtcS = times.epochUtcS;
    r.t = times.t;
    r.superpixels = std::any_of(frames.begin(), frames.end(), [](const ReportFrame& f) { return f.superpixels; });
    r.arcsecPerPixel = options.arcsecPerPixel;
    r.scaleSource = options.scaleSource;
    r.cameraAngleDeg = options.cameraAngleDeg;
    r.wormPeriodS = options.wormPeriodS;
    r.decDeg = options.decDeg ? options.decDeg : n ? FramesDeclination(frames) : std::nullopt;
    r.ra.assign(n, kNoValue);
    r.dec.assign(n, kNoValue);
    r.centroidSigmaPx.assign(n, kNoValue);
    r.flags.resize(n);
    r.lostReasons.resize(n);
    r.used.assign(n, false);
    r.driftRa.ci95 = r.driftDec.ci95 = std::pair(kNoValue, kNoValue);
    if (r.decDeg) r.polarAlignmentErrorArcmin = Figure{kNoValue, std::pair(kNoValue, kNoValue)};

    // Frames whose time is not later than the one before are left out; a meridian flip starts
    // a new part of the night, turned by 180 degrees from the part before it.
    const std::vector<std::string> timeFlags = TimeOrderFlags(times.t);
    r.meridianFlips = MeridianFlips(frames);
    std::vector<int> part(n, 0);
    for (std::size_t i = 0, k = 0; i < n; ++i) {
        if (k < r.meridianFlips.size() && r.meridianFlips[k] == i) ++k;
        part[i] = int(k);
    }
    // Clouds are left out; a step of the track (a dither, a bump) starts a stretch of its own.
    const std::vector<bool> cloud = night::Clouds(frames);
    std::vector<bool> usable(n);
    for (std::size_t i = 0; i < n; ++i) usable[i] = frames[i].found && timeFlags[i].empty() && !cloud[i];
    const std::vector<bool> step = night::Steps(frames, times.t, usable, part);
    std::vector<int> stretch(n, 0);
    for (std::size_t i = 0, steps = 0; i < n; ++i) {
        steps += step[i];
        stretch[i] = part[i] + int(steps);
    }
    const std::vector<bool> jump = Jumps(frames, times.t, usable, stretch);
    std::vector<double> t, ra, dec, fwhm, hfd, fwhmT;
    std::vector<std::size_t> index;
    std::vector<int> fitPart;  // the used frames' parts, numbered over the parts that have one
    for (std::size_t i = 0; i < n; ++i) {
        const ReportFrame& f = frames[i];
        r.frames.push_back(f.path);
        r.centroidSigmaPx[i] = f.centroidSigmaPx;
        if (f.saturated) r.flags[i].push_back("saturated");
        const bool lost = !f.found || jump[i];
        if (lost) {
            r.flags[i].push_back("lost");
            r.lostReasons[i] =
                f.found ? TrackingReport::LostReason{"jump", msg::kReportLostJump}
                        : TrackingReport::LostReason{f.lostReason.empty() ? "no_star" : f.lostReason,
                                                     f.lostReason.empty() ? msg::kReportLostNoStar : f.lostMessage};
        }
        if (cloud[i] && !lost) r.flags[i].push_back("cloud");
        if (!timeFlags[i].empty()) r.flags[i].push_back(timeFlags[i]);
        if (std::find(r.meridianFlips.begin(), r.meridianFlips.end(), i) != r.meridianFlips.end())
            r.flags[i].push_back("meridian_flip");
        if (lost || !timeFlags[i].empty() || cloud[i]) continue;
        r.used[i] = true;
        if (step[i]) r.flags[i].push_back("jump"), r.jumps.push_back(i);
        const ReportFrame& first = frames[index.empty() ? i : index.front()];
        const double turn = part[i] % 2 ? -1 : 1;
        const auto [dr, dd] = TurnToSky(turn * (f.x - first.x), turn * (f.y - first.y), options.cameraAngleDeg);
        r.ra[i] = dr * options.arcsecPerPixel;
        r.dec[i] = dd * options.arcsecPerPixel;
        if (index.empty()) fitPart.push_back(0);
        else fitPart.push_back(fitPart.back() + (stretch[i] != stretch[index.back()]));
        index.push_back(i);
        t.push_back(times.t[i]);
        ra.push_back(r.ra[i]);
        dec.push_back(r.dec[i]);
        if (!f.saturated) fwhm.push_back(f.fwhmPx), hfd.push_back(f.hfdPx), fwhmT.push_back(times.t[i]);
    }
    const int parts = fitPart.empty() ? 1 : fitPart.back() + 1;
    r.fwhmPx.value = Median(fwhm);
    r.fwhmArcsec.value = r.fwhmPx.value * options.arcsecPerPixel;
    r.hfdPx.value = Median(hfd);
    r.fwhmTrendPxPerHour = night::WidthTrend(fwhmT, fwhm);
    if (r.fwhmTrendPxPerHour.ci95 && r.fwhmTrendPxPerHour.ci95->first > 0) {
        const double hours = (*std::max_element(fwhmT.begin(), fwhmT.end()) - fwhmT.front()) / 3600;
        const double rise = r.fwhmTrendPxPerHour.value * hours;
        if (rise > kFocusRise * r.fwhmPx.value)
            r.warnings.push_back({"focus_drift", FillMessage(msg::kReportFocusDrift, FormatFixed(rise, 2),
                                                             FormatFixed(r.fwhmTrendPxPerHour.value, 2))});
    }

    // The periodic error is looked for in the residuals of the plain line, which the drift
    // interval then needs.
    const DriftLine plainRa = FitDrift(t, ra, fitPart, parts, 0);
    if (!plainRa.residual.empty()) r.pe = FindPeriodicError(t, plainRa.residual, options.wormPeriodS);
    r.exposureS = FramesExposure(frames);
    CorrectSmear(r, t);
    const double span = t.empty() ? 0 : *std::max_element(t.begin(), t.end()) - *std::min_element(t.begin(), t.end());
    const double omega =
        r.pe.fap.value < kHarmonicFap && r.pe.periodS.value * kJointCycles <= span ? 2 * kPi / r.pe.periodS.value : 0;
    const DriftLine lineRa = FitDrift(t, ra, fitPart, parts, omega), lineDec = FitDrift(t, dec, fitPart, parts, omega);
    if (lineRa.residual.empty() || lineDec.residual.empty()) return r;
    // Each later part moved onto the first part's lines.
    for (std::size_t k = 0; k < index.size(); ++k) {
        if (fitPart[k] == 0) continue;
        r.ra[index[k]] += lineRa.intercepts[0] - lineRa.intercepts[std::size_t(fitPart[k])];
        r.dec[index[k]] += lineDec.intercepts[0] - lineDec.intercepts[std::size_t(fitPart[k])];
    }

    const auto perMinute = [](const Figure& f) {
        return Figure{f.value * 60, std::pair(f.ci95->first * 60, f.ci95->second * 60)};
    };
    r.driftRa = perMinute(lineRa.slope);
    r.driftDec = perMinute(lineDec.slope);
    r.interceptRa = lineRa.intercepts[0];
    r.interceptDec = lineDec.intercepts[0];
    r.rmsRa.value = Rms(lineRa.residual);
    r.rmsDec.value = Rms(lineDec.residual);
    r.rmsTotal.value = std::hypot(r.rmsRa.value, r.rmsDec.value);

    // The worm's cycle folded from phase 0: the given time when the frames carry dates, else
    // the first frame's.
    WormFold& fold = r.worm;
    fold.phaseRef = "first_frame";
    if (options.phaseRefUtcS && times.epochUtcS) {
        fold.phaseRef = "given";
        fold.phaseRefT = *options.phaseRefUtcS - *times.epochUtcS;
    } else if (options.phaseRefUtcS) {
        r.warnings.push_back({"phase_ref_without_dates", msg::kReportPhaseRefNoDates});
    }
    if (times.epochUtcS) fold.phaseRefUtcS = *times.epochUtcS + fold.phaseRefT;
    if (options.wormPeriodS && *options.wormPeriodS > 0) {
        fold.periodS = *options.wormPeriodS, fold.periodSource = "worm_period";
    } else if (r.pe.fap.value < kHarmonicFap && r.pe.periodS.value > 0) {
        fold.periodS = r.pe.periodS.value, fold.periodSource = "detected";
    } else {
        r.warnings.push_back({"no_worm_period", msg::kReportNoWormPeriod});
    }
    if (std::isfinite(fold.periodS)) {
        FitWormFold(fold, t, ra, fitPart, parts, r.exposureS.value_or(0), r.warnings);
        // Per frame, list order.
        std::vector<double> phase(n, kNoValue), residual(n, kNoValue);
        std::vector<int> cycle(n, -1);
        for (std::size_t k = 0; k < index.size(); ++k) {
            phase[index[k]] = fold.phase[k], cycle[index[k]] = fold.cycle[k];
            if (k < fold.residual.size()) residual[index[k]] = fold.residual[k];
        }
        fold.phase = std::move(phase);
        fold.cycle = std::move(cycle);
        fold.residual = std::move(residual);
    }

    if (r.decDeg) {
        // At the pole a declination drift says nothing about the axis: no figure there.
        const double cosDec = std::abs(std::cos(*r.decDeg * kPi / 180));
        const double scale = cosDec > 1e-3 ? kPolarFactor / cosDec : kNoValue;
        const auto [lo, hi] = *r.driftDec.ci95;
        const double far = std::max(std::abs(lo), std::abs(hi));
        const double near = lo <= 0 && hi >= 0 ? 0 : std::min(std::abs(lo), std::abs(hi));
        if (std::isfinite(scale))
            r.polarAlignmentErrorArcmin =
                Figure{std::abs(r.driftDec.value) * scale, std::pair(near * scale, far * scale)};
    }

    night::StructureFunction(r);
    const auto site = options.siteLatDeg && options.siteLonDeg
                          ? std::optional(std::pair(*options.siteLatDeg, *options.siteLonDeg))
                          : FramesSite(frames);
    const auto raDeg = options.raDeg ? options.raDeg : FramesRightAscension(frames);
    if (site && raDeg) night::PolarByHourAngle(r, times, site->first, site->second, *raDeg);

    // Noise limited: the residuals in pixels, both axes, pass a chi-square test at 95 %
    // against the frames' centroid sigmas, or lie within kNoiseAllowance of them.
    double chi2 = 0;
    int terms = 0;
    for (std::size_t k = 0; k < index.size(); ++k) {
        const double sigma = frames[index[k]].centroidSigmaPx * options.arcsecPerPixel;
        if (!(sigma > 0) || !std::isfinite(sigma)) continue;
        chi2 += (lineRa.residual[k] * lineRa.residual[k] + lineDec.residual[k] * lineDec.residual[k]) / (sigma * sigma);
        terms += 2;
    }
    const double dof = terms - 2 * (parts + 1);
    r.noiseLimited = dof >= 1 && chi2 <= std::max(ChiSquare95(dof), dof * kNoiseAllowance * kNoiseAllowance);
    return r;
}

}  // namespace nuvak
