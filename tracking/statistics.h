#pragma once
// The tracking statistics: means, deviations (optionally flattened), drift speed, RMS and
// peak-to-valley values, and the texts of the eight result labels.

#include <array>
#include <string>

#include "core/format.h"
#include "tracking/state.h"

namespace nuvak {

// The parameter texts as the tracking window holds them.
struct TrackingParameters {
    std::string focalLength = "7800";  // mm, integer
    std::string pixelSize = "7.4";     // micrometres, real
    std::string interval = "15";       // seconds, integer
    std::string multiplier = "1.000";  // focal-length multiplier, real
    bool flattenX = false;
    bool flattenY = false;
    bool arcsec = false;  // labels in arc-seconds instead of pixels
};

// Texts of Label7 ... Label14: RMS, RMS_X, RMS_Y, PV_X, PV_Y, FWHM, Vx, Vy.
using ResultLabels = std::array<std::string, 8>;

// The eight figures of the labels (RMS, RMS_X, RMS_Y, PV_X, PV_Y, FWHM, Vx, Vy) in the
// labels' units: pixels (per minute), or arc-seconds (per minute) when arcsec is set.
struct ResultFigures {
    bool measured = false;  // false with no frames: the labels are their bare prefixes
    bool arcsec = false;
    std::array<double, 8> values{};
};

// Recomputes every statistic into state and returns the labels' figures. A parameter out of
// range throws TrackingError with its message and leaves state as it was; a text that is not
// a number throws ConversionError.
ResultFigures ComputeStatistics(TrackingState& state, const TrackingParameters& parameters);
// The label texts of the figures, two decimals each.
ResultLabels FormatResultLabels(const ResultFigures& figures);
// ComputeStatistics, then FormatResultLabels.
ResultLabels RefreshStatistics(TrackingState& state, const TrackingParameters& parameters);

// Least-squares line through (k, y[k]), k = 0 ... n - 1.
void FitLine(const double* y, int n, double& slope, double& intercept);

// Arc-seconds per pixel for a pixel size in micrometres and a focal length in millimetres.
double ArcsecPerPixel(double pixelSize, double focalLength);

// The arc-seconds per pixel the result labels use: the focal length times the multiplier
// when the multiplier is within (0.001, 3]. The texts must already have passed the labels'
// checks (RefreshStatistics).
double LabelArcsecPerPixel(const TrackingParameters& parameters);
// The same rule for a focal length in millimetres, a pixel size in micrometres and a multiplier.
double LabelArcsecPerPixel(double pixelSize, double focalLength, double multiplier);

}  // namespace nuvak
