#pragma once
// nuvak-cli track: the tracking measurement of a frame series, as the tracking window runs it
// with its default settings, for batch use.

#include <string>
#include <vector>

namespace nuvak::cli {

// The command's usage and options, as --help prints them.
extern const char kTrackUsage[];

// Runs the subcommand on its arguments (after "track"). Returns the exit status: 0 success,
// 1 the run or the statistics failed (message on stderr), 2 a usage error.
int Track(const std::vector<std::string>& args);

}  // namespace nuvak::cli
