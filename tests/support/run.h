#pragma once
// Runs a program with arguments and collects its exit status and output.

#include <string>
#include <vector>

namespace nuvak::test {

struct RunResult {
    int status = -1;  // exit status, or -1 when the program did not exit normally
    std::string out;  // standard output
    std::string err;  // standard error
};

// Runs program with args (no shell involved in quoting), in folder cwd when given.
RunResult Run(const std::string& program, const std::vector<std::string>& args, const std::string& cwd = "");

// Limits for a run: a bound on the address space and on the time; a program that passes
// the time is stopped and reports the status 124.
struct RunLimits {
    std::string cwd;
    unsigned long long addressSpaceKiB = 0;  // 0: no bound
    int seconds = 0;                          // 0: no bound
};
RunResult RunLimited(const std::string& program, const std::vector<std::string>& args, const RunLimits& limits);

}  // namespace nuvak::test
