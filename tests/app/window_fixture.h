#pragma once

#include "app/main_window.h"
#include "core/session.h"
#include "platform/port_map.h"
#include "platform/qt_serial_port.h"
#include "tests/support/fake_dialogs.h"
#include "tests/support/fake_port.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <memory>

namespace quillon::test {

// A program folder and a ports folder of its own, where COM1..COM10 lead
// nowhere until a test links a pty there.
struct ProgramFolder {
    QTemporaryDir dir;
    QString appDir = dir.filePath(QStringLiteral("app"));
    QString portsDir = dir.filePath(QStringLiteral("ports"));

    ProgramFolder() {
        QDir().mkpath(appDir);
        QDir().mkpath(portsDir);
        for (int n = 1; n <= 10 && PortMap::usesPortsFolder(); ++n) {
            QFile entry(portsDir + QStringLiteral("/COM%1").arg(n));
            entry.open(QIODevice::WriteOnly);
            entry.write("/nonexistent/device\n");
        }
    }
    QString iniPath() const { return appDir + QStringLiteral("/Quillon.ini"); }
    void writeIni(const QByteArray& bytes) const {
        QFile file(iniPath());
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
    }
    QByteArray readIni() const {
        QFile file(iniPath());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
};

// The main window on real ports (ptys linked in the ports folder) or on fakes.
struct WindowFixture {
    explicit WindowFixture(bool realPorts = false, const Edition& edition = fullEdition())
        : session(edition, folder.appDir, dialogs, makeFactory(realPorts)) {}

    PortFactory makeFactory(bool realPorts) {
        if (realPorts)
            return qtPortFactory(PortMap(folder.portsDir));
        return [] { return std::make_unique<FakePort>(); };
    }
    FrmXmodem& window() {
        if (!frm)
            frm = std::make_unique<FrmXmodem>(session);
        return *frm;
    }
    FakePort& fakePort() { return static_cast<FakePort&>(window().mainPort()); }

    ProgramFolder folder;
    FakeDialogs dialogs;
    Session session;
    std::unique_ptr<FrmXmodem> frm;
};

} // namespace quillon::test
