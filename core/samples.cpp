#include "core/samples.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

#include <fitsio.h>

#include "core/error.h"
#include "core/fileio.h"
#include "core/format.h"
#include "resources/messages.h"

namespace nuvak {

namespace {

constexpr double kSky = 1200;       // sky background
constexpr double kNoise = 12;       // sky noise, one sigma
constexpr double kDarkLevel = 300;  // dark current in every pixel

int clamp16(double v) { return v < 0 ? 0 : v > 65535 ? 65535 : static_cast<int>(v); }

}  // namespace

std::string FitsCard(const std::string& keyword, const std::string& value, const std::string& comment) {
    char buf[160];
    const bool text = !value.empty() && value[0] == '\'';
    std::snprintf(buf, sizeof buf, text ? "%-8.8s= %-20s%s%-47.47s" : "%-8.8s= %20s%s%-47.47s", keyword.c_str(),
                  value.c_str(), comment.empty() ? "" : " / ", comment.c_str());
    std::string c(buf);
    c.resize(80, ' ');
    return c;
}

namespace {

// The header blocks of a 16-bit image under BZERO 32768 with the extra cards after the
// mandatory ones.
std::string header16(int w, int h, const std::vector<std::string>& extraCards) {
    auto card = [](const std::string& k, const std::string& v, const std::string& c = "") { return FitsCard(k, v, c); };
    std::string header = card("SIMPLE", "T") + card("BITPIX", "16") + card("NAXIS", "2") +
                         card("NAXIS1", std::to_string(w)) + card("NAXIS2", std::to_string(h)) +
                         card("BZERO", "32768", "stored value + 32768 = sample") + card("BSCALE", "1");
    for (const std::string& c : extraCards)
        header += c.substr(0, 80) + std::string(80 - std::min<std::size_t>(80, c.size()), ' ');
    header += std::string("END").append(77, ' ');
    header.resize((header.size() + 2879) / 2880 * 2880, ' ');
    return header;
}

}  // namespace

std::vector<std::uint8_t> EncodeFits16(const IntArray2D& samples, int w, int h,
                                       const std::vector<std::string>& extraCards) {
    const std::string header = header16(w, h, extraCards);
    std::vector<std::uint8_t> out(header.begin(), header.end());
    out.reserve(out.size() + std::size_t(w) * h * 2 + 2880);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            const std::uint16_t stored = static_cast<std::uint16_t>(samples[x][y] - 32768);
            out.push_back(static_cast<std::uint8_t>(stored >> 8));
            out.push_back(static_cast<std::uint8_t>(stored & 0xFF));
        }
    out.resize((out.size() + 2879) / 2880 * 2880, 0);
    return out;
}

std::vector<std::string> WriteSampleSeries(const std::string& folder, const SampleSeries& s) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(PathOf(folder), ec);
    if (ec) throw FileError(folder, FillMessage(msg::kCannotCreateFolder, ReasonOf(ec)));

    // mt19937's sequence is fixed by the language; the normal deviates are made here
    // (Box-Muller) so that every platform writes the same files.
    std::mt19937 rng(20261208);
    auto uniform = [&] { return (rng() + 0.5) / 4294967296.0; };
    auto noise = [&] { return kNoise * std::sqrt(-2 * std::log(uniform())) * std::cos(6.283185307179586 * uniform()); };

    // Hot pixels shared by every frame and dark.
    std::vector<std::pair<int, int>> hot;
    hot.reserve(12);
    for (int k = 0; k < 12; ++k) hot.emplace_back(int(rng() % s.width), int(rng() % s.height));

    auto frame = [&](bool withStar, double cx, double cy) {
        IntArray2D a(s.width, s.height);
        for (int x = 0; x < s.width; ++x)
            for (int y = 0; y < s.height; ++y) {
                double v = kSky * withStar + kDarkLevel + noise();
                if (withStar) {
                    const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
                    v += 20000 * std::exp(-(dx * dx + dy * dy) / (2 * 1.6 * 1.6));
                }
                a[x][y] = clamp16(v);
            }
        for (const auto& [x, y] : hot) a[x][y] = 60000;
        return a;
    };

    std::vector<std::string> frames;
    const double twoPi = 6.283185307179586;
    for (int i = 0; i < s.frames; ++i) {
        const double cx = s.startX + s.driftX * i + s.periodicAmplitude * std::sin(twoPi * i / s.periodicFrames);
        const double cy = s.startY + s.driftY * i;
        char name[32];
        std::snprintf(name, sizeof name, "frame%02d.fits", i + 1);
        const std::string path = Utf8Of(PathOf(folder) / name);
        // Mid-exposure times on the real clock, for reports that read them.
        const long long start = 21 * 3600LL + static_cast<long long>(std::llround(i * s.intervalS));
        char date[40];
        std::snprintf(date, sizeof date, "'2026-12-08T%02lld:%02lld:%02lld'", start / 3600, start / 60 % 60,
                      start % 60);
        const std::vector<std::string> cards = {FitsCard("DATE-OBS", date, "exposure start (UTC)"),
                                                FitsCard("EXPTIME", FormatG6(s.exposureS), "seconds"),
                                                FitsCard("OBJCTDEC", "'" + s.declination + "'")};
        WriteFileAtomically(path, EncodeFits16(frame(true, cx, cy), s.width, s.height, cards));
        frames.push_back(path);
    }
    for (int i = 0; i < s.darks; ++i) {
        const std::string path = Utf8Of(PathOf(folder) / ("dark" + std::to_string(i + 1) + ".fits"));
        WriteFileAtomically(path, EncodeFits16(frame(false, 0, 0), s.width, s.height));
    }
    return frames;
}

namespace {

// The camera night's sky and star, in ADU at one electron per ADU.
constexpr double kCameraOffset = 800;     // the camera's bias level
constexpr double kCameraSky = 1400;       // sky signal at the frame's left and top edges
constexpr double kCameraGradientX = 120;  // added across the width (light pollution)
constexpr double kCameraGradientY = 60;   // added down the height
constexpr double kCameraReadNoise = 3.5;
constexpr double kCameraStarPeak = 18000;
constexpr double kCameraFwhm = 3.6;
constexpr int kCameraStarReach = 12;  // star pixels drawn within this many of its centre
constexpr int kCameraHotPixels = 40;
constexpr int kCameraHotClearance = 40;  // no hot pixel this near the star's first position

// A 16-bit sample into the big-endian bytes stored under BZERO 32768.
void putStored(std::uint8_t* at, int sample) {
    const unsigned stored = unsigned(std::clamp(sample, 0, 65535)) ^ 0x8000u;
    at[0] = std::uint8_t(stored >> 8);
    at[1] = std::uint8_t(stored);
}

// The exposure start as DATE-OBS writes it, with milliseconds: 2026-12-08 21:14:05.250 plus
// the given milliseconds.
std::string dateObs(long long ms) {
    ms += ((21 * 60 + 14) * 60 + 5) * 1000LL + 250;
    const long long day = 8 + ms / 86400000;
    ms %= 86400000;
    char text[48];
    std::snprintf(text, sizeof text, "'2026-12-%02lldT%02lld:%02lld:%02lld.%03lld'", day, ms / 3600000, ms / 60000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return text;
}

[[noreturn]] void failWrite(const std::string& path, int status) {
    fits_clear_errmsg();
    throw FileError(path, FillMessage(msg::kCannotWrite, FillMessage(msg::kFitsLibWriteFailed, status)));
}

// The frame (header blocks, then the stored rows) as a RICE tile-compressed image in an
// extension, one row a tile, with the same descriptive cards.
void writeCompressed(const std::string& path, int w, int h, const std::vector<std::string>& cards,
                     const std::uint8_t* rows) {
    WriteThroughTemporary(path, [&](const std::string& temp) {
        fitsfile* fp = nullptr;
        int status = 0;
        if (fits_create_diskfile(&fp, temp.c_str(), &status)) failWrite(path, status);
        long axes[2] = {w, h};
        fits_set_compression_type(fp, RICE_1, &status);
        fits_create_img(fp, USHORT_IMG, 2, axes, &status);
        for (const std::string& c : cards) fits_write_record(fp, c.c_str(), &status);
        std::vector<std::uint16_t> row(static_cast<std::size_t>(w));
        for (int y = 0; y < h && !status; ++y) {
            const std::uint8_t* at = rows + std::size_t(y) * std::size_t(w) * 2;
            for (int x = 0; x < w; ++x) row[std::size_t(x)] = std::uint16_t((at[2 * x] << 8 | at[2 * x + 1]) ^ 0x8000);
            fits_write_img(fp, TUSHORT, LONGLONG(y) * w + 1, w, row.data(), &status);
        }
        int closed = 0;
        fits_close_file(fp, &closed);  // closes (and frees) even after a failure
        if (status || closed) failWrite(path, status ? status : closed);
    });
}

}  // namespace

CameraNightFiles WriteCameraNight(const std::string& folder, const CameraNight& n) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::create_directories(PathOf(folder), ec);
    if (ec) throw FileError(folder, FillMessage(msg::kCannotCreateFolder, ReasonOf(ec)));
    const int w = n.width, h = n.height;
    const double startX = w * 0.47 + 0.3, startY = h * 0.53 + 0.6;
    CameraNightFiles files;
    files.starX = int(startX);
    files.starY = int(startY);

    // Normal deviates made here (Box-Muller on mt19937, fixed by the language) so that every
    // platform writes the same files. The sky's noise is drawn from a table of them by a fast
    // generator: the table is far longer than any run of pixels could show.
    std::mt19937 rng(20261208);
    auto uniform = [&] { return (rng() + 0.5) / 4294967296.0; };
    auto normal = [&] { return std::sqrt(-2 * std::log(uniform())) * std::cos(6.283185307179586 * uniform()); };
    const double skySigma = std::sqrt(kCameraSky + kCameraReadNoise * kCameraReadNoise);
    std::vector<std::int16_t> skyNoise(65536);
    for (std::int16_t& v : skyNoise) v = std::int16_t(std::lround(std::clamp(normal(), -6.0, 6.0) * skySigma));
    std::uint64_t state = 0x9E3779B97F4A7C15ULL;
    auto next = [&] {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return state;
    };

    // The sky without noise: the bias, the sky and its gradient.
    auto skyAt = [&](int x, int y) {
        return kCameraOffset + kCameraSky + kCameraGradientX * x / w + kCameraGradientY * y / h;
    };
    std::vector<int> columnSky(static_cast<std::size_t>(w));
    for (int x = 0; x < w; ++x)
        columnSky[std::size_t(x)] = int(std::lround(kCameraOffset + kCameraSky + kCameraGradientX * x / w));

    struct Hot {
        int x, y, value;
    };
    std::vector<Hot> hot;
    while (int(hot.size()) < kCameraHotPixels) {
        const int x = int(rng() % unsigned(w)), y = int(rng() % unsigned(h));
        const int value = 30000 + int(rng() % 40000);
        if (std::abs(x - files.starX) > kCameraHotClearance || std::abs(y - files.starY) > kCameraHotClearance)
            hot.push_back({x, y, std::min(value, 65535)});
    }

    const std::size_t dataBytes = std::size_t(w) * std::size_t(h) * 2;
    std::vector<std::uint8_t> bytes;
    const double starSigma = kCameraFwhm / (2 * std::sqrt(2 * std::log(2.0)));
    const double twoPi = 6.283185307179586;
    for (int i = 0; i < n.frames; ++i) {
        const double cx = startX + n.driftX * i + n.periodicAmplitude * std::sin(twoPi * i / n.periodicFrames);
        const double cy = startY + n.driftY * i;
        const std::vector<std::string> cards = {
            FitsCard("DATE-OBS", dateObs(std::llround(i * n.intervalS * 1000)), "exposure start (UTC)"),
            FitsCard("EXPTIME", FormatDecimals(n.exposureS, 3), "seconds"),
            FitsCard("XBINNING", "1"),
            FitsCard("YBINNING", "1"),
            FitsCard("XPIXSZ", "3.76", "micrometres, binning included"),
            FitsCard("YPIXSZ", "3.76", "micrometres, binning included"),
            FitsCard("FOCALLEN", "530.0", "millimetres"),
            FitsCard("CCD-TEMP", "-10.1", "degrees C"),
            FitsCard("SET-TEMP", "-10.0", "degrees C"),
            FitsCard("GAIN", "100", "camera gain setting"),
            FitsCard("INSTRUME", "'Sample cooled mono camera'"),
            FitsCard("TELESCOP", "'Sample 106 mm f/5 refractor'"),
            FitsCard("IMAGETYP", "'Light Frame'"),
            FitsCard("OBJECT", "'Sample field'"),
            FitsCard("OBJCTRA", "'03 47 24'"),
            FitsCard("OBJCTDEC", "'" + n.declination + "'"),
            FitsCard("SWCREATE", "'nuvak-cli make-samples'"),
        };
        const std::string frameHeader = header16(w, h, cards);
        bytes.assign(frameHeader.begin(), frameHeader.end());
        bytes.resize(bytes.size() + (dataBytes + 2879) / 2880 * 2880, 0);
        std::uint8_t* data = bytes.data() + frameHeader.size();

        // The sky, row by row: four noise draws from each 64-bit number.
        for (int y = 0; y < h; ++y) {
            const int rowSky = int(std::lround(kCameraGradientY * y / h));
            std::uint8_t* row = data + std::size_t(y) * std::size_t(w) * 2;
            for (int x = 0; x < w; x += 4) {
                std::uint64_t r = next();
                for (int j = x; j < std::min(x + 4, w); ++j, r >>= 16)
                    putStored(row + 2 * j, columnSky[std::size_t(j)] + rowSky + skyNoise[r & 0xFFFF]);
            }
        }
        // The star with its own shot noise, then the hot pixels.
        for (int y = std::max(int(cy) - kCameraStarReach, 0); y <= std::min(int(cy) + kCameraStarReach, h - 1); ++y)
            for (int x = std::max(int(cx) - kCameraStarReach, 0); x <= std::min(int(cx) + kCameraStarReach, w - 1);
                 ++x) {
                const double dx = x + 0.5 - cx, dy = y + 0.5 - cy;
                const double star = kCameraStarPeak * std::exp(-(dx * dx + dy * dy) / (2 * starSigma * starSigma));
                const double signal = skyAt(x, y) - kCameraOffset + star;
                const double v =
                    kCameraOffset + signal + normal() * std::sqrt(signal + kCameraReadNoise * kCameraReadNoise);
                putStored(data + (std::size_t(y) * std::size_t(w) + std::size_t(x)) * 2, int(std::lround(v)));
            }
        for (const Hot& p : hot) putStored(data + (std::size_t(p.y) * std::size_t(w) + std::size_t(p.x)) * 2, p.value);

        char name[32];
        const bool compressed = i + 1 == n.compressedFrame;
        std::snprintf(name, sizeof name, compressed ? "cam%03d.fits.fz" : "cam%03d.fits", i + 1);
        const std::string path = Utf8Of(PathOf(folder) / name);
        if (compressed) {
            writeCompressed(path, w, h, cards, data);
        } else {
            WriteFileAtomically(path, bytes);
        }
        files.frames.push_back(path);
    }
    return files;
}

}  // namespace nuvak
