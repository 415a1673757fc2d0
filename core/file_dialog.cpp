#include "core/file_dialog.h"

#include "core/text_helpers.h"
#include "platform/paths.h"

#include <QFileInfo>

namespace quillon {

QString showFileDialog(Dialogs& dialogs, const FileDialogRequest& request) {
    const FileDialogResult result = dialogs.fileDialog(request);
    if (result.cancelled || result.fileName == request.initialName)
        return {};
    if (request.save && QFileInfo::exists(localPath(result.fileName))) {
        const QString name = QFileInfo(localPath(result.fileName)).fileName();
        const MessageAnswer answer = dialogs.message(
            QStringLiteral("Quillon"),
            name + kCrLf + QStringLiteral("Este arquivo já existe, deseja substituí-lo?"),
            MessageIcon::Exclamation, MessageButtons::YesNo);
        if (answer != MessageAnswer::Yes)
            return {};
    }
    return result.fileName;
}

QString folderOf(const QString& path) {
    const qsizetype cut =
        std::max(path.lastIndexOf(QLatin1Char('\\')), path.lastIndexOf(QLatin1Char('/')));
    return cut < 0 ? QString() : path.left(cut + 1);
}

} // namespace quillon
