#include "core/open.h"

#include <cmath>
#include <limits>
#include <vector>

#include "core/display.h"
#include "core/error.h"
#include "core/fits.h"
#include "core/format.h"
#include "core/jpeg.h"
#include "core/pgm.h"
#include "resources/messages.h"

namespace nuvak {

int FileKindOfExtension(const std::string& path) {
    const std::string ext = LowerExtension(path);
    if (ext == ".bmp") return int(FileKind::Bmp);
    if (ext == ".fit" || ext == ".fts" || ext == ".fits") return int(FileKind::Fits);
    if (ext == ".jpg" || ext == ".jpeg") return int(FileKind::Jpeg);
    if (ext == ".pgm") return int(FileKind::Pgm);
    return 0;
}

namespace {

// Fields every filled document gets, whatever its kind.
void fill(ImageDocument& d, ImageKind kind, int w, int h, int colN) {
    d.FilterI = kind;
    d.DemX = w;
    d.DemY = h;
    d.ColN = colN;
    d.ZomN = 1.0;
    d.UndoFlg = 0;
}

struct GridStatistics {
    std::int64_t count = 0;
    std::int64_t sum = 0;
    double mean = 0;
    std::int64_t minimum = 65536;
};

// Adds the grid samples among stored rows y0 .. y0 + rows - 1 of a W x H image: every fourth
// sample from 10 up to (not including) 10 short of the far edges.
void addGridRows(GridStatistics& g, const std::uint8_t* stored, int y0, int rows, int w, int h,
                 const std::vector<std::int32_t>& sampleOf) {
    int y = y0 < 10 ? 10 : 10 + (y0 - 10 + 3) / 4 * 4;
    for (; y < y0 + rows && y < h - 10; y += 4) {
        const std::uint8_t* row = stored + std::size_t(y - y0) * std::size_t(w) * 2;
        for (int x = 10; x < w - 10; x += 4) {
            const std::int32_t v = sampleOf[std::size_t(row[2 * x]) << 8 | row[2 * x + 1]];
            g.sum += v;
            ++g.count;
            if (v < g.minimum) g.minimum = v;
        }
    }
}

}  // namespace

OpenedFits OpenFitsDocument(ByteSource& source, std::ostream* diag, int levelFactor) {
    const std::string& name = source.name();
    const FitsHeader header = LoadFitsHeader(source, diag);
    const int w = header.width, h = header.height;
    // The samples are read twice, for the levels and then for the pictures, and never held
    // as an array. The memory for that array is still asked for, so that a frame is refused
    // for want of memory exactly when it always was; its pages are never touched, so it costs
    // no time.
    IntArray2D samplesMemory;
    if (AllocIntArray2D(w, h, samplesMemory, diag) != 0) throw FileError(name, msg::kFitsNoMemory);
    const std::vector<std::int32_t> sampleOf = FitsSampleValues(header.bzero);

    GridStatistics g;
    ReadFitsBands(source, header, [&](const std::uint8_t* stored, int y0, int rows) {
        addGridRows(g, stored, y0, rows, w, h, sampleOf);
    });
    if (g.count) g.mean = double(g.sum) / double(g.count);
    if (g.count == 0) throw FileError(name, FillMessage(msg::kOpenGridEmpty, w, h));
    const double upper = std::trunc((g.mean - double(g.minimum)) * levelFactor + double(g.minimum));
    if (!(upper <= std::numeric_limits<int>::max()) || g.minimum < std::numeric_limits<int>::min()) {
        throw FileError(name, msg::kOpenLevelsRange);
    }
    const int m = static_cast<int>(g.minimum);
    const int M = static_cast<int>(upper);
    if (M == m) throw FileError(name, FillMessage(msg::kOpenFlat, m));
    const double s = (M - m) / 255.0;

    Mono16Pictures pictures = UnwrittenMono16Pictures(w, h);
    samplesMemory.reset();
    const Mono16Painter painter(sampleOf, m, s);
    ReadFitsBands(source, header, [&](const std::uint8_t* stored, int y0, int rows) {
        painter.paint(stored, y0, rows, pictures);
    });
    OpenedFits out;
    ImageDocument& d = out.document;
    fill(d, ImageKind::Mono16, w, h, 1);
    d.MIN = m;
    d.MAX = M;
    d.caption = FileNameOf(name);
    d.Image = std::move(pictures.display);
    d.ImageZm = std::move(pictures.low);
    d.ImageZm2 = std::move(pictures.high);
    d.Average = GeneralDecimal(g.mean);
    d.Minimum = m;
    out.cards = header.cards;
    out.bzero = header.bzero;
    return out;
}

OpenedFits OpenFitsDocument(const std::string& path, std::ostream* diag, int levelFactor) {
    return OpenFitsDocument(*OpenFile(path, diag, kFitsOpenDiagnostic), diag, levelFactor);
}

ImageDocument DocumentFromColourRaster(Raster raster, const std::string& path, FileKind kind) {
    ImageDocument d;
    const int w = raster.width, h = raster.height;
    fill(d, ImageKind::Colour, w, h, kind == FileKind::Bmp ? 3 : 1);
    d.caption = FileNameOf(path);
    d.MAX = 255;
    d.MIN = 0;
    if (kind == FileKind::Bmp) d.ImageZm2 = Raster(w, h);
    d.ImageZm = raster;
    d.Image = std::move(raster);
    return d;
}

ImageDocument OpenJpegDocument(const std::string& path) {
    return DocumentFromColourRaster(ReadJpeg(path), path, FileKind::Jpeg);
}

ImageDocument OpenPgmDocument(ByteSource& source, std::ostream* diag) {
    const PgmColour pgm = ReadPgmColour(source, diag);
    const int w = pgm.width, h = pgm.height;
    Raster raster(w, h);
    for (int y = 0; y < h; ++y) {
        std::uint8_t* row = raster.row(y);
        for (int x = 0; x < w; ++x) {
            row[3 * x] = static_cast<std::uint8_t>(pgm.B[x][y]);
            row[3 * x + 1] = static_cast<std::uint8_t>(pgm.G[x][y]);
            row[3 * x + 2] = static_cast<std::uint8_t>(pgm.R[x][y]);
        }
    }
    ImageDocument d;
    fill(d, ImageKind::PgmColour, w, h, 1);
    d.ImageZm = raster;
    d.Image = std::move(raster);
    return d;
}

ImageDocument OpenPgmDocument(const std::string& path, std::ostream* diag) {
    return OpenPgmDocument(*OpenFile(path, diag, kPgmOpenDiagnostic), diag);
}

}  // namespace nuvak
