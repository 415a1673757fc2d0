#include "platform/help_viewer.h"

#include "platform/paths.h"

#include <QFile>
#include <QFileInfo>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace quillon {

HelpViewer::HelpViewer(QWidget* parent) : QDialog(parent), browser_(new QTextBrowser(this)) {
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("Ajuda do Quillon"));
    browser_->setObjectName(QStringLiteral("HelpText"));
    browser_->setOpenExternalLinks(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    resize(720, 560);
}

void HelpViewer::showContents(const QString& helpFile) {
    QFile file(helpFile);
    if (!isOpenableTextFile(helpFile) || !file.open(QIODevice::ReadOnly)) {
        browser_->setPlainText(QStringLiteral("Não foi possível abrir o arquivo de ajuda:\n") +
                               helpFile);
    } else {
        browser_->setSearchPaths({QFileInfo(helpFile).absolutePath()});
        browser_->setHtml(QString::fromUtf8(file.readAll()));
        browser_->moveCursor(QTextCursor::Start);
    }
    show();
    raise();
    activateWindow();
}

QString HelpViewer::shownText() const {
    return browser_->toPlainText();
}

} // namespace quillon
