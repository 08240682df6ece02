#pragma once
// The report's figures of the night as a whole, beside the drift lines: the steps of the
// track (dithers, bumps), clouds, the star width's trend, the structure function and the
// polar-axis error by hour angle. ComputeReport calls them in this order.

#include <vector>

#include "tracking/report.h"

namespace nuvak::night {

// The candidate frames of part p (list indices, in order) and their positions with the part's
// median velocity taken out, so that a step or a spike stands out of a steady drift and the
// frames beside a gap in time do not.
struct StillTrack {
    std::vector<std::size_t> frames;
    std::vector<double> u, w;
};
StillTrack StillPositions(const std::vector<ReportFrame>& frames, const std::vector<double>& t,
                          const std::vector<bool>& candidate, const std::vector<int>& part, int p);

// Per frame: true for the first frame after a step of the track, each part of the night on
// its own (part[i], as ComputeReport numbers them). A step is a move of both axes, after the
// part's median velocity is taken out, between the medians of kStepSide candidate frames
// before and after it, larger than the spike limit, than its stretches' own spread and, in
// each axis, than the usual frame-to-frame motion: a dither or a knock of the mount, not
// tracking.
std::vector<bool> Steps(const std::vector<ReportFrame>& frames, const std::vector<double>& t,
                        const std::vector<bool>& candidate, const std::vector<int>& part);

// Per frame: a found star whose flux is below half the median flux of the found stars, as
// through a cloud.
std::vector<bool> Clouds(const std::vector<ReportFrame>& frames);

// The least-squares slope of the width against time in px per hour with its Student's t
// interval; NaN with fewer than 4 finite widths.
Figure WidthTrend(const std::vector<double>& t, const std::vector<double>& fwhm);

// The structure function of the used frames' sky positions (r.t, r.ra, r.dec, r.used) in
// geometric bins of lag from the cadence to half the span, and its reading.
void StructureFunction(TrackingReport& r);

// The hour angle of every frame and the polar component the declination drift measures
// there, from the report's drift (r.driftDec) and the site and RA; nothing without a UTC.
void PolarByHourAngle(TrackingReport& r, const TimeAxis& times, double latDeg, double lonDeg, double raDeg);

}  // namespace nuvak::night
