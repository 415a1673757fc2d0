#pragma once

#include "core/session_capture.h"
#include "transfer/upload_record.h"

namespace quillon {

// An upload in a record of the line: the handshake's bytes go in as any bytes, the
// blocks do not; a line says when they start, and one how the upload ended.
class UploadCaptureNotes : public UploadListener {
public:
    explicit UploadCaptureNotes(SessionCapture& capture) : capture_(capture) {}

    void blocksStarted(const UploadRecord& record) override;
    void uploadEnded(const UploadRecord& record) override;

private:
    SessionCapture& capture_;
};

} // namespace quillon
