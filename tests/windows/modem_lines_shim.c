// SPDX-License-Identifier: MIT
// For the tests only, loaded into Wine with LD_PRELOAD: a pseudo-terminal standing in for a
// Windows serial port has no modem lines, and refuses the requests for them (TIOCMGET,
// TIOCMSET, TIOCMBIS, TIOCMBIC). Wine's serial driver asks for them when it waits for a comm
// event, and gives the wait up when they are refused, so that a Windows program never hears of
// the bytes that arrive. On a pseudo-terminal only, this answers those requests as a line whose
// modem lines are all off and take any setting. Nothing of PORTWREN uses it.
#define _GNU_SOURCE
#include <dlfcn.h>
#include <stdarg.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

// Unix 98 pseudo-terminals' far ends (/dev/pts/N) have these major numbers.
static int isPseudoTerminal(int fd)
{
    struct stat status;
    return fstat(fd, &status) == 0 && S_ISCHR(status.st_mode) && major(status.st_rdev) >= 136 &&
           major(status.st_rdev) <= 143;
}

int ioctl(int fd, unsigned long request, ...)
{
    static int (*systemIoctl)(int, unsigned long, ...);
    if (!systemIoctl)
        systemIoctl = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    va_list arguments;
    va_start(arguments, request);
    void *argument = va_arg(arguments, void *);
    va_end(arguments);
    const int result = systemIoctl(fd, request, argument);
    const int modemLines = request == TIOCMGET || request == TIOCMSET || request == TIOCMBIS ||
                           request == TIOCMBIC;
    if (result == 0 || !modemLines || !isPseudoTerminal(fd))
        return result;
    if (request == TIOCMGET)
        *(int *)argument = 0;
    return 0;
}
