#include "tracking/measure.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <utility>

#include "core/error.h"
#include "core/fileio.h"
#include "core/fits.h"
#include "core/fitsgeneral.h"
#include "core/format.h"
#include "core/hotpixels.h"
#include "core/simd.h"
#include "resources/messages.h"

#if NUVAK_SIMD_SSE2
#include <emmintrin.h>
#endif

namespace nuvak {

namespace {

// 1 / 3.1415926: the width is the radius of a circle with the half-maximum count as area.
constexpr double kInversePi = 0.318309891613572;
// Frames are stored as signed 16-bit samples: this offset turns them into 0 ... 65535.
constexpr std::int32_t kFrameZero = 32768;
// Ratio of the noise cut.
constexpr double kNoiseCutRatio = 2.0;
// Rows the noise cut reads and corrects at a time: few enough that the samples it reads (two
// rows more) and the rows it writes stay in the processor's caches.
constexpr int kNoiseCutRows = 128;

// Half-open ranges [x0, x1) x [y0, y1) of pixels, in 64 bits so that far-off centres and
// large radii cannot overflow before they are clipped to the frame.
struct Box {
    long long x0, x1, y0, y1;

    Box clipped(int w, int h) const {
        return {std::max(x0, 0LL), std::min(x1, (long long)w), std::max(y0, 0LL), std::min(y1, (long long)h)};
    }
    bool empty() const { return x0 >= x1 || y0 >= y1; }
};

// The search window before clipping. Around a given centre it is 2r x 2r, one pixel more on
// the low side than on the high side; over the whole frame it leaves a border of r.
Box searchWindow(int w, int h, bool starSpecified, long long cx, long long cy, int r) {
    if (starSpecified) return {cx - r, cx + r, cy - r, cy + r};
    return {r, (long long)w - r, r, (long long)h - r};
}

// Allocates a zeroed w x h array or reports the failure as the readers do.
IntArray2D allocate(int w, int h, const std::string& name) {
    IntArray2D a;
    if (AllocIntArray2D(w, h, a) != 0) throw FileError(name, msg::kFitsNoMemory);
    return a;
}

// A dark or measured frame beyond the measurement's size limit is refused before any sample
// is read.
void checkSize(const FitsHeader& h) {
    if (h.width > kTrackMaxSide || h.height > kTrackMaxSide)
        throw FrameSizeError(FrameSizeError::Kind::TooLarge, h.width, h.height);
}

// The bytes of a source from offset shift on: under a header of the band's height, a band
// of rows of an image reads as a whole image, into an array of the band's size.
class ShiftedSource final : public ByteSource {
public:
    ShiftedSource(ByteSource& source, std::uint64_t shift) : source_(source), shift_(shift) {}
    const std::string& name() const override { return source_.name(); }
    std::uint64_t size() const override { return source_.size() - std::min(shift_, source_.size()); }
    void read(std::uint64_t pos, void* dst, std::size_t n) override { source_.read(shift_ + pos, dst, n); }

private:
    ByteSource& source_;
    std::uint64_t shift_;
};

// Rows y0 .. y1 - 1 of the image whose header h was read from source, converted with the
// zero offset z, into rows y0 - row0 .. y1 - row0 - 1 of an array that holds the image's rows
// from row0 on (as many as it is high). A band small enough for the processor's caches stays
// there for the work that follows.
void readBandAt(ByteSource& source, const FitsHeader& h, std::int32_t z, IntArray2D& band, int row0, int y0, int y1) {
    ShiftedSource rows(source, std::uint64_t(row0) * std::uint64_t(h.width) * 2);
    FitsHeader part = h;
    part.height = std::min(band.height(), h.height - row0);
    ReadFitsRows(rows, part, z, band, y0 - row0, y1 - row0);
}

// The same into rows 0 .. y1 - y0 - 1 of band (at least W x (y1 - y0)).
void readBand(ByteSource& source, const FitsHeader& h, std::int32_t z, IntArray2D& band, int y0, int y1) {
    readBandAt(source, h, z, band, y0, y0, y1);
}

// Rows of the master dark made and kept together: a band of them is one block of memory,
// so that the few rows a run with a star given needs do not touch every column's pages.
constexpr int kDarkBlockRows = 64;

// The master dark: trunc(sum / n) of the darks, each read with its own zero offset, made a
// block of rows at a time as the frames need them (a run with a star given reads only the
// rows its windows reach). Every dark is opened and its header and zero offset read at the
// start, so that a dark that is missing, cut short, too large or of another size than the
// first stops the run before any frame is measured. The sums wrap as 32-bit integers would,
// without undefined behaviour, should odd zero offsets push them that far.
class MasterDark {
public:
    // limited: the darks are held to the run's size limit.
    MasterDark(const std::vector<std::string>& paths, bool limited) {
        for (std::size_t k = 0; k < paths.size(); ++k) {
            std::unique_ptr<ByteSource> source = OpenFitsSource(paths[k]);
            // The header reader also refuses a file too short for the samples it promises.
            const FitsHeader hd = ReadFitsHeader(*source);
            if (limited) checkSize(hd);
            if (k == 0) {
                w_ = hd.width;
                h_ = hd.height;
                read_ = allocate(w_, std::min(h_, kDarkBlockRows), paths[k]);
            } else if (hd.width != w_ || hd.height != h_) {
                throw TrackingError(
                    FillMessage(msg::kTrackDarksDiffer, paths[k], hd.width, hd.height, paths[0], w_, h_));
            }
            // The zero offset as LoadFits takes it: the token scan of the first header block,
            // or the BZERO card's value without a match.
            std::int32_t zero = hd.bzero;
            const std::span<const char> firstBlock(hd.cardText.data(),
                                                   std::min<std::size_t>(hd.cardText.size(), kFitsBlockBytes));
            if (const auto z = ScanBzero(firstBlock, source->name())) zero = *z;
            darks_.push_back({std::move(source), hd, zero});
        }
        blocks_.resize(std::size_t((h_ + kDarkBlockRows - 1) / kDarkBlockRows));
        made_.assign(std::size_t(h_), false);
    }

    int width() const { return w_; }
    int height() const { return h_; }
    // How many blocks of made rows stay (0, from the start: all of them); beyond that the
    // blocks not asked for are freed and made again when next needed.
    void keepAtMost(std::size_t blocks) { maxBlocks_ = blocks; }
    const std::string& firstName() const { return darks_.front().source->name(); }

    // frame := frame - dark over rows y0 .. y1 - 1 of its w columns (held from row row0 on),
    // each row of the master dark made when first needed; a negative result becomes 0 (and
    // one beyond 32 bits, possible only with a dark read under an odd zero offset, the largest
    // value).
    void subtractFrom(IntArray2D& frame, int row0, int y0, int y1) {
        for (int b0 = y0 - y0 % kDarkBlockRows; b0 < y1; b0 += kDarkBlockRows) {
            const int from = std::max(y0, b0), to = std::min(y1, b0 + kDarkBlockRows);
            const IntArray2D& block = rows(from, to);
            for (int x = 0; x < w_; ++x) {
                std::int32_t* v = frame[x] + (from - row0);
                const std::int32_t* d = block[x] + (from - b0);
                for (int i = 0, n = to - from; i < n; ++i) {
                    // v - d is below 2^32 where v > d, so the unsigned difference is exact there.
                    const std::uint32_t above = static_cast<std::uint32_t>(v[i]) - static_cast<std::uint32_t>(d[i]);
                    v[i] = v[i] > d[i] ? static_cast<std::int32_t>(std::min(above, 0x7FFFFFFFu)) : 0;
                }
            }
        }
    }

private:
    struct Dark {
        std::unique_ptr<ByteSource> source;
        FitsHeader header;
        std::int32_t zero;
    };

    // The block holding rows y0 .. y1 - 1 (all within one block), with those rows made.
    const IntArray2D& rows(int y0, int y1) {
        const int b0 = y0 - y0 % kDarkBlockRows;
        IntArray2D& block = blocks_[std::size_t(y0 / kDarkBlockRows)];
        if (block.empty()) {
            if (maxBlocks_ && held_ >= maxBlocks_) forgetAllBut(block);
            block = allocate(w_, std::min(kDarkBlockRows, h_ - b0), darks_[0].source->name());
            ++held_;
        }
        for (int y = y0; y < y1;) {
            if (made_[y]) {
                ++y;
                continue;
            }
            int end = y + 1;
            while (end < y1 && !made_[end]) ++end;
            make(block, b0, y, end);
            y = end;
        }
        return block;
    }

    // Frees every block but keep; their rows are made again when next asked for.
    void forgetAllBut(const IntArray2D& keep) {
        for (std::size_t b = 0; b < blocks_.size(); ++b) {
            if (&blocks_[b] == &keep || blocks_[b].empty()) continue;
            blocks_[b].reset();
            const int from = int(b) * kDarkBlockRows;
            std::fill(made_.begin() + from, made_.begin() + std::min(from + kDarkBlockRows, h_), false);
            --held_;
        }
    }

    void make(IntArray2D& block, int b0, int y0, int y1) {
        const int n = y1 - y0;
        for (Dark& d : darks_) {
            readBand(*d.source, d.header, d.zero, read_, y0, y1);
            for (int x = 0; x < w_; ++x) {
                std::uint32_t* s = reinterpret_cast<std::uint32_t*>(block[x] + (y0 - b0));
                const std::int32_t* v = read_[x];
                for (int i = 0; i < n; ++i) s[i] += static_cast<std::uint32_t>(v[i]);
            }
        }
        const std::int32_t count = static_cast<std::int32_t>(darks_.size());
        for (int x = 0; x < w_; ++x) {
            std::int32_t* s = block[x] + (y0 - b0);
            for (int i = 0; i < n; ++i) s[i] /= count;
        }
        std::fill(made_.begin() + y0, made_.begin() + y1, true);
    }

    int w_ = 0, h_ = 0;
    std::vector<Dark> darks_;
    IntArray2D read_;                 // one block's rows of one dark
    std::vector<IntArray2D> blocks_;  // rows b * kDarkBlockRows on, allocated when first needed
    std::vector<bool> made_;
    std::size_t maxBlocks_ = 0, held_ = 0;
};

#if NUVAK_SIMD_SSE2
// SSE2 has no 32-bit minimum or maximum: a comparison mask picks the lanes.
__m128i min32(__m128i a, __m128i b) {
    const __m128i aGreater = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(aGreater, b), _mm_andnot_si128(aGreater, a));
}
__m128i max32(__m128i a, __m128i b) {
    const __m128i aGreater = _mm_cmpgt_epi32(a, b);
    return _mm_or_si128(_mm_and_si128(aGreater, a), _mm_andnot_si128(aGreater, b));
}
std::int32_t lane(__m128i v, int k) {
    alignas(16) std::int32_t out[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(out), v);
    return out[k];
}
#endif

// The smallest and largest of n > 0 values. Two independent running extremes of four lanes
// each, so that the processor does not wait on a single chain of comparisons.
std::pair<std::int32_t, std::int32_t> columnExtremes(const std::int32_t* v, int n) {
    std::int32_t lo = v[0], hi = v[0];
    int y = 0;
#if NUVAK_SIMD_SSE2
    if (simd::Use(simd::Path::Sse2) && n >= 8) {
        const auto load = [&](int k) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(v + k)); };
        __m128i lo0 = load(0), hi0 = lo0, lo1 = load(4), hi1 = lo1;
        for (y = 8; y + 8 <= n; y += 8) {
            const __m128i a = load(y), b = load(y + 4);
            lo0 = min32(lo0, a);
            hi0 = max32(hi0, a);
            lo1 = min32(lo1, b);
            hi1 = max32(hi1, b);
        }
        const __m128i l = min32(lo0, lo1), h = max32(hi0, hi1);
        for (int k = 0; k < 4; ++k) {
            lo = std::min(lo, lane(l, k));
            hi = std::max(hi, lane(h, k));
        }
    }
#endif
    for (; y < n; ++y) {
        lo = std::min(lo, v[y]);
        hi = std::max(hi, v[y]);
    }
    return {lo, hi};
}

}  // namespace

FrameSizeError::FrameSizeError(Kind k, int w, int h, int ew, int eh, const std::string& message)
    : TrackingError(!message.empty()      ? message
                    : k == Kind::TooLarge ? std::string(msg::kTrackTooLarge)
                                          : std::string(msg::kTrackSizeDiffers)),
      kind(k),
      width(w),
      height(h),
      expectedWidth(ew),
      expectedHeight(eh) {}

void ScanPeakRows(const IntArray2D& band, int row0, int w, int h, bool starSpecified, int cx, int cy, int r, int y0,
                  int y1, PeakScan& scan) {
    const Box win = searchWindow(w, h, starSpecified, cx, cy, r).clipped(w, h);
    const int from = std::max(int(win.y0), y0), to = std::min(int(win.y1), y1);
    if (win.empty() || from >= to) return;
    // Peak: x outer, y inner; the maximum moves only to a strictly greater value, so the
    // first position in scan order wins a tie (across bands: the smaller column, then the
    // earlier band). Each column's extremes are found first (a loop the compiler vectorises);
    // the position is looked up only in a column that beats the maximum so far.
    for (int x = int(win.x0); x < int(win.x1); ++x) {
        const std::int32_t* col = band[x] + (from - row0);
        const auto [lo, hi] = columnExtremes(col, to - from);
        scan.minimum = std::min(scan.minimum, lo);
        if (hi > scan.maximum || (scan.found && hi == scan.maximum && x < scan.px)) {
            scan.maximum = hi;
            scan.px = x;
            scan.py = from + int(std::find(col, col + (to - from), hi) - col);
            scan.found = true;
        }
    }
}

StarMeasurement MeasureAroundPeak(const IntArray2D& band, int row0, int w, int h, const PeakScan& scan, int r) {
    if (!scan.found) PsfZero();  // no pixel above 0: no peak position
    StarMeasurement m;
    m.px = scan.px;
    m.py = scan.py;
    m.minimum = scan.minimum;
    m.maximum = scan.maximum;

    // Centroid over the (2r + 1)^2 square about the peak, clipped to the frame: the
    // half-maximum count over the whole square, the weighted sums inside the circle only.
    const Box sq =
        Box{(long long)m.px - r, (long long)m.px + r + 1, (long long)m.py - r, (long long)m.py + r + 1}.clipped(w, h);
    const double half = (double(m.maximum) - double(m.minimum)) * 0.5;
    const long long r2 = (long long)r * r;
    double sx = 0, sy = 0, s = 0;
    int count = 0;
    for (long long x = sq.x0; x < sq.x1; ++x) {
        const std::int32_t* col = band[int(x)];
        const long long dx2 = (x - m.px) * (x - m.px);
        for (long long y = sq.y0; y < sq.y1; ++y) {
            const double d = double(col[y - row0]) - double(m.minimum);
            if (d >= half) ++count;
            if (dx2 + (y - m.py) * (y - m.py) <= r2) {
                sx += (double(x) + 0.5) * d;
                sy += (double(y) + 0.5) * d;
                s += d;
            }
        }
    }
    if (s == 0) PsfZero();
    m.cx = sx / s;
    m.cy = sy / s;
    m.halfMaxCount = count;
    m.fwhmRadius = std::sqrt(count * kInversePi);
    return m;
}

StarMeasurement MeasureStar(const IntArray2D& band, int row0, int w, int h, bool starSpecified, int cx, int cy, int r) {
    const Box win = searchWindow(w, h, starSpecified, cx, cy, r).clipped(w, h);
    if (win.empty()) PsfZero();
    PeakScan scan;
    ScanPeakRows(band, row0, w, h, starSpecified, cx, cy, r, int(win.y0), int(win.y1), scan);
    return MeasureAroundPeak(band, row0, w, h, scan, r);
}

StarMeasurement MeasureStar(const IntArray2D& frame, int w, int h, bool starSpecified, int cx, int cy, int r) {
    return MeasureStar(frame, 0, w, h, starSpecified, cx, cy, r);
}

// The band store keeps at most this many bytes of master-dark rows: a run that searches
// whole frames makes the dark again band by band instead of holding all of it.
constexpr std::size_t kBandDarkBytes = std::size_t(32) << 20;

struct RunFrames::State {
    FrameStore store = FrameStore::Whole;
    bool noiseCut = false;
    std::optional<MasterDark> dark;
    std::unique_ptr<ByteSource> source;
    FitsHeader header;
    int opened = 0;          // frames opened so far
    int w0 = 0, h0 = 0;      // the first frame's size
    IntArray2D frame, raw;   // raw: a band of the converted samples the noise cut reads
    int row0 = 0, rows = 0;  // frame holds rows row0 .. row0 + rows - 1
};

RunFrames::RunFrames(const MeasureSettings& settings, FrameStore store) : s_(std::make_unique<State>()) {
    s_->store = store;
    s_->noiseCut = settings.noiseCut;
    if (settings.darkProcessing && !settings.darks.empty()) {
        s_->dark.emplace(settings.darks, store == FrameStore::Whole);
    }
}

RunFrames::~RunFrames() = default;

void RunFrames::open(const std::string& path) {
    State& s = *s_;
    const bool whole = s.store == FrameStore::Whole;
    s.source = OpenFitsSource(path);
    s.header = ReadFitsHeader(*s.source);
    if (whole) checkSize(s.header);
    const int w = s.header.width, h = s.header.height;
    // Buffers for the whole run, sized to frame 0: every later frame must have its size.
    if (s.opened == 0) {
        if (s.dark && (s.dark->width() != w || s.dark->height() != h))
            throw FrameSizeError(FrameSizeError::Kind::NotDarkSize, w, h, s.dark->width(), s.dark->height(),
                                 FillMessage(msg::kTrackDarkSizeDiffers, s.dark->firstName(), s.dark->width(),
                                             s.dark->height(), path, w, h));
        s.w0 = w;
        s.h0 = h;
        if (whole) {
            s.frame = allocate(w, h, path);
            s.rows = h;
        } else if (s.dark) {
            // Blocks of dark rows for the band store's budget, at least two.
            const std::size_t blockBytes = std::size_t(w) * kDarkBlockRows * sizeof(std::int32_t);
            s.dark->keepAtMost(std::max<std::size_t>(2, kBandDarkBytes / blockBytes));
        }
        if (s.noiseCut) s.raw = allocate(w, std::min(h, kNoiseCutRows + 2), path);
    } else if (w != s.w0 || h != s.h0) {
        throw FrameSizeError(FrameSizeError::Kind::NotFirstFrameSize, w, h, s.w0, s.h0);
    }
    ++s.opened;
}

int RunFrames::width() const { return s_->header.width; }
int RunFrames::height() const { return s_->header.height; }
const FitsHeader& RunFrames::header() const { return s_->header; }
const IntArray2D& RunFrames::frame() const { return s_->frame; }
int RunFrames::frameRow0() const { return s_->row0; }
int RunFrames::bandRows() const { return s_->rows; }

void RunFrames::setBand(int y0, int y1) {
    State& s = *s_;
    if (s.store == FrameStore::Whole) return;
    y0 = std::max(y0, 0);
    y1 = std::min(y1, s.header.height);
    if (y1 < y0) y1 = y0;
    const int w = s.header.width;
    // The band's rows are its columns' length: an array much higher than the band would spread
    // each row it reads over that many more pages.
    const int need = std::max(y1 - y0, 1);
    if (s.frame.width() != w || s.frame.height() < need || s.frame.height() > 2 * need)
        s.frame = allocate(w, need, s.source->name());
    s.row0 = y0;
    s.rows = y1 - y0;
}

void RunFrames::read(int y0, int y1) {
    State& s = *s_;
    const int w = s.header.width, h = s.header.height;
    if (y0 >= y1) return;
    if (y0 < s.row0 || y1 > s.row0 + s.rows) throw std::invalid_argument("rows outside the frame's band");
    // The noise cut also reads one neighbouring row on each side.
    if (s.noiseCut) {
        for (int b0 = y0; b0 < y1; b0 += kNoiseCutRows) {
            const int b1 = std::min(b0 + kNoiseCutRows, y1);
            const int r0 = std::max(b0 - 1, 0), r1 = std::min(b1 + 1, h);
            readBand(*s.source, s.header, kFrameZero, s.raw, r0, r1);
            RemoveHotPixelsRows(kNoiseCutRatio, w, h, s.raw, s.frame, b0, b1, r0, s.row0);
        }
    } else if (s.row0 == 0 && s.frame.height() >= h) {
        ReadFitsRows(*s.source, s.header, kFrameZero, s.frame, y0, y1);
    } else {
        readBandAt(*s.source, s.header, kFrameZero, s.frame, s.row0, y0, y1);
    }
    if (s.dark) s.dark->subtractFrom(s.frame, s.row0, y0, y1);
}

void RunFrames::readConverted(IntArray2D& band, int y0, int y1) {
    if (y0 < y1) readBand(*s_->source, s_->header, kFrameZero, band, y0, y1);
}

[[noreturn]] void PsfZero() { throw TrackingError(msg::kTrackPsfZero); }

int RunSearchRadius(const MeasureSettings& settings) {
    return settings.starSpecified ? settings.searchRange : std::max(settings.psfRadius, 10);
}

long long TruncatedCentre(double c) {
    constexpr double kFar = 1e12;
    if (!(c > -kFar)) return -(long long)kFar;
    if (c > kFar) return (long long)kFar;
    return (long long)std::trunc(c);
}

std::pair<int, int> SearchRows(int w, int h, bool starSpecified, long long cx, long long cy, int r) {
    const Box win = searchWindow(w, h, starSpecified, cx, cy, r).clipped(w, h);
    if (win.empty()) return {0, 0};
    const Box reach = Box{win.x0, win.x1, win.y0 - r, win.y1 + r}.clipped(w, h);
    return {int(reach.y0), int(reach.y1)};
}

}  // namespace nuvak
