// Starting the version manager when the user logs on: an XDG autostart entry
// "<config>/autostart/filever.desktop" ($XDG_CONFIG_HOME, default ~/.config) whose Exec is
// the executable's full path and whose Name is the application title.
//
// Ticking "开机启动" writes the entry, clearing it removes the entry, so the program no
// longer starts at log-on; the box shows whether the entry exists.
#pragma once

#include <QString>

namespace filever {

// The autostart directory and the entry's path, from the environment.
QString AutoStartDir();
QString AutoStartFilePath();

// Whether the entry exists now.
bool AutoStartEnabled();

// Writes (enable) or removes (!enable) the entry. The entry is replaced atomically.
// Raises tarn::Exception "Failed to create key <autostart directory>" when the directory
// cannot be created or the entry cannot be written or removed; nothing is changed then.
void WriteAutoStart(const QString& title, const QString& exePath, bool enable);

}  // namespace filever
