// The window's colour schemes: the seven of the scheme menu, each a palette for the whole
// application and a style sheet for the ribbon. The chosen one is kept in the user's
// settings; on a first start the dark "Obsidian" is taken when the desktop prefers dark
// colours, else "Blue".
#pragma once

#include <QPalette>
#include <QString>
#include <QStringList>

namespace filever {

// The schemes, in menu order.
const QStringList& ColorSchemeNames();

// The palette of scheme `name`; an invalid (default) palette for an unknown name.
QPalette ColorSchemePalette(const QString& name);

// The ribbon's style sheet for scheme `name` (empty for an unknown name).
QString ColorSchemeRibbonStyle(const QString& name);

// Whether the desktop asks for dark colours: $GTK_THEME ending in ":dark", or a desktop
// palette whose window colour is darker than its text.
bool DesktopPrefersDark(const QByteArray& gtkTheme, const QPalette& desktopPalette);

// The scheme of a first start.
QString DefaultColorScheme(bool desktopPrefersDark);

}  // namespace filever
