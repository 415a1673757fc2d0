#pragma once

#include "tests/support/child_process.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <functional>
#include <sys/types.h>

namespace quillon::test::cli {

// A copy of the uploader in a tree of its own, laid out as the build is (tools/ beside
// QuillonV2/): the journal it keeps for the full edition goes there, not into the
// build's QuillonV2 folder.
struct UploaderCopy {
    QTemporaryDir root;
    QString program;

    UploaderCopy() {
        QDir(root.path()).mkpath(QStringLiteral("tools"));
        QDir(root.path()).mkpath(QStringLiteral("QuillonV2"));
        program = root.filePath(QStringLiteral("tools/quillon-upload"));
        QFile::copy(qEnvironmentVariable("QUILLON_UPLOAD"), program);
    }
    QString journal() const { return root.filePath(QStringLiteral("QuillonV2/envios.csv")); }
};

inline const UploaderCopy& uploaderCopy() {
    static const UploaderCopy copy;
    return copy;
}

// The uploader as a shell script runs it: a child process with its own stderr.
// Waiting runs the event loop, because the pty bridge relays in this process.
struct Cli {
    QProcess process;
    QByteArray err;
    QByteArray out;
    bool ended = false;

    Cli() {
        QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                         [this] { err += process.readAllStandardError(); });
    }
    ~Cli() {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(3000);
        }
    }

    void start(const QStringList& arguments, const QString& portsDir = {}) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!portsDir.isEmpty())
            environment.insert(QStringLiteral("QUILLON_PORTS"), portsDir);
        process.setProcessEnvironment(environment);
        process.start(uploaderCopy().program, arguments);
    }

    // Sleeps until the program ended or the time is up; `meanwhile` runs on
    // every piece of stderr and may act on the run (a signal, a kill).
    bool finish(int timeoutMs, const std::function<void(Cli&)>& meanwhile = {}) {
        QMetaObject::Connection watching;
        if (meanwhile)
            watching = QObject::connect(&process, &QProcess::readyReadStandardError, &process,
                                        [this, &meanwhile] { meanwhile(*this); });
        waitForEnd(process, timeoutMs);
        QObject::disconnect(watching);
        err += process.readAllStandardError();
        out += process.readAllStandardOutput();
        ended = process.state() == QProcess::NotRunning;
        return ended && process.exitStatus() == QProcess::NormalExit;
    }
    int exitCode() const { return process.exitCode(); }
    QString errText() const { return QString::fromLocal8Bit(err); }
    QStringList errLines() const { return errText().split(QLatin1Char('\n'), Qt::SkipEmptyParts); }
    QString lastLine() const {
        const QStringList lines = errLines();
        return lines.isEmpty() ? QString() : lines.last();
    }
    void signal(int signo) { ::kill(static_cast<pid_t>(process.processId()), signo); }
};

inline QString writeProgram(const QTemporaryDir& dir, const QByteArray& bytes,
                            const QString& name = QStringLiteral("maq1.Epr")) {
    const QString path = dir.filePath(name);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        return {};
    return path;
}

inline QByteArray fileBytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

// The program as a receiver keeps it: padded with 0x1A to whole blocks, and
// one block more when it fills its last one.
inline QByteArray padded(const QByteArray& program) {
    const qsizetype size = (program.size() / 128 + 1) * 128;
    return program + QByteArray(size - program.size(), 0x1A);
}

} // namespace quillon::test::cli
