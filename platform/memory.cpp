#include "platform/memory.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fstream>
#include <string>
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

}  // namespace nuvak::platform
