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

}  // namespace nuvak::test
