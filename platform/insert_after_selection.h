#pragma once

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

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

// Characters a box holds, without the document's final paragraph mark.
inline qsizetype boxCharacters(const QPlainTextEdit& box) {
    return box.document()->characterCount() - 1;
}

// A box that has grown past capacity keeps only its newest `keep` characters,
// and the caret goes to the end, where the next text arrives.
inline void keepNewest(QPlainTextEdit& box, qsizetype capacity, qsizetype keep) {
    const qsizetype count = boxCharacters(box);
    if (count <= capacity)
        return;
    QTextCursor trim(box.document());
    trim.setPosition(0);
    trim.setPosition(static_cast<int>(count - keep), QTextCursor::KeepAnchor);
    trim.removeSelectedText();
    QTextCursor end(box.document());
    end.movePosition(QTextCursor::End);
    box.setTextCursor(end);
}

} // namespace quillon
