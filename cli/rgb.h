#pragma once
// nuvak-cli rgb PROJECT.mvl OUT: the RGB composite of a saved workbench set-up, written as a
// BMP or JPEG picture. Returns the exit status: 0 success, 1 the load or the run stopped
// (message on stderr, nothing written), 2 a usage error.

#include <string>
#include <vector>

namespace nuvak::cli {

// The command's usage and options, as --help prints them.
extern const char kRgbUsage[];

int RgbComposite(const std::vector<std::string>& args);

}  // namespace nuvak::cli
