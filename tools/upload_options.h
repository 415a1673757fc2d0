#pragma once

#include <QString>
#include <QStringList>

namespace quillon::cli {

struct UploadOptions {
    QString file;
    QString portNumber; // COM number as typed, when the port is given by number
    QString device;     // a device path instead of a COM number
    QString settings = QStringLiteral("9600,n,8,1");
    QString phone; // non-empty: dial through a modem first
    QString extraAt;
    QString log; // non-empty: the session on the line recorded into this file
    bool quiet = false;
};

struct ParsedArguments {
    enum class Outcome { Run, Help, Version, Usage };
    Outcome outcome = Outcome::Usage;
    UploadOptions options;
    QString text; // the help, the version or what is wrong with the command line
};

// The arguments without the program name.
ParsedArguments parseArguments(const QStringList& arguments);

QString usageText();

} // namespace quillon::cli
