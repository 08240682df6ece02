#pragma once
// The results file of a tracking measurement, as UTF-8 text with CR LF line ends; the window
// converts it to code page 932 when it writes the file.

#include <string>
#include <vector>

#include "tracking/state.h"

namespace nuvak {

// Lines: title, RMS values, the folder of the first frame (without its final separator
// unless it is a root), the column heads and one line per frame with its centroid.
// names are the frame file names, firstFramePath the full path of frame 0.
std::string ResultsFileText(const TrackingState& state, const std::vector<std::string>& names,
                            const std::string& firstFramePath);

// The folder of a path without its final separator, unless the folder is a root.
std::string FolderOf(const std::string& path);

}  // namespace nuvak
