#include "core/terminal_text.h"

#include "platform/cp1252.h"

namespace quillon {

TerminalTextDecoder::Piece TerminalTextDecoder::decode(const QByteArray& chunk) {
    Piece piece;
    piece.text.reserve(chunk.size());
    qsizetype i = 0;
    if (pendingCr_ && !chunk.isEmpty() && chunk.at(0) == '\n') {
        piece.joinsPreviousCr = true;
        piece.text.append(QLatin1Char('\n'));
        i = 1;
    }
    pendingCr_ = false;
    for (; i < chunk.size(); ++i) {
        const auto byte = static_cast<unsigned char>(chunk.at(i));
        if (byte == '\r') {
            if (i + 1 < chunk.size() && chunk.at(i + 1) == '\n') {
                piece.text.append(QLatin1Char('\n'));
                ++i;
            } else {
                piece.text.append(QChar(kLoneCr));
                pendingCr_ = i + 1 == chunk.size();
            }
        } else if (byte == '\n') {
            piece.text.append(QChar(kLoneLf));
        } else {
            piece.text.append(cp1252Char(chunk.at(i)));
        }
    }
    return piece;
}

} // namespace quillon
