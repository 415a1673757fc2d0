#pragma once

#include <QString>
#include <QStringList>

namespace quillon {

// The terminal settings dialog's option groups and their exchange text
// "port,baud,parity,bits,stop" (1,9600,n,8,1).
struct CfgSelection {
    static const QStringList& baudTexts();   // Option5
    static const QStringList& parityTexts(); // Option2
    static const QStringList& bitsTexts();   // Option3
    static const QStringList& stopTexts();   // Option4

    // The port group offers COM 1 to COM 4, plus the current port when it is
    // another number, so OK never turns COM7 into COM1.
    QStringList portTexts = {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                             QStringLiteral("4")};
    // Selected index per group; as built: COM 1, 1200, Nenhuma, 8 bits, 1 bit.
    int port = 0;
    int baud = 0;
    int parity = 0;
    int bits = 1;
    int stop = 0;

    // LoadCfgString: a field that matches no option leaves its group as it was.
    void load(const QString& cfg);
    // SetCfgString.
    QString text() const;
};

} // namespace quillon
