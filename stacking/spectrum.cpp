#include "stacking/spectrum.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <span>
#include <system_error>

#include "core/error.h"
#include "core/fileio.h"
#include "core/format.h"
#include "resources/messages.h"

namespace nuvak {

namespace {

constexpr std::uint32_t kFrameBlack = 0x000000;
constexpr std::uint32_t kProfileRed = 0xFF0000;
constexpr char kLineEnd[] = "\r\n";

GraphItem Line(int x1, int y1, int x2, int y2, std::uint32_t colour) {
    GraphItem item;
    item.type = GraphItem::Type::Line;
    item.x1 = x1;
    item.y1 = y1;
    item.x2 = x2;
    item.y2 = y2;
    item.colour = colour;
    return item;
}

}  // namespace

std::vector<double> SpectrumColumnMeans(const Raster& picture) {
    if (picture.empty()) return {};
    const int w = picture.width, h = picture.height;
    // Row by row over the packed bytes; sums of bytes are exact in doubles, so the order of
    // the additions does not matter.
    std::vector<double> sums(w, 0.0);
    for (int y = 0; y < h; ++y) {
        const std::uint8_t* red = picture.row(y) + 2;
        for (int x = 0; x < w; ++x, red += 3) sums[x] += *red;
    }
    for (double& s : sums) s /= h;
    return sums;
}

std::string SpectrumDataText(const std::vector<double>& means) {
    std::string out = "# MORVEL-2 Spectrum Data ";
    out += kLineEnd;
    for (std::size_t x = 0; x < means.size(); ++x) {
        out += std::to_string(x);
        out += ' ';
        out += FormatG6(means[x]);
        out += kLineEnd;
    }
    return out;
}

std::vector<GraphItem> SpectrumPlot(const std::vector<double>& means, int width, int height) {
    std::vector<GraphItem> items;
    items.push_back(Line(0, 0, width - 1, 0, kFrameBlack));
    items.push_back(Line(width - 1, 0, width - 1, height - 1, kFrameBlack));
    items.push_back(Line(width - 1, height - 1, 0, height - 1, kFrameBlack));
    items.push_back(Line(0, height - 1, 0, 0, kFrameBlack));

    const double n = double(means.size());
    const double inv255 = 1.0 / 255;
    int prevX = 0, prevY = height;
    for (std::size_t x = 0; x < means.size(); ++x) {
        const int px = static_cast<int>(std::trunc(double(x) / n * width));
        // Means lie in 0 ... 255, so py stays within 0 ... height.
        const int py = static_cast<int>(std::trunc((1 - means[x] * inv255) * height));
        if (px >= 0 && px < width && py >= 0 && py < height) items.push_back(Line(prevX, prevY, px, py, kProfileRed));
        prevX = px;
        prevY = py;
    }
    return items;
}

std::string SpectrumDataPath() {
#ifdef _WIN32
    return "d:\\data\\SPN";
#else
    const char* home = std::getenv("HOME");
    if (!home || !*home) return "data/SPN";
    std::string path = home;
    if (path.back() != '/') path += '/';
    return path + "data/SPN";
#endif
}

void WriteSpectrumData(const std::string& path, const std::string& text) {
    // The folder is the user's to make: a missing one is named in the error, never created.
    namespace fs = std::filesystem;
    const fs::path folder = PathOf(path).parent_path();
    std::error_code ec;
    if (!folder.empty() && !fs::exists(folder, ec))
        throw FileError(path, FillMessage(msg::kSpectrumNoFolder, Utf8Of(folder)));
    WriteFileAtomically(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace nuvak
