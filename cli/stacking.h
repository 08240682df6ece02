#pragma once
// nuvak-cli stack, mosaic, separate and spectrum: the commands that make new pictures (or a
// data file) from opened images, for batch use. Each returns the exit status: 0 success,
// 1 a file error or a refused command (message on stderr, nothing written), 2 a usage error.

#include <string>
#include <vector>

namespace nuvak::cli {

// The command's usage and options, as --help prints them.
extern const char kStackingUsage[];

int Stack(const std::vector<std::string>& args);
int MosaicImages(const std::vector<std::string>& args);
int Separate(const std::vector<std::string>& args);
int Spectrum(const std::vector<std::string>& args);

}  // namespace nuvak::cli
