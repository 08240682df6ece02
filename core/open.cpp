#include "core/open.h"

#include <algorithm>
#include <cmath>
#include <memory>
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
    if (ext == ".fit" || ext == ".fts" || ext == ".fits" || IsCompressedFitsName(path)) return int(FileKind::Fits);
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

namespace {

OpenedFits openFits(std::unique_ptr<ByteSource> source, std::ostream* diag, int levelFactor) {
    OpenedFits out = OpenFitsDocument(*source, diag, levelFactor);
    if (const auto* general = dynamic_cast<const GeneralFitsSource*>(source.get())) out.conversion = general->conversion();
    return out;
}

// Levels over the grid samples of three planes, and the display d = trunc((v - m) / s)
// clamped to 0 ... 255 of each plane in its byte: red plane 1, green 2, blue 3.
ImageDocument colourDocument(GeneralFitsSource& source, const std::string& path) {
    const int w = int(source.width()), h = int(source.height());
    std::vector<std::uint16_t> rows;
    const int bandRows = std::max(1, int((std::size_t(1) << 19) / (std::size_t(w) * 2)));
    auto eachBand = [&](auto fn) {
        for (int plane = 0; plane < 3; ++plane) {
            for (int y0 = 0; y0 < h; y0 += bandRows) {
                const int n = std::min(bandRows, h - y0);
                rows.resize(std::size_t(w) * std::size_t(n));
                source.readPlaneRows(plane, y0, n, rows.data());
                fn(plane, y0, n);
            }
        }
    };
    const std::vector<std::int32_t> sampleOf = FitsSampleValues(0);
    GridStatistics g;
    std::vector<std::uint8_t> stored;
    eachBand([&](int, int y0, int n) {
        stored.resize(rows.size() * 2);
        for (std::size_t i = 0; i < rows.size(); ++i) {
            stored[2 * i] = std::uint8_t(rows[i] >> 8);
            stored[2 * i + 1] = std::uint8_t(rows[i]);
        }
        addGridRows(g, stored.data(), y0, n, w, h, sampleOf);
    });
    if (g.count == 0) throw FileError(path, FillMessage(msg::kOpenGridEmpty, w, h));
    g.mean = double(g.sum) / double(g.count);
    const int m = static_cast<int>(g.minimum);
    const int M = static_cast<int>(std::trunc((g.mean - double(m)) * 2 + double(m)));
    if (M == m) throw FileError(path, FillMessage(msg::kOpenFlat, m));
    const double s = (M - m) / 255.0;
    std::vector<std::uint8_t> level(65536);
    for (int v = 0; v < 65536; ++v) level[std::size_t(v)] = std::uint8_t(std::clamp(std::trunc((v - m) / s), 0.0, 255.0));

    Raster raster(w, h);
    eachBand([&](int plane, int y0, int n) {
        const int byte = 2 - plane;  // blue, green, red in memory
        for (int y = 0; y < n; ++y) {
            std::uint8_t* row = raster.row(y0 + y);
            const std::uint16_t* src = rows.data() + std::size_t(y) * std::size_t(w);
            for (int x = 0; x < w; ++x) row[3 * x + byte] = level[src[x]];
        }
    });
    return DocumentFromColourRaster(std::move(raster), path, FileKind::Jpeg);
}

}  // namespace

OpenedFits OpenFitsDocument(const std::string& path, std::ostream* diag, int levelFactor) {
    return openFits(OpenFitsSource(path, diag), diag, levelFactor);
}

OpenedFits OpenFitsPicture(const std::string& path, std::ostream* diag) {
    std::unique_ptr<ByteSource> source = OpenFitsSource(path, diag, true);
    auto* general = dynamic_cast<GeneralFitsSource*>(source.get());
    if (!general || general->conversion().mappedPlanes != 3) return openFits(std::move(source), diag, 2);
    // The header reader refuses sizes the plain file could not have, with its messages.
    ReadFitsHeader(*general, diag);
    OpenedFits out;
    out.document = colourDocument(*general, path);
    out.conversion = general->conversion();
    return out;
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
