// The sources a load reads from: a regular file, looked at before it is opened and read up to the size
// it had then, so that nothing a folder holds can block or outgrow the load (Tmemory_source, the other
// one, lives in Qv_load_internal.h), and the thread that opens a load's files ahead of it. Uses the
// system's file calls only.
#include "Qv_load_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <system_error>

#include <fcntl.h>
#include <unistd.h>

using namespace qv_internal;

namespace {

// ThreadSanitizer counts descriptors per process, and would take a file of one table and another's
// under the same number for one: under it the thread that opens files ahead shares the table.
#if defined(__SANITIZE_THREAD__)
constexpr bool own_file_table = false;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
constexpr bool own_file_table = false;
#else
constexpr bool own_file_table = true;
#endif
#else
constexpr bool own_file_table = true;
#endif

} // namespace

Tfile_source::~Tfile_source()
{
    close();
}

void Tfile_source::close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

bool Tfile_source::open(const std::string &path, std::string &reason, bool listed_regular)
{
    // A source is opened again for another file when what a file was read into is used again.
    close();
    opened_ = {};
    size_ = 0;
    done_ = 0;
    error_ = 0;
    short_ = false;
    // In a folder of many small files each call counts: the listing has looked already.
    struct stat st {};
    if (!listed_regular && ::stat(path.c_str(), &st) != 0) {
        reason = std::strerror(errno);
        return false;
    }
    if (!listed_regular && !S_ISREG(st.st_mode)) {
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

Tfiles_ahead::Tfiles_ahead(const std::vector<std::string> &paths, const std::vector<bool> &listed_regular,
                           std::size_t whole_max)
    : paths_(paths), listed_regular_(listed_regular), whole_max_(whole_max)
{
    try {
        thread_ = std::thread([this] { run(); });
    } catch (const std::system_error &) {
        // No thread: the load opens every file itself.
    }
}

Tfiles_ahead::~Tfiles_ahead()
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    room_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

// What a thread makes of file i, in room when there is one to use again: the file opened and read
// whole, or why it could not be opened; null when it is too large to be read whole or there was not
// enough memory (the load then opens the file itself).
std::unique_ptr<Tfile_ahead> Tfiles_ahead::make(std::size_t i, std::unique_ptr<Tfile_ahead> room) const
{
    std::unique_ptr<Tfile_ahead> made = std::move(room);
    try {
        if (made == nullptr)
            made = std::make_unique<Tfile_ahead>();
        made->opened = false;
        made->reason.clear();
        made->intact = false;
        made->failure.clear();
        if (!paths_[i].empty())
            made->opened =
                made->file.open(paths_[i], made->reason, i < listed_regular_.size() && listed_regular_[i]);
        if (made->opened && made->file.size() > whole_max_) {
            made->file.close();
            return nullptr;
        }
        if (made->opened) {
            made->bytes.resize(static_cast<std::size_t>(made->file.size()));
            std::size_t got = 0;
            while (got < made->bytes.size()) {
                const std::size_t n = made->file.read(made->bytes.data() + got, made->bytes.size() - got);
                if (n == 0)
                    break;
                got += n;
            }
            made->bytes.resize(got);
            made->intact = made->file.intact();
            made->failure = made->file.failure();
        }
        made->file.close(); // here, not on the thread that parses
    } catch (const std::bad_alloc &) {
        made.reset();
    }
    return made;
}

bool Tfiles_ahead::claim(std::size_t &i, std::unique_ptr<Tfile_ahead> &room)
{
    if (next_ >= paths_.size() || next_ >= taken_ + window)
        return false;
    i = next_++;
    if (!spare_.empty()) {
        room = std::move(spare_.back());
        spare_.pop_back();
    }
    return true;
}

bool Tfiles_ahead::resume() const
{
    return stop_ || (next_ < paths_.size() && next_ + window / 2 <= taken_ + window);
}

void Tfiles_ahead::put(std::size_t i, std::unique_ptr<Tfile_ahead> made)
{
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        slots_[i % window] = std::move(made);
        ready_[i % window] = true;
    }
    made_.notify_all();
}

Tfile_ahead *Tfiles_ahead::take(std::size_t i)
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        if (next_ == i) {
            next_ = i + 1; // the thread has not come to it: the load opens it
            return nullptr;
        }
        if (ready_[i % window])
            return slots_[i % window].get();
        // The thread is making file i: a later one is made here meanwhile, so that both threads open
        // files.
        std::size_t later = 0;
        std::unique_ptr<Tfile_ahead> room;
        if (!claim(later, room)) {
            made_.wait(lock, [&] { return ready_[i % window]; });
            continue;
        }
        lock.unlock();
        put(later, make(later, std::move(room)));
        lock.lock();
    }
}

void Tfiles_ahead::done(std::size_t i)
{
    std::unique_ptr<Tfile_ahead> made;
    bool wake = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        made = std::move(slots_[i % window]);
        ready_[i % window] = false;
        taken_ = i + 1;
        wake = waiting_ && resume();
    }
    if (wake)
        room_.notify_one();
    if (made == nullptr)
        return;
    // What the file was made in is used again for a later one: freeing here memory that the other
    // thread took cost more than the file's parse (the two threads' allocators meet on one lock).
    try {
        const std::lock_guard<std::mutex> lock(mutex_);
        spare_.push_back(std::move(made));
    } catch (const std::bad_alloc &) {
        // Without room to keep it, it is freed.
    }
}

void Tfiles_ahead::run()
{
    // The thread's files get a table of their own, so that its opens and closes and the load's do not
    // wait on one lock (a tenth off the calls' time on two threads). It holds only the standard input,
    // output and error to begin with, and no file of the thread outlives the thread's own read of it.
    // Where the system cannot, the table stays shared.
    if (own_file_table)
        ::close_range(3, ~0U, CLOSE_RANGE_UNSHARE);
    for (;;) {
        std::size_t i = 0;
        std::unique_ptr<Tfile_ahead> room;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            if (!stop_ && !claim(i, room)) {
                waiting_ = true;
                room_.wait(lock, [this] { return resume(); });
                waiting_ = false;
                if (!stop_ && !claim(i, room))
                    continue;
            }
            if (stop_)
                return;
        }
        put(i, make(i, std::move(room)));
    }
}
