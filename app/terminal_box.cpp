#include "app/terminal_box.h"

#include "platform/cp1252.h"
#include "platform/fixed_font.h"
#include "platform/insert_after_selection.h"

#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QStyleHints>
#include <QTextBlock>
#include <QTextCursor>

#include <utility>

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

TerminalBox::~TerminalBox() {
    if (flashTimeOutside_ >= 0)
        QGuiApplication::styleHints()->setCursorFlashTime(flashTimeOutside_);
}

qsizetype TerminalBox::characterCount() const {
    return boxCharacters(*this);
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

    keepNewest(*this, kTerminalCapacity, kTerminalKeep);
    ensureCursorVisible();
}

void TerminalBox::clearText() {
    gather_.stop();
    pending_.clear();
    clear();
    decoder_.reset();
}

void TerminalBox::sendTyped(const QString& text) {
    if (!keySink_)
        return;
    // What is shown is sent: a character cp1252 cannot carry goes out as "?".
    for (const char byte : lineBytes(text))
        keySink_(byte);
}

void TerminalBox::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (!text.isEmpty() && characterLength(text, 0) == text.size())
        sendTyped(text);
    QPlainTextEdit::keyPressEvent(event);
}

void TerminalBox::focusInEvent(QFocusEvent* event) {
    // A terminal left open on a quiet line for hours should cost nothing: a blinking
    // caret would wake the program and redraw twice a second. In here it stays steady,
    // as in most terminals; every other box keeps the desktop's blink.
    QStyleHints* hints = QGuiApplication::styleHints();
    if (flashTimeOutside_ < 0)
        flashTimeOutside_ = hints->cursorFlashTime();
    hints->setCursorFlashTime(0);
    QPlainTextEdit::focusInEvent(event);
}

void TerminalBox::focusOutEvent(QFocusEvent* event) {
    if (flashTimeOutside_ >= 0)
        QGuiApplication::styleHints()->setCursorFlashTime(std::exchange(flashTimeOutside_, -1));
    QPlainTextEdit::focusOutEvent(event);
}

void TerminalBox::inputMethodEvent(QInputMethodEvent* event) {
    sendTyped(event->commitString());
    QPlainTextEdit::inputMethodEvent(event);
}

} // namespace quillon
