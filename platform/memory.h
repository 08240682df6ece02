#pragma once

namespace nuvak::platform {

// Percentage of physical memory in use, 0 ... 100 (0 when the system does not say).
int MemoryLoadPercent();

}  // namespace nuvak::platform
