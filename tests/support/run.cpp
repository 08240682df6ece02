#include "tests/support/run.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/files.h"

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace nuvak::test {

namespace {

// AddressSanitizer reserves terabytes of address space for its shadow memory, so no bound on
// the address space can hold under it; there the bound applies to each allocation instead,
// which is refused as the system refuses an allocation past the bound.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif
#else
constexpr bool kAddressSanitizer = false;
#endif

// Single-quoted for the POSIX shell.
std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

std::string slurp(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

}  // namespace

RunResult Run(const std::string& program, const std::vector<std::string>& args, const std::string& cwd) {
    return RunLimited(program, args, RunLimits{cwd, 0, 0});
}

RunResult RunLimited(const std::string& program, const std::vector<std::string>& args, const RunLimits& limits) {
    TempDir io;
    std::string cmd;
    // Appended piece by piece: g++ 12 warns (wrongly) about overlapping copies in
    // literal + string concatenations.
    auto add = [&cmd](std::initializer_list<std::string> parts) {
        for (const std::string& part : parts) cmd += part;
    };
    if (!limits.cwd.empty()) add({"cd ", quote(limits.cwd), " && "});
    if (limits.addressSpaceKiB && kAddressSanitizer)
        add({"ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}allocator_may_return_null=1:max_allocation_size_mb=",
             std::to_string(limits.addressSpaceKiB >> 10), "\" "});
    else if (limits.addressSpaceKiB) add({"ulimit -v ", std::to_string(limits.addressSpaceKiB), " && "});
    if (limits.seconds) add({"timeout -k 2 ", std::to_string(limits.seconds), " "});
    cmd += quote(program);
    for (const auto& a : args) add({" ", quote(a)});
    add({" >", quote(io.file("out")), " 2>", quote(io.file("err")), " </dev/null"});
    RunResult r;
    const int raw = std::system(cmd.c_str());
#ifdef _WIN32
    r.status = raw;
#else
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
#endif
    r.out = slurp(io.file("out"));
    r.err = slurp(io.file("err"));
    return r;
}

}  // namespace nuvak::test
