// filever: keeps versions of the files a user chooses to watch, in the catalogue
// "版本控制.dat". One instance per user; it lives in the notification area.
#include <QApplication>
#include <QCoreApplication>
#include <cstdio>
#include <memory>

#include "app/app_icon.h"
#include "app/catalogue.h"
#include "app/desktop_services.h"
#include "app/error_report.h"
#include "app/language.h"
#include "app/login_dialog.h"
#include "app/mainw.h"
#include "app/os/catalogue_path.h"
#include "app/os/instance_channel.h"
#include "app/os/single_instance.h"
#include "app/qt_timer_driver.h"

int main(int argc, char** argv) {
    using namespace filever;
    const QString lockName = QStringLiteral("hkOneCopy");
    std::unique_ptr<TSingleInstanceLock> guard;
    switch (TSingleInstanceLock::TryAcquire(lockName, guard)) {
        case TSingleInstanceLock::TResult::HeldByOther: {
            // Another instance runs: it brings its window to the front, this one ends.
            QCoreApplication core(argc, argv);
            if (!TInstanceChannel::AskRunningInstanceToShow(lockName))
                std::fprintf(stderr, "filever: already running\n");
            return 0;
        }
        case TSingleInstanceLock::TResult::Unavailable:
            std::fprintf(stderr, "filever: the single-instance lock is unavailable\n");
            break;
        case TSingleInstanceLock::TResult::Acquired:
            break;
    }

    QApplication app(argc, argv);
    // Chinese on a Chinese desktop, English elsewhere; FILEVER_LANG overrides.
    const TInstalledTranslations translations(LanguageOfThisProcess());
    for (const QString& missing : translations.Missing())
        std::fprintf(stderr, "filever: translation not found: %s\n",
                     missing.toLocal8Bit().constData());
    QApplication::setApplicationName(QStringLiteral("filever"));
    QApplication::setApplicationDisplayName(AppCaption());
    QApplication::setDesktopFileName(QStringLiteral("filever"));
    QApplication::setWindowIcon(AppIcon());
    // The window hides into the notification area: only an exit path ends the program.
    QApplication::setQuitOnLastWindowClosed(false);

    // The engine's timers (the catalogue's flush timer) on this event loop.
    TQtTimerDriver timers;
    TTimerDriverInstalled timersInstalled(timers);
    QtDesktopServices desktop;
    // The engine's password prompt and wait cursor, for as long as databases are open.
    TEngineHooks hooks(desktop);
    TCatalogue catalogue;
    Tmainw::Options options;
    options.cataloguePath = CatalogueFileName();
    Tmainw window(desktop, catalogue, options);
    QObject::connect(&window, &Tmainw::Closed, &app, &QCoreApplication::quit, Qt::QueuedConnection);
    TInstanceChannel channel(lockName);
    if (guard) {
        QObject::connect(&channel, &TInstanceChannel::ShowRequested, &window,
                         &Tmainw::ShowMainWindow);
        QString error;
        if (!channel.Listen(&error))
            std::fprintf(stderr, "filever: a second start cannot reach this one: %s\n",
                         error.toLocal8Bit().constData());
    }
    window.show();
    return app.exec();
}
