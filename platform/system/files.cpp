// core/systemfiles.h, one implementation per system. Compiled into nuvak_core: the readers
// and writers of core/fileio call it.
#include "core/systemfiles.h"

#include <cerrno>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#endif

namespace nuvak::systemfiles {

#ifdef _WIN32

namespace {

// Win32 errors as the portable conditions the messages know; the rest keep the system's text.
std::error_code errorOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND: return std::make_error_code(std::errc::no_such_file_or_directory);
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION: return std::make_error_code(std::errc::permission_denied);
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL: return std::make_error_code(std::errc::no_space_on_device);
        case ERROR_WRITE_PROTECT: return std::make_error_code(std::errc::read_only_file_system);
        case ERROR_FILENAME_EXCED_RANGE: return std::make_error_code(std::errc::filename_too_long);
        default: return std::error_code(static_cast<int>(error), std::system_category());
    }
}

// A virus scanner, an indexer or a viewer briefly holding the target.
bool heldByAnother(DWORD error) {
    return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

}  // namespace

std::FILE* OpenForReading(const std::filesystem::path& path) { return _wfopen(path.c_str(), L"rb"); }

int SeekTo(std::FILE* file, std::uint64_t pos) { return _fseeki64(file, static_cast<long long>(pos), SEEK_SET); }

std::FILE* CreateNew(const std::filesystem::path& path) {
    // The C library's "x" mode is ignored by msvcrt (it would truncate): the exclusive
    // creation is asked of the system itself.
    const int fd = _wopen(path.c_str(), _O_CREAT | _O_EXCL | _O_WRONLY | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0) return nullptr;
    std::FILE* file = _fdopen(fd, "wb");
    if (!file) {
        const int error = errno;
        _close(fd);
        errno = error;
    }
    return file;
}

std::error_code ReplaceWith(const std::filesystem::path& from, const std::filesystem::path& to) {
    constexpr int kAttempts = 20;
    constexpr DWORD kPauseMs = 50;
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt < kAttempts; ++attempt) {
        if (attempt > 0) Sleep(kPauseMs);
        // Over an existing file ReplaceFileW keeps its attributes and permissions. Without a
        // backup name, a failed replacement leaves both files under their own names, so the
        // plain move may still try.
        if (GetFileAttributesW(to.c_str()) != INVALID_FILE_ATTRIBUTES &&
            ReplaceFileW(to.c_str(), from.c_str(), nullptr, REPLACEFILE_IGNORE_MERGE_ERRORS, nullptr, nullptr))
            return {};
        if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) return {};
        error = GetLastError();
        if (!heldByAnother(error)) break;
    }
    return errorOf(error);
}

#else

std::FILE* OpenForReading(const std::filesystem::path& path) { return std::fopen(path.c_str(), "rb"); }

int SeekTo(std::FILE* file, std::uint64_t pos) { return fseeko(file, static_cast<off_t>(pos), SEEK_SET); }

std::FILE* CreateNew(const std::filesystem::path& path) { return std::fopen(path.c_str(), "wbx"); }

std::error_code ReplaceWith(const std::filesystem::path& from, const std::filesystem::path& to) {
    // rename() replaces an existing target atomically.
    std::error_code error;
    std::filesystem::rename(from, to, error);
    return error;
}

#endif

}  // namespace nuvak::systemfiles
