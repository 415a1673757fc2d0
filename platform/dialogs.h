#pragma once

#include <QString>

namespace quillon {

enum class MessageIcon { None, Exclamation };
enum class MessageButtons { Ok, YesNo };
enum class MessageAnswer { Ok, Yes, No };

// The program's texts break lines with CR or CR LF; a box or a console wants "\n".
inline QString withLineBreaks(QString text) {
    return text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QLatin1Char('\n'));
}

struct FileDialogRequest {
    QString initialName;
    QString filter; // "description|pattern|description|pattern"
    QString defaultExt;
    bool save = false;
    QString directory;
};

struct FileDialogResult {
    bool cancelled = true;
    QString fileName;
};

// Every box the program shows goes through here, so tests can answer them
// and read what a user would have seen.
class Dialogs {
public:
    virtual ~Dialogs() = default;
    virtual MessageAnswer message(const QString& title, const QString& text, MessageIcon icon,
                                  MessageButtons buttons) = 0;
    // An empty result means Cancel or an empty answer: the caller treats both alike.
    virtual QString inputBox(const QString& prompt, const QString& title,
                             const QString& defaultAnswer) = 0;
    virtual FileDialogResult fileDialog(const FileDialogRequest& request) = 0;
};

} // namespace quillon
