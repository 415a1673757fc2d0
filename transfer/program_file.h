#pragma once

#include <QFile>
#include <QString>

namespace quillon {

// Overflow: the file is too long for a 16-bit block count.
inline constexpr int kBlockCountOverflow = 6;

// The file error number for a program file that is missing or cannot be read.
int programFileErrorNumber(const QFile& file, const QString& path);

// The warning for a program file with nothing in it.
QString emptyProgramFileText(const QString& path);

} // namespace quillon
