#include "cli/rgb.h"

#include <iostream>

namespace nuvak::cli {

int RgbComposite(const std::vector<std::string>&) {
    std::cerr << "nuvak-cli rgb: not built yet\n";
    return 2;
}

}  // namespace nuvak::cli
