#include "platform/qt_dialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace quillon {

namespace {

QWidget* owner() {
    return QApplication::activeWindow();
}

} // namespace

MessageAnswer QtDialogs::message(const QString& title, const QString& text, MessageIcon icon,
                                 MessageButtons buttons) {
    QMessageBox box(owner());
    box.setWindowTitle(title);
    // File names, telephone numbers and received text are shown as they are, never
    // read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(withLineBreaks(text));
    box.setIcon(icon == MessageIcon::Exclamation ? QMessageBox::Warning : QMessageBox::NoIcon);
    if (buttons == MessageButtons::YesNo) {
        QPushButton* yes = box.addButton(QStringLiteral("&Sim"), QMessageBox::YesRole);
        QPushButton* no = box.addButton(QStringLiteral("&Não"), QMessageBox::NoRole);
        box.setDefaultButton(yes);
        box.setEscapeButton(no);
        box.exec();
        return box.clickedButton() == yes ? MessageAnswer::Yes : MessageAnswer::No;
    }
    box.setStandardButtons(QMessageBox::Ok);
    box.exec();
    return MessageAnswer::Ok;
}

QString QtDialogs::inputBox(const QString& prompt, const QString& title,
                            const QString& defaultAnswer) {
    QInputDialog box(owner());
    box.setWindowTitle(title);
    box.setLabelText(withLineBreaks(prompt));
    // A prompt may carry earlier answers: shown as typed, never read as markup.
    if (auto* label = box.findChild<QLabel*>())
        label->setTextFormat(Qt::PlainText);
    box.setTextValue(defaultAnswer);
    box.setOkButtonText(QStringLiteral("OK"));
    box.setCancelButtonText(QStringLiteral("Cancelar"));
    if (box.exec() != QDialog::Accepted)
        return {};
    return box.textValue();
}

QString toQtNameFilters(const QString& filter) {
    const QStringList parts = filter.split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QString pattern = parts[i + 1];
        pattern.replace(QStringLiteral("*.*"), QStringLiteral("*"))
            .replace(QLatin1Char(';'), QLatin1Char(' '));
        filters << parts[i] + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return filters.join(QStringLiteral(";;"));
}

FileDialogResult QtDialogs::fileDialog(const FileDialogRequest& request) {
    QFileDialog dialog(owner());
    dialog.setAcceptMode(request.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(request.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    // The overwrite question is the program's own, in its own words.
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
    dialog.setNameFilter(toQtNameFilters(request.filter));
    dialog.setDefaultSuffix(request.defaultExt);
    if (!request.directory.isEmpty())
        dialog.setDirectory(request.directory);
    if (!request.initialName.isEmpty())
        dialog.selectFile(request.initialName);
    FileDialogResult result;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return result;
    result.cancelled = false;
    result.fileName = dialog.selectedFiles().constFirst();
    return result;
}

} // namespace quillon
