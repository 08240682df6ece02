#include "core/fileio.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <ostream>
#include <system_error>

#include "core/error.h"
#include "core/format.h"
#include "core/systemfiles.h"
#include "resources/messages.h"

namespace nuvak {

namespace fs = std::filesystem;

namespace {

// errno after a failed C library call: 0 when the call set none.
std::string systemReason(int err) { return ReasonOf(std::error_code(err, std::generic_category())); }

// A fresh name beside target: a clock stamp and a counter (created exclusively by the writers).
fs::path temporaryFor(const fs::path& target) {
    static std::atomic<unsigned> counter{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    fs::path temp = target;
    temp += fs::path(".tmp-" + std::to_string(stamp) + "-" + std::to_string(counter++));
    return temp;
}

}  // namespace

fs::path PathOf(const std::string& utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

std::string Utf8Of(const fs::path& path) {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}

FileSource::FileSource(const std::string& path) : path_(path) {
    std::error_code ec;
    const fs::path p = PathOf(path);
    if (fs::is_directory(p, ec)) throw FileError(path, msg::kIsFolder);
    errno = 0;
    file_ = systemfiles::OpenForReading(p);
    if (!file_) throw FileError(path, FillMessage(msg::kCannotOpen, systemReason(errno)));
    const auto n = fs::file_size(p, ec);
    if (ec) {
        std::fclose(file_);
        throw FileError(path, FillMessage(msg::kCannotOpen, ReasonOf(ec)));
    }
    size_ = n;
}

FileSource::~FileSource() {
    if (file_) std::fclose(file_);
}

void FileSource::read(std::uint64_t pos, void* dst, std::size_t n) {
    if (pos > size_ || n > size_ - pos) throw FileError(path_, msg::kTruncated);
    if (pos != position_) {
        const int rc = systemfiles::SeekTo(file_, pos);
        if (rc != 0) throw FileError(path_, FillMessage(msg::kReadFailed, systemReason(errno)));
        position_ = pos;
    }
    const std::size_t got = std::fread(dst, 1, n, file_);
    position_ += got;
    if (got != n) {
        if (std::ferror(file_)) throw FileError(path_, FillMessage(msg::kReadFailed, systemReason(errno)));
        throw FileError(path_, msg::kTruncated);
    }
}

void MemorySource::read(std::uint64_t pos, void* dst, std::size_t n) {
    if (pos > bytes_.size() || n > bytes_.size() - pos) throw FileError(name_, msg::kTruncated);
    if (n) std::memcpy(dst, bytes_.data() + pos, n);
}

std::unique_ptr<FileSource> OpenFile(const std::string& path, std::ostream* diag, std::string_view diagPrefix) {
    try {
        return std::make_unique<FileSource>(path);
    } catch (const FileError&) {
        if (diag) *diag << diagPrefix << path << "\n";
        throw;
    }
}

FileBytes ReadWholeFile(const std::string& path) {
    FileSource src(path);
    FileBytes bytes(static_cast<std::size_t>(src.size()));
    src.read(0, bytes.data(), bytes.size());
    return bytes;
}

void WriteFileAtomically(const std::string& path, std::span<const std::uint8_t> bytes) {
    const fs::path target = PathOf(path);
    std::error_code ec;
    if (fs::is_directory(target, ec)) throw FileError(path, msg::kIsFolder);

    const fs::path temp = temporaryFor(target);

    errno = 0;
    std::FILE* f = systemfiles::CreateNew(temp);
    if (!f) throw FileError(path, FillMessage(msg::kCannotWrite, systemReason(errno)));
    bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    std::error_code err;
    if (!ok) err = std::error_code(errno, std::generic_category());
    if (std::fflush(f) != 0 && ok) {
        ok = false;
        err = std::error_code(errno, std::generic_category());
    }
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        err = std::error_code(errno, std::generic_category());
    }
    if (ok) {
        err = systemfiles::ReplaceWith(temp, target);
        ok = !err;
    }
    if (!ok) {
        fs::remove(temp, ec);
        throw FileError(path, FillMessage(msg::kCannotWrite, ReasonOf(err)));
    }
}

void WriteThroughTemporary(const std::string& path, const std::function<void(const std::string& temp)>& write) {
    const fs::path target = PathOf(path);
    std::error_code ec;
    if (fs::is_directory(target, ec)) throw FileError(path, msg::kIsFolder);
    const fs::path temp = temporaryFor(target);
    try {
        write(Utf8Of(temp));
    } catch (...) {
        fs::remove(temp, ec);
        throw;
    }
    const std::error_code err = systemfiles::ReplaceWith(temp, target);
    if (err) {
        fs::remove(temp, ec);
        throw FileError(path, FillMessage(msg::kCannotWrite, ReasonOf(err)));
    }
}

}  // namespace nuvak
