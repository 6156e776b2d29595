/* Makes the pseudo-terminals named in UARTSHIM_PATHS (separated by ':')
 * answer the modem-line and interrupt-count requests as a real UART does.
 * Loaded into wine with LD_PRELOAD, it turns a silent pseudo-terminal into
 * what a COM port wine maps to an idle UART is: a port on which wine's
 * WaitCommEvent, as QSerialPort issues it on open, does not return until a
 * byte arrives. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <linux/serial.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

static int shimmed(int fd)
{
    const char *paths = getenv("UARTSHIM_PATHS");
    char link[64], target[256];
    ssize_t n;
    if (!paths)
        return 0;
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    n = readlink(link, target, sizeof target - 1);
    if (n <= 0)
        return 0;
    target[n] = 0;
    for (const char *p = paths; *p;) {
        size_t len = strcspn(p, ":");
        if (len == (size_t)n && strncmp(p, target, len) == 0)
            return 1;
        p += len + (p[len] == ':');
    }
    return 0;
}

int ioctl(int fd, unsigned long request, ...)
{
    static int (*real)(int, unsigned long, ...);
    va_list args;
    void *arg;
    va_start(args, request);
    arg = va_arg(args, void *);
    va_end(args);
    if (!real)
        real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    if ((request == TIOCGICOUNT || request == TIOCMGET || request == TIOCSERGETLSR) && shimmed(fd)) {
        if (request == TIOCGICOUNT)
            memset(arg, 0, sizeof(struct serial_icounter_struct));
        else if (request == TIOCMGET)
            *(int *)arg = TIOCM_DSR | TIOCM_CTS;
        else
            *(unsigned int *)arg = TIOCSER_TEMT;
        return 0;
    }
    return real(fd, request, arg);
}
