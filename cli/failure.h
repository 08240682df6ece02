#pragma once
// How every subcommand reports a failed run, and reads the picture format of its output.

#include <optional>
#include <string>

#include "core/image_files.h"

namespace nuvak::cli {

// The usage message for an output picture of another extension.
inline std::string PictureExtensionUsage(const std::string& out) { return "OUT must end in .bmp, .jpg or .jpeg: " + out; }

// The picture format the output's extension asks for (.bmp; .jpg or .jpeg), or nothing.
std::optional<DisplayFormat> PictureFormatOf(const std::string& out);

// Called inside a catch block: writes the message of the error being handled to standard
// error as "nuvak-cli: <message>" (a file error names its file) and returns exit status 1.
int ReportRunFailure();

}  // namespace nuvak::cli
