// The program's icon, drawn in code so that it needs no image plug-in: two pages, the
// earlier one behind, and a green clock for the version history. The same picture as
// app/desktop/filever.svg, which the desktop's menus use.
#pragma once

#include <QIcon>

namespace filever {

QIcon AppIcon();

}  // namespace filever
