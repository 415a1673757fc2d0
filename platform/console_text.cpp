#include "platform/console_text.h"

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <csignal>
#include <unistd.h>
#endif

#include <string>

namespace quillon {

#ifdef Q_OS_WIN

namespace {

// The console behind the stream, or nullptr when it leads to a file or pipe.
HANDLE consoleOf(std::FILE* stream) {
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode))
        return nullptr;
    return handle;
}

} // namespace

bool isRedrawTerminal(std::FILE* stream) {
    const HANDLE console = consoleOf(stream);
    DWORD mode = 0;
    if (!console || !::GetConsoleMode(console, &mode))
        return false;
    return (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0 ||
           ::SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) != 0;
}

void writeConsoleText(std::FILE* stream, const QString& text) {
    if (const HANDLE console = consoleOf(stream)) {
        std::fflush(stream);
        const std::wstring wide = text.toStdWString();
        DWORD written = 0;
        ::WriteConsoleW(console, wide.c_str(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    std::fputs(text.toLocal8Bit().constData(), stream);
}

void outliveClosedOutput() {} // a broken pipe is an error return there already

#else

bool isRedrawTerminal(std::FILE* stream) {
    return ::isatty(::fileno(stream)) != 0;
}

void writeConsoleText(std::FILE* stream, const QString& text) {
    std::fputs(text.toLocal8Bit().constData(), stream);
}

void outliveClosedOutput() {
    std::signal(SIGPIPE, SIG_IGN);
}

#endif

} // namespace quillon
