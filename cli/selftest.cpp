#include "cli/selftest.h"

#include <iostream>

namespace nuvak::cli {

int SelfTest(const std::vector<std::string>&) {
    std::cerr << "nuvak-cli selftest: not built yet\n";
    return 2;
}

}  // namespace nuvak::cli
