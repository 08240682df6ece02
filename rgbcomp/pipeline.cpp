#include "rgbcomp/pipeline.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <exception>
#include <future>
#include <new>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "core/arrays.h"
#include "core/blooming.h"
#include "core/fits.h"
#include "core/format.h"
#include "core/hotpixels.h"
#include "resources/messages.h"
#include "rgbcomp/alignment.h"
#include "rgbcomp/calibration.h"
#include "rgbcomp/colour.h"

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

// One frame on its way into a channel: its buffers (the frame and the work array of the hot
// pixels, the turn and the resampling, swapped as the steps go) and what its preparation
// gave. An error is kept, to stop the run in the order of the frames.
struct FrameSlot {
    IntArray2D* frame = nullptr;
    IntArray2D* spare = nullptr;
    FrameShift shift;
    std::exception_ptr error;
};

// What every frame of a run shares: the set-up with its clamped coordinates, the master dark
// and flat levels (null when absent) and the reference geometry.
struct FrameSteps {
    const RGBCompositeSetup& s;
    const IntArray2D* dark;
    const DoubleArray2D* levels;
    const StarPair& reference;
    int w, h;

    // Reads, cleans, calibrates and aligns the frame at path for channel c into the slot.
    // Touches nothing but the slot, so that two frames can be prepared at once.
    void prepare(const std::string& path, int c, FrameSlot& slot) const noexcept {
        slot.error = nullptr;
        try {
            IntArray2D& frame = *slot.frame;
            IntArray2D& spare = *slot.spare;
            ReadSizedFrame(path, w, h, frame);
            // Blooming removal changes nothing unless some column has a long saturated run.
            if (HasLongRun(kBloomThreshold[c], kBloomLength, w, h, frame))
                RemoveBlooming(kBloomThreshold[c], kBloomLength, 1, w, h, frame);
            if (c == kRedFrames) {
                RemoveHotPixelsRows(kHotPixelRatio, w, h, frame, spare, 0, h);
                std::swap(frame, spare);
            }
            CalibrateFrame(dark, levels, s.advanced.turn[c] != 0, w, h, frame, spare);
            try {
                slot.shift = AlignFrame(w, h, s, reference, frame, spare.empty() ? nullptr : &spare);
            } catch (const AlignmentFault& f) {
                Refuse(f, path, s);
            }
        } catch (...) {
            slot.error = std::current_exception();
        }
    }
};

// Stops the run with a prepared frame's error if it had one.
void Settle(const FrameSlot& slot) {
    if (slot.error) std::rethrow_exception(slot.error);
}

bool g_frameWorker = true;

// Runs f on a thread of its own; an empty future when no thread can be started.
template <class F>
std::future<void> OnWorker(F f) {
    try {
        return std::async(std::launch::async, std::move(f));
    } catch (const std::system_error&) {
        return {};
    }
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
    if (!lists[kFlatFrames].empty()) levels = LoadFlatLevels(lists[kFlatFrames].front(), w, h, channel[0]);
    progress.setPosition(20);

    RGBCompositeSetup s = setup;
    ClampCoordinates(w, h, s);

    StarPair reference;
    if (s.starMode == kTwoStars) {
        IntArray2D& scratch = channel[0];
        ReadSizedFrame(firstGreen, w, h, scratch);
        if (!dark.empty()) CalibrateFrame(&dark, nullptr, false, w, h, scratch, scratch);
        try {
            reference = MeasureStarPair(w, h, s, scratch);
        } catch (const AlignmentFault& f) {
            Refuse(f, firstGreen, s);
        }
        progress.setPosition(40);
    }

    const FrameSteps steps{s, dark.empty() ? nullptr : &dark, levels.empty() ? nullptr : &levels, reference, w, h};
    // A second pair of buffers lets a worker thread prepare every other frame while this
    // thread prepares the one before it; the frames still join the mean one by one in list
    // order, so the result is the same. Without the memory or a second core, one at a time.
    std::size_t longest = 0;
    for (int c = 0; c < 3; ++c) longest = std::max(longest, lists[c].size());
    IntArray2D otherFrame, otherSpare;
    if (g_frameWorker && longest > 1 && std::thread::hardware_concurrency() > 1) {
        try {
            otherFrame = IntArray2D(w, h);
            otherSpare = IntArray2D(w, h);
        } catch (const std::bad_alloc&) {
            otherFrame.reset();
            otherSpare.reset();
        }
    }
    constexpr int kAfterChannel[3] = {50, 60, 70};
    for (int c = 0; c < 3; ++c) {
        const std::vector<std::string>& paths = lists[c];
        const int n = static_cast<int>(paths.size());
        FrameSlot first, second;
        first.frame = &channel[c];
        first.spare = c < 2 ? &channel[c + 1] : &blueSpare;
        second.frame = &otherFrame;
        second.spare = &otherSpare;
        std::memset(acc.data(), 0, acc.size() * sizeof(double));
        for (int k = 0; k < n; ++k) {
            const bool pair = k + 1 < n && !otherFrame.empty();
            // Without a thread to be had, the second frame is prepared after the first.
            std::future<void> worker;
            if (pair) worker = OnWorker([&, next = k + 1] { steps.prepare(paths[next], c, second); });
            const bool working = worker.valid();
            steps.prepare(paths[k], c, first);
            if (working) worker.get();
            Settle(first);
            if (pair) {
                if (!working) steps.prepare(paths[k + 1], c, second);
                Settle(second);
            }
            // The frames join the mean in their order, the right half of the columns on the
            // worker when there is one.
            const auto add = [&](Progress& bar, int x0, int x1) {
                AccumulateShifted(*first.frame, first.shift, n, w, h, acc, bar, x0, x1);
                if (pair) AccumulateShifted(*second.frame, second.shift, n, w, h, acc, bar, x0, x1);
            };
            if (!otherFrame.empty())
                worker = OnWorker([&] {
                    Progress quiet;
                    add(quiet, w / 2, w);
                });
            add(progress, 0, worker.valid() ? w / 2 : w);
            if (worker.valid()) worker.get();
            if (pair) ++k;
        }
        TruncateInto(acc, w, h, channel[c]);
        if (s.advanced.slope[c]) RemoveBackgroundSlope(w, h, channel[c]);
        progress.setPosition(kAfterChannel[c]);
    }
    otherFrame.reset();
    otherSpare.reset();
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

namespace detail {
void UseFrameWorker(bool on) { g_frameWorker = on; }
}  // namespace detail

std::optional<Raster> RunRGBComposite(const RGBCompositeSetup& setup, Progress& progress,
                                      const CompositeNotice& notice) {
    const auto& lists = setup.lists;
    if (lists[kRedFrames].empty() || lists[kGreenFrames].empty() || lists[kBlueFrames].empty()) return std::nullopt;
    BarReset reset(progress);
    progress.setPosition(10);
    for (int k = 0; k < kFrameListCount; ++k)
        if (lists[k].size() > kMostFrames)
            throw CompositeError(
                FillMessage(msg::kCompositeTooManyFrames, msg::kProjectListNames[k], lists[k].size(), kMostFrames));
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
