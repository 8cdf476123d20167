// The threads that parse the lines of a load (Tparse_team): helpers beside the calling thread, which
// take the parts of a run of lines in turn while the calling thread adds the parts that are done to
// the store in their order. Uses only the parsed parts it hands out (Qv_load_internal.h).
#include "Qv_load_internal.h"

using namespace qv_internal;

Tparse_team::~Tparse_team()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    for (std::thread &t : helpers_)
        t.join();
}

bool Tparse_team::run(std::size_t n, const std::function<void(std::size_t)> &work,
                      const std::function<void(std::size_t)> &after, const std::function<void()> &aside)
{
    if (n <= 1) {
        if (n == 1) {
            work(0);
            after(0);
        }
        return false;
    }
    start_helpers();
    {
        std::lock_guard<std::mutex> lock(mutex_);
        aside_ = aside ? &aside : nullptr;
        work_ = &work;
        count_ = n;
        done_.assign(n, 0);
        next_.store(0, std::memory_order_relaxed);
        busy_ = helpers_.size();
        error_ = nullptr;
        ++generation_;
    }
    if (!helpers_.empty())
        wake_.notify_all();
    std::size_t next_after = 0;
    std::exception_ptr after_error;
    while (next_after < n) {
        bool ready = false;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (error_)
                break;
            ready = done_[next_after] != 0;
        }
        if (ready) {
            try {
                after(next_after++);
            } catch (...) {
                // The helpers take nothing more; they are waited for before the error goes on.
                after_error = std::current_exception();
                next_.store(n, std::memory_order_relaxed);
                break;
            }
            continue;
        }
        if (!claim_one()) {
            std::unique_lock<std::mutex> lock(mutex_);
            part_done_.wait(lock, [&] { return done_[next_after] != 0 || error_; });
        }
    }
    std::unique_lock<std::mutex> lock(mutex_);
    finished_.wait(lock, [this] { return busy_ == 0; });
    // Every helper has looked at aside by now: one that did took it.
    const bool aside_taken = aside && aside_ == nullptr;
    work_ = nullptr;
    aside_ = nullptr;
    if (after_error)
        std::rethrow_exception(after_error);
    if (error_)
        std::rethrow_exception(error_);
    return aside_taken;
}

void Tparse_team::start_helpers()
{
    if (started_)
        return;
    started_ = true;
    try {
        helpers_.reserve(wanted_ - 1);
        // A helper waits for the next round: earlier rounds, run without helpers, are over (a helper
        // that took one for its own would read what the next round is still setting up).
        for (std::size_t i = 1; i < wanted_; ++i)
            helpers_.emplace_back([this, seen = generation_] { help(seen); });
    } catch (const std::exception &) {
        // The system gives no more threads (or no memory for them): the ones started do the work.
    }
}

void Tparse_team::help(std::uint64_t seen)
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
        if (stop_)
            return;
        seen = generation_;
        const std::function<void()> *aside = aside_;
        aside_ = nullptr;
        lock.unlock();
        if (aside != nullptr) {
            try {
                (*aside)();
            } catch (...) {
                // Told like an error of the work: the calling thread throws it again.
                std::lock_guard<std::mutex> error_lock(mutex_);
                if (!error_)
                    error_ = std::current_exception();
            }
        }
        while (claim_one()) {
        }
        lock.lock();
        if (--busy_ == 0)
            finished_.notify_one();
    }
}

bool Tparse_team::claim_one()
{
    const std::size_t i = next_.fetch_add(1, std::memory_order_relaxed);
    if (i >= count_)
        return false;
    try {
        (*work_)(i);
    } catch (...) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!error_)
            error_ = std::current_exception();
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        done_[i] = 1;
    }
    part_done_.notify_one();
    return true;
}
