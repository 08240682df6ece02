#include "rgbcomp/pipeline.h"

#include <array>
#include <cstring>
#include <new>

#include "core/arrays.h"
#include "core/fits.h"
#include "core/format.h"
#include "imageops/blooming.h"
#include "resources/messages.h"
#include "rgbcomp/alignment.h"
#include "rgbcomp/calibration.h"
#include "rgbcomp/colour.h"
#include "rgbcomp/hotpixels.h"

namespace nuvak {

namespace {

constexpr std::size_t kMostFrames = 256;
// Saturation thresholds of the blooming removal, red, green, blue; streaks are runs longer
// than kBloomLength, replaced by radius-1 medians.
constexpr std::array<std::int32_t, 3> kBloomThreshold = {63000, 60000, 63000};
constexpr int kBloomLength = 5;
constexpr double kHotPixelRatio = 2.0;

// Returns the bar to 0 when the run leaves by an exception.
class BarReset {
public:
    explicit BarReset(Progress& p) : progress_(p) {}
    ~BarReset() {
        if (armed_) progress_.setPosition(0);
    }
    void disarm() { armed_ = false; }

private:
    Progress& progress_;
    bool armed_ = true;
};

// The user's message for a frame that cannot be aligned.
[[noreturn]] void Refuse(const AlignmentFault& f, const std::string& path, const RGBCompositeSetup& s) {
    switch (f.kind) {
        case AlignmentFault::NoPeak:
            if (f.star == 1) throw CompositeError(FillMessage(msg::kCompositeNoStar, path, 1, s.x1, s.y1, s.delta1));
            throw CompositeError(FillMessage(msg::kCompositeNoStar, path, 2, s.x2, s.y2, s.delta2));
        case AlignmentFault::NoCentroid: throw CompositeError(FillMessage(msg::kCompositeNoCentroid, path, f.star));
        case AlignmentFault::SameX: throw CompositeError(FillMessage(msg::kCompositeSameStarX, path));
        case AlignmentFault::SameCentroid: break;
    }
    throw CompositeError(FillMessage(msg::kCompositeSameStar, path));
}

Raster Compose(const RGBCompositeSetup& setup, Progress& progress, const CompositeNotice& notice) {
    const auto& lists = setup.lists;
    const std::string& firstGreen = lists[kGreenFrames].front();
    const FitsHeader first = ReadFitsHeader(firstGreen);
    const int w = first.width, h = first.height;

    // Each channel array is the buffer of its frames and in the end the channel mean; while
    // red and green are worked on, the next channel's array is free to serve as the spare
    // buffer of the hot pixels, the turn and the resampling. Blue has a spare of its own only
    // if it is turned or resampled.
    std::array<IntArray2D, 3> channel = {IntArray2D(w, h), IntArray2D(w, h), IntArray2D(w, h)};
    DoubleArray2D acc(w, h);
    IntArray2D dark = lists[kDarkFrames].empty() ? IntArray2D() : IntArray2D(w, h);
    const bool blueSpared = setup.advanced.turn[kBlueFrames] || setup.starMode == kTwoStars;
    IntArray2D blueSpare = blueSpared ? IntArray2D(w, h) : IntArray2D();
    DoubleArray2D levels;
    progress.setPosition(30);

    if (!dark.empty()) BuildMasterDark(lists[kDarkFrames], w, h, dark, acc, progress, notice);
    if (!lists[kFlatFrames].empty()) levels = LoadFlatLevels(lists[kFlatFrames].front(), w, h, channel[0], notice);
    progress.setPosition(20);

    RGBCompositeSetup s = setup;
    ClampCoordinates(w, h, s);

    StarPair reference;
    if (s.starMode == kTwoStars) {
        IntArray2D& scratch = channel[0];
        ReadSizedFrame(firstGreen, w, h, scratch, notice);
        if (!dark.empty()) CalibrateFrame(&dark, nullptr, false, w, h, scratch, scratch);
        try {
            reference = MeasureStarPair(w, h, s, scratch);
        } catch (const AlignmentFault& f) {
            Refuse(f, firstGreen, s);
        }
        progress.setPosition(40);
    }

    const IntArray2D* darkUsed = dark.empty() ? nullptr : &dark;
    const DoubleArray2D* levelsUsed = levels.empty() ? nullptr : &levels;
    constexpr int kAfterChannel[3] = {50, 60, 70};
    for (int c = 0; c < 3; ++c) {
        const std::vector<std::string>& paths = lists[c];
        const int n = static_cast<int>(paths.size());
        IntArray2D& frame = channel[c];
        IntArray2D& spare = c < 2 ? channel[c + 1] : blueSpare;
        std::memset(acc.data(), 0, acc.size() * sizeof(double));
        for (const std::string& path : paths) {
            ReadSizedFrame(path, w, h, frame, notice);
            // Blooming removal changes nothing unless some column has a long saturated run.
            if (HasLongRun(kBloomThreshold[c], kBloomLength, w, h, frame))
                RemoveBlooming(kBloomThreshold[c], kBloomLength, 1, w, h, frame);
            if (c == kRedFrames) {
                RemoveHotPixelsRows(kHotPixelRatio, w, h, frame, spare, 0, h);
                std::swap(frame, spare);
            }
            CalibrateFrame(darkUsed, levelsUsed, s.advanced.turn[c] != 0, w, h, frame, spare);
            FrameShift shift;
            try {
                shift = AlignFrame(w, h, s, reference, frame, spare.empty() ? nullptr : &spare);
            } catch (const AlignmentFault& f) {
                Refuse(f, path, s);
            }
            AccumulateShifted(frame, shift, n, w, h, acc, progress);
        }
        TruncateInto(acc, w, h, frame);
        if (s.advanced.slope[c]) RemoveBackgroundSlope(w, h, frame);
        progress.setPosition(kAfterChannel[c]);
    }
    acc.reset();
    dark.reset();
    levels.reset();
    blueSpare.reset();

    const double factor[3] = {s.r, s.g, s.b};
    double background[3];
    for (int c = 0; c < 3; ++c) background[c] = BackgroundMean(w, h, s.bx, s.by, channel[c]);
    for (int c = 0; c < 3; ++c) ToneChannel(background[c], factor[c], s.k, s.bgl, w, h, channel[c]);
    progress.setPosition(90);
    // ToneChannel leaves every value within 0 ... 255.
    progress.setPosition(100);
    Raster result = ColourRaster(w, h, channel[0], channel[1], channel[2]);
    progress.setPosition(100);
    return result;
}

}  // namespace

std::optional<Raster> RunRGBComposite(const RGBCompositeSetup& setup, Progress& progress,
                                      const CompositeNotice& notice) {
    const auto& lists = setup.lists;
    if (lists[kRedFrames].empty() || lists[kGreenFrames].empty() || lists[kBlueFrames].empty()) return std::nullopt;
    BarReset reset(progress);
    progress.setPosition(10);
    for (int k = 0; k < kFrameListCount; ++k)
        if (lists[k].size() > kMostFrames)
            throw CompositeError(FillMessage(msg::kCompositeTooManyFrames, msg::kProjectListNames[k], lists[k].size(),
                                             kMostFrames));
    const std::pair<const char*, double> factors[] = {{"R", setup.r}, {"G", setup.g}, {"B", setup.b}};
    for (const auto& [name, f] : factors)
        if (f == 0) throw CompositeError(FillMessage(msg::kCompositeZeroFactor, name));

    std::optional<Raster> result;
    try {
        result = Compose(setup, progress, notice);
    } catch (const std::bad_alloc&) {
        throw CompositeError(msg::kCompositeNoMemory);
    }
    reset.disarm();
    progress.setPosition(0);
    return result;
}

ImageDocument RGBCompositeDocument(Raster result) {
    ImageDocument doc;
    doc.DemX = result.width;
    doc.DemY = result.height;
    doc.Image = result;
    doc.ImageZm = std::move(result);
    doc.MAX = 255;
    doc.MIN = 0;
    doc.ColN = 3;
    doc.ZomN = 1.0;
    doc.UndoFlg = 0;
    doc.FilterI = ImageKind::Colour;
    doc.caption = "Child";
    return doc;
}

}  // namespace nuvak
