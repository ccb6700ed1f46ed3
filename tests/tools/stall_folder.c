/* Preloaded into a test process, this makes one folder behave as a shared folder whose
 * server has stopped answering: while the file named by OXTIVA_STALL_FLAG exists, every
 * file system call on a path under OXTIVA_STALL_FOLDER, or on a file descriptor of a file
 * there, waits until the file is gone, and only then does what it was asked. Each call
 * that waited is counted in the file named by OXTIVA_STALL_COUNT (one byte a call), so a
 * test can tell that the stall held something up. */
#define _GNU_SOURCE
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

static int UnderFolder(const char* path)
{
    const char* folder = getenv("OXTIVA_STALL_FOLDER");
    if (!folder || !path) return 0;
    const size_t n = strlen(folder);
    return strncmp(path, folder, n) == 0 && (path[n] == '/' || path[n] == '\0');
}

/* A relative path is taken from the current folder, which the program may have made the
 * stalled one. */
static int PathStalls(int dirfd, const char* path)
{
    char here[4096];
    char link[64];
    if (!path) return 0;
    if (path[0] == '/') return UnderFolder(path);
    if (dirfd == AT_FDCWD) {
        if (syscall(SYS_getcwd, here, sizeof here) <= 0) return 0;
        return UnderFolder(here);
    }
    snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
    const long n = syscall(SYS_readlinkat, AT_FDCWD, link, here, sizeof here - 1);
    if (n <= 0) return 0;
    here[n] = '\0';
    return UnderFolder(here);
}

static int DescriptorStalls(int fd)
{
    char link[64];
    char target[4096];
    if (fd < 0) return 0;
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const long n = syscall(SYS_readlinkat, AT_FDCWD, link, target, sizeof target - 1);
    if (n <= 0) return 0;
    target[n] = '\0';
    return UnderFolder(target);
}

static int FlagExists(void)
{
    const char* flag = getenv("OXTIVA_STALL_FLAG");
    return flag && syscall(SYS_faccessat, AT_FDCWD, flag, F_OK, 0) == 0;
}

static void Count(void)
{
    const char* path = getenv("OXTIVA_STALL_COUNT");
    if (!path) return;
    long fd = syscall(SYS_openat, AT_FDCWD, path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    syscall(SYS_write, fd, "x", (size_t)1);
    syscall(SYS_close, fd);
}

static void WaitWhileStalled(int stalls)
{
    const struct timespec slice = {0, 10 * 1000 * 1000};
    if (!stalls || !FlagExists()) return;
    Count();
    while (FlagExists())
        nanosleep(&slice, NULL);
}

#define REAL(name) \
    static __typeof__(name)* real; \
    if (!real) real = (__typeof__(name)*)dlsym(RTLD_NEXT, #name)

int open(const char* path, int flags, ...)
{
    REAL(open);
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    va_end(args);
    WaitWhileStalled(PathStalls(AT_FDCWD, path));
    return real(path, flags, mode);
}

int open64(const char* path, int flags, ...)
{
    REAL(open64);
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    va_end(args);
    WaitWhileStalled(PathStalls(AT_FDCWD, path));
    return real(path, flags, mode);
}

int openat(int dirfd, const char* path, int flags, ...)
{
    REAL(openat);
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    va_end(args);
    WaitWhileStalled(PathStalls(dirfd, path));
    return real(dirfd, path, flags, mode);
}

int openat64(int dirfd, const char* path, int flags, ...)
{
    REAL(openat64);
    va_list args;
    va_start(args, flags);
    const mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    va_end(args);
    WaitWhileStalled(PathStalls(dirfd, path));
    return real(dirfd, path, flags, mode);
}

int stat(const char* path, struct stat* buffer)
{
    REAL(stat);
    WaitWhileStalled(PathStalls(AT_FDCWD, path));
    return real(path, buffer);
}

int stat64(const char* path, struct stat64* buffer)
{
    REAL(stat64);
    WaitWhileStalled(PathStalls(AT_FDCWD, path));
    return real(path, buffer);
}

int lstat(const char* path, struct stat* buffer)
{
    REAL(lstat);
    WaitWhileStalled(PathStalls(AT_FDCWD, path));
    return real(path, buffer);
}

int lstat64(const char* path, struct stat64* buffer)
{
    REAL(lstat64);
    WaitWhileStalled(PathStalls(AT_FDCWD, path));
    return real(path, buffer);
}

int fstatat(int dirfd, const char* path, struct stat* buffer, int flags)
{
    REAL(fstatat);
    WaitWhileStalled(PathStalls(dirfd, path));
    return real(dirfd, path, buffer, flags);
}

int fstatat64(int dirfd, const char* path, struct stat64* buffer, int flags)
{
    REAL(fstatat64);
    WaitWhileStalled(PathStalls(dirfd, path));
    return real(dirfd, path, buffer, flags);
}

int statx(int dirfd, const char* path, int flags, unsigned int mask, struct statx* buffer)
{
    REAL(statx);
    /* An empty path with AT_EMPTY_PATH asks about the descriptor itself. */
    const int stalls = (path[0] == '\0' && (flags & AT_EMPTY_PATH))
                           ? DescriptorStalls(dirfd)
                           : PathStalls(dirfd, path);
    WaitWhileStalled(stalls);
    return real(dirfd, path, flags, mask, buffer);
}

int access(const char* path, int mode)
{
    REAL(access);
    WaitWhileStalled(PathStalls(AT_FDCWD, path));
    return real(path, mode);
}

int faccessat(int dirfd, const char* path, int mode, int flags)
{
    REAL(faccessat);
    WaitWhileStalled(PathStalls(dirfd, path));
    return real(dirfd, path, mode, flags);
}

int mkdir(const char* path, mode_t mode)
{
    REAL(mkdir);
    WaitWhileStalled(PathStalls(AT_FDCWD, path));
    return real(path, mode);
}

int unlink(const char* path)
{
    REAL(unlink);
    WaitWhileStalled(PathStalls(AT_FDCWD, path));
    return real(path);
}

int rename(const char* from, const char* to)
{
    REAL(rename);
    WaitWhileStalled(PathStalls(AT_FDCWD, from) || PathStalls(AT_FDCWD, to));
    return real(from, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags)
{
    REAL(renameat2);
    WaitWhileStalled(PathStalls(fromDir, from) || PathStalls(toDir, to));
    return real(fromDir, from, toDir, to, flags);
}

int link(const char* from, const char* to)
{
    REAL(link);
    WaitWhileStalled(PathStalls(AT_FDCWD, from) || PathStalls(AT_FDCWD, to));
    return real(from, to);
}

DIR* opendir(const char* path)
{
    REAL(opendir);
    WaitWhileStalled(PathStalls(AT_FDCWD, path));
    return real(path);
}

ssize_t write(int fd, const void* buffer, size_t count)
{
    REAL(write);
    WaitWhileStalled(DescriptorStalls(fd));
    return real(fd, buffer, count);
}

ssize_t pwrite64(int fd, const void* buffer, size_t count, off64_t offset)
{
    REAL(pwrite64);
    WaitWhileStalled(DescriptorStalls(fd));
    return real(fd, buffer, count, offset);
}

ssize_t read(int fd, void* buffer, size_t count)
{
    REAL(read);
    WaitWhileStalled(DescriptorStalls(fd));
    return real(fd, buffer, count);
}

int fsync(int fd)
{
    REAL(fsync);
    WaitWhileStalled(DescriptorStalls(fd));
    return real(fd);
}

int fdatasync(int fd)
{
    REAL(fdatasync);
    WaitWhileStalled(DescriptorStalls(fd));
    return real(fd);
}

int ftruncate(int fd, off_t length)
{
    REAL(ftruncate);
    WaitWhileStalled(DescriptorStalls(fd));
    return real(fd, length);
}

int ftruncate64(int fd, off64_t length)
{
    REAL(ftruncate64);
    WaitWhileStalled(DescriptorStalls(fd));
    return real(fd, length);
}
