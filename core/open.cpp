#include "core/open.h"

#include <cmath>
#include <limits>

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
    double mean = 0;
    std::int64_t minimum = 65536;
};

// Every fourth sample from 10 up to (not including) 10 short of the far edges.
GridStatistics sampleGrid(const IntArray2D& r, int w, int h) {
    GridStatistics g;
    std::int64_t sum = 0;
    for (int x = 10; x < w - 10; x += 4) {
        const std::int32_t* col = r[x];
        for (int y = 10; y < h - 10; y += 4) {
            sum += col[y];
            ++g.count;
            if (col[y] < g.minimum) g.minimum = col[y];
        }
    }
    if (g.count) g.mean = double(sum) / double(g.count);
    return g;
}

}  // namespace

OpenedFits OpenFitsDocument(ByteSource& source, std::ostream* diag, int levelFactor) {
    const std::string& name = source.name();
    FitsImage img = LoadFits(source, diag);
    const int w = img.header.width, h = img.header.height;

    const GridStatistics g = sampleGrid(img.samples, w, h);
    if (g.count == 0) throw FileError(name, FillMessage(msg::kOpenGridEmpty, w, h));
    const double upper = std::trunc((g.mean - double(g.minimum)) * levelFactor + double(g.minimum));
    if (!(upper <= std::numeric_limits<int>::max()) || g.minimum < std::numeric_limits<int>::min()) {
        throw FileError(name, msg::kOpenLevelsRange);
    }
    const int m = static_cast<int>(g.minimum);
    const int M = static_cast<int>(upper);
    if (M == m) throw FileError(name, FillMessage(msg::kOpenFlat, m));
    const double s = (M - m) / 255.0;

    Mono16Pictures pictures = BuildMono16Pictures(img.samples, w, h, m, s);
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
    out.cards = img.header.cards;
    out.bzero = img.header.bzero;
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
