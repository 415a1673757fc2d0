#include "transfer/upload_journal.h"

#include "core/error_report.h"
#include "core/text_file.h"
#include "core/text_helpers.h"

#include <QDir>
#include <QFileInfo>
#include <QStringList>

#include <algorithm>

namespace quillon {

namespace {

// ISO 8601 with the offset the clock had then, to the second (2026-12-09T17:40:01-03:00).
QString localTimeText(const QDateTime& at) {
    const int offsetMinutes = at.offsetFromUtc() / 60;
    const int minutes = qAbs(offsetMinutes);
    return at.toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss")) +
           QLatin1Char(offsetMinutes < 0 ? '-' : '+') +
           QStringLiteral("%1:%2")
               .arg(minutes / 60, 2, 10, QLatin1Char('0'))
               .arg(minutes % 60, 2, 10, QLatin1Char('0'));
}

QString csvField(const QString& text) {
    static const QString special = QStringLiteral(";\"\r\n");
    if (std::none_of(text.cbegin(), text.cend(), [](QChar c) { return special.contains(c); }))
        return text;
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString portText(const UploadRecord& record) {
    if (record.portNumber <= 0)
        return {};
    const QString port = QStringLiteral("COM%1").arg(record.portNumber);
    return record.device.isEmpty() ? port : port + QStringLiteral(" (") + record.device + u')';
}

} // namespace

UploadJournal::UploadJournal(QString path, QString program)
    : path_(std::move(path)), program_(std::move(program)) {}

QString UploadJournal::besideSettings(const QString& settingsFile) {
    return QFileInfo(settingsFile).absolutePath() + QLatin1Char('/') + kFileName;
}

QString UploadJournal::lineFor(const UploadRecord& record, const QString& program) {
    const bool read = !record.sha256.isEmpty();
    // A decimal comma: the spreadsheets this is for read "23.4" as text, or as a date.
    // Rounded in whole tenths, so that 0.95 s is not taken for 0.9499...
    const qint64 tenths = (record.duration.count() + 50) / 100;
    const QString seconds = QStringLiteral("%1,%2").arg(tenths / 10).arg(tenths % 10);
    const QStringList fields = {
        localTimeText(record.started),
        program,
        QDir::toNativeSeparators(record.programFile),
        read ? QString::number(record.bytes) : QString(),
        QString::fromLatin1(record.sha256.toHex()),
        portText(record),
        record.transferSettings,
        record.phoneNumber,
        QString::number(record.blocksAcknowledged),
        QString::number(record.blocksTotal),
        QString::number(record.resends),
        seconds,
        outcomeText(record),
    };
    QStringList quoted;
    for (const QString& field : fields)
        quoted << csvField(field);
    return quoted.join(QLatin1Char(';'));
}

bool UploadJournal::append(const UploadRecord& record) {
    // The user's settings folder is made on the first close; the journal may come first.
    QDir().mkpath(QFileInfo(path_).absolutePath());
    const QByteArray line = (lineFor(record, program_) + kCrLf).toUtf8();
    const QByteArray start = QByteArrayLiteral("\xEF\xBB\xBF") + (kHeader + kCrLf).toUtf8();
    const int error = appendToFile(path_, line, start);
    if (error == 0)
        return true;
    if (failure_.isEmpty()) {
        failure_ = QStringLiteral("Não foi possível gravar o registro de envios em %1: %2.")
                       .arg(QDir::toNativeSeparators(path_), errorReasonText(error));
    }
    return false;
}

QString UploadJournal::takeFailureReport() {
    if (failureTaken_ || failure_.isEmpty())
        return {};
    failureTaken_ = true;
    return failure_;
}

} // namespace quillon
