#include "tracking/graph.h"

#include <algorithm>
#include <cmath>

#include "core/format.h"
#include "resources/messages.h"

namespace nuvak {

namespace {

constexpr std::uint32_t kNavy = 0x000080;
constexpr std::uint32_t kGridBlue = 0x0000FF;
constexpr std::uint32_t kAxisGrey = 0x808080;
constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kTrackRed = 0xFF0000;
constexpr std::uint32_t kMarkCyan = 0x00FFFF;
constexpr std::uint32_t kHighlightMagenta = 0xFF00FF;

constexpr int kCentreX = kGraphWidth / 2;    // 180
constexpr int kCentreY = kGraphHeight / 2;   // 150

// A screen coordinate: truncated toward zero after the arithmetic. Far-off values (a huge zoom)
// are held inside the int range; such points lie off the canvas either way.
int Screen(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<int>(std::clamp(std::trunc(v), -1e9, 1e9));
}

struct Painter {
    std::vector<GraphItem>& items;

    void line(double x1, double y1, double x2, double y2, std::uint32_t colour, bool dashed = false, int width = 1) {
        GraphItem item;
        item.type = GraphItem::Type::Line;
        item.x1 = Screen(x1);
        item.y1 = Screen(y1);
        item.x2 = Screen(x2);
        item.y2 = Screen(y2);
        item.colour = colour;
        item.dashed = dashed;
        item.penWidth = width;
        items.push_back(item);
    }
    void text(int x, int y, std::string s) {
        GraphItem item;
        item.type = GraphItem::Type::Text;
        item.x1 = x;
        item.y1 = y;
        item.colour = kWhite;
        item.text = std::move(s);
        items.push_back(item);
    }
    // The diamond point mark of half-size 5 around (x, y); the offsets are added before truncation.
    void mark(double x, double y, std::uint32_t colour, int width) {
        line(x - 5, y, x, y - 5, colour, false, width);
        line(x, y - 5, x + 5, y, colour, false, width);
        line(x + 5, y, x, y + 5, colour, false, width);
        line(x, y + 5, x - 5, y, colour, false, width);
    }
    void horizontalAcross(double y, std::uint32_t colour) { line(0, y, kGraphWidth, y, colour); }
};

void AddBackground(std::vector<GraphItem>& items) {
    GraphItem fill;
    fill.type = GraphItem::Type::Fill;
    fill.x2 = kGraphWidth;
    fill.y2 = kGraphHeight;
    fill.colour = kNavy;
    fill.fill = kNavy;
    items.push_back(fill);
}

// Time position of frame i in the X and Y graphs: 30 up to below 330.
double TimePosition(int i, int n) { return std::trunc(double(i) / n * 300 + 30); }

int FrameCountOf(const TrackingState& state) { return std::clamp(state.FrameCount, 0, kMaxFrames); }

// The screen position of frame i's mark in the chosen graph, from PlotX / PlotY.
void MarkPosition(const TrackingState& state, GraphKind kind, int i, double& x, double& y) {
    const int n = FrameCountOf(state);
    switch (kind) {
        case GraphKind::XY:
            x = kCentreX - state.PlotX[i];
            y = kCentreY - state.PlotY[i];
            break;
        case GraphKind::X:
            x = TimePosition(i, n);
            y = kCentreY - state.PlotX[i];
            break;
        case GraphKind::Y:
            x = TimePosition(i, n);
            y = kCentreY - state.PlotY[i];
            break;
    }
}

void DrawXY(Painter& p, const TrackingState& state, const GraphOptions& options, const std::string& scale) {
    if (options.rms) {
        // Drawn first so that the grid lies over its navy inside.
        const double r = state.GraphZoom * state.RmsAll * 0.5;
        GraphItem circle;
        circle.type = GraphItem::Type::Ellipse;
        circle.x1 = Screen(kCentreX - r);
        circle.y1 = Screen(kCentreY - r);
        circle.x2 = Screen(kCentreX + r);
        circle.y2 = Screen(kCentreY + r);
        circle.colour = kWhite;
        circle.fill = kNavy;
        p.items.push_back(circle);
    }
    for (int x = 0; x <= 300; x += 60) p.line(x, 0, x, kGraphHeight, kGridBlue, true);
    for (int y = 30; y <= 270; y += 60) p.line(0, y, kGraphWidth, y, kGridBlue, true);
    p.text(185, 10, "Y");
    p.text(340, 135, "X");
    p.text(295, 165, scale);
    p.text(150, 25, scale);
    p.text(45, 160, "-" + scale);
    p.text(145, 265, "-" + scale);
    p.line(0, kCentreY, kGraphWidth, kCentreY, kAxisGrey);
    p.line(kCentreX, 0, kCentreX, kGraphHeight, kAxisGrey);
}

// The X graph (PlotX, RmsX, MaxDevX, MinDevX) or the Y graph with the Y figures.
void DrawAgainstTime(Painter& p, const TrackingState& state, const GraphOptions& options, const std::string& scale) {
    const bool x = options.kind == GraphKind::X;
    const double zoom = state.GraphZoom;
    if (options.rms) {
        const double half = zoom * (x ? state.RmsX : state.RmsY) * 0.5;
        p.horizontalAcross(kCentreY - half, kWhite);
        p.horizontalAcross(kCentreY + half, kWhite);
    }
    if (options.peakToValley) {
        p.horizontalAcross(kCentreY - zoom * (x ? state.MaxDevX : state.MaxDevY), kWhite);
        p.horizontalAcross(kCentreY - zoom * (x ? state.MinDevX : state.MinDevY), kWhite);
    }
    for (int t = 30; t <= 330; t += 60) p.line(t, 0, t, kGraphHeight, kGridBlue, true);
    for (int y = 30; y <= 270; y += 60) p.line(0, y, kGraphWidth, y, kGridBlue, true);
    p.text(35, 10, x ? "X" : "Y");
    p.text(10, 160, "O");
    p.text(340, 135, "t");
    p.text(5, 25, scale);
    p.text(3, 265, "-" + scale);
    p.line(0, kCentreY, kGraphWidth, kCentreY, kAxisGrey);
    p.line(30, 0, 30, kGraphHeight, kAxisGrey);
}

}  // namespace

std::string ScaleText(double s) {
    if (s >= 100) return FormatFixed(s, 0);
    if (s >= 10) return FormatFixed(s, 1);
    return FormatFixed(s, 2);
}

std::string GraphZoomText(double zoom) {
    return FormatDecimals(std::trunc(zoom * 100), 0) + " %";
}

GraphScene BuildGraph(TrackingState& state, const TrackingParameters& parameters, const GraphOptions& options) {
    GraphScene scene;
    AddBackground(scene.items);
    const int n = FrameCountOf(state);

    double focal = ParseInt(parameters.focalLength);
    const double pixel = ParseReal(parameters.pixelSize);
    const int interval = ParseInt(parameters.interval);
    if (!(focal > 0 && focal < 30001)) {
        scene.message = msg::kTrackFocalRange;
    } else if (!(pixel > 0 && pixel < 100.1)) {
        scene.message = msg::kTrackPixelRange;
    } else if (!(interval > 0 && interval < 1001)) {
        scene.message = msg::kTrackIntervalRange;
    }
    if (scene.message) return scene;

    // The graph's own multiplier rule, wider than the one of the statistics.
    if (n > 1) {
        const double c = ParseReal(parameters.multiplier);
        if (c > 0 && c < 10) focal = c * focal;
    }
    // Deviation shown by 120 screen pixels, two grid steps from the centre.
    double s = 120 / state.GraphZoom;
    if (options.arcsec) s = s * ArcsecPerPixel(pixel, focal);
    const std::string scale = ScaleText(s);

    Painter p{scene.items};
    if (options.kind == GraphKind::XY) {
        DrawXY(p, state, options, scale);
    } else {
        DrawAgainstTime(p, state, options, scale);
    }
    if (n < 2) return scene;

    for (int i = 0; i < n; ++i) {
        state.PlotX[i] = state.GraphZoom * state.DeviationX[i];
        state.PlotY[i] = state.GraphZoom * state.DeviationY[i];
    }
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    if (options.lines) {
        for (int j = 1; j < n; ++j) {
            MarkPosition(state, options.kind, j - 1, x0, y0);
            MarkPosition(state, options.kind, j, x1, y1);
            p.line(x0, y0, x1, y1, kTrackRed);
        }
    }
    if (options.points) {
        for (int i = 0; i < n; ++i) {
            MarkPosition(state, options.kind, i, x0, y0);
            p.mark(x0, y0, kMarkCyan, 1);
        }
    }
    p.text(270, 270, "X =");
    p.text(270, 285, "Y =");
    p.text(290, 270, std::to_string(state.FirstPeakX));
    p.text(290, 285, std::to_string(state.FirstPeakY));
    return scene;
}

void AddFrameHighlight(GraphScene& scene, const TrackingState& state, const GraphOptions& options, int i) {
    if (i < 0 || i >= FrameCountOf(state)) return;
    double x = 0, y = 0;
    MarkPosition(state, options.kind, i, x, y);
    Painter{scene.items}.mark(x, y, kHighlightMagenta, 2);
}

}  // namespace nuvak
