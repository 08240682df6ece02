#include "tests/support/run.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/files.h"

#ifdef _WIN32
#include <windows.h>
#else
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

#ifndef _WIN32
// Single-quoted for the POSIX shell.
std::string quote(const std::string& s) {
    std::string q = "'";
    for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}
#endif

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

#ifdef _WIN32

namespace {

std::wstring wide(const std::string& utf8) {
    if (utf8.empty()) return {};
    const int n = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), nullptr, 0);
    std::wstring w(std::size_t(n), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), int(utf8.size()), w.data(), n);
    return w;
}

// One argument as the C runtime's command-line parser reads it back: quoted when it holds a
// space, a tab or a quote (or is empty), with the backslashes before a quote doubled.
std::wstring quoteArgument(const std::wstring& a) {
    if (!a.empty() && a.find_first_of(L" \t\n\v\"") == std::wstring::npos) return a;
    std::wstring q = L"\"";
    std::size_t backslashes = 0;
    for (wchar_t c : a) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        q.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        q.push_back(c);
    }
    q.append(2 * backslashes, L'\\');
    return q + L"\"";
}

// A file the started program inherits as its standard output or error (or input: NUL).
HANDLE inheritable(const std::wstring& path, bool write) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    return CreateFileW(path.c_str(), write ? GENERIC_WRITE : GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa,
                       write ? CREATE_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

// CreateProcessW with the arguments quoted as Windows reads them, the output into files and
// the program in a job: the job bounds its memory, and ends it when it passes the time.
RunResult RunLimited(const std::string& program, const std::vector<std::string>& args, const RunLimits& limits) {
    TempDir io;
    std::wstring line = quoteArgument(wide(program));
    for (const auto& a : args) line += L" " + quoteArgument(wide(a));
    RunResult r;
    const HANDLE in = inheritable(L"NUL", false);
    const HANDLE out = inheritable(wide(io.file("out")), true);
    const HANDLE err = inheritable(wide(io.file("err")), true);
    const HANDLE job = CreateJobObjectW(nullptr, nullptr);
    JOBOBJECT_EXTENDED_LIMIT_INFORMATION info{};
    info.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
    if (limits.addressSpaceKiB) {
        info.BasicLimitInformation.LimitFlags |= JOB_OBJECT_LIMIT_PROCESS_MEMORY;
        info.ProcessMemoryLimit = SIZE_T(limits.addressSpaceKiB) * 1024;
    }
    if (job) SetInformationJobObject(job, JobObjectExtendedLimitInformation, &info, sizeof info);
    STARTUPINFOW si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdInput = in;
    si.hStdOutput = out;
    si.hStdError = err;
    PROCESS_INFORMATION pi{};
    const std::wstring cwd = wide(limits.cwd);
    if (CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED | CREATE_NO_WINDOW, nullptr,
                       cwd.empty() ? nullptr : cwd.c_str(), &si, &pi)) {
        if (job) AssignProcessToJobObject(job, pi.hProcess);
        ResumeThread(pi.hThread);
        const DWORD waited = WaitForSingleObject(pi.hProcess, limits.seconds ? DWORD(limits.seconds) * 1000 : INFINITE);
        DWORD code = 0;
        if (waited == WAIT_TIMEOUT) {
            TerminateProcess(pi.hProcess, 124);
            WaitForSingleObject(pi.hProcess, INFINITE);
            r.status = 124;
        } else if (GetExitCodeProcess(pi.hProcess, &code)) {
            r.status = int(code);
        }
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    for (HANDLE h : {in, out, err, job})
        if (h && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    r.out = slurp(io.file("out"));
    r.err = slurp(io.file("err"));
    return r;
}

#else

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
    r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    r.out = slurp(io.file("out"));
    r.err = slurp(io.file("err"));
    return r;
}

#endif

}  // namespace nuvak::test
