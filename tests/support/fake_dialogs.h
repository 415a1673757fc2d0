#pragma once

#include "platform/dialogs.h"

#include <QQueue>
#include <QVector>

namespace quillon::test {

// Answers boxes from a script and remembers what was shown.
class FakeDialogs : public Dialogs {
public:
    struct Shown {
        QString title;
        QString text;
        MessageIcon icon;
        MessageButtons buttons;
    };

    MessageAnswer message(const QString& title, const QString& text, MessageIcon icon,
                          MessageButtons buttons) override {
        messages.append({title, text, icon, buttons});
        if (buttons == MessageButtons::YesNo)
            return answers.isEmpty() ? MessageAnswer::No : answers.dequeue();
        return MessageAnswer::Ok;
    }
    QString inputBox(const QString& prompt, const QString& title,
                     const QString& defaultAnswer) override {
        prompts.append({title, prompt, MessageIcon::None, MessageButtons::Ok});
        defaults.append(defaultAnswer);
        return inputs.isEmpty() ? QString() : inputs.dequeue();
    }
    FileDialogResult fileDialog(const FileDialogRequest& request) override {
        fileRequests.append(request);
        return files.isEmpty() ? FileDialogResult{} : files.dequeue();
    }

    QVector<Shown> messages;
    QVector<Shown> prompts;
    QStringList defaults;
    QVector<FileDialogRequest> fileRequests;
    QQueue<MessageAnswer> answers;
    QQueue<QString> inputs;
    QQueue<FileDialogResult> files;
};

} // namespace quillon::test
