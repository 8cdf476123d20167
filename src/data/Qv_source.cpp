// The sources a load reads from: a regular file, looked at before it is opened and read up to the size
// it had then, so that nothing a folder holds can block or outgrow the load (Tmemory_source, the other
// one, lives in Qv_load_internal.h). Uses the system's file calls only.
#include "Qv_load_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

using namespace qv_internal;

Tfile_source::~Tfile_source()
{
    if (fd_ >= 0)
        ::close(fd_);
}

bool Tfile_source::open(const std::string &path, std::string &reason)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        reason = "not a regular file";
        return false;
    }
    fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) {
        reason = std::strerror(errno);
        return false;
    }
    // The name may have been given to something else since the look.
    if (::fstat(fd_, &opened_) != 0 || !S_ISREG(opened_.st_mode)) {
        reason = "not a regular file";
        return false;
    }
    size_ = static_cast<std::uint64_t>(opened_.st_size);
    return true;
}

std::size_t Tfile_source::read(char *dest, std::size_t room)
{
    room = static_cast<std::size_t>(std::min<std::uint64_t>(room, size_ - done_));
    while (room > 0) {
        const ssize_t n = ::read(fd_, dest, room);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            error_ = errno;
        } else if (n == 0) {
            short_ = true; // the file ended early: it was cut while being read
        } else {
            done_ += static_cast<std::uint64_t>(n);
            return static_cast<std::size_t>(n);
        }
        break;
    }
    return 0;
}

bool Tfile_source::intact()
{
    // A rewrite in place may keep the size and set the modification time back (rsync --inplace -t does):
    // the change time, which no program can set, still moves with every write.
    struct stat now {};
    const auto same = [](const timespec &a, const timespec &b) {
        return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
    };
    return error_ == 0 && !short_ && ::fstat(fd_, &now) == 0 && now.st_dev == opened_.st_dev &&
           now.st_ino == opened_.st_ino && now.st_size == opened_.st_size &&
           same(now.st_mtim, opened_.st_mtim) && same(now.st_ctim, opened_.st_ctim);
}

std::string Tfile_source::failure() const
{
    return error_ != 0 ? std::string("read error: ") + std::strerror(error_) : std::string();
}
