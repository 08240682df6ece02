// The tracking report as JSON: one key a line, numbers that read back as the same doubles,
// null for figures that could not be computed.

#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>

#include "tracking/report.h"

namespace nuvak {

namespace {

// Length of the valid UTF-8 sequence at s[i], or 0 when the bytes there are not one.
std::size_t Utf8Length(std::string_view s, std::size_t i) {
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(s[k]); };
    const unsigned char c = byte(i);
    std::size_t n = 0;
    std::uint32_t cp = 0;
    if (c < 0x80) return 1;
    if ((c & 0xE0) == 0xC0) n = 2, cp = c & 0x1F;
    else if ((c & 0xF0) == 0xE0) n = 3, cp = c & 0x0F;
    else if ((c & 0xF8) == 0xF0) n = 4, cp = c & 0x07;
    else return 0;
    if (i + n > s.size()) return 0;
    for (std::size_t k = 1; k < n; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80) return 0;
        cp = cp << 6 | (byte(i + k) & 0x3F);
    }
    static const std::uint32_t smallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (cp < smallest[n] || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) return 0;
    return n;
}

// A JSON string; bytes that are not valid UTF-8 become U+FFFD.
std::string String(std::string_view text) {
    std::string out = "\"";
    for (std::size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += char(c);
            ++i;
        } else if (c < 0x20) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
            ++i;
        } else if (const std::size_t n = Utf8Length(text, i)) {
            out.append(text.substr(i, n));
            i += n;
        } else {
            out += "\xEF\xBF\xBD";
            ++i;
        }
    }
    return out + "\"";
}

// The shortest text that reads back as the same double; null when not finite.
std::string Number(double value) {
    if (!std::isfinite(value)) return "null";
    char buf[32];
    const auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, end);
}

std::string Optional(const std::optional<double>& value) { return value ? Number(*value) : "null"; }

template <class T, class F>
std::string Array(const std::vector<T>& values, F item) {
    std::string out = "[";
    for (std::size_t i = 0; i < values.size(); ++i) out += (i ? ", " : "") + item(values[i]);
    return out + "]";
}

std::string FigureJson(const Figure& f) {
    std::string out = "{\"value\": " + Number(f.value);
    if (f.ci95) out += ", \"ci95\": [" + Number(f.ci95->first) + ", " + Number(f.ci95->second) + "]";
    return out + "}";
}

// Members of an object, one a line at the given indent.
class Members {
public:
    explicit Members(int indent) : indent_(indent) {}
    Members& add(std::string_view key, const std::string& json) {
        body_ += (body_.empty() ? "\n" : ",\n") + std::string(indent_, ' ') + String(key) + ": " + json;
        return *this;
    }
    std::string str() const { return "{" + body_ + "\n" + std::string(indent_ - 2, ' ') + "}"; }

private:
    int indent_;
    std::string body_;
};

}  // namespace

std::string ReportJson(const TrackingReport& report) {
    const auto number = [](double v) { return Number(v); };
    const PeriodicError& pe = report.pe;
    Members json(2);
    json.add("time_source", String(report.timeSource))
        .add("t_s", Array(report.t, number))
        .add("arcsec_per_pixel", Number(report.arcsecPerPixel))
        .add("camera_angle_deg", Number(report.cameraAngleDeg))
        .add("ra_arcsec", Array(report.ra, number))
        .add("dec_arcsec", Array(report.dec, number))
        .add("drift_ra", FigureJson(report.driftRa))
        .add("drift_dec", FigureJson(report.driftDec))
        .add("rms_ra", FigureJson(report.rmsRa))
        .add("rms_dec", FigureJson(report.rmsDec))
        .add("rms_total", FigureJson(report.rmsTotal))
        .add("pe", Members(4)
                       .add("period_s", FigureJson(pe.periodS))
                       .add("amplitude_pp_arcsec", FigureJson(pe.amplitudePpArcsec))
                       .add("fap", FigureJson(pe.fap))
                       .add("harmonic", pe.harmonic ? std::to_string(*pe.harmonic) : "null")
                       .add("worm_period_s", Optional(report.wormPeriodS))
                       .str())
        .add("polar_alignment_error_arcmin",
             report.polarAlignmentErrorArcmin ? FigureJson(*report.polarAlignmentErrorArcmin) : "null")
        .add("declination_deg", Optional(report.decDeg))
        .add("fwhm_px", FigureJson(report.fwhmPx))
        .add("fwhm_arcsec", FigureJson(report.fwhmArcsec))
        .add("hfd_px", FigureJson(report.hfdPx))
        .add("centroid_sigma_px", Array(report.centroidSigmaPx, number))
        .add("noise_limited", report.noiseLimited ? "true" : "false")
        .add("flags", Array(report.flags, [](const std::vector<std::string>& f) { return Array(f, String); }))
        .add("used", Array(report.used, [](bool u) { return std::string(u ? "true" : "false"); }))
        .add("frames", Array(report.frames, String))
        .add("notes",
             Members(4)
                 .add("fwhm", String("fwhm_px and fwhm_arcsec: full width at half maximum of a circular Gaussian "
                                     "fitted to the background-subtracted star, median over the used frames "
                                     "that are not saturated"))
                 .add("hfd", String("hfd_px: half-flux diameter, median over the same frames"))
                 .add("window_fwhm", String("the tracking window's FWHM label is another figure: the radius of a "
                                            "disc with the area of the pixels above half the peak"))
                 .add("drift", String("drift_ra and drift_dec: slope of the least-squares line, arc-seconds per "
                                      "minute; ci95 holds the periodic error's share of the slope"))
                 .str());
    return json.str() + "\n";
}

}  // namespace nuvak
