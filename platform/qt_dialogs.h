#pragma once

#include "platform/dialogs.h"

namespace quillon {

// The real boxes, owned by whichever window is active.
class QtDialogs final : public Dialogs {
public:
    MessageAnswer message(const QString& title, const QString& text, MessageIcon icon,
                          MessageButtons buttons) override;
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& defaultAnswer) override;
    FileDialogResult fileDialog(const FileDialogRequest& request) override;
};

// "desc|pattern|desc|pattern" as a Qt name filter list.
QString toQtNameFilters(const QString& filter);

} // namespace quillon
