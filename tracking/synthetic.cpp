#include "tracking/synthetic.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <span>
#include <stdexcept>

#include "core/fileio.h"
#include "core/format.h"
#include "core/samples.h"
#include "tracking/report.h"

namespace nuvak {

namespace {

// A seeded generator whose draws are the same on every platform: the 64-bit Mersenne
// twister is fully specified, the conversions to uniform and normal draws are our own.
class Noise {
public:
    explicit Noise(std::uint64_t seed) : engine_(seed) {}
    // Uniform in (0, 1).
    double uniform() { return (double(engine_() >> 11) + 0.5) * 0x1.0p-53; }
    double normal() {
        if (spare_) {
            spare_ = false;
            return next_;
        }
        const double r = std::sqrt(-2 * std::log(uniform())), a = 2 * std::numbers::pi * uniform();
        next_ = r * std::sin(a);
        spare_ = true;
        return r * std::cos(a);
    }

private:
    std::mt19937_64 engine_;
    bool spare_ = false;
    double next_ = 0;
};

// Days from 1970-01-01 of a civil date, and back (proleptic Gregorian calendar).
long long daysFromCivil(long long y, unsigned m, unsigned d) {
    y -= m <= 2;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = unsigned(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void civilFromDays(long long z, long long& y, unsigned& m, unsigned& d) {
    z += 719468;
    const long long era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = unsigned(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    y = (long long)yoe + era * 400 + (m <= 2);
}

// Milliseconds since 1970 of "YYYY-MM-DDTHH:MM:SS[.fff]".
long long parseStart(const std::string& iso) {
    int y = 0, mo = 0, d = 0, h = 0, mi = 0;
    int secondsAt = 0;
    double s = 0;
    // The seconds by from_chars: scanf's %lf would want the locale's decimal comma.
    if (std::sscanf(iso.c_str(), "%d-%d-%dT%d:%d:%n", &y, &mo, &d, &h, &mi, &secondsAt) != 5 || secondsAt == 0 ||
        std::from_chars(iso.data() + secondsAt, iso.data() + iso.size(), s).ptr != iso.data() + iso.size())
        throw std::invalid_argument("synthetic start time is not YYYY-MM-DDTHH:MM:SS: " + iso);
    return (daysFromCivil(y, unsigned(mo), unsigned(d)) * 86400 + h * 3600 + mi * 60) * 1000 + std::llround(s * 1000);
}

std::string formatMillis(long long ms) {
    const long long days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    const long long rest = ms - days * 86400000;
    long long y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02lld:%02lld:%02lld.%03lld", y, m, d, rest / 3600000,
                  rest / 60000 % 60, rest / 1000 % 60, rest % 1000);
    return buf;
}

std::string quoted(const std::string& s) {
    std::string q = "'" + s;
    if (q.size() < 9) q.resize(9, ' ');  // a string value holds at least eight characters
    return q + "'";
}

std::string declination(double deg) {
    const double a = std::abs(deg);
    long long arcsec = std::llround(a * 3600);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%c%02lld %02lld %02lld", deg < 0 ? '-' : '+', arcsec / 3600, arcsec / 60 % 60,
                  arcsec % 60);
    return buf;
}

}  // namespace

void WriteFits16(const std::string& path, int w, int h, const std::vector<std::uint16_t>& v,
                 const std::vector<std::pair<std::string, std::string>>& cards) {
    IntArray2D samples(w, h);
    std::copy(v.begin(), v.begin() + std::ptrdiff_t(samples.size()), samples.data());
    std::vector<std::string> extra;
    extra.reserve(cards.size());
    for (const auto& [keyword, value] : cards) extra.push_back(FitsCard(keyword, value));
    WriteFileAtomically(path, EncodeFits16(samples, w, h, extra));
}

std::vector<SyntheticFrame> WriteSyntheticSequence(const std::string& folder, const SyntheticOptions& o) {
    Noise noise(o.seed);
    const int n = o.frames;
    std::vector<SyntheticFrame> frames(std::size_t(std::max(n, 0)));

    // The times: exposure starts at an uneven cadence with a gap, to the millisecond as the
    // headers hold them; the truth is taken at mid-exposure.
    const long long start = parseStart(o.start);
    std::vector<long long> starts;
    for (int k = 0; k < n; ++k) {
        double s = k * o.cadenceS + (k > 0 ? (2 * noise.uniform() - 1) * o.jitterS : 0);
        if (o.gapAfter >= 0 && k >= o.gapAfter) s += o.gapS;
        starts.push_back(k == o.backwardFrame && k > 0 ? starts.back() - std::llround(o.backwardS * 1000)
                                                       : start + std::llround(s * 1000));
    }

    // The sky track: drift, periodic error in RA and white wander on both axes, from frame 0.
    const double pi = std::numbers::pi;
    auto ra = [&](double t) {
        const double pe2 =
            o.pe2PeakToPeak != 0 ? o.pe2PeakToPeak / 2 * std::sin(4 * pi * t / o.pePeriodS + o.pe2Phase) : 0;
        return o.driftRa * t / 60 + o.pePeakToPeak / 2 * std::sin(2 * pi * t / o.pePeriodS + o.pePhase) + pe2;
    };
    // The polar axis's error seen as a declination: s (dAlt cos H - dAz cos(lat) sin H), whose
    // rate is the drift -s w (dAlt sin H + dAz cos(lat) cos H).
    const double midS = double(start) / 1000 + o.exposureS / 2, raDeg = o.raHours * 15;
    const double cosLat = std::cos(o.siteLatDeg * pi / 180), hemisphere = o.siteLatDeg >= 0 ? 1 : -1;
    auto polar = [&](double t) {
        if (!o.polar) return 0.0;
        const double h = HourAngleHours(midS + t, o.siteLonDeg, raDeg) * pi / 12;
        return 60 * hemisphere * (o.polarAltArcmin * std::cos(h) - o.polarAzArcmin * cosLat * std::sin(h));
    };
    auto dec = [&](double t) { return o.driftDec * t / 60 + polar(t); };
    std::vector<double> wr(frames.size()), wd(frames.size());
    for (std::size_t k = 0; k < frames.size(); ++k) {
        wr[k] = o.wanderArcsec * noise.normal();
        wd[k] = o.wanderArcsec * noise.normal();
    }
    const double theta = o.cameraAngleDeg * pi / 180;
    double xmin = 1e300, xmax = -1e300, ymin = 1e300, ymax = -1e300;
    for (std::size_t k = 0; k < frames.size(); ++k) {
        SyntheticFrame& f = frames[k];
        f.t = double(starts[k] - starts[0]) / 1000;
        f.ra = ra(f.t) + wr[k] - ra(0) - wr[0];
        f.dec = dec(f.t) + wd[k] - dec(0) - wd[0];
        // The sky offset back onto the image: the inverse of r = x cos + y sin, d = -x sin + y cos.
        const double r = f.ra / o.arcsecPerPixel, d = f.dec / o.arcsecPerPixel;
        f.x = r * std::cos(theta) - d * std::sin(theta);
        f.y = r * std::sin(theta) + d * std::cos(theta);
        xmin = std::min(xmin, f.x), xmax = std::max(xmax, f.x);
        ymin = std::min(ymin, f.y), ymax = std::max(ymax, f.y);
        if (o.ditherFrame >= 0 && int(k) >= o.ditherFrame) f.x += o.ditherPx, f.y += o.ditherPx;
        f.saturated = int(k) == o.saturatedFrame;
        f.lost = int(k) == o.lostFrame;
    }
    // The track centred in the frame.
    const double ox = o.width / 2.0 - (xmin + xmax) / 2, oy = o.height / 2.0 - (ymin + ymax) / 2;

    // The star's peak for the asked signal-to-noise ratio at the peak: A / sqrt(A + B) = S.
    const double b = o.sky + o.readNoise * o.readNoise, s2 = o.peakSnr * o.peakSnr;
    const double amplitude = (s2 + std::sqrt(s2 * s2 + 4 * s2 * b)) / 2;
    const double sigma = o.fwhmPx / (2 * std::sqrt(2 * std::log(2.0)));
    const int reach = int(std::ceil(6 * sigma));
    const int w = o.width, h = o.height;

    std::vector<std::uint16_t> v(std::size_t(w) * std::size_t(h));
    std::vector<std::pair<double, double>> at;  // the star's centres that the frame averages
    for (std::size_t k = 0; k < frames.size(); ++k) {
        SyntheticFrame& f = frames[k];
        f.x += ox;
        f.y += oy;
        at.assign(1, {f.x, f.y});
        if (o.smear) {
            // The track's own motion through the exposure about mid-exposure; the wander holds still.
            at.clear();
            for (int j = 0; j < kSmearSteps; ++j) {
                const double s = f.t + o.exposureS * ((j + 0.5) / kSmearSteps - 0.5);
                const double r = (ra(s) - ra(f.t)) / o.arcsecPerPixel, d = (dec(s) - dec(f.t)) / o.arcsecPerPixel;
                at.emplace_back(f.x + r * std::cos(theta) - d * std::sin(theta),
                                f.y + r * std::sin(theta) + d * std::cos(theta));
            }
        }
        const double sky = f.lost ? o.sky * 1.3 : o.sky;
        const double a = f.lost                   ? 0
                         : f.saturated            ? amplitude * 25
                         : int(k) == o.cloudFrame ? amplitude * o.cloudShare
                                                  : amplitude;
        for (int x = 0; x < w; ++x)
            for (int y = 0; y < h; ++y) {
                // The Gaussian sampled at the pixel centre.
                double signal = sky, star = 0;
                for (const auto& [cx, cy] : at) {
                    const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
                    if (a > 0 && std::abs(dx) <= reach && std::abs(dy) <= reach)
                        star += std::exp(-(dx * dx + dy * dy) / (2 * sigma * sigma));
                }
                if (star > 0) signal += a * star / double(at.size());
                const double value = signal + std::sqrt(signal + o.readNoise * o.readNoise) * noise.normal();
                v[std::size_t(x) * std::size_t(h) + std::size_t(y)] =
                    std::uint16_t(std::clamp(std::lround(value), 0L, 65535L));
            }
        char name[32];
        std::snprintf(name, sizeof name, "frame_%03zu.fits", k);
        f.path = folder + "/" + name;
        const std::string exptime = FormatDecimals(o.exposureS, 3);
        std::vector<std::pair<std::string, std::string>> cards = {{"DATE-OBS", quoted(formatMillis(starts[k]))},
                                                                  {"EXPTIME", exptime},
                                                                  {"OBJCTDEC", quoted(declination(o.decDeg))}};
        if (o.polar) {
            cards.emplace_back("SITELAT", FormatDecimals(o.siteLatDeg, 6));
            cards.emplace_back("SITELONG", FormatDecimals(o.siteLonDeg, 6));
            const long long raS = std::llround(std::clamp(o.raHours, 0.0, 24.0) * 3600);
            char text[32];
            std::snprintf(text, sizeof text, "%02lld %02lld %02lld", raS / 3600, raS / 60 % 60, raS % 60);
            cards.emplace_back("OBJCTRA", quoted(text));
        }
        WriteFits16(f.path, w, h, v, cards);
    }
    return frames;
}

}  // namespace nuvak
