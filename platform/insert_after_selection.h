#pragma once

#include <QPlainTextEdit>
#include <QTextCursor>

namespace quillon {

// How the program's log and receive boxes take new text: the selection is replaced by
// itself followed by the text, so what the user selected stays and the new text follows
// it; with nothing selected it goes in at the caret, which ends after it.
inline void insertAfterSelection(QPlainTextEdit& box, const QString& text) {
    QTextCursor cursor = box.textCursor();
    cursor.setPosition(cursor.selectionEnd());
    cursor.insertText(text);
    box.setTextCursor(cursor);
}

} // namespace quillon
