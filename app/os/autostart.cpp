#include "app/os/autostart.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include "app/gb_text.h"
#include "tarndb/errors.h"

namespace filever {
namespace {

[[noreturn]] void ThrowKey(const QString& dir) {
    throw tarn::Exception(tarn::Format("Failed to create key %s", QStringToAnsi(dir).c_str()));
}

// An Exec argument quoted as desktop entries want it when it holds reserved characters.
QString QuoteExec(const QString& path) {
    static const QString reserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    bool needs = false;
    for (QChar c : path) needs = needs || reserved.contains(c);
    QString escaped = path;
    escaped.replace(QLatin1Char('%'), QStringLiteral("%%"));
    if (!needs) return escaped;
    QString quoted;
    for (QChar c : escaped) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        quoted += c;
    }
    // The desktop entry's own string escaping doubles every backslash once more.
    quoted.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace

QString AutoStartDir() {
    QString config = QFile::decodeName(qgetenv("XDG_CONFIG_HOME"));
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return config + QStringLiteral("/autostart");
}

QString AutoStartFilePath() { return AutoStartDir() + QStringLiteral("/filever.desktop"); }

bool AutoStartEnabled() { return QFile::exists(AutoStartFilePath()); }

void WriteAutoStart(const QString& title, const QString& exePath, bool enable) {
    const QString dir = AutoStartDir();
    const QString file = AutoStartFilePath();
    if (!enable) {
        if (QFile::exists(file) && !QFile::remove(file)) ThrowKey(dir);
        return;
    }
    if (!QDir().mkpath(dir)) ThrowKey(dir);
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly)) ThrowKey(dir);
    const QString entry = QStringLiteral(
                              "[Desktop Entry]\n"
                              "Type=Application\n"
                              "Name=%1\n"
                              "Exec=%2\n"
                              "Terminal=false\n"
                              "X-GNOME-Autostart-enabled=true\n")
                              .arg(title, QuoteExec(exePath));
    out.write(entry.toUtf8());
    if (!out.commit()) ThrowKey(dir);
}

}  // namespace filever
