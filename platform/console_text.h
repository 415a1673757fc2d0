#pragma once

#include <QString>

#include <cstdio>

namespace quillon {

// Whether the stream is a terminal that takes "\r" and "\x1b[K" to redraw a
// line. A Windows console is asked to understand the escape first; one that
// cannot (before Windows 10) counts as no terminal, so nothing shows as junk.
bool isRedrawTerminal(std::FILE* stream);

// Writes the text whole. A Windows console gets it as Unicode, since its code
// page (850 in Brazil) is not the one the program's 8-bit text would be in;
// a pipe, a file or a Unix terminal gets the local 8-bit encoding.
void writeConsoleText(std::FILE* stream, const QString& text);

// Writing to a pipe whose reader has gone fails instead of ending the program.
void outliveClosedOutput();

} // namespace quillon
