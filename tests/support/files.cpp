#include "tests/support/files.h"

#include <algorithm>
#include <fstream>
#include <random>
#include <stdexcept>

#include "core/fileio.h"

namespace nuvak::test {

namespace fs = std::filesystem;

TempDir::TempDir() {
    std::random_device rd;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path p = fs::temp_directory_path() / ("nuvak-test-" + std::to_string(rd()));
        if (fs::create_directory(p)) {
            path_ = p;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string TempDir::file(const std::string& name) const { return Utf8Of((path_ / PathOf(name)).make_preferred()); }

std::vector<std::string> TempDir::entries() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(path_)) names.push_back(Utf8Of(e.path().filename()));
    std::sort(names.begin(), names.end());
    return names;
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream out(PathOf(path), std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    if (!out) throw std::runtime_error("cannot write test file " + path);
}

Bytes ReadBytes(const std::string& path) {
    std::ifstream in(PathOf(path), std::ios::binary);
    if (!in) throw std::runtime_error("cannot read test file " + path);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes BytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

}  // namespace nuvak::test
