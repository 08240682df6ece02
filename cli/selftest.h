#pragma once
// nuvak-cli selftest: synthetic frame sequences with known drift, periodic error, seeing and
// noise, measured by the tracking report; prints recovered against true figures with their
// tolerances. Returns 0 when every figure is within its tolerance, else 1.

#include <string>
#include <vector>

namespace nuvak::cli {

int SelfTest(const std::vector<std::string>& args);

}  // namespace nuvak::cli
