#pragma once
// Reading outside bytes from a file or from memory, and writing files atomically.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <iosfwd>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/raster.h"

namespace nuvak {

// Random-access bytes with a known size: a file on disk or a buffer in memory. Readers take
// one of these so that the same parsing code serves files, tests and fuzzing.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    // Name used in messages (the file name).
    virtual const std::string& name() const = 0;
    virtual std::uint64_t size() const = 0;
    // Copies n bytes from offset pos; throws FileError if fewer are there.
    virtual void read(std::uint64_t pos, void* dst, std::size_t n) = 0;
};

// A file opened for binary reading. Throws FileError naming the file when it cannot be
// opened or is a folder.
class FileSource final : public ByteSource {
public:
    explicit FileSource(const std::string& path);
    ~FileSource() override;
    FileSource(const FileSource&) = delete;
    FileSource& operator=(const FileSource&) = delete;

    const std::string& name() const override { return path_; }
    std::uint64_t size() const override { return size_; }
    void read(std::uint64_t pos, void* dst, std::size_t n) override;

private:
    std::string path_;
    std::FILE* file_ = nullptr;
    std::uint64_t size_ = 0;
    std::uint64_t position_ = 0;
};

// Bytes already in memory, under a name for messages.
class MemorySource final : public ByteSource {
public:
    MemorySource(std::string name, std::span<const std::uint8_t> bytes) : name_(std::move(name)), bytes_(bytes) {}
    const std::string& name() const override { return name_; }
    std::uint64_t size() const override { return bytes_.size(); }
    void read(std::uint64_t pos, void* dst, std::size_t n) override;

private:
    std::string name_;
    std::span<const std::uint8_t> bytes_;
};

// Opens path for reading. When it cannot be opened, writes diagPrefix, the path and a line
// end to diag (when given), then throws FileError.
std::unique_ptr<FileSource> OpenFile(const std::string& path, std::ostream* diag, std::string_view diagPrefix);

// The whole file; throws FileError naming the file when it cannot be read. The bytes are
// read straight into their block (no zero fill first), and a large block is backed by large
// pages where the raster hook asks for them: a picture file of tens of megabytes is then read
// without tens of thousands of page faults.
using FileBytes = std::vector<std::uint8_t, RasterAllocator<std::uint8_t>>;
FileBytes ReadWholeFile(const std::string& path);

// Writes bytes to path through a temporary file in the same folder and a rename, so a
// failure leaves no partial file and never destroys an existing one. Throws FileError.
// File names are UTF-8 strings throughout the program. These turn one into a path and back;
// the path's own string constructor and string() take the system's code page on Windows.
std::filesystem::path PathOf(const std::string& utf8);
std::string Utf8Of(const std::filesystem::path& path);

void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes);

// The same for a file another library writes: write(temp) creates and fills the file at temp
// (a fresh name in path's folder, UTF-8), which is then renamed to path. When write throws or
// the rename fails, the temporary is removed and path is left as it was. Throws FileError.
void WriteThroughTemporary(const std::string& path, const std::function<void(const std::string& temp)>& write);

}  // namespace nuvak
