#include "platform/standard_error_texts.h"

#include <QHash>

namespace quillon {

QString standardErrorText(int number) {
    static const QHash<int, QString> texts = {
        {3, QStringLiteral("Return without GoSub")},
        {5, QStringLiteral("Invalid procedure call or argument")},
        {6, QStringLiteral("Overflow")},
        {7, QStringLiteral("Out of memory")},
        {9, QStringLiteral("Subscript out of range")},
        {10, QStringLiteral("This array is fixed or temporarily locked")},
        {11, QStringLiteral("Division by zero")},
        {13, QStringLiteral("Type mismatch")},
        {14, QStringLiteral("Out of string space")},
        {16, QStringLiteral("Expression too complex")},
        {17, QStringLiteral("Can't perform requested operation")},
        {18, QStringLiteral("User interrupt occurred")},
        {20, QStringLiteral("Resume without error")},
        {28, QStringLiteral("Out of stack space")},
        {35, QStringLiteral("Sub or Function not defined")},
        {47, QStringLiteral("Too many DLL application clients")},
        {48, QStringLiteral("Error in loading DLL")},
        {49, QStringLiteral("Bad DLL calling convention")},
        {51, QStringLiteral("Internal error")},
        {52, QStringLiteral("Bad file name or number")},
        {53, QStringLiteral("File not found")},
        {54, QStringLiteral("Bad file mode")},
        {55, QStringLiteral("File already open")},
        {57, QStringLiteral("Device I/O error")},
        {58, QStringLiteral("File already exists")},
        {59, QStringLiteral("Bad record length")},
        {61, QStringLiteral("Disk full")},
        {62, QStringLiteral("Input past end of file")},
        {63, QStringLiteral("Bad record number")},
        {67, QStringLiteral("Too many files")},
        {68, QStringLiteral("Device unavailable")},
        {70, QStringLiteral("Permission denied")},
        {71, QStringLiteral("Disk not ready")},
        {74, QStringLiteral("Can't rename with different drive")},
        {75, QStringLiteral("Path/File access error")},
        {76, QStringLiteral("Path not found")},
        {91, QStringLiteral("Object variable or With block variable not set")},
        {92, QStringLiteral("For loop not initialized")},
        {93, QStringLiteral("Invalid pattern string")},
        {94, QStringLiteral("Invalid use of Null")},
        // The port layer's own word for a device the user may not open: the
        // fixed serial texts have nothing a user could act on for it.
        {8017, QStringLiteral("Permissão negada para abrir a porta serial. No Linux, o usuário "
                              "precisa pertencer ao grupo dialout.")},
    };
    const auto found = texts.constFind(number);
    if (found != texts.constEnd())
        return found.value();
    return QStringLiteral("Application-defined or object-defined error");
}

} // namespace quillon
