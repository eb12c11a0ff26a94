// Where the catalogue "版本控制.dat" lives: beside the executable when a file of that name
// is there (portable use), otherwise in the user's data directory,
// $XDG_DATA_HOME/filever/ (default ~/.local/share/filever/), so rebuilding or
// reinstalling the program never loses it.
#pragma once

#include <QString>

namespace filever {

inline const QString kCatalogueName = QStringLiteral("版本控制.dat");

// The path for an executable in `exeDir`, from the environment.
QString CatalogueFileNameFor(const QString& exeDir);
// The path for the running program.
QString CatalogueFileName();

}  // namespace filever
