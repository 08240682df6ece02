#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "resources/messages.h"
#include "tracking/graph.h"

namespace nuvak {
namespace {

using Items = std::vector<std::string>;

// An item as "kind x1,y1 x2,y2 colour" (lines: "-" dashed, "=" 2 pixels wide; texts: "T x,y text").
std::string Describe(const GraphItem& g) {
    char buf[96];
    if (g.type == GraphItem::Type::Text) return "T " + std::to_string(g.x1) + "," + std::to_string(g.y1) + " " + g.text;
    const char* kind = g.type == GraphItem::Type::Fill ? "F" : g.type == GraphItem::Type::Ellipse ? "E"
                       : g.dashed ? "L-" : g.penWidth == 2 ? "L=" : "L";
    std::snprintf(buf, sizeof buf, "%s %d,%d %d,%d %06X", kind, g.x1, g.y1, g.x2, g.y2, unsigned(g.colour));
    return buf;
}

// The items whose description starts with the prefix (a kind, or a kind and position), in order.
Items Pick(const GraphScene& scene, const std::string& prefix, const std::string& colour = "") {
    Items out;
    for (const GraphItem& g : scene.items) {
        const std::string d = Describe(g);
        if (d.starts_with(prefix) && d.ends_with(colour)) out.push_back(d);
    }
    return out;
}

// The diamond point mark around (x, y), as its four segments.
Items Mark(int x, int y, const std::string& colour, const char* kind = "L") {
    auto seg = [&](int a, int b, int c, int d) {
        return std::string(kind) + " " + std::to_string(a) + "," + std::to_string(b) + " " + std::to_string(c) + "," +
               std::to_string(d) + " " + colour;
    };
    return {seg(x - 5, y, x, y - 5), seg(x, y - 5, x + 5, y), seg(x + 5, y, x, y + 5), seg(x, y + 5, x - 5, y)};
}

Items operator+(Items a, const Items& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// Frames with the given deviations, as the statistics leave them.
TrackingState Deviations(std::initializer_list<std::pair<double, double>> d, double zoom = 1) {
    TrackingState s;
    s.GraphZoom = zoom;
    for (const auto& [x, y] : d) {
        s.DeviationX[s.FrameCount] = x;
        s.DeviationY[s.FrameCount++] = y;
    }
    return s;
}

GraphOptions Kind(GraphKind kind) {
    GraphOptions o;
    o.kind = kind;
    return o;
}

TEST(TrackingGraph, EmptyListDrawsBackgroundGridScaleAndAxesOnly) {
    TrackingState s;
    const GraphScene scene = BuildGraph(s, TrackingParameters{}, GraphOptions{});
    EXPECT_FALSE(scene.message);
    const Items expected = {
        "F 0,0 360,300 000080",
        "L- 0,0 0,300 0000FF", "L- 60,0 60,300 0000FF", "L- 120,0 120,300 0000FF", "L- 180,0 180,300 0000FF",
        "L- 240,0 240,300 0000FF", "L- 300,0 300,300 0000FF", "L- 0,30 360,30 0000FF", "L- 0,90 360,90 0000FF",
        "L- 0,150 360,150 0000FF", "L- 0,210 360,210 0000FF", "L- 0,270 360,270 0000FF",
        "T 185,10 Y", "T 340,135 X", "T 295,165 120", "T 150,25 120", "T 45,160 -120", "T 145,265 -120",
        "L 0,150 360,150 808080", "L 180,0 180,300 808080"};  // and no "X =" / "Y =" texts
    EXPECT_EQ(Pick(scene, ""), expected);
}

TEST(TrackingGraph, ScaleTextAndZoomLabel) {
    // S is the deviation 120 screen pixels from the centre: 120 / zoom pixels, times
    // 0.195687 arc-seconds per pixel on the arc-second scale; its decimals follow the value.
    const std::tuple<double, bool, const char*> rows[] = {
        {1, false, "120"}, {2, false, "60.0"}, {8, false, "15.0"}, {16, false, "7.50"}, {1, true, "23.5"}};
    for (const auto& [zoom, arcsec, text] : rows) {
        TrackingState s = Deviations({}, zoom);
        GraphOptions o;
        o.arcsec = arcsec;
        EXPECT_EQ(Pick(BuildGraph(s, TrackingParameters{}, o), "T 295,165"), Items{std::string("T 295,165 ") + text});
    }
    EXPECT_EQ(ScaleText(99.96), "100.0");  // below 100: one decimal, even where it rounds up to 100
    EXPECT_EQ(GraphZoomText(2), "200 %");
    EXPECT_EQ(GraphZoomText(0.0625), "6 %");
}

TEST(TrackingGraph, GraphTakesMultipliersBelowTenOnlyWithTwoOrMoreFrames) {
    // Multiplier 5, refused by the statistics, makes 39000 mm here: S = 4.70 arc-seconds.
    TrackingParameters p;
    p.multiplier = "5";
    GraphOptions o;
    o.arcsec = true;
    TrackingState two = Deviations({{0, 0}, {0, 0}}), none;
    EXPECT_EQ(Pick(BuildGraph(two, p, o), "T 295,165"), Items{"T 295,165 4.70"});
    EXPECT_EQ(Pick(BuildGraph(none, p, o), "T 295,165"), Items{"T 295,165 23.5"});
}

TEST(TrackingGraph, RefusedParametersLeaveTheBareBackgroundAndTheMessage) {
    TrackingState s = Deviations({{1, 0}, {-1, 0}});
    TrackingParameters p;
    p.pixelSize = "100.1";
    const GraphScene scene = BuildGraph(s, p, GraphOptions{});
    EXPECT_EQ(Pick(scene, ""), Items{"F 0,0 360,300 000080"});
    EXPECT_EQ(scene.message, std::string(msg::kTrackPixelRange));
}

TEST(TrackingGraph, PositiveXDeviationIsDrawnLeftOfTheCentre) {
    TrackingState s = Deviations({{1, 0}, {-1, 0}});
    s.FirstPeakX = 412;
    s.FirstPeakY = 97;
    const GraphScene scene = BuildGraph(s, TrackingParameters{}, GraphOptions{});
    EXPECT_EQ(Pick(scene, "L ", "FF0000"), Items{"L 179,150 181,150 FF0000"});
    EXPECT_EQ(Pick(scene, "L ", "00FFFF"), Mark(179, 150, "00FFFF") + Mark(181, 150, "00FFFF"));
    EXPECT_EQ(Pick(scene, "T 270") + Pick(scene, "T 290"),
              (Items{"T 270,270 X =", "T 270,285 Y =", "T 290,270 412", "T 290,285 97"}));
}

TEST(TrackingGraph, PlotFollowsTheZoomAndTruncatesAfterTheMarkOffsets) {
    // Zoom 2: frame 0 at (180 - 0.7, 150 - 147.5) = (179.3, 2.5); its top corner 2.5 - 5 = -2.5
    // truncates to -2 (truncating before the offset would give -3).
    TrackingState s = Deviations({{0.35, 73.75}, {-0.35, -73.75}}, 2);
    const GraphScene scene = BuildGraph(s, TrackingParameters{}, GraphOptions{});
    EXPECT_DOUBLE_EQ(s.PlotY[1], -147.5);
    EXPECT_EQ(Pick(scene, "L ", "00FFFF"),
              (Items{"L 174,2 179,-2 00FFFF", "L 179,-2 184,2 00FFFF", "L 184,2 179,7 00FFFF", "L 179,7 174,2 00FFFF",
                     "L 175,297 180,292 00FFFF", "L 180,292 185,297 00FFFF", "L 185,297 180,302 00FFFF",
                     "L 180,302 175,297 00FFFF"}));
}

TEST(TrackingGraph, TimeGraphsSpreadFourFramesFromThirtyOnward) {
    TrackingState s = Deviations({{0, 0}, {2, -2}, {-2, 2}, {0, 0}});
    const GraphScene x = BuildGraph(s, TrackingParameters{}, Kind(GraphKind::X));
    EXPECT_EQ(Pick(x, "L ", "00FFFF"),
              Mark(30, 150, "00FFFF") + Mark(105, 148, "00FFFF") + Mark(180, 152, "00FFFF") + Mark(255, 150, "00FFFF"));
    EXPECT_EQ(Pick(x, "T 35,10"), Items{"T 35,10 X"});
    // The Y graph plots the y deviations on the same time axis.
    const GraphScene y = BuildGraph(s, TrackingParameters{}, Kind(GraphKind::Y));
    EXPECT_EQ(Pick(y, "L ", "FF0000"), (Items{"L 30,150 105,152 FF0000", "L 105,152 180,148 FF0000",
                                              "L 180,148 255,150 FF0000"}));
    EXPECT_EQ(Pick(y, "T 35,10"), Items{"T 35,10 Y"});
}

TEST(TrackingGraph, RmsAndPeakToValleyOverlays) {
    TrackingState s = Deviations({{1, 0}, {-1, 0}}, 10);
    s.RmsAll = s.RmsX = 1.4142135623730951;  // half of 10 times it: 7.07
    s.MaxDevX = 1, s.MinDevX = -1;
    GraphOptions o;
    o.rms = o.peakToValley = true;
    EXPECT_EQ(Describe(BuildGraph(s, TrackingParameters{}, o).items[1]), "E 172,142 187,157 FFFFFF");  // under the grid
    o.kind = GraphKind::X;
    EXPECT_EQ(Pick(BuildGraph(s, TrackingParameters{}, o), "L ", "FFFFFF"),
              (Items{"L 0,142 360,142 FFFFFF", "L 0,157 360,157 FFFFFF", "L 0,140 360,140 FFFFFF", "L 0,160 360,160 FFFFFF"}));
}

TEST(TrackingGraph, HighlightAddsAMagentaMarkTwoPixelsWide) {
    TrackingState s = Deviations({{0, 0}, {2, 0}, {-2, 0}, {0, 0}});
    for (const auto& [kind, x, y] : {std::tuple{GraphKind::X, 105, 148}, {GraphKind::XY, 178, 150}}) {
        GraphScene scene = BuildGraph(s, TrackingParameters{}, Kind(kind));
        AddFrameHighlight(scene, s, Kind(kind), 1);
        AddFrameHighlight(scene, s, Kind(kind), 4);  // no such frame: nothing
        EXPECT_EQ(Pick(scene, "L="), Mark(x, y, "FF00FF", "L="));
    }
}

}  // namespace
}  // namespace nuvak
