#include "sim/tty_line.h"

// The kernel's own termios carries the speed as a number, which the C library's hides
// behind names; the two headers cannot both be included, so this file uses only the
// kernel's.
#include <asm/ioctls.h>
#include <asm/termbits.h>
#include <sys/ioctl.h>

namespace quillon::sim {

namespace {

bool read2(int fd, termios2* tio) {
    return ::ioctl(fd, TCGETS2, tio) == 0;
}

} // namespace

std::optional<ProgramLine> readProgramLine(int fd) {
    termios2 tio{};
    if (!read2(fd, &tio))
        return std::nullopt;
    ProgramLine line;
    line.setting.baud = static_cast<int>(tio.c_ospeed);
    line.setting.stopHalfBits = (tio.c_cflag & CSTOPB) != 0 ? 4 : 2;
    using Bad = ProgramLine::BadCharacter;
    if ((tio.c_iflag & IGNPAR) != 0)
        line.badCharacter = Bad::Dropped;
    else if ((tio.c_iflag & INPCK) == 0)
        line.badCharacter = Bad::AsRead;
    else
        line.badCharacter = Bad::Zero;
    return line;
}

bool keepReportingSettings(int fd) {
    termios2 tio{};
    if (!read2(fd, &tio))
        return false;
    if ((tio.c_lflag & EXTPROC) != 0)
        return true;
    tio.c_lflag |= EXTPROC;
    return ::ioctl(fd, TCSETS2, &tio) == 0;
}

} // namespace quillon::sim
