// The tracking report as JSON: one key a line, numbers that read back as the same doubles,
// null for figures that could not be computed.

#include <cmath>

#include "core/json.h"
#include "tracking/report.h"

namespace nuvak {

namespace {

std::string String(std::string_view text) { return JsonString(text); }
std::string Number(double value) { return JsonNumber(value); }

std::string Optional(const std::optional<double>& value) { return value ? Number(*value) : "null"; }

template <class T, class F>
std::string Array(const std::vector<T>& values, F item) {
    return JsonArray(values, item, ", ");
}

std::string FigureJson(const Figure& f) {
    std::string out = "{\"value\": " + Number(f.value);
    if (f.ci95) out += ", \"ci95\": [" + Number(f.ci95->first) + ", " + Number(f.ci95->second) + "]";
    return out + "}";
}

}  // namespace

std::string ReportJson(const TrackingReport& report) {
    const auto number = [](double v) { return Number(v); };
    const PeriodicError& pe = report.pe;
    const WormFold& worm = report.worm;
    JsonObject json(2);
    json.addRaw("time_source", String(report.timeSource))
        .addRaw("t_s", Array(report.t, number))
        .addRaw("arcsec_per_pixel", Number(report.arcsecPerPixel))
        .addRaw("scale_source", String(report.scaleSource))
        .addRaw("camera_angle_deg", Number(report.cameraAngleDeg))
        .addRaw("ra_arcsec", Array(report.ra, number))
        .addRaw("dec_arcsec", Array(report.dec, number))
        .addRaw("drift_ra", FigureJson(report.driftRa))
        .addRaw("drift_dec", FigureJson(report.driftDec))
        .addRaw("rms_ra", FigureJson(report.rmsRa))
        .addRaw("rms_dec", FigureJson(report.rmsDec))
        .addRaw("rms_total", FigureJson(report.rmsTotal))
        .addRaw("pe",
                JsonObject(4)
                    .addRaw("period_s", FigureJson(pe.periodS))
                    .addRaw("amplitude_pp_arcsec", FigureJson(report.amplitudePpCorrectedArcsec))
                    .addRaw("fap", FigureJson(pe.fap))
                    .addRaw("harmonic", pe.harmonic ? std::to_string(*pe.harmonic) : "null")
                    .addRaw("worm_period_s", Optional(report.wormPeriodS))
                    .addRaw("amplitude_pp_observed_arcsec", FigureJson(pe.amplitudePpArcsec))
                    .addRaw("amplitude_pp_axis_arcsec", FigureJson(report.amplitudePpAxisArcsec))
                    .addRaw("exposure_s", Optional(report.exposureS))
                    .addRaw("smear_factor", Number(report.smearFactor))
                    .addRaw("fold_period_s", Number(worm.periodS))
                    .addRaw("fold_period_source", worm.periodSource.empty() ? "null" : String(worm.periodSource))
                    .addRaw("phase_ref", String(worm.phaseRef))
                    .addRaw("phase_ref_utc", worm.phaseRefUtcS ? String(FormatIsoDateTime(*worm.phaseRefUtcS)) : "null")
                    .addRaw("harmonics", Array(worm.harmonics,
                                               [](const WormHarmonic& h) {
                                                   return "{\"order\": " + std::to_string(h.order) +
                                                          ", \"amplitude_arcsec\": " + FigureJson(h.amplitudeArcsec) +
                                                          ", \"phase_rad\": " + Number(h.phaseRad) +
                                                          ", \"smear_factor\": " + Number(h.smearFactor) +
                                                          ", \"left\": " + (h.left.empty() ? "null" : String(h.left)) +
                                                          "}";
                                               }))
                    .addRaw("curve", Array(worm.curve,
                                           [](const WormFold::Point& p) {
                                               return "{\"phase\": " + Number(p.phase) +
                                                      ", \"arcsec\": " + Number(p.arcsec) + ", \"ci95\": [" +
                                                      Number(p.lo) + ", " + Number(p.hi) + "]}";
                                           }))
                    .addRaw("residual_rms_after_pec_arcsec", Number(worm.residualRmsAfterPecArcsec))
                    .addRaw("fold_phase", Array(worm.phase, number))
                    .addRaw("fold_cycle", Array(worm.cycle, [](int c) { return std::to_string(c); }))
                    .addRaw("fold_residual_arcsec", Array(worm.residual, number))
                    .str())
        .addRaw("polar_alignment_error_arcmin",
                report.polarAlignmentErrorArcmin ? FigureJson(*report.polarAlignmentErrorArcmin) : "null")
        .addRaw("polar_alignment", report.polarHourAngle
                                       ? JsonObject(4)
                                             .addRaw("component", String(report.polarHourAngle->component))
                                             .addRaw("error_arcmin", FigureJson(report.polarHourAngle->errorArcmin))
                                             .addRaw("mixed", report.polarHourAngle->mixed ? "true" : "false")
                                             .addRaw("hour_angle_start_h", Number(report.polarHourAngle->startH))
                                             .addRaw("hour_angle_end_h", Number(report.polarHourAngle->endH))
                                             .addRaw("hour_angle_mean_h", Number(report.polarHourAngle->meanH))
                                             .addRaw("site_lat_deg", Number(report.polarHourAngle->latDeg))
                                             .addRaw("site_lon_deg", Number(report.polarHourAngle->lonDeg))
                                             .addRaw("ra_deg", Number(report.polarHourAngle->raDeg))
                                             .str()
                                       : "null")
        .addRaw("hour_angle_h", Array(report.hourAngleH, number))
        .addRaw("stars", report.field ? std::to_string(report.field->stars) : "null")
        .addRaw("seeing_jitter_arcsec", report.field ? FigureJson(report.field->seeingJitterArcsec) : "null")
        .addRaw("field_rotation",
                report.field
                    ? JsonObject(4)
                          .addRaw("deg_per_hour", FigureJson(report.field->degPerHour))
                          .addRaw("rate_arcsec_per_min_at_corner", FigureJson(report.field->rateArcsecPerMinAtCorner))
                          .addRaw("polar_error_arcmin", FigureJson(report.field->polarFromRotationArcmin))
                          .addRaw("polar_error_from_drift_arcmin", FigureJson(report.field->polarFromDriftArcmin))
                          .addRaw("polar_error_total_arcmin", Number(report.field->polarTotalArcmin))
                          .addRaw("agreement", String(report.field->agreement))
                          .addRaw("star_count", Array(report.field->starCount, [](int c) { return std::to_string(c); }))
                          .addRaw("rotation_deg", Array(report.field->rotationDeg, number))
                          .str()
                    : "null")
        .addRaw("structure_function", Array(report.structureFunction,
                                            [](const StructurePoint& p) {
                                                return "{\"lag_s\": " + Number(p.lagS) +
                                                       ", \"rms_arcsec\": " + Number(p.rmsArcsec) + ", \"ci95\": [" +
                                                       Number(p.lo) + ", " + Number(p.hi) +
                                                       "], \"pairs\": " + std::to_string(p.pairs) + "}";
                                            }))
        .addRaw("structure_reading", report.structureReading.empty() ? "null" : String(report.structureReading))
        .addRaw("structure_peak_lag_s", Number(report.structurePeakLagS))
        .addRaw("jumps", Array(report.jumps, [](std::size_t i) { return std::to_string(i); }))
        .addRaw("fwhm_trend_px_per_hour", FigureJson(report.fwhmTrendPxPerHour))
        .addRaw("declination_deg", Optional(report.decDeg))
        .addRaw("fwhm_px", FigureJson(report.fwhmPx))
        .addRaw("fwhm_arcsec", FigureJson(report.fwhmArcsec))
        .addRaw("hfd_px", FigureJson(report.hfdPx))
        .addRaw("superpixels", report.superpixels ? "true" : "false")
        .addRaw("centroid_sigma_px", Array(report.centroidSigmaPx, number))
        .addRaw("noise_limited", report.noiseLimited ? "true" : "false")
        .addRaw("flags", Array(report.flags, [](const std::vector<std::string>& f) { return Array(f, String); }))
        .addRaw("lost_reasons", Array(report.lostReasons,
                                      [](const TrackingReport::LostReason& l) {
                                          return l.reason.empty() ? std::string("null")
                                                                  : "{\"reason\": " + String(l.reason) +
                                                                        ", \"message\": " + String(l.message) + "}";
                                      }))
        .addRaw("used", Array(report.used, [](bool u) { return std::string(u ? "true" : "false"); }))
        .addRaw("meridian_flips", Array(report.meridianFlips, [](std::size_t i) { return std::to_string(i); }))
        .addRaw("frames", Array(report.frames, String))
        .addRaw("warnings", Array(report.warnings,
                                  [](const ReportWarning& w) {
                                      return "{\"code\": " + String(w.code) + ", \"message\": " + String(w.message) +
                                             "}";
                                  }))
        .addRaw(
            "notes",
            JsonObject(4)
                .addRaw("fwhm", String("fwhm_px and fwhm_arcsec: full width at half maximum of a circular Gaussian "
                                       "fitted to the background-subtracted star, median over the used frames "
                                       "that are not saturated"))
                .addRaw("hfd", String("hfd_px: half-flux diameter, median over the same frames"))
                .addRaw("superpixels", String("true when the frames are a colour camera's Bayer mosaic (BAYERPAT or "
                                              "COLORTYP): measured on the sums of its 2 x 2 cells, positions and "
                                              "widths still in image pixels"))
                .addRaw("window_fwhm", String("the tracking window's FWHM label is another figure: the radius of a "
                                              "disc with the area of the pixels above half the peak"))
                .addRaw("time_source", String("where t_s comes from: DATE-AVG (mid-exposure), DATE-OBS (with "
                                              "TIME-OBS when it holds the date alone), MJD-OBS or JD (the start, "
                                              "plus half of EXPTIME or EXPOSURE), MJD-AVG (mid-exposure), the first "
                                              "of these that every readable frame has; else interval (frame number "
                                              "times the interval)"))
                .addRaw("scale_source", String("where arcsec_per_pixel comes from: FOCALLEN+XPIXSZ or "
                                               "FOCALLEN+PIXSIZE1*XBINNING (the frames' headers, when neither "
                                               "--focal nor --pixel is given), options (the command's focal length "
                                               "and pixel size or their defaults) or window (the tracking window's "
                                               "fields)"))
                .addRaw("flags", String("per frame: saturated; lost; cloud (the star's flux below half its "
                                        "median: left out of every figure); jump (the first frame after a step of "
                                        "both axes between stable stretches, a dither or a bump: each stretch has "
                                        "its own intercept); time_backwards or time_repeated (its time "
                                        "is earlier than or equal to the frame's before it: kept in list order, "
                                        "left out of every figure); meridian_flip (the first frame after a change "
                                        "of PIERSIDE)"))
                .addRaw("structure_function",
                        String("the RMS of the change of the sky position (both axes) between the used frames "
                               "lag_s apart, in bins of lag from the cadence to half the span, with a chi-square "
                               "95 % interval; structure_reading: flat (centroid noise and seeing: no lag changes "
                               "more than the shortest), rising (drift or slow wander) or periodic (a peak at "
                               "structure_peak_lag_s, half the period, and a fall after it)"))
                .addRaw("polar_alignment",
                        String("with the site (SITELAT/SITELONG or --site, longitude east positive) and the "
                               "star's RA (OBJCTRA or RA, or --ra): the hour angle of every frame (hour_angle_h) "
                               "and the component of the polar axis's error the declination drift measures at the "
                               "night's mean hour angle, to first order whatever the declination: altitude (near "
                               "the east or west horizon; positive: the axis above the pole) or azimuth (near the "
                               "meridian; positive: the axis east of the pole), mixed when the other component "
                               "weighs more than half as much; the sign takes dec_arcsec as pointing north. "
                               "polar_alignment_error_arcmin is the drift divided by cos(declination), as tools "
                               "give it: larger at high declination"))
                .addRaw("field_rotation",
                        String("with --stars: ra_arcsec and dec_arcsec are the stars' common motion (their weighted "
                               "mean offset once the field's turn and scale are fitted out, frame by frame); "
                               "seeing_jitter_arcsec the star-to-star scatter about it per axis; field_rotation the "
                               "turn's rate (counter-clockwise in the image) and what it gives a star at the corner. "
                               "To first order a polar axis off by e turns the field at w e cos(H - Hp) / cos(dec) "
                               "and drifts the declination at w e sin(H - Hp): polar_error_arcmin and "
                               "polar_error_from_drift_arcmin are the two components, polar_error_total_arcmin both "
                               "together, agreement which of the two differ from 0 at 95 % (both, drift_only, "
                               "rotation_only, neither)"))
                .addRaw("fwhm_trend", String("fwhm_trend_px_per_hour: the slope of the unsaturated used frames' "
                                             "FWHM against time; a rise beyond a tenth of the median FWHM over the "
                                             "night with an interval above 0 is warned of as focus_drift"))
                .addRaw("meridian_flips", String("the indices (from 0) of the frames flagged meridian_flip; from "
                                                 "each to the next the image axes are turned by 180 degrees, each "
                                                 "such part has its own intercept and all share the drift slopes, "
                                                 "and ra_arcsec and dec_arcsec are moved onto the first part's lines"))
                .addRaw("lost_reasons", String("per frame, why a frame flagged lost was left out: unreadable, "
                                               "other_size (than the first frame or the darks), no_star, "
                                               "jump, or after_meridian_flip (with --stars, every frame "
                                               "from the first meridian flip on); null for the frames "
                                               "not lost"))
                .addRaw("pe_amplitudes",
                        String("pe: amplitude_pp_observed_arcsec is the peak to peak of the sinusoid fitted to the "
                               "RA residuals as the centroids show it; amplitude_pp_arcsec is that figure undone "
                               "from the shrinking by the exposure (a centroid over exposure_s seconds sees a "
                               "period P shrunk by smear_factor = sinc(pi exposure_s / P)), null with a warning "
                               "when the exposure is unknown, above 0.6 P or the frames are fewer than two a "
                               "period; amplitude_pp_axis_arcsec is that figure at the RA axis "
                               "(divided by cos(declination_deg))"))
                .addRaw("pe_fold",
                        String("pe: the RA residuals folded on fold_period_s (the worm period, else the detected "
                               "period when its fap is below 0.01) from phase_ref (given: --pec-phase-ref, else "
                               "first_frame, whose UTC is phase_ref_utc); fold_phase (0 to 1), fold_cycle and "
                               "fold_residual_arcsec (the RA position about the fit's drift line) per frame; a "
                               "least-squares Fourier series of the worm's first four harmonics fitted with the drift "
                               "line, each "
                               "A sin(2 pi order phase + phase_rad) on the sky with A (amplitude_arcsec, half its "
                               "peak to peak) undone from the exposure's smear, left out (left: phase_coverage or "
                               "exposure_smear) when the folded frames or the exposure cannot show it; curve: the "
                               "harmonics' sum with its 95 % band at 100 phases; residual_rms_after_pec_arcsec: "
                               "the residuals' RMS after the fitted curve, what a perfect correction leaves"))
                .addRaw("warnings", String("what the report could not do, each with a code and its reason: "
                                           "exposure_unknown, exposure_smear, cadence, no_worm_period, "
                                           "fold_too_few_frames, harmonic_phase_coverage, harmonic_exposure_smear, "
                                           "phase_ref_without_dates, focus_drift"))
                .addRaw("drift", String("drift_ra and drift_dec: slope of the least-squares line, arc-seconds per "
                                        "minute; ci95 holds the periodic error's share of the slope"))
                .str());
    return json.str() + "\n";
}

}  // namespace nuvak
