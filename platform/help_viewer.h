#pragma once

#include <QDialog>

class QTextBrowser;

namespace quillon {

// Shows the program's help file at its contents page; a missing or unreadable
// file is said inside the viewer.
class HelpViewer : public QDialog {
    Q_OBJECT
public:
    explicit HelpViewer(QWidget* parent = nullptr);
    void showContents(const QString& helpFile);
    QString shownText() const;

private:
    QTextBrowser* browser_;
};

} // namespace quillon
