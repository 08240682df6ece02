// Runs inputs through a fuzz target once each, so that every target builds and runs with any
// compiler and without libFuzzer: each file named on the command line, and each file in a
// folder named there. A name that is neither, or a folder without files, is an error: a
// replay that silently runs nothing would hide a corpus that went missing.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

bool collect(const fs::path& arg, std::vector<fs::path>& inputs) {
    std::error_code ec;
    if (fs::is_directory(arg, ec)) {
        std::vector<fs::path> found;
        for (const auto& e : fs::directory_iterator(arg, ec))
            if (e.is_regular_file()) found.push_back(e.path());
        if (ec || found.empty()) {
            std::cerr << arg.string() << ": no inputs in this folder\n";
            return false;
        }
        std::sort(found.begin(), found.end());
        inputs.insert(inputs.end(), found.begin(), found.end());
        return true;
    }
    if (fs::is_regular_file(arg, ec)) {
        inputs.push_back(arg);
        return true;
    }
    std::cerr << arg.string() << ": no such file or folder\n";
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::cerr << "usage: " << argv[0] << " file-or-folder...\n";
        return 2;
    }
    std::vector<fs::path> inputs;
    for (int i = 1; i < argc; ++i)
        if (!collect(argv[i], inputs)) return 2;

    for (const fs::path& path : inputs) {
        std::ifstream in(path, std::ios::binary);
        const std::vector<char> text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (in.bad()) {
            std::cerr << path.string() << ": cannot read\n";
            return 2;
        }
        // A buffer of exactly the input's size, as libFuzzer passes it, so that a sanitizer
        // build catches a read one byte past the end.
        const std::size_t size = text.size();
        auto bytes = std::make_unique<std::uint8_t[]>(std::max<std::size_t>(size, 1));
        std::copy(text.begin(), text.end(), bytes.get());
        std::cout << "replaying " << path.string() << " (" << size << " bytes)" << std::endl;
        LLVMFuzzerTestOneInput(bytes.get(), size);
    }
    std::cout << "replayed " << inputs.size() << " inputs\n";
    return 0;
}
