#pragma once

#include "platform/paths.h"

#include <QFile>
#include <QString>
#include <QTest>

#include <sys/stat.h>

namespace quillon::test {

// Things that can stand where a text file is expected, none of which is one to read:
// a FIFO blocks the open, a link to /dev/zero never ends, a huge file fills memory.
inline void addOddFileRows() {
    QTest::addColumn<QString>("kind");
    QTest::newRow("FIFO") << QStringLiteral("fifo");
    QTest::newRow("link to /dev/zero") << QStringLiteral("zero");
    QTest::newRow("absurd size") << QStringLiteral("huge");
}

// Puts one of them at path; false when the system would not.
inline bool makeOddFile(const QString& kind, const QString& path) {
    if (kind == QLatin1String("fifo"))
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    if (kind == QLatin1String("zero"))
        return QFile::link(QStringLiteral("/dev/zero"), path);
    QFile huge(path);
    // Sparse: costs no disk.
    return huge.open(QIODevice::ReadWrite) && huge.resize(kLargestTextFile + 1);
}

} // namespace quillon::test
