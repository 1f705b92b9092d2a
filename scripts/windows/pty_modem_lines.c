/* Test scaffolding for scripts/test-windows.sh, loaded into wine64 with LD_PRELOAD.
 *
 * A pseudo-terminal has no modem lines, so it answers TIOCMGET with ENOTTY. Wine's serial
 * driver takes that as a failed device and ends every pending WaitCommEvent at once, and the
 * receive loop would run by polling instead of sleeping until bytes arrive, which is not how
 * it runs on a real port. Here the modem-line requests on pty slaves answer as a null-modem
 * cable would (DSR, CTS and carrier up), and everything else goes to the real ioctl. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <errno.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

/* Unix98 pty slaves: majors 136 to 143. */
static int isPtySlave(int fd) {
    struct stat info;
    if (fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode)) return 0;
    return major(info.st_rdev) >= 136 && major(info.st_rdev) <= 143;
}

int ioctl(int fd, unsigned long request, ...) {
    static int (*realIoctl)(int, unsigned long, ...);
    va_list args;
    va_start(args, request);
    void *argument = va_arg(args, void *);
    va_end(args);
    if (!realIoctl) realIoctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    const int result = realIoctl(fd, request, argument);
    /* Only the pty's own "no such request" is answered: a slave whose master has gone fails
     * with EIO, and Wine must see that to report the device gone. */
    if (result == 0 || errno != ENOTTY || !isPtySlave(fd)) return result;
    switch (request) {
        case TIOCMGET:
            *(int *)argument = TIOCM_DSR | TIOCM_CTS | TIOCM_CAR | TIOCM_DTR | TIOCM_RTS;
            return 0;
        case TIOCMSET:
        case TIOCMBIS:
        case TIOCMBIC:
            return 0; /* nothing to raise or drop on a pty */
        default:
            return result;
    }
}
