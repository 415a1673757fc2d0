#pragma once

#include "core/terminal_text.h"

#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTimer>

#include <functional>

namespace quillon {

// TxtTerminal: shows what the line sends and passes typed keys to it.
class TerminalBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TerminalBox(QWidget* parent = nullptr);
    ~TerminalBox() override;

    // Called for every typed character with its 8-bit code, before the box
    // applies the key as usual.
    void setKeySink(std::function<void(char)> sink) { keySink_ = std::move(sink); }

    // Received text goes after the selection; the box never grows past its
    // capacity: then only the newest characters stay and the caret goes to the end.
    // Within a fast burst, chunks are gathered for a few milliseconds and shown
    // together, so the box keeps up with the line instead of redrawing per chunk.
    void insertReceived(const QByteArray& bytes);
    // Shows whatever a burst still holds back.
    void flushReceived();
    static constexpr int kGatherMs = 15;
    void clearText();
    qsizetype characterCount() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // Dead keys, compose sequences and input methods deliver their characters
    // here, not as key presses.
    void inputMethodEvent(QInputMethodEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    void sendTyped(const QString& text);
    void insertNow(const QByteArray& bytes);

    std::function<void(char)> keySink_;
    QByteArray pending_;
    QTimer gather_;
    QElapsedTimer sinceInsert_;
    TerminalTextDecoder decoder_;
    // The desktop's caret blink, given back when the focus leaves the box.
    int flashTimeOutside_ = -1;
};

} // namespace quillon
