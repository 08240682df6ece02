#include "tracking/results.h"

#include <algorithm>

#include "core/format.h"

namespace nuvak {

namespace {

constexpr char kEol[] = "\r\n";
constexpr char kGap[] = "      ";

}  // namespace

std::string FolderOf(const std::string& path) {
    std::size_t end = path.size();
    while (end > 0 && !IsPathSeparator(path[end - 1])) --end;
    if (end == 0) return "";  // a bare name has no folder
    // end is just past the last separator. It stays when it makes the folder a root: the
    // first character ("/"), after a drive ("C:\"), or after another separator.
    const std::size_t last = end - 1;
    const bool root = last == 0 || path[last] == ':' || IsPathSeparator(path[last - 1]);
    return path.substr(0, root ? end : last);
}

std::string ResultsFileText(const TrackingState& state, const std::vector<std::string>& names,
                            const std::string& firstFramePath) {
    std::string out;
    auto line = [&out](const std::string& s) { out += s + kEol; };
    line("MORVEL-3 Tracking Data");
    line("RMS  = " + FormatG6(state.RmsAll) + " pixels");
    line("RMS X-Asix = " + FormatG6(state.RmsX) + " pixels");
    line("RMS Y-Asix = " + FormatG6(state.RmsY) + " pixels");
    line("");
    line("フォルダ " + FolderOf(firstFramePath));
    line("");
    line(std::string("ファイル名   ") + "X    ピクセル  " + "Y    ピクセル  ");
    const int n = std::clamp(state.FrameCount, 0, kMaxFrames);
    for (int i = 0; i < n; ++i) {
        // A frame without a listed name still gets its line, with an empty name.
        const std::string name = i < int(names.size()) ? names[i] : std::string();
        line(name + kGap + FormatG6(state.CentroidX[i]) + kGap + FormatG6(state.CentroidY[i]) + kGap);
    }
    return out;
}

}  // namespace nuvak
