#pragma once
// The measurement run: every listed frame is read, corrected (hot pixels, master dark), the
// star found and its intensity-weighted centroid and width stored in the tracking state.

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "core/arrays.h"
#include "core/fits.h"
#include "core/progress.h"
#include "tracking/state.h"

namespace nuvak {

// The advanced settings as the run uses them (the texts of the settings window, parsed).
struct MeasureSettings {
    bool darkProcessing = false;     // dark processing on
    std::vector<std::string> darks;  // full paths of the dark frames, in order
    bool noiseCut = false;           // hot-pixel removal on the measured frames
    int psfRadius = 10;              // PSF radius (raised to at least 10 unless a star is specified)
    bool starSpecified = false;      // search around the given position and follow the star
    int starX = 0, starY = 0;        // picked star position (frame 0 search centre)
    int searchRange = 20;            // search half-width and centroid radius with a star specified
};

// The run's search radius, the same for every frame: the given search range with a star
// specified (no lower limit), otherwise the PSF radius, at least 10.
int RunSearchRadius(const MeasureSettings& settings);

// trunc() of a centroid as the next frame's search centre; centroids far outside any frame are
// held at a distance that still lies outside it without overflowing.
long long TruncatedCentre(double c);

// The rows [first, second) a frame must provide so that the measurement gives what a full read
// gives: the search window's rows and r more on each side for the centroid square. Empty when
// the window holds no pixel of the frame.
std::pair<int, int> SearchRows(int w, int h, bool starSpecified, long long cx, long long cy, int r);

// Throws the run's TrackingError for a search window without a measurable star.
[[noreturn]] void PsfZero();

// The largest side a measured or dark frame may have.
inline constexpr int kTrackMaxSide = 4000;

// A frame the run refuses for its size: beyond the limit, or not the size of the first frame
// or of the darks. what() is the run's message; the sizes let a report say more.
class FrameSizeError : public TrackingError {
public:
    enum class Kind { TooLarge, NotFirstFrameSize, NotDarkSize };
    // The message is the run's fixed text for the kind unless one is given.
    FrameSizeError(Kind kind, int width, int height, int expectedWidth = 0, int expectedHeight = 0,
                   const std::string& message = {});
    Kind kind;
    int width, height;                  // the refused frame's
    int expectedWidth, expectedHeight;  // the first frame's or the darks' (0 when too large)
};

struct StarMeasurement {
    int px = 0, py = 0;  // brightest pixel (first in scan order on ties)
    std::int32_t minimum = 0, maximum = 0;
    double cx = 0, cy = 0;  // centroid, pixel centres at x + 0.5
    int halfMaxCount = 0;   // pixels at or above half the peak over the background
    double fwhmRadius = 0;  // sqrt(count / 3.1415926)
};

// The per-frame measurement. Star specified: the search window is x = cx - r .. cx + r - 1,
// y = cy - r .. cy + r - 1 around (cx, cy); otherwise the whole frame less a border of r.
// Windows are clipped to the frame. Throws TrackingError with the PSF message when the
// window holds no pixel above 0 or the weighted volume is zero.
StarMeasurement MeasureStar(const IntArray2D& frame, int w, int h, bool starSpecified, int cx, int cy, int r);

// The same measurement over a frame held as a band of its rows: band[x][y - row0] is pixel
// (x, y) of the W x H frame. The band must hold every row the measurement reaches (the
// search window's and r more on each side); the figures are those of the whole frame.
StarMeasurement MeasureStar(const IntArray2D& band, int row0, int w, int h, bool starSpecified, int cx, int cy, int r);

// The peak search of MeasureStar one band of rows at a time, for frames too large to hold:
// each call scans rows y0 .. y1 - 1 of the search window (held in band from row0 on), the
// calls in increasing rows, and the result is the whole window's peak and minimum, ties
// resolved as MeasureStar resolves them. MeasureAroundPeak then needs the rows within r of
// the peak; it throws as MeasureStar does when no pixel was above 0 or the volume is zero.
struct PeakScan {
    int px = 0, py = 0;
    std::int32_t minimum = 1410065408, maximum = 0;
    bool found = false;
};
void ScanPeakRows(const IntArray2D& band, int row0, int w, int h, bool starSpecified, int cx, int cy, int r, int y0,
                  int y1, PeakScan& scan);
StarMeasurement MeasureAroundPeak(const IntArray2D& band, int row0, int w, int h, const PeakScan& scan, int r);

// The run's reading of its frames, one at a time: the darks opened and checked at the start,
// each frame's header checked (the first frame's size and the darks', and the run's size
// limit), and the rows asked for read with the zero offset, the noise cut and the master dark
// applied as the settings say. RunMeasurement reads through it, and so does anything that
// must see the frames exactly as the run sees them.
//
// FrameStore::Whole holds one buffer of the first frame's size, within the run's size limit.
// FrameStore::Band takes frames of any size the reader takes and holds only a band of rows:
// setBand chooses it before reading, and memory stays the band's (and a few dark rows').
enum class FrameStore { Whole, Band };

class RunFrames {
public:
    explicit RunFrames(const MeasureSettings& settings, FrameStore store = FrameStore::Whole);
    ~RunFrames();
    RunFrames(const RunFrames&) = delete;
    RunFrames& operator=(const RunFrames&) = delete;

    // Opens the next frame and checks its header; throws FrameSizeError or FileError as the
    // run. A frame refused for its size keeps its header in header() and is not counted: the
    // next frame is checked against the same first frame.
    void open(const std::string& path);
    int width() const;
    int height() const;
    const FitsHeader& header() const;
    // Band store: the rows y0 .. y1 - 1 (clipped to the frame) frame() holds from now on,
    // none of them read yet. The whole store always holds every row from row 0.
    void setBand(int y0, int y1);
    // Rows y0 .. y1 - 1 of the open frame, corrected, into their rows of frame(); within the
    // band in the band store.
    void read(int y0, int y1);
    // Row y of the frame is row y - frameRow0() of frame().
    const IntArray2D& frame() const;
    int frameRow0() const;
    // The rows the band holds: frameRow0() .. frameRow0() + bandRows() - 1.
    int bandRows() const;
    // Rows y0 .. y1 - 1 of the open frame with the zero offset applied and nothing else, into
    // rows 0 .. y1 - y0 - 1 of band (at least W x (y1 - y0)).
    void readConverted(IntArray2D& band, int y0, int y1);

private:
    struct State;
    std::unique_ptr<State> s_;
};

// Runs the measurement over the frames (full paths in time order): one pass of the frames
// (MeasurePass, the window's run) whose records fill CentroidX/Y, FwhmRadius, FirstPeakX/Y,
// SearchRadius and the running MeanX/MeanY of state. Throws TrackingError with the user's
// message on a too-large frame, a size change or a zero volume, and FileError for a file that
// cannot be read; the entries written before the error stay. Statistics, graph and
// StarPickState are the caller's.
void RunMeasurement(const std::vector<std::string>& frames, const MeasureSettings& settings, TrackingState& state,
                    Progress* progress = nullptr);

}  // namespace nuvak
