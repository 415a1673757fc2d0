#include "app/program.h"

#include "app/main_window.h"
#include "core/session.h"
#include "platform/port_map.h"
#include "platform/qt_dialogs.h"
#include "platform/qt_serial_port.h"
#include "platform/qt_translations.h"
#include "platform/signal_watch.h"
#include "transfer/system_sound_player.h"

#include <QApplication>
#include <QDir>

#include <cstdlib>

namespace quillon {

int runProgram(int argc, char* argv[], const Edition& edition) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(edition.programName);
    QApplication::setApplicationVersion(versionText(edition));
    QApplication::setWindowIcon(QIcon::fromTheme(QStringLiteral("quillon")));
    installQtTranslations(app);
    QtDialogs dialogs;
    // Native separators: the folder is shown and stored as the default working
    // directory, which ends in the platform's separator.
    Session session(edition, QDir::toNativeSeparators(QApplication::applicationDirPath()), dialogs,
                    qtPortFactory(PortMap()));
    const auto sounds = makeSystemSoundPlayer();
    session.soundPlayer = sounds.get();
    FrmXmodem window(session);
    QObject::connect(&window, &FrmXmodem::ended, [&session] {
        // Unloading ends the program at once, even from inside a running wait
        // or exchange, whose loops must not carry on without their window.
        if (session.waiter.depth() > 0)
            std::_Exit(0);
        QApplication::quit();
    });
    QObject::connect(&window, &FrmXmodem::exitRequested, [&session] {
        if (session.waiter.depth() > 0)
            std::_Exit(0);
        // exit(), not quit(): quit() would close the window first, and closing saves.
        QCoreApplication::exit(0);
    });
    // Logging out, shutting down or `kill` closes the window as its close box does, so
    // the settings are saved then too.
    SignalWatch endRequests;
    endRequests.install(nullptr);
    QObject::connect(&endRequests, &SignalWatch::caught, &window, &QWidget::close);
    window.formLoad();
    // An end request during the probe has unloaded the window (settings written)
    // before there was an event loop for quit() to stop.
    if (!session.mainWindow.alive())
        return 0;
    window.show();
    return QApplication::exec();
}

} // namespace quillon
