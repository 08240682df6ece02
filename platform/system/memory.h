#pragma once
// The system's memory: how much is in use, and large pages for large pictures, one
// implementation per system. Qt-free: the command line and the windows share it.

#include <cstddef>

namespace nuvak::platform {

// Percentage of physical memory in use, 0 ... 100 (0 when the system does not say).
int MemoryLoadPercent();

// Asks the system to back a large block of memory with large pages, where it can: first
// touching a big picture a small page at a time costs more than filling it. Does nothing
// where the system has no such advice.
void AdviseLargePages(void* block, std::size_t bytes);

// Has every large raster block advised so before it is written.
void UseLargePagesForRasters();

}  // namespace nuvak::platform
