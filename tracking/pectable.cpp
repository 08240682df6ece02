// The periodic-error correction table: the worm's folded curve turned into what the mount
// adds at the RA axis through one worm period, bin by bin.

#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>

#include "core/error.h"
#include "core/format.h"
#include "resources/messages.h"
#include "tracking/report.h"

namespace nuvak {

namespace {

// %g without a "-0".
std::string g(double v) { return FormatG6(v == 0 ? 0.0 : v); }

}  // namespace

std::string PecTableCsv(const TrackingReport& report, int bins) {
    if (bins < 1) throw std::invalid_argument("a correction table needs a bin");
    const WormFold& fold = report.worm;
    if (fold.curve.empty() || !(fold.periodS > 0)) throw Refusal(msg::kPecNoCurve);
    const double cosDec = report.decDeg ? std::cos(*report.decDeg * std::numbers::pi / 180) : 0;
    if (!(cosDec > 1e-3)) throw Refusal(msg::kPecNoDeclination);

    const double binS = fold.periodS / bins;
    // The correction is the negative of the measured error, taken from the sky to the axis.
    const auto correction = [&](int k) { return -WormCurveAt(fold, double(k) / bins) / cosDec; };
    std::string out;
    out += "# Periodic-error correction of the RA axis: one worm period of " + g(fold.periodS) + " s in " +
           std::to_string(bins) + " bins of " + g(binS) + " s, the period " +
           (fold.periodSource == "worm_period" ? "given (--worm-period)" : "of the detected periodic error") + "\n";
    out +=
        "# sign: correction_arcsec = -(measured periodic error), so that adding it cancels the error; arc-seconds "
        "at the RA axis (the error on the sky / cos(dec), dec " +
        g(*report.decDeg) + " deg)\n";
    out += "# rate_arcsec_per_s: (the next bin's correction - this bin's) / " + g(binS) +
           " s, the rate to add through the bin\n";
    out += "# phase: the bin's start as a fraction of the worm period from phase 0 at ";
    if (fold.phaseRef == "given") out += FormatIsoDateTime(*fold.phaseRefUtcS) + " UTC (given by --pec-phase-ref)\n";
    else if (fold.phaseRefUtcS)
        out += FormatIsoDateTime(*fold.phaseRefUtcS) + " UTC, the first frame's mid-exposure (no --pec-phase-ref)\n";
    else out += "the first frame's time (no --pec-phase-ref; the frames carry no date)\n";
    out += "phase,correction_arcsec,rate_arcsec_per_s\n";
    for (int k = 0; k < bins; ++k) {
        const double here = correction(k);
        out += g(double(k) / bins) + "," + g(here) + "," + g((correction(k + 1) - here) / binS) + "\n";
    }
    return out;
}

}  // namespace nuvak
