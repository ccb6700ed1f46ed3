/* Preloaded into a helper process, this notes in order the calls that write to, drain,
 * reconfigure and close one terminal device: the device named by OXTIVA_TTY_DEVICE, the
 * notes going to the file named by OXTIVA_TTY_TRACE, one call a line. */
#define _GNU_SOURCE
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

static int IsTraced(int fd)
{
    const char* device = getenv("OXTIVA_TTY_DEVICE");
    char link[64];
    char target[512];
    if (!device || fd < 0) return 0;
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    ssize_t n = readlink(link, target, sizeof target - 1);
    if (n <= 0) return 0;
    target[n] = '\0';
    return strcmp(target, device) == 0;
}

/* Written with raw system calls, so that noting a call never passes through the
 * functions noted here. */
static void Note(const char* call, long detail)
{
    const char* path = getenv("OXTIVA_TTY_TRACE");
    char line[128];
    if (!path) return;
    int length = snprintf(line, sizeof line, "%s %ld\n", call, detail);
    long fd = syscall(SYS_openat, AT_FDCWD, path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    syscall(SYS_write, fd, line, (size_t)length);
    syscall(SYS_close, fd);
}

ssize_t write(int fd, const void* buffer, size_t count)
{
    static ssize_t (*real)(int, const void*, size_t);
    if (!real) real = (ssize_t(*)(int, const void*, size_t))dlsym(RTLD_NEXT, "write");
    ssize_t written = real(fd, buffer, count);
    if (IsTraced(fd)) Note("write", (long)written);
    return written;
}

int tcdrain(int fd)
{
    static int (*real)(int);
    if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "tcdrain");
    if (IsTraced(fd)) Note("tcdrain", 0);
    return real(fd);
}

int tcsetattr(int fd, int action, const struct termios* settings)
{
    static int (*real)(int, int, const struct termios*);
    if (!real) real = (int (*)(int, int, const struct termios*))dlsym(RTLD_NEXT, "tcsetattr");
    if (IsTraced(fd)) Note("tcsetattr", action);
    return real(fd, action, settings);
}

int ioctl(int fd, unsigned long request, ...)
{
    static int (*real)(int, unsigned long, ...);
    va_list arguments;
    void* argument;
    if (!real) real = (int (*)(int, unsigned long, ...))dlsym(RTLD_NEXT, "ioctl");
    va_start(arguments, request);
    argument = va_arg(arguments, void*);
    va_end(arguments);
    if (IsTraced(fd) && request == TCSBRK) Note("ioctl-TCSBRK", (long)argument);
    if (IsTraced(fd) && request == TIOCOUTQ) Note("ioctl-TIOCOUTQ", 0);
    return real(fd, request, argument);
}

int close(int fd)
{
    static int (*real)(int);
    if (!real) real = (int (*)(int))dlsym(RTLD_NEXT, "close");
    if (IsTraced(fd)) Note("close", 0);
    return real(fd);
}
