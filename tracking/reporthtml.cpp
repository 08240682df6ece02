// The tracking report as one self-contained HTML page: the figures with their intervals, a
// short reading in plain words, the plots drawn here as inline SVG, and the frame list. The
// page needs no network and no script. Its fixed texts are Japanese, like the program's, and
// live here as the page's template.

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>
#include <vector>

#include "core/format.h"
#include "tracking/report.h"

namespace nuvak {

namespace {

// Text from the data (file names above all) made safe for HTML text and attribute values.
std::string escape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            case '\'': out += "&#39;"; break;
            default: out += c;
        }
    }
    return out;
}

// A number with a fixed count of decimals; a dash when there is none.
std::string fixed(double v, int decimals) {
    if (!std::isfinite(v)) return "—";
    std::string s = FormatDecimals(v, decimals);
    // No "-0.00".
    if (s.find_first_of("123456789") == std::string::npos && s[0] == '-') return s.substr(1);
    return s;
}

// A number with a few significant digits, for probabilities and axis ticks.
std::string general(double v, int digits = 3) {
    if (!std::isfinite(v)) return "—";
    return FormatSignificant(v, digits);
}

std::string withInterval(const Figure& f, int decimals, const char* unit) {
    std::string s = fixed(f.value, decimals) + unit;
    if (f.ci95)
        s += "（95%区間 " + fixed(f.ci95->first, decimals) + " 〜 " + fixed(f.ci95->second, decimals) + unit + "）";
    return s;
}

bool has(const std::vector<std::string>& flags, std::string_view flag) {
    return std::find(flags.begin(), flags.end(), flag) != flags.end();
}

// ---------------------------------------------------------------------------------------
// Plots.

// A step of 1, 2 or 5 times a power of ten that cuts the span into about `count` parts.
double niceStep(double span, int count) {
    const double raw = span / count;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    const double f = raw / power;
    return (f < 1.5 ? 1 : f < 3.5 ? 2 : f < 7.5 ? 5 : 10) * power;
}

struct Range {
    double lo = std::numeric_limits<double>::infinity(), hi = -std::numeric_limits<double>::infinity();
    void add(double v) {
        if (!std::isfinite(v)) return;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    // Widened by a margin and to a span that is never zero.
    Range padded() const {
        Range r = *this;
        if (!(r.lo <= r.hi)) r.lo = 0, r.hi = 1;
        if (r.hi - r.lo < 1e-9) r.lo -= 0.5, r.hi += 0.5;
        const double m = (r.hi - r.lo) * 0.05;
        r.lo -= m, r.hi += m;
        return r;
    }
};

// One SVG chart: a frame with ticks, axis titles, and marks placed in data coordinates.
class Chart {
public:
    static constexpr double kWidth = 720, kHeight = 340, kLeft = 64, kRight = 16, kTop = 50, kBottom = 48;

    Chart(const std::string& title, Range x, Range y, const std::string& xTitle, const std::string& yTitle,
          bool equalScale = false)
        : x_(x.padded()), y_(y.padded()) {
        if (equalScale) {
            // The same arc-seconds per screen unit on both axes, so that the track keeps its shape.
            const double sx = (x_.hi - x_.lo) / plotWidth(), sy = (y_.hi - y_.lo) / plotHeight(), s = std::max(sx, sy);
            const double cx = (x_.lo + x_.hi) / 2, cy = (y_.lo + y_.hi) / 2;
            x_ = {cx - s * plotWidth() / 2, cx + s * plotWidth() / 2};
            y_ = {cy - s * plotHeight() / 2, cy + s * plotHeight() / 2};
        }
        // Inline in HTML the element needs no namespace declaration.
        svg_ = "<svg viewBox=\"0 0 " + general(kWidth) + " " + general(kHeight) + "\" role=\"img\" aria-label=\"" +
               escape(title) + "\">\n";
        svg_ += "<rect x=\"" + num(kLeft) + "\" y=\"" + num(kTop) + "\" width=\"" + num(plotWidth()) + "\" height=\"" +
                num(plotHeight()) + "\" fill=\"#fff\" stroke=\"#888\"/>\n";
        text(kWidth / 2, 18, title, "middle", "title");
        const double xs = niceStep(x_.hi - x_.lo, 8), ys = niceStep(y_.hi - y_.lo, 6);
        // Ticks counted, not summed: a step lost in the rounding of a far-off value cannot stall.
        for (int k = 0; k < 40; ++k) {
            const double v = (std::ceil(x_.lo / xs) + k) * xs;
            if (v > x_.hi) break;
            svg_ += line(px(v), kTop, px(v), kTop + plotHeight(), "grid");
            text(px(v), kTop + plotHeight() + 16, general(std::abs(v) < xs * 1e-6 ? 0 : v, 4), "middle", "tick");
        }
        for (int k = 0; k < 40; ++k) {
            const double v = (std::ceil(y_.lo / ys) + k) * ys;
            if (v > y_.hi) break;
            svg_ += line(kLeft, py(v), kLeft + plotWidth(), py(v), "grid");
            text(kLeft - 6, py(v) + 4, general(std::abs(v) < ys * 1e-6 ? 0 : v, 4), "end", "tick");
        }
        text(kLeft + plotWidth() / 2, kHeight - 8, xTitle, "middle", "axis");
        svg_ += "<text class=\"axis\" text-anchor=\"middle\" transform=\"translate(16 " + num(kTop + plotHeight() / 2) +
                ") rotate(-90)\">" + escape(yTitle) + "</text>\n";
    }

    // The marks drawn return how many there are, so that a legend names only what is drawn.
    int points(const std::vector<double>& xs, const std::vector<double>& ys, const std::string& cls, double r = 2.5) {
        int drawn = 0;
        for (std::size_t i = 0; i < xs.size() && i < ys.size(); ++i)
            if (inside(xs[i], ys[i])) {
                svg_ += "<circle class=\"" + cls + "\" cx=\"" + num(px(xs[i])) + "\" cy=\"" + num(py(ys[i])) +
                        "\" r=\"" + num(r) + "\"/>\n";
                ++drawn;
            }
        return drawn;
    }
    int crosses(const std::vector<double>& xs, const std::vector<double>& ys, const std::string& cls) {
        int drawn = 0;
        for (std::size_t i = 0; i < xs.size() && i < ys.size(); ++i) {
            if (!inside(xs[i], ys[i])) continue;
            const double x = px(xs[i]), y = py(ys[i]), d = 5;
            svg_ += "<path class=\"" + cls + "\" d=\"M" + num(x - d) + " " + num(y - d) + "L" + num(x + d) + " " +
                    num(y + d) + "M" + num(x - d) + " " + num(y + d) + "L" + num(x + d) + " " + num(y - d) + "\"/>\n";
            ++drawn;
        }
        return drawn;
    }
    // A polyline through the finite points, broken where a point is missing; false when
    // nothing was drawn.
    bool curve(const std::vector<double>& xs, const std::vector<double>& ys, const std::string& cls) {
        std::string d;
        bool pen = false;
        for (std::size_t i = 0; i < xs.size() && i < ys.size(); ++i) {
            if (!std::isfinite(xs[i]) || !std::isfinite(ys[i])) {
                pen = false;
                continue;
            }
            d += pen ? 'L' : 'M';
            d += num(px(xs[i]));
            d += ' ';
            d += num(py(std::clamp(ys[i], y_.lo, y_.hi)));
            pen = true;
        }
        if (!d.empty()) svg_ += "<path class=\"" + cls + "\" fill=\"none\" d=\"" + d + "\"/>\n";
        return !d.empty();
    }
    // A band between two curves over the same xs, as one filled shape; false when nothing was drawn.
    bool band(const std::vector<double>& xs, const std::vector<double>& lo, const std::vector<double>& hi,
              const std::string& cls) {
        std::string d;
        std::vector<std::size_t> drawn;
        for (std::size_t i = 0; i < xs.size() && i < lo.size() && i < hi.size(); ++i) {
            if (!std::isfinite(xs[i]) || !std::isfinite(lo[i]) || !std::isfinite(hi[i])) continue;
            d += d.empty() ? 'M' : 'L';
            d += num(px(xs[i]));
            d += ' ';
            d += num(py(std::clamp(lo[i], y_.lo, y_.hi)));
            drawn.push_back(i);
        }
        if (d.empty()) return false;
        for (auto i = drawn.rbegin(); i != drawn.rend(); ++i) {
            d += 'L';
            d += num(px(xs[*i]));
            d += ' ';
            d += num(py(std::clamp(hi[*i], y_.lo, y_.hi)));
        }
        svg_ += "<path class=\"" + cls + "\" d=\"" + d + "Z\"/>\n";
        return true;
    }
    // A vertical line across the plot; its label, if any, in the given row from the plot's top
    // (rows 14 pixels apart), beside the line on the side where it fits. False when x is
    // outside the plot.
    bool vertical(double x, const std::string& cls, const std::string& label = "", int row = 0) {
        if (!(x >= x_.lo && x <= x_.hi)) return false;
        svg_ += line(px(x), kTop, px(x), kTop + plotHeight(), cls);
        if (!label.empty()) {
            const bool left = px(x) > kLeft + plotWidth() - 110;
            text(px(x) + (left ? -3 : 3), kTop + 13 + 14 * row, label, left ? "end" : "start", cls + "-label");
        }
        return true;
    }
    // A legend entry in the row between the title and the plot, after the ones before it.
    void legend(const std::string& cls, const std::string& label) {
        const double y = kTop - 10;
        svg_ += "<circle class=\"" + cls + "\" cx=\"" + num(legendX_) + "\" cy=\"" + num(y - 4) + "\" r=\"4\"/>\n";
        text(legendX_ + 8, y, label, "start", "legend");
        // Room for the text: about a full character width per non-ASCII character.
        double width = 0;
        for (unsigned char c : label) width += c < 0x80 ? 7 : (c & 0xC0) == 0xC0 ? 12 : 0;
        legendX_ += width + 28;
    }
    std::string finish() { return svg_ + "</svg>\n"; }

private:
    static double plotWidth() { return kWidth - kLeft - kRight; }
    static double plotHeight() { return kHeight - kTop - kBottom; }
    double px(double v) const { return kLeft + (v - x_.lo) / (x_.hi - x_.lo) * plotWidth(); }
    double py(double v) const { return kTop + (y_.hi - v) / (y_.hi - y_.lo) * plotHeight(); }
    bool inside(double x, double y) const {
        return std::isfinite(x) && std::isfinite(y) && x >= x_.lo && x <= x_.hi && y >= y_.lo && y <= y_.hi;
    }
    static std::string num(double v) { return FormatDecimals(v, 1); }
    static std::string line(double x0, double y0, double x1, double y1, const std::string& cls) {
        return "<line class=\"" + cls + "\" x1=\"" + num(x0) + "\" y1=\"" + num(y0) + "\" x2=\"" + num(x1) +
               "\" y2=\"" + num(y1) + "\"/>\n";
    }
    void text(double x, double y, const std::string& s, const char* anchor, const std::string& cls) {
        svg_ += "<text class=\"" + cls + "\" x=\"" + num(x) + "\" y=\"" + num(y) + "\" text-anchor=\"" + anchor +
                "\">" + escape(s) + "</text>\n";
    }

    Range x_, y_;
    std::string svg_;
    double legendX_ = kLeft + 6;
};

// The drift lines at the frame times: where the star would be on them.
std::vector<double> onLine(const std::vector<double>& t, double intercept, const Figure& drift) {
    std::vector<double> v;
    v.reserve(t.size());
    for (double s : t) v.push_back(intercept + drift.value * s / 60);
    return v;
}

std::vector<double> minutes(const std::vector<double>& t) {
    std::vector<double> m;
    m.reserve(t.size());
    for (double s : t) m.push_back(s / 60);
    return m;
}

// The values of the frames that match `keep`, NaN elsewhere.
template <class Keep>
std::vector<double> only(const std::vector<double>& v, Keep keep) {
    std::vector<double> out(v.size(), kNoValue);
    for (std::size_t i = 0; i < v.size(); ++i)
        if (keep(i)) out[i] = v[i];
    return out;
}

std::string trackPlot(const TrackingReport& r) {
    const std::vector<double> lineRa = onLine(r.t, r.interceptRa, r.driftRa),
                              lineDec = onLine(r.t, r.interceptDec, r.driftDec);
    const auto used = [&](std::size_t i) { return i < r.used.size() && r.used[i]; };
    const auto lost = [&](std::size_t i) { return i < r.flags.size() && has(r.flags[i], "lost"); };
    const auto saturated = [&](std::size_t i) { return used(i) && i < r.flags.size() && has(r.flags[i], "saturated"); };
    Range x, y;
    for (std::size_t i = 0; i < r.ra.size(); ++i)
        if (used(i)) x.add(r.ra[i]), y.add(r.dec[i]);
    for (std::size_t i = 0; i < lineRa.size(); ++i)
        if (lost(i)) x.add(lineRa[i]), y.add(lineDec[i]);
    Chart c("星の軌跡（赤経・赤緯）", x, y, "赤経方向 (″)", "赤緯方向 (″)", true);
    c.curve(only(r.ra, used), only(r.dec, used), "track");
    if (c.points(only(r.ra, used), only(r.dec, used), "ra")) c.legend("ra", "使用したフレーム");
    if (c.points(only(r.ra, saturated), only(r.dec, saturated), "saturated", 4.5))
        c.legend("saturated", "飽和したフレーム");
    if (c.crosses(only(lineRa, lost), only(lineDec, lost), "lost"))
        c.legend("lost", "星を見失ったフレーム（×：ドリフト直線上の位置）");
    return c.finish();
}

std::string deviationPlot(const TrackingReport& r) {
    const std::vector<double> m = minutes(r.t);
    const auto used = [&](std::size_t i) { return i < r.used.size() && r.used[i]; };
    const auto lost = [&](std::size_t i) { return i < r.flags.size() && has(r.flags[i], "lost"); };
    const std::vector<double> lineRa = onLine(r.t, r.interceptRa, r.driftRa),
                              lineDec = onLine(r.t, r.interceptDec, r.driftDec);
    Range x, y;
    for (std::size_t i = 0; i < m.size(); ++i) {
        x.add(m[i]);
        if (used(i)) y.add(r.ra[i]), y.add(r.dec[i]), y.add(lineRa[i]), y.add(lineDec[i]);
    }
    Chart c("時間に対するずれとドリフト直線", x, y, "時間 (分)", "ずれ (″)");
    c.curve(m, lineRa, "fit-ra");
    c.curve(m, lineDec, "fit-dec");
    if (c.points(m, only(r.ra, used), "ra")) c.legend("ra", "赤経方向");
    if (c.points(m, only(r.dec, used), "dec")) c.legend("dec", "赤緯方向");
    bool lostDrawn = false;
    for (std::size_t i = 0; i < m.size(); ++i)
        if (lost(i)) lostDrawn |= c.vertical(m[i], "lost-time");
    if (lostDrawn) c.legend("lost", "縦線：星を見失ったフレーム");
    for (std::size_t i : r.meridianFlips)
        if (i < m.size()) c.vertical(m[i], "flip", "子午線反転");
    return c.finish();
}

// The RA residual of each used frame about the drift line; NaN for the others.
std::vector<double> raResidual(const TrackingReport& r) {
    std::vector<double> residual(r.t.size(), kNoValue);
    for (std::size_t i = 0; i < r.t.size(); ++i)
        if (i < r.used.size() && r.used[i]) residual[i] = r.ra[i] - (r.interceptRa + r.driftRa.value * r.t[i] / 60);
    return residual;
}

std::string residualPlot(const TrackingReport& r) {
    const std::vector<double> m = minutes(r.t);
    const std::vector<double> residual = raResidual(r);
    std::vector<double> fitted;
    const double a = r.pe.amplitudePpArcsec.value / 2, p = r.pe.periodS.value;
    // The fitted sinusoid, drawn finely enough to look smooth.
    std::vector<double> ft;
    ft.reserve(601);
    fitted.reserve(601);
    Range span;  // a frame that could not be read has no time
    for (double t : r.t) span.add(t);
    const double t0 = span.lo <= span.hi ? span.lo : 0, t1 = span.lo <= span.hi ? span.hi : 0;
    for (int k = 0; k <= 600; ++k) ft.push_back(t0 + (t1 - t0) * k / 600);
    for (double t : ft)
        fitted.push_back(std::isfinite(a) && p > 0 ? a * std::sin(2 * std::numbers::pi * t / p + r.pe.fitPhase)
                                                   : kNoValue);
    Range x, y;
    for (double v : m) x.add(v);
    for (double v : residual) y.add(v);
    for (double v : fitted) y.add(v);
    Chart c("ドリフトを除いた赤経方向の残差と周期誤差", x, y, "時間 (分)", "残差 (″)");
    const bool sine = c.curve(minutes(ft), fitted, "fit-pe");
    if (c.points(m, residual, "ra")) c.legend("ra", "赤経方向の残差");
    if (sine) c.legend("fit-pe-dot", "当てはめた正弦波");
    return c.finish();
}

// Colours of the worm's cycles in the fold plot, repeated past the last.
constexpr int kCycleColours = 8;

// The RA residuals over the worm's phase, each cycle in its colour, with the fitted curve and
// its 95 % band; empty without a fold.
std::string foldPlot(const TrackingReport& r) {
    const WormFold& w = r.worm;
    if (!std::isfinite(w.periodS) || w.phase.empty()) return {};
    const std::vector<double>& residual = w.residual;
    std::vector<double> cx, cy, lo, hi;
    for (const WormFold::Point& p : w.curve)
        cx.push_back(p.phase), cy.push_back(p.arcsec), lo.push_back(p.lo), hi.push_back(p.hi);
    if (!w.curve.empty()) cx.push_back(1), cy.push_back(cy.front()), lo.push_back(lo.front()), hi.push_back(hi.front());
    Range x, y;
    x.add(0), x.add(1);
    for (double v : residual) y.add(v);
    for (double v : lo) y.add(v);
    for (double v : hi) y.add(v);
    Chart c("ウォームの1周期に折り返した赤経方向の残差（周期 " + fixed(w.periodS, 1) + " 秒）", x, y,
            "ウォームの位相（0〜1）", "残差 (″)");
    const bool band = c.band(cx, lo, hi, "fold-band");
    const bool fitted = c.curve(cx, cy, "fit-worm");
    int cycles = 0;
    for (int k : w.cycle) cycles = std::max(cycles, k + 1);
    bool each = cycles <= 6;
    for (int k = 0; k < cycles; ++k) {
        const auto inCycle = [&](std::size_t i) { return i < w.cycle.size() && w.cycle[i] == k; };
        const std::string cls = "cycle-" + std::to_string(k % kCycleColours);
        if (c.points(w.phase, only(residual, inCycle), cls) && each) c.legend(cls, std::to_string(k + 1) + "周目");
    }
    if (!each && cycles) c.legend("cycle-0", "点の色：周回ごと（" + std::to_string(cycles) + " 周）");
    if (fitted) c.legend("fit-worm-dot", band ? "当てはめた曲線と95%区間" : "当てはめた曲線");
    return c.finish();
}

// The structure function with its intervals as a band, the lag in seconds.
std::string structurePlot(const TrackingReport& r) {
    if (r.structureFunction.empty()) return {};
    std::vector<double> lag, rms, lo, hi;
    Range x, y;
    for (const StructurePoint& p : r.structureFunction) {
        lag.push_back(p.lagS), rms.push_back(p.rmsArcsec), lo.push_back(p.lo), hi.push_back(p.hi);
        x.add(p.lagS), y.add(p.lo), y.add(p.hi);
    }
    x.add(0), y.add(0);
    Chart c("構造関数：時間差ごとの位置の変化のRMS", x, y, "フレームの時間差 (秒)", "位置の変化のRMS (″)");
    const bool band = c.band(lag, lo, hi, "fold-band");
    c.curve(lag, rms, "fit-worm");
    if (c.points(lag, rms, "fit-worm-dot")) c.legend("fit-worm-dot", band ? "RMS と95%区間" : "RMS");
    if (std::isfinite(r.structurePeakLagS)) c.vertical(r.structurePeakLagS, "peak", "ピーク", 0);
    return c.finish();
}

std::string periodogramPlot(const TrackingReport& r) {
    const PeriodicError& pe = r.pe;
    std::vector<double> mhz;
    Range x, y;
    for (double f : pe.frequency) mhz.push_back(f * 1000), x.add(f * 1000);
    for (double p : pe.power) y.add(p);
    y.add(0);
    // Head-room above the highest power for the two rows of labels, so that no label lies
    // on the curve: the rows take the top 30 pixels of the plot, the curve's top lies about
    // 55 pixels down.
    if (y.lo <= y.hi) y.add(y.hi + (y.hi - y.lo) * 0.25);
    Chart c("赤経方向の残差のピリオドグラム（Lomb–Scargle）", x, y, "周波数 (mHz)", "パワー");
    c.curve(mhz, pe.power, "power");
    if (std::isfinite(pe.periodS.value) && pe.periodS.value > 0)
        c.vertical(1000 / pe.periodS.value, "peak", "ピーク " + fixed(pe.periodS.value, 0) + " 秒", 0);
    if (r.wormPeriodS && *r.wormPeriodS > 0 && x.lo <= x.hi) {
        // The worm period and its harmonics within the periodogram's frequencies.
        for (int k = 1; k <= 50; ++k) {
            const double f = k * 1000 / *r.wormPeriodS;
            if (f > x.hi) break;
            c.vertical(f, "worm", k == 1 ? "ウォーム" : k <= 6 ? "×" + std::to_string(k) : "", 1);
        }
    }
    return c.finish();
}

// ---------------------------------------------------------------------------------------
// Texts.

double median(std::vector<double> v) {
    v.erase(std::remove_if(v.begin(), v.end(), [](double x) { return !std::isfinite(x); }), v.end());
    if (v.empty()) return kNoValue;
    std::sort(v.begin(), v.end());
    const std::size_t n = v.size();
    return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

int countFlag(const TrackingReport& r, std::string_view flag) {
    int n = 0;
    for (const auto& f : r.flags) n += has(f, flag);
    return n;
}

// Where the times and the scale came from, in words.
std::string timeSourceText(const TrackingReport& r) {
    if (r.timeSource == "interval" || r.timeSource.empty()) return "撮影間隔 × フレーム番号";
    return "各フレームの " + escape(r.timeSource) + "（露出の中央）";
}

std::string scaleSourceText(const TrackingReport& r) {
    if (r.scaleSource == "FOCALLEN+XPIXSZ") return "フレームの FOCALLEN（焦点距離）と XPIXSZ（画素サイズ）";
    if (r.scaleSource == "FOCALLEN+PIXSIZE1*XBINNING")
        return "フレームの FOCALLEN（焦点距離）と PIXSIZE1 × XBINNING（画素サイズ × ビニング）";
    if (r.scaleSource == "window") return "追尾ウィンドウの焦点距離と画素サイズ";
    return "指定した（または既定の）焦点距離と画素サイズ";
}

// The reading: what the figures say, in a few sentences.
std::string reading(const TrackingReport& r) {
    std::string s;
    const auto sentence = [&](const std::string& text) { s += "<p>" + text + "</p>\n"; };
    if (r.polarAlignmentErrorArcmin) {
        sentence("極軸は約" + fixed(r.polarAlignmentErrorArcmin->value, 1) + "′ずれています（赤緯方向のドリフト " +
                 fixed(r.driftDec.value, 2) + "″/分、赤緯 " + fixed(r.decDeg.value_or(kNoValue), 1) + "° から）。");
    } else {
        sentence("赤緯が分からないため、極軸のずれは求めていません（赤緯方向のドリフトは " +
                 fixed(r.driftDec.value, 2) + "″/分です）。");
    }
    if (std::isfinite(r.pe.periodS.value)) {
        std::string pe = "周期誤差は全振幅 " + fixed(r.pe.amplitudePpArcsec.value, 1) + "″、周期 " +
                         fixed(r.pe.periodS.value, 0) + " 秒です";
        if (r.pe.harmonic == 1) pe += "。ウォームの周期です";
        else if (r.pe.harmonic)
            pe += "。ウォーム周期の第" + std::to_string(*r.pe.harmonic) + "高調波（周期の1/" +
                  std::to_string(*r.pe.harmonic) + "）です";
        pe += "。";
        if (std::isfinite(r.pe.fap.value) && r.pe.fap.value > 0.01)
            pe += "ただし、このピークは雑音でも現れうる大きさです（誤警報確率 " + general(r.pe.fap.value, 2) + "）。";
        sentence(pe);
    } else {
        sentence("周期誤差を調べるにはフレームの数か時間の長さが足りません。");
    }
    sentence("ドリフトを除いた残差のRMSは赤経方向 " + fixed(r.rmsRa.value, 2) + "″、赤緯方向 " +
             fixed(r.rmsDec.value, 2) + "″、合わせて " + fixed(r.rmsTotal.value, 2) + "″です。");
    if (r.noiseLimited)
        sentence(
            "残差のばらつきは星像の重心の測定誤差だけで説明できます。架台は、これらのフレームで見分けられるよりもよく追"
            "尾しています。");
    const int lost = countFlag(r, "lost"), saturated = countFlag(r, "saturated");
    if (lost)
        sentence(std::to_string(lost) +
                 " フレームは星を測れなかった（見失った、読めない、サイズが違うなど）ため、すべての数値から除きました。"
                 "理由はフレームの表にあります。");
    if (saturated) sentence(std::to_string(saturated) + " フレームで星が飽和しています（65535に達しています）。");
    const int backwards = countFlag(r, "time_backwards"), repeated = countFlag(r, "time_repeated");
    if (backwards || repeated)
        sentence(
            std::to_string(backwards + repeated) +
            " フレームは時刻が前のフレームより後ではない（戻っている、または同じ）ため、すべての数値から除きました。"
            "フレームの順序はそのままです。");
    if (!r.meridianFlips.empty()) {
        std::string at;
        for (std::size_t i : r.meridianFlips) at += (at.empty() ? "" : "、") + std::to_string(i + 1);
        sentence("子午線反転が " + std::to_string(r.meridianFlips.size()) + " 回あります（フレーム " + at +
                 " から）。反転後は画像の向きを180°回して、反転の前後それぞれに切片を取り、共通の傾き（ドリフト）で当て"
                 "はめました。");
    }
    if (std::isfinite(r.amplitudePpCorrectedArcsec.value) && r.smearFactor < 0.995)
        sentence("露出中の星の動きで小さく見える分を補正すると、周期誤差の全振幅は " +
                 fixed(r.amplitudePpCorrectedArcsec.value, 1) + "″です。");
    if (std::isfinite(r.worm.residualRmsAfterPecArcsec))
        sentence("ウォームの1周期に折り返した曲線を完全に補正できれば、赤経方向の残差のRMSは " +
                 fixed(r.worm.residualRmsAfterPecArcsec, 2) + "″になります。");
    if (r.polarHourAngle) {
        const HourAnglePolar& p = *r.polarHourAngle;
        const bool altitude = p.component == "altitude";
        const double e = p.errorArcmin.value;
        std::string text = "時角 " + fixed(p.startH, 1) + "h 〜 " + fixed(p.endH, 1) + "h（平均 " + fixed(p.meanH, 1) +
                           "h）では、赤緯方向のドリフトは極軸の" +
                           (altitude ? "高度（東か西の地平線近く）" : "方位（子午線の近く）") + "のずれを測ります：" +
                           withInterval(p.errorArcmin, 1, "′");
        if (std::isfinite(e))
            text += altitude ? (e >= 0 ? "、極より上" : "、極より下") : (e >= 0 ? "、極より東" : "、極より西");
        text += "。";
        if (p.mixed) text += "ただし、この時角ではもう一方の成分も半分以上効いているため、目安です。";
        text +=
            "この値は一次の近似で星の赤緯によりません。ドリフトを cos(赤緯) で割る方法（上の「極軸のずれ」）は、"
            "赤緯が高いほど大きな値になります。";
        sentence(text);
    }
    if (r.field) {
        const FieldRotation& f = *r.field;
        sentence(
            std::to_string(f.stars) +
            " 個の星を測り、追尾はその共通の動きから求めました。星ごとのばらつき（シーイングと重心の測定誤差）は " +
            withInterval(f.seeingJitterArcsec, 2, "″") + "、視野の回転は " + withInterval(f.degPerHour, 3, "°/時") +
            "（隅で " + fixed(f.rateArcsecPerMinAtCorner.value, 2) + "″/分）です。");
        const std::string both = "極軸のずれの2つの成分は、回転から " + fixed(f.polarFromRotationArcmin.value, 1) +
                                 "′、赤緯のドリフトから " + fixed(f.polarFromDriftArcmin.value, 1) + "′、合わせて " +
                                 fixed(f.polarTotalArcmin, 1) + "′です";
        sentence(both + (f.agreement == "both" ? "。視野の回転と赤緯のドリフトがそろって極軸のずれを示しています。"
                         : f.agreement == "neither" ? "。どちらも0と区別できず、極軸はよく合っています。"
                         : f.agreement == "drift_only"
                             ? "。赤緯のドリフトだけがずれを示し、回転は0と区別できません（この時角では回転に出にくい成"
                               "分か、ドリフトにほかの原因があります）。"
                             : "。視野の回転だけがずれを示し、ドリフトは0と区別できません（この時角ではドリフトに出にく"
                               "い成分です）。"));
    }
    if (!r.jumps.empty()) {
        std::string at;
        for (std::size_t i : r.jumps) at += (at.empty() ? "" : "、") + std::to_string(i + 1);
        sentence("星の位置が両方の軸でとんで、その前後で落ち着いています（フレーム " + at +
                 " から）。ディザリングか架台への接触と見て、そこで夜を区切り、区間ごとに切片を取りました。");
    }
    if (const int clouds = countFlag(r, "cloud"))
        sentence(std::to_string(clouds) +
                 " フレームは星の光量が中央値の半分を下回っている（雲）ため、すべての数値から除きました。");
    if (r.structureReading == "flat")
        sentence(
            "構造関数は時間差によらず平らです：フレーム間の位置の変化はシーイングと重心の測定誤差によるもので、"
            "架台の追尾によるものではありません。");
    else if (r.structureReading == "rising")
        sentence(
            "構造関数は時間差とともに大きくなります：ドリフトやゆっくりした揺れ、つまり架台の追尾がシーイングより"
            "効いています。");
    else if (r.structureReading == "periodic")
        sentence("構造関数は時間差 " + fixed(r.structurePeakLagS, 0) + " 秒で山になり、その後下がります：周期約 " +
                 fixed(2 * r.structurePeakLagS, 0) + " 秒の周期誤差があります。");
    for (const ReportWarning& w : r.warnings) sentence("注意：" + escape(w.message) + "。");
    sentence("時刻は" + timeSourceText(r) + "から、1ピクセルの角度（" + fixed(r.arcsecPerPixel, 4) + "″）は" +
             scaleSourceText(r) + "から求めました。");
    return s;
}

std::string row(const std::string& name, const std::string& value) {
    return "<tr><th>" + name + "</th><td>" + value + "</td></tr>\n";
}

std::string figures(const TrackingReport& r) {
    std::string t = "<table class=\"figures\">\n";
    t += row("時刻の基準", timeSourceText(r));
    t += row("1ピクセルの角度", fixed(r.arcsecPerPixel, 4) + "″（" + scaleSourceText(r) + "）");
    t += row("カメラの角度", fixed(r.cameraAngleDeg, 1) + "°");
    t += row("赤緯", r.decDeg ? fixed(*r.decDeg, 2) + "°" : "不明");
    t += row("赤経方向のドリフト", withInterval(r.driftRa, 3, "″/分"));
    t += row("赤緯方向のドリフト", withInterval(r.driftDec, 3, "″/分"));
    t += row("極軸のずれ",
             r.polarAlignmentErrorArcmin ? withInterval(*r.polarAlignmentErrorArcmin, 2, "′") : "— （赤緯が不明）");
    if (r.polarHourAngle)
        t += row(std::string("極軸のずれ（") + (r.polarHourAngle->component == "altitude" ? "高度" : "方位") +
                     "、時角から）",
                 withInterval(r.polarHourAngle->errorArcmin, 2, "′"));
    if (r.field) {
        t += row("測った星の数", std::to_string(r.field->stars));
        t += row("星ごとのばらつき（シーイング）", withInterval(r.field->seeingJitterArcsec, 3, "″"));
        t += row("視野の回転", withInterval(r.field->degPerHour, 4, "°/時") + "（隅で " +
                                   withInterval(r.field->rateArcsecPerMinAtCorner, 3, "″/分") + "）");
        t += row("極軸のずれ（回転から・ドリフトから・合計）", withInterval(r.field->polarFromRotationArcmin, 2, "′") +
                                                                   " ・ " +
                                                                   withInterval(r.field->polarFromDriftArcmin, 2, "′") +
                                                                   " ・ " + fixed(r.field->polarTotalArcmin, 2) + "′");
    }
    t += row("RMS（赤経・赤緯・合計）",
             fixed(r.rmsRa.value, 3) + "″ ・ " + fixed(r.rmsDec.value, 3) + "″ ・ " + fixed(r.rmsTotal.value, 3) + "″");
    t += row("周期誤差の周期", withInterval(r.pe.periodS, 1, " 秒"));
    t += row("周期誤差の全振幅（測った値）", withInterval(r.pe.amplitudePpArcsec, 2, "″"));
    t += row("ピークの誤警報確率", general(r.pe.fap.value, 2));
    t += row("露出時間", r.exposureS ? fixed(*r.exposureS, 1) + " 秒" : "不明");
    t += row("周期誤差の全振幅（露出中の星の動きを補正）",
             std::isfinite(r.amplitudePpCorrectedArcsec.value)
                 ? fixed(r.amplitudePpCorrectedArcsec.value, 2) +
                       "″（測った値 ÷ sinc(π×露出時間/周期) = " + fixed(r.smearFactor, 3) + "）"
                 : std::string("—"));
    t += row("周期誤差の全振幅（赤経軸上、÷ cos 赤緯）", std::isfinite(r.amplitudePpAxisArcsec.value)
                                                             ? fixed(r.amplitudePpAxisArcsec.value, 2) + "″"
                                                             : std::string("—"));
    if (r.wormPeriodS)
        t += row("ウォーム周期",
                 fixed(*r.wormPeriodS, 1) + " 秒" +
                     (r.pe.harmonic ? "（ピークは第" + std::to_string(*r.pe.harmonic) + "高調波）" : std::string()));
    t += row("FWHM（ガウス関数の半値全幅）",
             fixed(r.fwhmPx.value, 2) + " ピクセル ・ " + fixed(r.fwhmArcsec.value, 2) + "″");
    t += row("HFD（半光束直径）", fixed(r.hfdPx.value, 2) + " ピクセル");
    t += row("FWHM の変化", withInterval(r.fwhmTrendPxPerHour, 3, " ピクセル/時"));
    if (r.superpixels)
        t += row("測定した画素",
                 "ベイヤー配列の 2×2 画素の和（スーパーピクセル）。位置と幅は元の画像のピクセルで示します");
    t += row("重心の測定誤差（中央値）", fixed(median(r.centroidSigmaPx), 3) + " ピクセル");
    t += row("測定誤差の範囲内", r.noiseLimited ? "はい（残差は重心の測定誤差で説明できます）"
                                                : "いいえ（残差は重心の測定誤差より大きく、追尾の揺れが見えています）");
    return t +
           "</table>\n<p>「測定誤差の範囲内」は、ドリフト直線を除いた残差が、星の明るさと背景の雑音から見積もった"
           "各フレームの重心の測定誤差だけで説明できるか（カイ二乗検定、95%）の判定で、「はい」なら架台はこの測定で"
           "見分けられるよりもよく追尾しており、「いいえ」なら残差には周期誤差や風、たわみなど測定の雑音より大きな"
           "追尾の揺れが含まれています。</p>\n";
}

// The fold's figures: its period and phase reference, the harmonics and what a perfect
// correction of the curve leaves.
std::string foldFigures(const TrackingReport& r) {
    const WormFold& w = r.worm;
    if (!std::isfinite(w.periodS)) return "<p>ウォームの1周期に折り返した曲線はありません。</p>\n";
    std::string t = "<table class=\"figures\">\n";
    t += row("折り返した周期",
             fixed(w.periodS, 1) + " 秒（" +
                 (w.periodSource == "worm_period" ? "指定したウォーム周期" : "見つかった周期誤差の周期") + "）");
    std::string ref =
        w.phaseRefUtcS ? escape(FormatIsoDateTime(*w.phaseRefUtcS)) + " UTC" : std::string("最初のフレームの時刻");
    ref += w.phaseRef == "given" ? "（指定した時刻）" : "（最初のフレームの露出の中央）";
    t += row("位相0の時刻", ref);
    t += row("曲線を完全に補正した後の残差RMS", fixed(w.residualRmsAfterPecArcsec, 3) + "″");
    t += "</table>\n<table class=\"frames\">\n<tr><th>高調波</th><th>振幅 (″、全振幅の半分)</th><th>位相 (rad)</th>"
         "<th>露出による縮み</th></tr>\n";
    for (const WormHarmonic& h : w.harmonics) {
        const std::string left = h.left == "phase_coverage"   ? "当てはめていません（位相の隙間）"
                                 : h.left == "exposure_smear" ? "当てはめていません（露出が長すぎる）"
                                                              : withInterval(h.amplitudeArcsec, 3, "″");
        t += "<tr><td>" + std::to_string(h.order) + "</td><td>" + left + "</td><td>" + fixed(h.phaseRad, 2) +
             "</td><td>" + fixed(h.smearFactor, 3) + "</td></tr>\n";
    }
    return t +
           "</table>\n<p>各高調波は A sin(2π × 次数 × 位相 + 位相角) の形で、振幅 A は露出中の星の動きによる縮み"
           "（sinc(π × 露出時間 × 次数 / 周期)）を補正した空の上の値です。</p>\n";
}

std::string frameTable(const TrackingReport& r) {
    std::string t =
        "<table class=\"frames\">\n<tr><th>#</th><th>ファイル</th><th>時刻 (秒)</th><th>赤経 (″)</th><th>赤緯 (″)</th>"
        "<th>重心の誤差 (px)</th><th>印</th></tr>\n";
    for (std::size_t i = 0; i < r.frames.size(); ++i) {
        const auto at = [&](const std::vector<double>& v) { return i < v.size() ? v[i] : kNoValue; };
        std::string flags;
        if (i < r.flags.size())
            for (const std::string& f : r.flags[i]) {
                if (!flags.empty()) flags += ' ';
                if (f == "lost") {
                    const bool why = i < r.lostReasons.size() && !r.lostReasons[i].message.empty();
                    flags += "見失った" + (why ? "（" + escape(r.lostReasons[i].message) + "）" : std::string());
                } else {
                    flags += f == "saturated"        ? std::string("飽和")
                             : f == "time_backwards" ? std::string("時刻が戻っている")
                             : f == "time_repeated"  ? std::string("時刻が前と同じ")
                             : f == "meridian_flip"  ? std::string("子午線反転")
                             : f == "cloud"          ? std::string("雲")
                             : f == "jump"           ? std::string("位置のとび（ディザリング）")
                                                     : escape(f);
                }
            }
        const bool used = i < r.used.size() && r.used[i];
        t += std::string(used ? "<tr>" : "<tr class=\"unused\">") + "<td>" + std::to_string(i + 1) + "</td><td>" +
             escape(r.frames[i]) + "</td><td>" + fixed(at(r.t), 1) + "</td><td>" + fixed(at(r.ra), 2) + "</td><td>" +
             fixed(at(r.dec), 2) + "</td><td>" + fixed(at(r.centroidSigmaPx), 3) + "</td><td>" + flags + "</td></tr>\n";
    }
    return t + "</table>\n";
}

const char kStyle[] = R"(<style>
body { font-family: sans-serif; margin: 2em auto; max-width: 60em; color: #222; line-height: 1.5; }
h1 { font-size: 1.5em; } h2 { font-size: 1.2em; margin-top: 2em; border-bottom: 1px solid #ccc; }
table { border-collapse: collapse; } th, td { padding: 0.2em 0.8em; border-bottom: 1px solid #eee; text-align: left; }
table.frames td { font-variant-numeric: tabular-nums; } tr.unused td { color: #999; }
.reading { background: #f4f7fb; padding: 0.5em 1em; border-left: 4px solid #4a78b0; }
svg { width: 100%; height: auto; margin: 1em 0; }
svg text { font-size: 12px; fill: #333; } svg text.title { font-size: 14px; font-weight: bold; }
.grid { stroke: #e6e6e6; } .track { stroke: #9bb8dc; stroke-width: 1; }
circle.ra { fill: #2c6fbb; } circle.dec { fill: #d0672a; } circle.saturated { fill: none; stroke: #b000b0; stroke-width: 1.5; }
.lost, circle.lost { stroke: #d00; stroke-width: 2; fill: #d00; } .lost-time { stroke: #f2a0a0; stroke-dasharray: 3 3; }
.fit-ra { stroke: #2c6fbb; stroke-width: 1.5; } .fit-dec { stroke: #d0672a; stroke-width: 1.5; }
.fit-pe { stroke: #3a9a3a; stroke-width: 1.5; } circle.fit-pe-dot { fill: #3a9a3a; }
.power { stroke: #333; stroke-width: 1.2; } .worm { stroke: #3a9a3a; stroke-dasharray: 4 3; } text.worm-label { fill: #3a9a3a; }
.peak { stroke: #d00; stroke-width: 1.5; } text.peak-label { fill: #d00; }
.flip { stroke: #7a3ab0; stroke-width: 1.5; } text.flip-label { fill: #7a3ab0; }
.fit-worm { stroke: #222; stroke-width: 2; } circle.fit-worm-dot { fill: #222; } .fold-band { fill: #222; fill-opacity: 0.12; stroke: none; }
circle.cycle-0 { fill: #2c6fbb; } circle.cycle-1 { fill: #d0672a; } circle.cycle-2 { fill: #3a9a3a; } circle.cycle-3 { fill: #b03a8a; }
circle.cycle-4 { fill: #8a6a1a; } circle.cycle-5 { fill: #1a9aa0; } circle.cycle-6 { fill: #d03a3a; } circle.cycle-7 { fill: #6a5acd; }
</style>
)";

}  // namespace

std::string ReportHtml(const TrackingReport& r) {
    std::string page =
        "<!DOCTYPE html>\n<html lang=\"ja\">\n<head>\n<meta charset=\"utf-8\">\n<title>追尾レポート</title>\n";
    page += kStyle;
    page += "</head>\n<body>\n<h1>追尾レポート</h1>\n";
    page += "<p>" + std::to_string(r.frames.size()) + " フレーム";
    if (!r.frames.empty()) page += "（" + escape(r.frames.front()) + " 〜 " + escape(r.frames.back()) + "）";
    page += "</p>\n";
    page += "<h2>所見</h2>\n<div class=\"reading\">\n" + reading(r) + "</div>\n";
    page += "<h2>数値</h2>\n" + figures(r);
    page +=
        "<p>星像の幅について：追尾ウィンドウの「FWHM」表示は、半値以上の明るさの画素を集めた面積と同じ面積の円の半径"
        "（等面積半径）です。このレポートの FWHM は、背景を引いた星像に当てはめた円形ガウス関数の半値全幅（直径）、"
        "HFD は星の光の半分を含む円の直径で、どちらも使用したフレームの中央値です。ガウス関数の星像では HFD と FWHM "
        "は等しくなります。</p>\n";
    page +=
        "<p>区間はすべて95%区間です。ドリフトの区間は、周期誤差のように相関した残差でも正直な幅になるよう、"
        "ブロック・ブートストラップで求めています。</p>\n";
    page += "<h2>グラフ</h2>\n" + trackPlot(r) + deviationPlot(r) + residualPlot(r) + periodogramPlot(r);
    page += structurePlot(r);
    page += "<h2>ウォームの1周期</h2>\n" + foldFigures(r) + foldPlot(r);
    page += "<h2>フレーム</h2>\n" + frameTable(r);
    page += "</body>\n</html>\n";
    return page;
}

}  // namespace nuvak
