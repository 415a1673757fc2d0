#pragma once

#include "transfer/upload_record.h"

#include <QString>

namespace quillon {

// envios.csv: a line per upload for a spreadsheet set up for Brazil (columns split
// at ";", a decimal comma), in UTF-8 behind a byte-order mark so that it keeps its
// accents. Opened for each line and closed again, so nothing is held between
// uploads, and a journal that cannot be written never touches an upload.
class UploadJournal final : public UploadListener {
public:
    static inline const QString kFileName = QStringLiteral("envios.csv");
    static inline const QString kHeader =
        QStringLiteral("Início;Programa;Arquivo;Bytes;SHA-256;Porta;Configuração;Telefone;Blocos "
                       "confirmados;Blocos;Reenvios;Segundos;Resultado");

    // `program` is what the lines name as their writer ("QuillonV2 2.3.59").
    UploadJournal(QString path, QString program);

    // The journal in the folder of a program's settings file.
    static QString besideSettings(const QString& settingsFile);
    // The journal's line for a record, without its line end.
    static QString lineFor(const UploadRecord& record, const QString& program);

    const QString& path() const { return path_; }
    // Appends the record's line; a new or empty file gets the mark and the header first.
    bool append(const UploadRecord& record);
    // What to tell the user about a journal that could not be written: once per
    // journal, and empty when there is nothing (more) to tell.
    QString takeFailureReport();

    void uploadEnded(const UploadRecord& record) override { append(record); }

private:
    QString path_;
    QString program_;
    QString failure_;
    bool failureTaken_ = false;
};

} // namespace quillon
