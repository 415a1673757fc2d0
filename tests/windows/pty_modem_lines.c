/* Loaded into Wine (LD_PRELOAD) for the serial checks: it gives the
 * pseudo-terminals that stand in for COM ports the modem lines a UART has.
 *
 * Wine reads the modem status (TIOCMGET) each time a WaitCommEvent wakes up,
 * and when that fails it cancels the wait: the program sees a read error
 * where a byte arrived. A pty has no modem lines, so its TIOCMGET always
 * fails. Here a pty answers as a cabled port with CTS, DSR and DCD up and
 * takes DTR and RTS changes without complaint; every other device and call
 * goes to the C library untouched. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

/* Unix 98 pty slaves: character majors 136 to 143. */
static int is_pty(int fd) {
    struct stat st;
    if (fstat(fd, &st) != 0 || !S_ISCHR(st.st_mode))
        return 0;
    const unsigned int m = major(st.st_rdev);
    return m >= 136 && m <= 143;
}

int ioctl(int fd, unsigned long request, ...) {
    static int (*next)(int, unsigned long, ...);
    if (!next)
        next = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    va_list ap;
    va_start(ap, request);
    void* arg = va_arg(ap, void*);
    va_end(ap);
    const int result = next(fd, request, arg);
    if (result != -1 || errno != ENOTTY)
        return result;
    if (!is_pty(fd)) {
        errno = ENOTTY;
        return -1;
    }
    switch (request) {
    case TIOCMGET:
        *(int*)arg = TIOCM_CTS | TIOCM_DSR | TIOCM_CAR | TIOCM_DTR | TIOCM_RTS;
        return 0;
    case TIOCMSET:
    case TIOCMBIS:
    case TIOCMBIC:
        return 0;
    default:
        errno = ENOTTY;
        return -1;
    }
}
