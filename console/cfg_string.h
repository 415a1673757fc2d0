#pragma once

#include <QString>
#include <QStringList>

#include <array>

namespace quillon {

// The terminal settings dialog's option groups and their exchange text
// "port,baud,parity,bits,stop" (1,9600,n,8,1).
struct CfgSelection {
    enum Group { Port, Baud, Parity, Bits, Stop };
    static constexpr int kGroups = 5;

    // Each group's option texts: Option1, Option5, Option2, Option3, Option4 as built
    // (COM 1 to COM 4, 1200 to 19200, n e o, 7 8, 1 1.5 2), and after them any value
    // the port takes that the dialog has no option for, so that what the dialog shows
    // is what the port uses: COM7 stays COM7, 38400 stays 38400.
    std::array<QStringList, kGroups> texts = {
        QStringList{QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3"),
                    QStringLiteral("4")},
        QStringList{QStringLiteral("1200"), QStringLiteral("2400"), QStringLiteral("4800"),
                    QStringLiteral("9600"), QStringLiteral("19200")},
        QStringList{QStringLiteral("n"), QStringLiteral("e"), QStringLiteral("o")},
        QStringList{QStringLiteral("7"), QStringLiteral("8")},
        QStringList{QStringLiteral("1"), QStringLiteral("1.5"), QStringLiteral("2")}};
    // Selected index per group; as built: COM 1, 1200, Nenhuma, 8 bits, 1 bit.
    std::array<int, kGroups> selected = {0, 0, 0, 1, 0};

    // LoadCfgString. A field is matched as the port reads it: the port by its number
    // ("07" is COM 7), the parity letter in either case, blanks around any field. A
    // field the port would refuse leaves its group as it was.
    void load(const QString& cfg);
    // SetCfgString.
    QString text() const;
};

// What Aplicar and OK store. A group the user left as it was loaded keeps the text it
// came from, byte for byte, so OK without a change changes nothing; a group the user
// changed is written from its option. A settings string the port refuses as a whole
// is written from the options, as the dialog shows it.
struct CfgTexts {
    QString portNumber;
    QString terminalSettings;
};
CfgTexts storedCfg(const CfgSelection& loaded, const CfgSelection& chosen,
                   const QString& portNumber, const QString& terminalSettings);

} // namespace quillon
