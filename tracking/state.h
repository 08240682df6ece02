#pragma once
// The tracking state: one set of values for the whole run of the program, shared by the
// measurement, the statistics, the graph and the results file.

#include <array>
#include <stdexcept>
#include <string>

#include "core/error.h"

namespace nuvak {

inline constexpr int kMaxFrames = 200;

struct TrackingState {
    int FrameCount = 0;      // listed frames N, 0 ... 200
    int StarPickState = 0;   // 0 idle, -1 preview shown and waiting for the star, 1 star confirmed
    int SearchRadius = 10;   // half-width of the star search and the centroid
    double GraphZoom = 1.0;  // screen pixels per pixel of deviation

    using Series = std::array<double, kMaxFrames>;
    Series CentroidX{}, CentroidY{};    // star centroid of frame i (pixel centres at x + 0.5)
    Series FwhmRadius{};                // star width of frame i
    Series DeviationX{}, DeviationY{};  // centroid minus mean, after optional flattening
    Series PlotX{}, PlotY{};            // GraphZoom times the deviation

    double MeanX = 0, MeanY = 0, MeanFwhm = 0;
    double RmsAll = 0, RmsX = 0, RmsY = 0;
    double MaxDevX = 0, MinDevX = 0, MaxDevY = 0, MinDevY = 0;
    double PeakToValleyX = 0, PeakToValleyY = 0;
    double DriftX = 0, DriftY = 0;       // pixels per minute
    int FirstPeakX = 0, FirstPeakY = 0;  // brightest pixel of frame 0
    double FocalLength = 0, PixelSize = 0, FrameInterval = 0;
    // Entries of the listed frames that the last run produced. While they do not cover the
    // list (no run yet, or a run that stopped), the entries hold nothing to show.
    int MeasuredCount = 0;

    bool measured() const { return FrameCount > 0 && MeasuredCount >= FrameCount; }

    // Every per-frame sequence back to 0 for all 200 entries, and no frames.
    void clearFrames() {
        for (Series* s : {&CentroidX, &CentroidY, &FwhmRadius, &DeviationX, &DeviationY, &PlotX, &PlotY}) s->fill(0.0);
        FrameCount = 0;
        MeasuredCount = 0;
    }
    // Drops frame i: the later entries of every sequence move down by one.
    void deleteFrame(int i) {
        if (i < 0 || i >= FrameCount) return;
        for (Series* s : {&CentroidX, &CentroidY, &FwhmRadius, &DeviationX, &DeviationY, &PlotX, &PlotY})
            for (int k = i; k + 1 < FrameCount; ++k) (*s)[k] = (*s)[k + 1];
        if (i < MeasuredCount) --MeasuredCount;
        --FrameCount;
    }
};

// A tracking command stops with a message for the user (the text as shown, UTF-8).
class TrackingError : public Refusal {
public:
    using Refusal::Refusal;
};

}  // namespace nuvak
