#include "platform/system/memory.h"

#include <cstdint>

#include "core/raster.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fstream>
#include <string>
#endif
#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace nuvak::platform {

int MemoryLoadPercent() {
#ifdef _WIN32
    MEMORYSTATUSEX status{};
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status)) return 0;
    return int(status.dwMemoryLoad);
#else
    // In use = total - available, as the system reports it.
    std::ifstream in("/proc/meminfo");
    std::string key;
    long long value = 0, total = 0, available = -1;
    std::string unit;
    while (in >> key >> value >> unit) {
        if (key == "MemTotal:") total = value;
        if (key == "MemAvailable:") available = value;
    }
    if (total <= 0 || available < 0) return 0;
    const long long used = total - available;
    int load = int(used * 100 / total);
    return load < 0 ? 0 : load > 100 ? 100 : load;
#endif
}

void AdviseLargePages(void* block, std::size_t bytes) {
#ifdef __linux__
    // The whole pages within the block: from its first page boundary on.
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t lead = (page - reinterpret_cast<std::uintptr_t>(block) % page) % page;
    const std::size_t whole = bytes > lead ? (bytes - lead) / page * page : 0;
    if (whole > 0) madvise(static_cast<char*>(block) + lead, whole, MADV_HUGEPAGE);
#else
    (void)block;
    (void)bytes;
#endif
}

void UseLargePagesForRasters() { LargeRasterBlockHook().store(AdviseLargePages); }

}  // namespace nuvak::platform
