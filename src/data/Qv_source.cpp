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
    struct stat now {};
    return error_ == 0 && !short_ && ::fstat(fd_, &now) == 0 && now.st_size == opened_.st_size &&
           now.st_mtim.tv_sec == opened_.st_mtim.tv_sec && now.st_mtim.tv_nsec == opened_.st_mtim.tv_nsec;
}

std::string Tfile_source::failure() const
{
    return error_ != 0 ? std::string("read error: ") + std::strerror(error_) : std::string();
}
