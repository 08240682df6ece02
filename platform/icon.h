#pragma once
// The program's own icon, for the main window, the image windows and every other window.

#include <QIcon>

namespace nuvak::platform {

QIcon ProgramIcon();

}  // namespace nuvak::platform
