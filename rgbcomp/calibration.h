#pragma once
// Frame calibration of the RGB composite: reading frames folded to 0 ... 65535, the master
// dark, the flat, blooming and the per-frame dark, flat and 180-degree turn, and the shifted
// accumulation of a channel's frames into its mean.

#include <cstdint>
#include <string>
#include <vector>

#include "core/arrays.h"
#include "core/progress.h"
#include "rgbcomp/alignment.h"
#include "rgbcomp/pipeline.h"

namespace nuvak {

// The offset every composite frame is folded with, whatever its own header says: a stored
// -32768 becomes 0, a stored 0 becomes 32768.
inline constexpr std::int32_t kCompositeFold = 32768;

struct FrameSize {
    int width = 0;
    int height = 0;
    bool operator==(const FrameSize&) const = default;
};

// Reads the frame at path into p folded with kCompositeFold (as ReadFits followed by
// ApplyBzero(32768)), when it has the size w x h; returns the file's size, and leaves p
// untouched when that differs. Throws FileError for a file that cannot be read.
FrameSize ReadCompositeFrame(const std::string& path, int w, int h, IntArray2D& p);

// As ReadCompositeFrame, but a frame of another size stops the run with CompositeError
// naming the file and both sizes (one message; the dark's notice is not shown for it).
void ReadSizedFrame(const std::string& path, int w, int h, IntArray2D& p);

// True when some column of c holds more than l consecutive values at or above t: only then
// can RemoveBlooming(t, l, r, ...) change the channel.
bool HasLongRun(std::int32_t t, int l, int w, int h, const IntArray2D& c);

// Column position of a long step on the bar: x * 100 / w, passed on when it changes.
class ColumnProgress {
public:
    ColumnProgress(Progress& progress, int w) : progress_(progress), w_(w) {}
    void at(int x) {
        const int p = static_cast<int>(std::int64_t(x) * 100 / w_);
        if (p != last_) progress_.setPosition(last_ = p);
    }

private:
    Progress& progress_;
    int w_;
    int last_ = -1;
};

// The master dark into dark (w x h): the mean of the darks (each added as v / Nd into acc,
// then truncated). A dark of another size shows notice("Resolution Error !!") once and
// ends the adding; the darks before it stay, each weighted 1 / Nd.
void BuildMasterDark(const std::vector<std::string>& darks, int w, int h, IntArray2D& dark, DoubleArray2D& acc,
                     Progress& progress, const CompositeNotice& notice);

// The flat levels L = flat / largest flat value of the frame at path (read into scratch);
// a frame of another size stops the run as ReadSizedFrame does.
DoubleArray2D LoadFlatLevels(const std::string& path, int w, int h, IntArray2D& scratch);

// Dark subtraction (no clamp), flat division (v / L truncated where L > 0) and the 180-degree
// turn of one frame in one pass; dark and levels may be null. A turned frame is written into
// spare (w x h), which is then swapped with frame.
void CalibrateFrame(const IntArray2D* dark, const DoubleArray2D* levels, bool turn, int w, int h, IntArray2D& frame,
                    IntArray2D& spare);

// acc[x][y] += frame[x + dx][y + dy] / n wherever that source lies inside the frame; the bar
// shows the column position.
void AccumulateShifted(const IntArray2D& frame, FrameShift shift, int n, int w, int h, DoubleArray2D& acc,
                       Progress& progress);
// The same for the columns x0 ... x1 - 1 of acc alone, the bar showing the position among
// them; ranges that do not overlap may be added at the same time.
void AccumulateShifted(const IntArray2D& frame, FrameShift shift, int n, int w, int h, DoubleArray2D& acc,
                       Progress& progress, int x0, int x1);

// out[x][y] = acc[x][y] truncated towards zero (saturated to 32 bits).
void TruncateInto(const DoubleArray2D& acc, int w, int h, IntArray2D& out);

}  // namespace nuvak
