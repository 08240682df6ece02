#pragma once
// How every subcommand reports a failed run, and reads the picture format of its output.

#include <optional>
#include <string>

#include "core/error.h"

#include "core/image_files.h"

namespace nuvak::cli {

// A command line the command cannot take: the message says what is wrong; the command prints
// it with its usage and exits with status 2.
class UsageError : public Refusal {
public:
    explicit UsageError(const std::string& problem) : Refusal(problem), message(problem) {}
    std::string message;
};

// The usage message for an output picture of another extension.
inline std::string PictureExtensionUsage(const std::string& out) {
    return "OUT must end in .bmp, .jpg or .jpeg: " + out;
}

// The picture format the output's extension asks for (.bmp; .jpg or .jpeg), or nothing.
std::optional<DisplayFormat> PictureFormatOf(const std::string& out);

// Called inside a catch block: writes the message of the error being handled to standard
// error as "nuvak-cli: <message>" (a file error names its file) and returns exit status 1.
int ReportRunFailure();

}  // namespace nuvak::cli
