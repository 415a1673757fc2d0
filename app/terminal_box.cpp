#include "app/terminal_box.h"

#include "platform/cp1252.h"
#include "platform/fixed_font.h"

#include <QKeyEvent>
#include <QTextBlock>
#include <QTextCursor>

namespace quillon {

TerminalBox::TerminalBox(QWidget* parent) : QPlainTextEdit(parent) {
    setObjectName(QStringLiteral("TxtTerminal"));
    setAccessibleName(QStringLiteral("Terminal"));
    setFont(courierNew(8.25));
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    setUndoRedoEnabled(false);
    gather_.setSingleShot(true);
    gather_.setInterval(kGatherMs);
    connect(&gather_, &QTimer::timeout, this, &TerminalBox::flushReceived);
}

qsizetype TerminalBox::characterCount() const {
    return document()->characterCount() - 1; // the document's final paragraph mark
}

void TerminalBox::insertReceived(const QByteArray& bytes) {
    if (gather_.isActive() || (sinceInsert_.isValid() && sinceInsert_.elapsed() < kGatherMs)) {
        pending_ += bytes;
        // Held back no more than the box could show anyway.
        if (pending_.size() >= kTerminalCapacity)
            flushReceived();
        else if (!gather_.isActive())
            gather_.start();
        return;
    }
    insertNow(bytes);
}

void TerminalBox::flushReceived() {
    gather_.stop();
    if (pending_.isEmpty())
        return;
    QByteArray bytes;
    bytes.swap(pending_);
    insertNow(bytes);
}

void TerminalBox::insertNow(const QByteArray& bytes) {
    sinceInsert_.start();
    const TerminalTextDecoder::Piece piece = decoder_.decode(bytes);
    QTextCursor cursor = textCursor();
    // Selected text plus the received text replaces the selection: the
    // selection stays as it was and the new text follows it.
    cursor.setPosition(cursor.selectionEnd());
    if (piece.joinsPreviousCr && cursor.position() > 0 &&
        document()->characterAt(cursor.position() - 1) == QChar(TerminalTextDecoder::kLoneCr))
        cursor.deletePreviousChar();
    cursor.insertText(piece.text);
    setTextCursor(cursor);

    const qsizetype count = characterCount();
    if (count > kTerminalCapacity) {
        QTextCursor trim(document());
        trim.setPosition(0);
        trim.setPosition(static_cast<int>(count - kTerminalKeep), QTextCursor::KeepAnchor);
        trim.removeSelectedText();
        QTextCursor end(document());
        end.movePosition(QTextCursor::End);
        setTextCursor(end);
    }
    ensureCursorVisible();
}

void TerminalBox::clearText() {
    gather_.stop();
    pending_.clear();
    clear();
    decoder_.reset();
}

void TerminalBox::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (keySink_ && text.size() == 1) {
        if (const auto byte = encodeCp1252(text))
            keySink_(byte->at(0));
    }
    QPlainTextEdit::keyPressEvent(event);
}

} // namespace quillon
