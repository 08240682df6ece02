#pragma once
// nuvak-cli process: the image-editing and image-processing menu commands run on one opened
// image, in the order given, for batch use.

#include <string>
#include <vector>

namespace nuvak::cli {

// The command's usage and options, as --help prints them.
extern const char kProcessUsage[];

// Runs the subcommand on its arguments (after "process"): IN OUT --op OP [--op OP ...]
// [--out-master]. Returns the exit status: 0 success, 1 a file error or a refused command
// (message on stderr, nothing written), 2 a usage error.
int Process(const std::vector<std::string>& args);

}  // namespace nuvak::cli
