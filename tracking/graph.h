#pragma once
// The tracking graph as a list of drawing steps on a 360 x 300 canvas, so that the window
// paints it and tests can check every coordinate without a screen.

#include <string>

#include "core/graph.h"
#include "tracking/statistics.h"

namespace nuvak {

enum class GraphKind { XY, X, Y };

struct GraphOptions {
    GraphKind kind = GraphKind::XY;  // RadioButton5 / 6 / 7
    bool lines = true;               // CheckBox1
    bool points = true;              // CheckBox2
    bool rms = false;                // CheckBox3
    bool peakToValley = false;       // CheckBox6
    bool arcsec = false;             // RadioButton4
};

inline constexpr int kGraphWidth = 360;
inline constexpr int kGraphHeight = 300;

// The graph of the current state, as the statistics last left it: the window calls
// RefreshStatistics first (and shows its message), then this. Refreshes PlotX/PlotY (N >= 2).
// Parameter checks as the statistics make them; on a failure the scene is the background and
// carries the message. A parameter text that is not a number throws ConversionError.
GraphScene BuildGraph(TrackingState& state, const TrackingParameters& parameters, const GraphOptions& options);

// The magenta mark of frame i (2 pixels wide) added to a scene built for the same options.
void AddFrameHighlight(GraphScene& scene, const TrackingState& state, const GraphOptions& options, int i);

// The scale text S: s with no decimals from 100 up, one below 100, two below 10.
std::string ScaleText(double s);

// The zoom label: trunc(GraphZoom * 100) and " %".
std::string GraphZoomText(double zoom);

}  // namespace nuvak
