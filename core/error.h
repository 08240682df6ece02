#pragma once
// The two ways a command stops: a file problem and a text that is not a number.
// Both carry the message the user sees; the window edge and the CLI decide how to show it.

#include <stdexcept>
#include <string>

namespace nuvak {

// A file cannot be read or written as asked. The message names the file and the cause.
class FileError : public std::runtime_error {
public:
    FileError(const std::string& path, const std::string& problem)
        : std::runtime_error(path + ": " + problem), path_(path), problem_(problem) {}
    const std::string& path() const { return path_; }
    const std::string& problem() const { return problem_; }

private:
    std::string path_;
    std::string problem_;
};

// A control text or attribute does not parse as the number a command needs.
class ConversionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An image cannot be turned into a display (empty sample grid, flat levels).
class ImageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace nuvak
