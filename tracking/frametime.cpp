// The report's time axis and the header values it reads: the frame times (DATE-AVG, DATE-OBS
// with TIME-OBS, MJD-OBS, MJD-AVG, JD; EXPTIME or EXPOSURE), the pixel scale (FOCALLEN,
// XPIXSZ, PIXSIZE1, XBINNING), the declination (OBJCTDEC, DEC) and the pier side (PIERSIDE).

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "core/fits.h"
#include "tracking/report.h"
#include "tracking/statistics.h"

namespace nuvak {

namespace {

constexpr std::string_view kBlanks = " \t";

std::string_view trimmed(std::string_view s) {
    const auto b = s.find_first_not_of(kBlanks);
    if (b == std::string_view::npos) return {};
    return s.substr(b, s.find_last_not_of(kBlanks) - b + 1);
}

// Exactly n decimal digits at s[pos], advancing pos past them.
std::optional<int> digits(std::string_view s, std::size_t& pos, int n) {
    if (pos + n > s.size()) return std::nullopt;
    int v = 0;
    for (int k = 0; k < n; ++k) {
        const char c = s[pos + k];
        if (c < '0' || c > '9') return std::nullopt;
        v = v * 10 + (c - '0');
    }
    pos += n;
    return v;
}

bool expect(std::string_view s, std::size_t& pos, char c) {
    if (pos >= s.size() || s[pos] != c) return false;
    ++pos;
    return true;
}

// A whole text as a finite number (no blanks, no trailing characters).
// A FITS number may carry its exponent as D.
std::optional<double> number(std::string_view s) {
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    std::string text(s);
    std::replace(text.begin(), text.end(), 'D', 'E');
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (text.empty() || ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
long long daysFromCivil(int y, int m, int d) {
    y -= m <= 2;
    const int era = (y >= 0 ? y : y - 399) / 400;
    const int yoe = y - era * 400;
    const int doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const int doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return (long long)era * 146097 + doe - 719468;
}

int daysInMonth(int y, int m) {
    static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return m == 2 && leap ? 29 : kDays[m - 1];
}

// "hh:mm:ss" with an optional fraction ".f..." at s[pos], as seconds of the day; pos advanced.
// A leap second (ss = 60) is taken.
std::optional<double> timeOfDay(std::string_view s, std::size_t& pos) {
    const auto hh = digits(s, pos, 2);
    if (!hh || !expect(s, pos, ':')) return std::nullopt;
    const auto mm = digits(s, pos, 2);
    if (!mm || !expect(s, pos, ':')) return std::nullopt;
    const auto ss = digits(s, pos, 2);
    if (!ss || *hh > 23 || *mm > 59 || *ss > 60) return std::nullopt;
    double fraction = 0;
    if (pos < s.size() && s[pos] == '.') {
        double scale = 0.1;
        std::size_t end = ++pos;
        for (; end < s.size() && s[end] >= '0' && s[end] <= '9'; ++end, scale *= 0.1)
            fraction += (s[end] - '0') * scale;
        if (end == pos) return std::nullopt;
        pos = end;
    }
    return *hh * 3600.0 + *mm * 60.0 + *ss + fraction;
}

// The date at the start of s ("YYYY-MM-DD") as days from 1970-01-01; pos advanced.
std::optional<long long> date(std::string_view s, std::size_t& pos) {
    const auto y = digits(s, pos, 4);
    if (!y || !expect(s, pos, '-')) return std::nullopt;
    const auto m = digits(s, pos, 2);
    if (!m || !expect(s, pos, '-')) return std::nullopt;
    const auto d = digits(s, pos, 2);
    if (!d || *m < 1 || *m > 12 || *d < 1 || *d > daysInMonth(*y, *m)) return std::nullopt;
    return daysFromCivil(*y, *m, *d);
}

// A date-time in seconds since 1970 from the keyword's value with its time of day, or from a
// value that holds the date alone plus the time of day in timeKey (when one is named). A date
// without any time of day is no time.
std::optional<double> dateTime(const std::string& cards, std::string_view dateKey, std::string_view timeKey) {
    const auto dateValue = HeaderValue(cards, dateKey);
    if (!dateValue) return std::nullopt;
    const std::string_view text = trimmed(*dateValue);
    std::size_t pos = 0;
    const auto day = date(text, pos);
    if (!day) return std::nullopt;
    if (pos < text.size()) return ParseIsoDateTime(text);
    if (timeKey.empty()) return std::nullopt;
    const auto timeObs = HeaderValue(cards, timeKey);
    if (!timeObs) return std::nullopt;
    const std::string_view t = trimmed(*timeObs);
    std::size_t tpos = 0;
    const auto seconds = timeOfDay(t, tpos);
    if (!seconds || !(tpos == t.size() || (tpos + 1 == t.size() && t[tpos] == 'Z'))) return std::nullopt;
    return double(*day) * 86400.0 + *seconds;
}

// The keyword's value as a finite number; nothing without one.
std::optional<double> numberCard(const std::string& cards, std::string_view key) {
    const auto v = HeaderValue(cards, key);
    return v ? number(trimmed(*v)) : std::nullopt;
}

// The exposure time in seconds from EXPTIME, else EXPOSURE; 0 without a usable one.
double exposure(const std::string& cards) {
    for (const char* key : {"EXPTIME", "EXPOSURE"}) {
        if (const auto v = HeaderValue(cards, key)) {
            if (const auto e = number(trimmed(*v)); e && *e >= 0) return *e;
        }
    }
    return 0;
}

// "+45 30 00", "45:30:00", "-05 12 30.5", "45 30" or "45.5": the fields' value in their
// first field's unit. The sign belongs to the whole angle, so "-00 30 00" is -0.5.
std::optional<double> sexagesimal(std::string_view s) {
    s = trimmed(s);
    bool negative = false;
    if (!s.empty() && (s.front() == '+' || s.front() == '-')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    std::vector<std::string_view> fields;
    while (!s.empty()) {
        const auto end = std::min(s.find_first_of(" :"), s.size());
        if (end == 0) return std::nullopt;  // a doubled separator
        fields.push_back(s.substr(0, end));
        s.remove_prefix(end);
        if (!s.empty()) {
            s.remove_prefix(1);
            if (s.empty()) return std::nullopt;  // a trailing separator
        }
    }
    if (fields.empty() || fields.size() > 3) return std::nullopt;
    double degrees = 0, scale = 1;
    for (std::size_t k = 0; k < fields.size(); ++k, scale /= 60) {
        if (fields[k].front() == '-' || fields[k].front() == '+') return std::nullopt;
        const auto v = number(fields[k]);
        if (!v || (k > 0 && *v >= 60)) return std::nullopt;
        degrees += *v * scale;
    }
    return negative ? -degrees : degrees;
}

// A declination in degrees, sexagesimal or not, within +-90.
std::optional<double> declination(std::string_view s) {
    const auto d = sexagesimal(s);
    if (!d || std::abs(*d) > 90) return std::nullopt;
    return d;
}

}  // namespace

std::optional<double> ParseIsoDateTime(std::string_view text) {
    text = trimmed(text);
    std::size_t pos = 0;
    const auto day = date(text, pos);
    if (!day) return std::nullopt;
    double seconds = 0;
    if (pos < text.size()) {
        if (text[pos] != 'T' && text[pos] != ' ') return std::nullopt;
        ++pos;
        const auto t = timeOfDay(text, pos);
        if (!t) return std::nullopt;
        seconds = *t;
        if (pos < text.size() && text[pos] == 'Z') ++pos;
        if (pos != text.size()) return std::nullopt;
    }
    return double(*day) * 86400.0 + seconds;
}

namespace {

// A frame's mid-exposure time from one source: value in units of unitS seconds, plus halfS
// seconds (half the exposure for a source that gives the start).
struct Stamp {
    double value = 0, unitS = 1, halfS = 0;
};

constexpr std::string_view kTimeSources[] = {"DATE-AVG", "DATE-OBS", "MJD-OBS", "MJD-AVG", "JD"};

std::optional<Stamp> stamp(const std::string& cards, std::string_view source) {
    std::optional<double> value;
    double unitS = 86400;
    bool start = true;
    if (source == "DATE-AVG") value = dateTime(cards, "DATE-AVG", {}), unitS = 1, start = false;
    else if (source == "DATE-OBS") value = dateTime(cards, "DATE-OBS", "TIME-OBS"), unitS = 1;
    else if (source == "MJD-AVG") value = numberCard(cards, source), start = false;
    else value = numberCard(cards, source);  // MJD-OBS and JD: the exposure start
    if (!value) return std::nullopt;
    return Stamp{*value, unitS, start ? 0.5 * exposure(cards) : 0};
}

}  // namespace

TimeAxis FrameTimes(const std::vector<ReportFrame>& frames, double intervalS) {
    // The first source that every frame whose header was read has. A frame that could not
    // be read has no time.
    for (const std::string_view source : kTimeSources) {
        std::vector<std::optional<Stamp>> stamps;
        stamps.reserve(frames.size());
        std::optional<Stamp> first;
        bool all = true;
        for (const ReportFrame& f : frames) {
            if (f.headerCards.empty()) {
                stamps.emplace_back();
                continue;
            }
            stamps.push_back(stamp(f.headerCards, source));
            if (!stamps.back()) {
                all = false;
                break;
            }
            if (!first) first = stamps.back();
        }
        if (!all || !first) continue;
        const Stamp& origin = *first;
        TimeAxis axis;
        axis.source = source;
        // Days are MJD (day 40587 at 1970-01-01) or JD (2440587.5 there).
        const double dayZero = source == "JD" ? 2440587.5 : 40587;
        axis.epochUtcS =
            origin.unitS == 1 ? origin.value + origin.halfS : (origin.value - dayZero) * origin.unitS + origin.halfS;
        for (const auto& s : stamps) {
            if (!s) axis.t.push_back(kNoValue);
            else if (s->unitS == 1)  // seconds since 1970: far from overflowing their precision
                axis.t.push_back((s->value + s->halfS) - (origin.value + origin.halfS));
            else  // days: their difference first, which keeps the microseconds
                axis.t.push_back((s->value - origin.value) * s->unitS + (s->halfS - origin.halfS));
        }
        return axis;
    }
    TimeAxis axis;
    axis.source = "interval";
    for (std::size_t i = 0; i < frames.size(); ++i) axis.t.push_back(intervalS * double(i));
    return axis;
}

std::optional<double> FramesExposure(const std::vector<ReportFrame>& frames) {
    std::vector<double> e;
    for (const ReportFrame& f : frames) {
        if (f.headerCards.empty()) continue;
        for (const char* key : {"EXPTIME", "EXPOSURE"})
            if (const auto v = numberCard(f.headerCards, key); v && *v >= 0) {
                e.push_back(*v);
                break;
            }
    }
    if (e.empty()) return std::nullopt;
    std::sort(e.begin(), e.end());
    const std::size_t h = e.size() / 2;
    return e.size() % 2 ? e[h] : (e[h - 1] + e[h]) / 2;
}

std::string FormatIsoDateTime(double utcS) {
    const long long ms = std::llround(utcS * 1000);
    const long long days = ms >= 0 ? ms / 86400000 : -((-ms + 86399999) / 86400000);
    const long long rest = ms - days * 86400000;
    // Civil date from days since 1970 (proleptic Gregorian calendar).
    const long long z = days + 719468, era = (z >= 0 ? z : z - 146096) / 146097;
    const long long doe = z - era * 146097, yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const long long doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
    const long long d = doy - (153 * mp + 2) / 5 + 1, m = mp < 10 ? mp + 3 : mp - 9, y = yoe + era * 400 + (m <= 2);
    const auto part = [&](long long v, long long range) { return unsigned(std::clamp(v, 0LL, range - 1)); };
    char buf[96];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02u:%02u:%02u.%03u", y, part(m, 13), part(d, 32),
                  part(rest / 3600000, 24), part(rest / 60000 % 60, 60), part(rest / 1000 % 60, 60),
                  part(rest % 1000, 1000));
    return buf;
}

std::vector<std::string> TimeOrderFlags(const std::vector<double>& t) {
    std::vector<std::string> flags(t.size());
    std::optional<double> last;
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (!std::isfinite(t[i])) continue;
        if (last && t[i] < *last) flags[i] = "time_backwards";
        else if (last && t[i] == *last) flags[i] = "time_repeated";
        last = t[i];
    }
    return flags;
}

std::optional<PixelScale> FramesScale(const std::vector<ReportFrame>& frames, double multiplier) {
    const auto positive = [](const std::string& cards, std::string_view key) -> std::optional<double> {
        const auto v = numberCard(cards, key);
        return v && *v > 0 ? v : std::nullopt;
    };
    for (const std::string_view source : {"FOCALLEN+XPIXSZ", "FOCALLEN+PIXSIZE1*XBINNING"}) {
        std::optional<double> scale;
        bool all = true;
        for (const ReportFrame& f : frames) {
            if (f.headerCards.empty()) continue;
            const auto focal = positive(f.headerCards, "FOCALLEN");
            std::optional<double> pixel;
            if (source == "FOCALLEN+XPIXSZ") {
                pixel = positive(f.headerCards, "XPIXSZ");
            } else if (const auto size = positive(f.headerCards, "PIXSIZE1")) {
                const bool binned = HeaderValue(f.headerCards, "XBINNING").has_value();
                const auto binning = binned ? positive(f.headerCards, "XBINNING") : std::optional<double>(1);
                if (binning) pixel = *size * *binning;
            }
            if (!focal || !pixel) {
                all = false;
                break;
            }
            const double s = LabelArcsecPerPixel(*pixel, *focal, multiplier);
            // One night, one scale: frames that disagree give none.
            if (scale && std::abs(s - *scale) > 1e-9 * *scale) return std::nullopt;
            scale = s;
        }
        if (all && scale) return PixelScale{*scale, std::string(source)};
    }
    return std::nullopt;
}

std::vector<std::size_t> MeridianFlips(const std::vector<ReportFrame>& frames) {
    std::vector<std::size_t> flips;
    std::string side;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const auto value = HeaderValue(frames[i].headerCards, "PIERSIDE");
        if (!value) continue;
        std::string s(trimmed(*value));
        for (char& c : s) c = char(std::toupper((unsigned char)c));
        if (s != "EAST" && s != "WEST") continue;
        if (!side.empty() && s != side) flips.push_back(i);
        side = s;
    }
    return flips;
}

std::optional<double> FramesDeclination(const std::vector<ReportFrame>& frames) {
    // The mean of the frames' values: every frame whose header was read must give one.
    double sum = 0;
    int count = 0;
    for (const ReportFrame& f : frames) {
        if (f.headerCards.empty()) continue;
        auto text = HeaderValue(f.headerCards, "OBJCTDEC");
        if (!text) text = HeaderValue(f.headerCards, "DEC");
        if (!text) return std::nullopt;
        const auto dec = declination(*text);
        if (!dec) return std::nullopt;
        sum += *dec;
        ++count;
    }
    if (count == 0) return std::nullopt;
    return sum / count;
}

std::optional<double> ParseAngle(std::string_view text) { return sexagesimal(text); }

std::optional<std::pair<double, double>> FramesSite(const std::vector<ReportFrame>& frames) {
    for (const ReportFrame& f : frames) {
        const auto lat = HeaderValue(f.headerCards, "SITELAT"), lon = HeaderValue(f.headerCards, "SITELONG");
        if (!lat || !lon) continue;
        const auto a = sexagesimal(*lat), b = sexagesimal(*lon);
        if (a && b && std::abs(*a) <= 90 && std::abs(*b) <= 360) return std::pair(*a, *b);
    }
    return std::nullopt;
}

std::optional<double> FramesRightAscension(const std::vector<ReportFrame>& frames) {
    for (const ReportFrame& f : frames) {
        if (const auto text = HeaderValue(f.headerCards, "OBJCTRA")) {
            if (const auto h = sexagesimal(*text); h && *h >= 0 && *h < 24) return *h * 15;
        }
        if (const auto text = HeaderValue(f.headerCards, "RA")) {
            const bool fields = trimmed(*text).find_first_of(" :") != std::string_view::npos;
            if (const auto v = sexagesimal(*text); v && *v >= 0 && *v < (fields ? 24 : 360))
                return fields ? *v * 15 : *v;
        }
    }
    return std::nullopt;
}

double HourAngleHours(double utcS, double lonDeg, double raDeg) {
    // Greenwich mean sidereal time from the days since J2000.0 (the UTC taken for UT1).
    const double days = utcS / 86400 + 2440587.5 - 2451545.0;
    const double gmstDeg = 280.46061837 + 360.98564736629 * days;
    double h = std::fmod(gmstDeg + lonDeg - raDeg, 360.0) / 15;
    if (h <= -12) h += 24;
    if (h > 12) h -= 24;
    return h;
}

}  // namespace nuvak
