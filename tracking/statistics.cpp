#include "tracking/statistics.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>

#include "core/format.h"
#include "resources/messages.h"

namespace nuvak {

namespace {

// Label prefixes in the order of ResultLabels.
constexpr const char* kPrefixes[8] = {
    "RMS = ", "RMS_X = ", "RMS_Y = ", "PV_X = ", "PV_Y = ", "FWHM = ", "Vx = ", "Vy = "};

// The three parameters as read from their texts, checked.
struct CheckedParameters {
    double focalLength, pixelSize, interval;
};

CheckedParameters ReadCheckedParameters(const TrackingParameters& parameters) {
    const int focal = ParseInt(parameters.focalLength);
    const double pixel = ParseReal(parameters.pixelSize);
    const int interval = ParseInt(parameters.interval);
    if (!(focal > 0 && focal < 30001)) throw TrackingError(msg::kTrackFocalRange);
    if (!(pixel > 0 && pixel < 100.1)) throw TrackingError(msg::kTrackPixelRange);
    if (!(interval > 0 && interval < 1001)) throw TrackingError(msg::kTrackIntervalRange);
    return {double(focal), pixel, double(interval)};
}

// Removes the least-squares line from the first n entries.
void Flatten(TrackingState::Series& d, int n) {
    double a = 0, b = 0;
    FitLine(d.data(), n, a, b);
    for (int k = 0; k < n; ++k) d[k] -= k * a + b;
}

double Slope(const TrackingState::Series& d, int n) {
    double a = 0, b = 0;
    FitLine(d.data(), n, a, b);
    return a;
}

}  // namespace

void FitLine(const double* y, int n, double& slope, double& intercept) {
    double sk = 0, skk = 0, sy = 0, sky = 0;
    for (int k = 0; k < n; ++k) {
        sk += k;
        skk += double(k) * k;
        sy += y[k];
        sky += k * y[k];
    }
    const double d = n * skk - sk * sk;
    if (d == 0) {
        // Fewer than two points: a level line through them (through nothing: the zero line).
        slope = 0;
        intercept = n > 0 ? sy / n : 0;
        return;
    }
    slope = (n * sky - sk * sy) / d;
    intercept = (skk * sy - sk * sky) / d;
}

double ArcsecPerPixel(double pixelSize, double focalLength) {
    const double pi = 4 * std::atan(1.0);
    return std::atan(pixelSize / focalLength * 0.001) * 180 / pi * 3600;
}

double LabelArcsecPerPixel(const TrackingParameters& parameters) {
    // Parsed in this order, so that a bad text throws the conversion error it always did.
    const double focal = ParseInt(parameters.focalLength);
    const double c = ParseReal(parameters.multiplier);
    return LabelArcsecPerPixel(ParseReal(parameters.pixelSize), focal, c);
}

double LabelArcsecPerPixel(double pixelSize, double focalLength, double multiplier) {
    if (multiplier > 0.001 && multiplier <= 3) focalLength *= multiplier;
    return ArcsecPerPixel(pixelSize, focalLength);
}

ResultFigures ComputeStatistics(TrackingState& s, const TrackingParameters& parameters) {
    ResultFigures figures;
    const int n = std::clamp(s.FrameCount, 0, kMaxFrames);
    if (n == 0) return figures;
    // Every text is read and checked before the state changes, so a refusal leaves the
    // previous figures in place.
    const CheckedParameters p = ReadCheckedParameters(parameters);
    const double multiplier = ParseReal(parameters.multiplier);

    s.FocalLength = p.focalLength;
    s.PixelSize = p.pixelSize;
    s.FrameInterval = p.interval;

    s.MeanX = s.MeanY = s.MeanFwhm = 0;
    for (int i = 0; i < n; ++i) {
        s.MeanX += s.CentroidX[i] / n;
        s.MeanY += s.CentroidY[i] / n;
        s.MeanFwhm += s.FwhmRadius[i] / n;
    }
    for (int i = 0; i < n; ++i) {
        s.DeviationX[i] = s.CentroidX[i] - s.MeanX;
        s.DeviationY[i] = s.CentroidY[i] - s.MeanY;
    }
    if (parameters.flattenX) Flatten(s.DeviationX, n);
    if (parameters.flattenY) Flatten(s.DeviationY, n);

    // Pixels per frame, then per minute.
    s.DriftX = Slope(s.DeviationX, n) / s.FrameInterval * 60;
    s.DriftY = Slope(s.DeviationY, n) / s.FrameInterval * 60;

    // Sample RMS with N - 1; a single frame has no spread and reads 0.
    double sumX = 0, sumY = 0, sumAll = 0;
    if (n > 1) {
        for (int i = 0; i < n; ++i) {
            const double dx2 = s.DeviationX[i] * s.DeviationX[i];
            const double dy2 = s.DeviationY[i] * s.DeviationY[i];
            sumX += dx2 / (n - 1);
            sumY += dy2 / (n - 1);
            sumAll += (dx2 + dy2) / (n - 1);
        }
    }
    s.RmsX = std::sqrt(sumX);
    s.RmsY = std::sqrt(sumY);
    s.RmsAll = std::sqrt(sumAll);

    s.MaxDevX = s.MaxDevY = -1000000;
    s.MinDevX = s.MinDevY = 1000000;
    for (int i = 0; i < n; ++i) {
        if (s.DeviationX[i] >= s.MaxDevX) s.MaxDevX = s.DeviationX[i];
        if (s.DeviationX[i] <= s.MinDevX) s.MinDevX = s.DeviationX[i];
        if (s.DeviationY[i] >= s.MaxDevY) s.MaxDevY = s.DeviationY[i];
        if (s.DeviationY[i] <= s.MinDevY) s.MinDevY = s.DeviationY[i];
    }
    s.PeakToValleyX = s.MaxDevX - s.MinDevX;
    s.PeakToValleyY = s.MaxDevY - s.MinDevY;

    if (multiplier > 0.001 && multiplier <= 3) s.FocalLength = multiplier * s.FocalLength;

    const double values[8] = {s.RmsAll,        s.RmsX,     s.RmsY,   s.PeakToValleyX,
                              s.PeakToValleyY, s.MeanFwhm, s.DriftX, s.DriftY};
    const double factor = parameters.arcsec ? ArcsecPerPixel(s.PixelSize, s.FocalLength) : 1.0;
    figures.measured = true;
    figures.arcsec = parameters.arcsec;
    for (int i = 0; i < 8; ++i) figures.values[std::size_t(i)] = values[i] * factor;
    return figures;
}

ResultLabels FormatResultLabels(const ResultFigures& figures) {
    ResultLabels labels;
    const char* unit = figures.arcsec ? " 秒角" : " pxls";
    const char* speedUnit = figures.arcsec ? " 秒角/min." : " p/min.";
    for (int i = 0; i < 8; ++i)
        labels[std::size_t(i)] = figures.measured ? kPrefixes[i] + FormatFixed(figures.values[std::size_t(i)], 2) +
                                                        (i < 6 ? unit : speedUnit)
                                                  : std::string(kPrefixes[i]);
    return labels;
}

ResultLabels RefreshStatistics(TrackingState& state, const TrackingParameters& parameters) {
    return FormatResultLabels(ComputeStatistics(state, parameters));
}

}  // namespace nuvak
