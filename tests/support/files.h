#pragma once
// Test helpers: a temporary folder that cleans up after itself and small file writers.

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace nuvak::test {

using Bytes = std::vector<std::uint8_t>;

// A fresh, empty folder under the system's temporary folder, removed with its contents.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    // Full path of a file name inside the folder, as a UTF-8 string.
    std::string file(const std::string& name) const;
    // The names of the entries the folder holds now, sorted.
    std::vector<std::string> entries() const;

private:
    std::filesystem::path path_;
};

void WriteBytes(const std::string& path, const Bytes& bytes);
Bytes ReadBytes(const std::string& path);
Bytes BytesOf(const std::string& text);

}  // namespace nuvak::test
