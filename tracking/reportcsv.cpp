// The per-frame table of the report as CSV, for a spreadsheet or a plotting script.

#include <cmath>
#include <numbers>
#include <string>

#include "core/format.h"
#include "tracking/report.h"

namespace nuvak {

namespace {

// A fixed number of decimals; empty for a value that could not be had.
std::string fixed(double v, int decimals) { return std::isfinite(v) ? FormatDecimals(v, decimals) : std::string(); }

// A text field, quoted (with its quotes doubled) when it holds a comma, a quote or a line end.
std::string field(const std::string& text) {
    if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
    std::string out = "\"";
    for (char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
    return out + "\"";
}

}  // namespace

std::string FramesCsv(const TrackingReport& report, const std::vector<ReportFrame>& frames) {
    std::string out =
        "# One row a frame in list order. utc_mid and jd_mid: mid-exposure (empty when the frames carry no date); "
        "t_s: seconds from the first frame's mid-exposure; x_px, y_px: the star's centre in image pixels (pixel "
        "centres at i + 0.5); ra_arcsec, dec_arcsec: the offsets on the sky the report fits (empty for frames it "
        "leaves out); flags separated by ';'; snr: flux over the sky noise of a circle of radius 3 HFD (sky-limited); "
        "with --stars the positions, flux and widths are the field's common ones (see the report)\n"
        "frame,file,utc_mid,jd_mid,t_s,x_px,y_px,ra_arcsec,dec_arcsec,flags,fwhm_px,hfd_px,flux,snr";
    // With a field: the stars each frame's solution used and the field's turn from the reference frame.
    out += report.field ? ",stars,rotation_deg\n" : "\n";
    for (std::size_t i = 0; i < frames.size(); ++i) {
        const ReportFrame& f = frames[i];
        const auto at = [i](const std::vector<double>& v) { return i < v.size() ? v[i] : kNoValue; };
        const double t = at(report.t);
        std::string utc, jd;
        if (report.epochUtcS && std::isfinite(t)) {
            const double u = *report.epochUtcS + t;
            utc = FormatIsoDateTime(u);
            jd = fixed(u / 86400 + 2440587.5, 6);
        }
        std::string flags;
        if (i < report.flags.size())
            for (const std::string& flag : report.flags[i]) {
                if (!flags.empty()) flags += ';';
                flags += flag;
            }
        const double aperture = 3 * f.hfdPx;
        const double snr = f.found && f.noise > 0 && aperture > 0
                               ? f.flux / (f.noise * std::sqrt(std::numbers::pi) * aperture)
                               : kNoValue;
        // The row's fields in order, joined by commas.
        const std::string fields[] = {std::to_string(i + 1),
                                      field(f.path),
                                      utc,
                                      jd,
                                      fixed(t, 3),
                                      f.found ? fixed(f.x, 3) : std::string(),
                                      f.found ? fixed(f.y, 3) : std::string(),
                                      fixed(at(report.ra), 3),
                                      fixed(at(report.dec), 3),
                                      flags,
                                      fixed(f.fwhmPx, 3),
                                      fixed(f.hfdPx, 3),
                                      f.found ? fixed(f.flux, 1) : std::string(),
                                      fixed(snr, 1)};
        for (const std::string& value : fields) {
            if (&value != fields) out += ',';
            out += value;
        }
        if (report.field) {
            const FieldRotation& rotation = *report.field;
            // Appended piece by piece: g++ 12 warns (wrongly) about overlapping copies in
            // literal + string concatenations.
            out += ',';
            if (i < rotation.starCount.size()) out += std::to_string(rotation.starCount[i]);
            out += ',';
            out += fixed(i < rotation.rotationDeg.size() ? rotation.rotationDeg[i] : kNoValue, 5);
        }
        out += "\n";
    }
    return out;
}

}  // namespace nuvak
