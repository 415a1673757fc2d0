#include "transfer/upload_journal.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimeZone>

using namespace quillon;

namespace {

const QByteArray kStart =
    QByteArrayLiteral("\xEF\xBB\xBF") + UploadJournal::kHeader.toUtf8() + QByteArrayLiteral("\r\n");

UploadRecord sampleRecord() {
    UploadRecord record;
    record.started = QDateTime(QDate(2026, 12, 9), QTime(17, 40, 1, 750), QTimeZone(-3 * 3600));
    record.programFile = QStringLiteral("/prog/maq1.Epr");
    record.bytes = 10000;
    record.sha256 = QByteArray::fromHex("00ff10");
    record.portNumber = 3;
    record.device = QStringLiteral("/dev/ttyUSB0");
    record.transferSettings = QStringLiteral("9600,n,8,1");
    record.blocksTotal = 79;
    record.blocksAcknowledged = 79;
    record.resends = 2;
    record.duration = std::chrono::milliseconds(23449);
    record.outcome = UploadRecord::Outcome::Sent;
    return record;
}

QByteArray contentsOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class TstUploadJournal : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void line_data();
    void line();
    void headerOnlyOnAFreshFile();
};

void TstUploadJournal::line_data() {
    QTest::addColumn<UploadRecord>("record");
    QTest::addColumn<QString>("line");
    const QString sentLine = QStringLiteral(
        "2026-12-09T17:40:01-03:00;QuillonV2 2.3.59;/prog/maq1.Epr;10000;00ff10;COM3 "
        "(/dev/ttyUSB0);9600,n,8,1;;79;79;2;23,4;ENVIADO");
    QTest::newRow("sent") << sampleRecord() << sentLine;

    UploadRecord quoted = sampleRecord();
    quoted.programFile = QStringLiteral("/prog/a;b \"nova\".Epr");
    quoted.phoneNumber = QStringLiteral("0,33224455");
    quoted.outcome = UploadRecord::Outcome::Cancelled;
    QTest::newRow("quoted path, phone, cancelled")
        << quoted
        << QStringLiteral(
               "2026-12-09T17:40:01-03:00;QuillonV2 2.3.59;\"/prog/a;b \"\"nova\"\".Epr\";"
               "10000;00ff10;COM3 (/dev/ttyUSB0);9600,n,8,1;0,33224455;79;79;2;23,4;"
               "CANCELADO");

    UploadRecord handshake = sampleRecord();
    handshake.started.setTimeZone(QTimeZone(5 * 3600 + 30 * 60));
    handshake.bytes = 0;
    handshake.sha256.clear();
    handshake.device.clear();
    handshake.blocksTotal = handshake.blocksAcknowledged = handshake.resends = 0;
    handshake.duration = std::chrono::milliseconds(950);
    handshake.outcome = UploadRecord::Outcome::Failed;
    handshake.errorNumber = 8005;
    QTest::newRow("failed before the file was read")
        << handshake
        << QStringLiteral("2026-12-09T17:40:01+05:30;QuillonV2 2.3.59;/prog/maq1.Epr;;;COM3;"
                          "9600,n,8,1;;0;0;0;1,0;FALHA 8005");
}

void TstUploadJournal::line() {
    QFETCH(UploadRecord, record);
    QFETCH(QString, line);
    QCOMPARE(UploadJournal::lineFor(record, QStringLiteral("QuillonV2 2.3.59")), line);
}

void TstUploadJournal::headerOnlyOnAFreshFile() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("envios.csv"));
    UploadJournal journal(path, QStringLiteral("quillon-upload 2.3.59"));
    const QByteArray line =
        UploadJournal::lineFor(sampleRecord(), QStringLiteral("quillon-upload 2.3.59")).toUtf8() +
        "\r\n";
    QVERIFY(journal.append(sampleRecord()));
    QVERIFY(journal.append(sampleRecord()));
    QCOMPARE(contentsOf(path), kStart + line + line);
    // An emptied file starts over; one written by hand keeps what it has.
    QFile(path).resize(0);
    QVERIFY(journal.append(sampleRecord()));
    QCOMPARE(contentsOf(path), kStart + line);
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("outra coisa\r\n");
    file.close();
    QVERIFY(journal.append(sampleRecord()));
    QCOMPARE(contentsOf(path), "outra coisa\r\n" + line);
    QVERIFY(journal.takeFailureReport().isEmpty());
}

QTEST_GUILESS_MAIN(TstUploadJournal)
#include "tst_upload_journal.moc"
