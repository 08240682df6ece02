#include "platform/icon.h"

#include <QPixmap>

#include "resources/icon.xpm"

namespace nuvak::platform {

QIcon ProgramIcon() { return QIcon(QPixmap(kNuvakIcon)); }

}  // namespace nuvak::platform
