#include "pty_endpoint.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace oxtiva::sim
{

namespace
{

// Replaces a stale symlink left by a killed run, but never a real file.
bool PlaceLink(const std::string& target, const std::string& linkPath, std::string& error)
{
    const std::string temporary = linkPath + ".new";
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0) {
        error = "cannot create link " + linkPath + ": " + std::strerror(errno);
        return false;
    }
    struct stat existing {
    };
    if (::lstat(linkPath.c_str(), &existing) == 0 && !S_ISLNK(existing.st_mode)) {
        ::unlink(temporary.c_str());
        error = linkPath + " exists and is not a symlink";
        return false;
    }
    if (::rename(temporary.c_str(), linkPath.c_str()) != 0) {
        error = "cannot create link " + linkPath + ": " + std::strerror(errno);
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

} // namespace

TPtyEndpoint::~TPtyEndpoint()
{
    Close();
}

bool TPtyEndpoint::Open(const std::string& linkPath, std::string& error)
{
    Close();
    int master = -1;
    int slave = -1;
    char name[256] = {};
    if (::openpty(&master, &slave, name, nullptr, nullptr) != 0) {
        error = std::string("openpty failed: ") + std::strerror(errno);
        return false;
    }
    // Raw mode lives in the slave's terminal settings, which outlast every client's
    // open and close as long as the master stays open.
    termios settings{};
    if (::tcgetattr(slave, &settings) == 0) {
        ::cfmakeraw(&settings);
        ::tcsetattr(slave, TCSANOW, &settings);
    }
    ::close(slave);
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    ::fcntl(master, F_SETFD, FD_CLOEXEC);
    if (!PlaceLink(name, linkPath, error)) {
        ::close(master);
        return false;
    }
    fMaster = master;
    fLinkPath = linkPath;
    return true;
}

void TPtyEndpoint::Close()
{
    if (!fLinkPath.empty()) ::unlink(fLinkPath.c_str());
    fLinkPath.clear();
    if (fMaster >= 0) ::close(fMaster);
    fMaster = -1;
}

bool TPtyEndpoint::ClientPresent() const
{
    if (fMaster < 0) return false;
    pollfd p{fMaster, POLLOUT, 0};
    if (::poll(&p, 1, 0) < 0) return false;
    return (p.revents & POLLHUP) == 0;
}

bool TPtyEndpoint::ReadAvailable(std::string& bytes)
{
    if (fMaster < 0) return false;
    bool any = false;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(fMaster, buffer, sizeof buffer);
        if (n > 0) {
            bytes.append(buffer, static_cast<std::size_t>(n));
            any = true;
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        // EAGAIN: nothing more now; EIO: the last client closed the slave. Neither is
        // an error for an instrument that waits for its next client.
        return any;
    }
}

void TPtyEndpoint::Write(const std::string& bytes)
{
    std::size_t done = 0;
    while (fMaster >= 0 && done < bytes.size()) {
        const ssize_t n = ::write(fMaster, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n < 0 && errno == EINTR)
            continue;
        else
            return;
    }
}

bool TPtyEndpoint::SecondOpenerGetsThrough(const std::string& bytes) const
{
    if (fLinkPath.empty()) return false;
    const int fd = ::open(fLinkPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return false;
    const bool through = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    if (through) {
        [[maybe_unused]] const auto written = ::write(fd, bytes.data(), bytes.size());
    }
    ::close(fd);
    return through;
}

} // namespace oxtiva::sim
