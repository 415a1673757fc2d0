#include "bench/upload_support.h"

#include "core/edition.h"
#include "platform/port_map.h"
#include "platform/qt_serial_port.h"
#include "tests/support/child_process.h"
#include "transfer/xmodem.h"

#include <QFile>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>

namespace quillon::bench {

QByteArray pseudoRandomBytes(qsizetype size) {
    return test::seededBytes(size, 0x51u);
}

QString receivedProblem(const QByteArray& source, const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("no received file");
    const QByteArray received = file.readAll();
    const qsizetype size = received.size();
    if (size < source.size())
        return QStringLiteral("received %1 of %2 bytes").arg(size).arg(source.size());
    if (size % xmodem::kDataSize != 0 || size - source.size() > xmodem::kDataSize)
        return QStringLiteral("received %1 bytes for %2").arg(size).arg(source.size());
    const auto mismatch = std::mismatch(source.cbegin(), source.cend(), received.cbegin());
    if (mismatch.first != source.cend())
        return QStringLiteral("received file differs from byte %1")
            .arg(mismatch.first - source.cbegin());
    const QByteArray tail = received.mid(source.size());
    if (tail.count(xmodem::kPad) != tail.size())
        return QStringLiteral("the padding after byte %1 is not all 0x1A").arg(source.size());
    return {};
}

void TransferMark::seen(const QString& status) {
    if (status != QLatin1String("TRANSFERINDO") || transferring.taken())
        return;
    transferring.take(clock_);
    if (onTransferring)
        onTransferring();
}

bool uploadSucceeded(const QString& status) {
    return status == QLatin1String("PROGRAMA ENVIADO COM SUCESSO");
}

UploadRig::UploadRig(const QString& portsDir, const QString& programFile,
                     const QElapsedTimer& clock, int com, const QString& transferSettings)
    : session(fullEdition(), appDir.path(), dialogs, qtPortFactory(PortMap(portsDir))),
      port(session.portFactory()), link(session, *port), view(clock), upload(session, link, view) {
    session.settings.portNumber = QString::number(com);
    session.settings.transferSettings = transferSettings;
    session.settings.programFile = programFile;
    // As the main window does: every write ends in a send event.
    port->setSendThreshold(1);
}

QString UploadRig::shownErrors() const {
    QStringList texts;
    for (const test::FakeDialogs::Shown& shown : dialogs.messages)
        texts.append(shown.title + QStringLiteral(": ") + shown.text);
    return texts.join(QStringLiteral(" | "));
}

void UploadRig::stop() {
    session.transfer.transferStop = true;
    session.waiter.wake();
}

void UploadRig::runWithin(int limitMs) {
    QTimer stuck;
    stuck.setSingleShot(true);
    QObject::connect(&stuck, &QTimer::timeout, &stuck, [this] { stop(); });
    stuck.start(limitMs);
    upload.run();
}

void attach(QProcess& process, const QString& device, const QString& folder) {
    process.setWorkingDirectory(folder);
    process.setStandardInputFile(device);
    process.setStandardOutputFile(device, QIODevice::Append);
}

void endProcess(QProcess& process) {
    if (process.state() == QProcess::NotRunning)
        return;
    process.kill();
    process.waitForFinished(2000);
}

QString exitProblem(QProcess& process, const QString& name) {
    if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return {};
    const QByteArray errors = process.readAllStandardError().trimmed();
    return QStringLiteral("%1 exited with %2%3")
        .arg(name)
        .arg(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1)
        .arg(errors.isEmpty() ? QString() : QStringLiteral(": ") + QString::fromLocal8Bit(errors));
}

UploadGround::UploadGround(qsizetype bytes)
    : source(pseudoRandomBytes(bytes)), path(work.filePath(QStringLiteral("upload.bin"))),
      ok(ports.ok() && work.isValid() && writeFile(path, source)) {}

namespace {

bool haveLrzsz() {
    return !QStandardPaths::findExecutable(QStringLiteral("rx")).isEmpty() &&
           !QStandardPaths::findExecutable(QStringLiteral("sx")).isEmpty();
}

} // namespace

bool groundReady(const UploadGround& ground, const QString& name, Findings& findings) {
    if (!ground.ok) {
        findings.say(name + QStringLiteral(": skipped, no temporary folders"));
        return false;
    }
    if (!haveLrzsz()) {
        findings.say(name + QStringLiteral(": skipped, rx/sx from lrzsz not installed "
                                           "(apt-get install lrzsz)"));
        return false;
    }
    return true;
}

QString goalText(bool met) {
    return met ? QStringLiteral("met") : QStringLiteral("missed");
}

} // namespace quillon::bench
