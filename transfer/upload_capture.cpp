#include "transfer/upload_capture.h"

#include "transfer/xmodem.h"

namespace quillon {

void UploadCaptureNotes::blocksStarted(const UploadRecord& record) {
    capture_.note(QStringLiteral("Envio: %1 blocos de %2 bytes")
                      .arg(record.blocksTotal)
                      .arg(xmodem::kDataSize));
    // Held whether or not a record runs now: one started during the blocks leaves
    // them out too.
    capture_.holdBytes(true);
}

void UploadCaptureNotes::uploadEnded(const UploadRecord& record) {
    capture_.holdBytes(false);
    capture_.note(QStringLiteral("Envio encerrado: %1, %2 de %3 blocos, %4 reenvios")
                      .arg(outcomeText(record))
                      .arg(record.blocksAcknowledged)
                      .arg(record.blocksTotal)
                      .arg(record.resends));
}

} // namespace quillon
