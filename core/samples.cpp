#include "core/samples.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <random>

#include "core/error.h"
#include "core/fileio.h"
#include "core/format.h"
#include "resources/messages.h"

namespace nuvak {

namespace {

constexpr double kSky = 1200;      // sky background
constexpr double kNoise = 12;      // sky noise, one sigma
constexpr double kDarkLevel = 300; // dark current in every pixel

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

std::vector<std::uint8_t> EncodeFits16(const IntArray2D& samples, int w, int h,
                                       const std::vector<std::string>& extraCards) {
    auto card = [](const std::string& k, const std::string& v, const std::string& c = "") { return FitsCard(k, v, c); };
    std::string header = card("SIMPLE", "T") + card("BITPIX", "16") + card("NAXIS", "2") +
                         card("NAXIS1", std::to_string(w)) + card("NAXIS2", std::to_string(h)) +
                         card("BZERO", "32768", "stored value + 32768 = sample") + card("BSCALE", "1");
    for (const std::string& c : extraCards) header += c.substr(0, 80) + std::string(80 - std::min<std::size_t>(80, c.size()), ' ');
    header += std::string("END").append(77, ' ');
    header.resize((header.size() + 2879) / 2880 * 2880, ' ');
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
    fs::create_directories(fs::path(folder), ec);
    if (ec) throw FileError(folder, FillMessage(msg::kCannotCreateFolder, ReasonOf(ec)));

    // mt19937's sequence is fixed by the language; the normal deviates are made here
    // (Box-Muller) so that every platform writes the same files.
    std::mt19937 rng(20261208);
    auto uniform = [&] { return (rng() + 0.5) / 4294967296.0; };
    auto noise = [&] { return kNoise * std::sqrt(-2 * std::log(uniform())) * std::cos(6.283185307179586 * uniform()); };

    // Hot pixels shared by every frame and dark.
    std::vector<std::pair<int, int>> hot;
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
        const std::string path = (fs::path(folder) / name).string();
        // Mid-exposure times on the real clock, for reports that read them.
        const long long start = 21 * 3600LL + static_cast<long long>(std::llround(i * s.intervalS));
        char date[40];
        std::snprintf(date, sizeof date, "'2026-12-08T%02lld:%02lld:%02lld'", start / 3600, start / 60 % 60, start % 60);
        const std::vector<std::string> cards = {FitsCard("DATE-OBS", date, "exposure start (UTC)"),
                                                FitsCard("EXPTIME", FormatG6(s.exposureS), "seconds"),
                                                FitsCard("OBJCTDEC", "'" + s.declination + "'")};
        WriteFileAtomically(path, EncodeFits16(frame(true, cx, cy), s.width, s.height, cards));
        frames.push_back(path);
    }
    for (int i = 0; i < s.darks; ++i) {
        const std::string path = (fs::path(folder) / ("dark" + std::to_string(i + 1) + ".fits")).string();
        WriteFileAtomically(path, EncodeFits16(frame(false, 0, 0), s.width, s.height));
    }
    return frames;
}

}  // namespace nuvak
