#pragma once
// The few file operations whose system calls differ between systems. Declared here for the
// readers and writers of core/fileio; defined once per system in platform/system/files.cpp,
// which is compiled into this library.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace nuvak::systemfiles {

// Opens an existing file for binary reading; nullptr with errno set when it cannot.
std::FILE* OpenForReading(const std::filesystem::path& path);

// Moves a file opened by OpenForReading to byte pos (beyond 2 GiB too); 0 on success, else
// non-zero with errno set.
int SeekTo(std::FILE* file, std::uint64_t pos);

// Creates path for binary writing, failing (nullptr, errno EEXIST) when it exists already:
// a temporary name is never shared with another writer.
std::FILE* CreateNew(const std::filesystem::path& path);

// Moves from onto to in one step, replacing a file already at to. On Windows a file that
// another program holds open is retried for a moment before the move gives up.
std::error_code ReplaceWith(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace nuvak::systemfiles
