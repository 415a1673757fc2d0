#pragma once

#include "platform/dialogs.h"

namespace quillon {

// ShowFileDialog: the chosen full name, or empty when nothing was chosen or an
// existing file is not to be replaced.
QString showFileDialog(Dialogs& dialogs, const FileDialogRequest& request);

// The folder part of a stored path, ending in its separator ("D:\prog\").
QString folderOf(const QString& path);

} // namespace quillon
