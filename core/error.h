#pragma once
// How a command stops with a message for the user: every refusal derives from Refusal, which
// carries the text the user sees (UTF-8); the window edge and the command line decide how to
// show it. A file problem, a text that is not a number and a picture without a display are
// here; the tracking run, the composite, the alignment and the command line's usage add theirs.

#include <stdexcept>
#include <string>
#include <system_error>

#include "resources/messages.h"

namespace nuvak {

// A command refuses: what() is the message for the user.
class Refusal : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A file cannot be read or written as asked. The message names the file and the cause.
class FileError : public Refusal {
public:
    FileError(const std::string& path, const std::string& problem)
        : Refusal(path + ": " + problem), path_(path), problem_(problem) {}
    const std::string& path() const { return path_; }
    const std::string& problem() const { return problem_; }

private:
    std::string path_;
    std::string problem_;
};

// A control text or attribute does not parse as the number a command needs.
class ConversionError : public Refusal {
public:
    using Refusal::Refusal;
};

// An image cannot be turned into a display (empty sample grid, flat levels).
class ImageError : public Refusal {
public:
    using Refusal::Refusal;
};

// The cause of a failed system call as the user reads it: the commonest causes have a
// Japanese text, any other keeps the system's own text.
inline std::string ReasonOf(const std::error_code& ec) {
    if (!ec) return msg::kUnknownReason;
    const std::error_condition c = ec.default_error_condition();
    if (c.category() == std::generic_category()) {
        switch (static_cast<std::errc>(c.value())) {
            case std::errc::no_such_file_or_directory: return msg::kReasonNotFound;
            case std::errc::permission_denied:
            case std::errc::operation_not_permitted: return msg::kReasonDenied;
            case std::errc::not_a_directory: return msg::kReasonNotFolder;
            case std::errc::filename_too_long: return msg::kReasonNameTooLong;
            case std::errc::no_space_on_device: return msg::kReasonNoSpace;
            case std::errc::read_only_file_system: return msg::kReasonReadOnly;
            case std::errc::too_many_files_open:
            case std::errc::too_many_files_open_in_system: return msg::kReasonTooManyFiles;
            case std::errc::io_error: return msg::kReasonIo;
            default: break;
        }
    }
    return ec.message();
}

}  // namespace nuvak
