#pragma once

#include "app/terminal_text.h"

#include <QPlainTextEdit>

#include <functional>

namespace quillon {

// TxtTerminal: shows what the line sends and passes typed keys to it.
class TerminalBox : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TerminalBox(QWidget* parent = nullptr);

    // Called for every typed character with its 8-bit code, before the box
    // applies the key as usual.
    void setKeySink(std::function<void(char)> sink) { keySink_ = std::move(sink); }

    // Received text goes after the selection; the box never grows past its
    // capacity: then only the newest characters stay and the caret goes to the end.
    void insertReceived(const QByteArray& bytes);
    void clearText();
    qsizetype characterCount() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    std::function<void(char)> keySink_;
    TerminalTextDecoder decoder_;
};

} // namespace quillon
