#pragma once
// Text in the system's code page for files other programs read, one implementation per system.
// Qt-free: the command line and the windows share it.

#include <string>

namespace nuvak::platform {

// UTF-8 to Shift-JIS as Windows' code page 932 has it; a character the code page lacks
// becomes '?'.
std::string ToCodePage932(const std::string& utf8);

}  // namespace nuvak::platform
