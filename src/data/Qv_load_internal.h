// The pieces of a load that its files share, and nothing outside the data layer includes: the sources
// a load reads from (Qv_source.cpp), what the parse makes of a run of lines, the threads that parse
// them (Qv_parse_team.cpp), and the texts of a load's problems (Qv_problems.cpp). The load itself,
// which puts them together, is in Qv_load.cpp. Standard library only.
#pragma once

#include "Qv_load.h"
#include "Qv_record.h"

#include "Bcl.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include <sys/stat.h>

namespace qv_internal {

// ---- Sources --------------------------------------------------------------------------------------

// What a load reads from: a file or bytes in memory.
class Tsource {
public:
    virtual ~Tsource() = default;
    // Up to room bytes; 0 at the end, which comes after size() bytes at the latest.
    virtual std::size_t read(char *dest, std::size_t room) = 0;
    // The size the text had when its load began.
    virtual std::uint64_t size() const = 0;
    // Whether the bytes read are the whole text as it was when its load began.
    virtual bool intact() { return true; }
    // Why the text could not be read to its end, or nothing.
    virtual std::string failure() const { return {}; }
    // The rest of the text when it is in memory already, as read() would give it; reading or
    // passing over it changes what it views.
    virtual std::optional<std::string_view> in_memory() const { return std::nullopt; }
    // Passes over the next n bytes as a read of them would.
    virtual void skip(std::size_t n)
    {
        char scratch[4096];
        while (n > 0) {
            const std::size_t got = read(scratch, std::min(n, sizeof scratch));
            if (got == 0)
                break;
            n -= got;
        }
    }
};

class Tmemory_source : public Tsource {
public:
    explicit Tmemory_source(std::string_view bytes) : bytes_(bytes), size_(bytes.size()) {}
    std::size_t read(char *dest, std::size_t room) override
    {
        const std::size_t n = std::min(room, bytes_.size());
        if (n > 0)
            std::memcpy(dest, bytes_.data(), n);
        bytes_.remove_prefix(n);
        return n;
    }
    std::uint64_t size() const override { return size_; }
    std::optional<std::string_view> in_memory() const override { return bytes_; }
    void skip(std::size_t n) override { bytes_.remove_prefix(std::min(n, bytes_.size())); }

private:
    std::string_view bytes_;
    std::uint64_t size_;
};

// A regular file, read up to the size it had when it was opened. It is looked at before it is opened,
// and opened without waiting, so that a pipe, a device or a socket never blocks the load.
class Tfile_source : public Tsource {
public:
    ~Tfile_source() override;
    // Opens path; on failure returns false with the reason. When the folder's listing found a regular
    // file under path (listed_regular), the look before the open is left out: the look after it still
    // refuses anything else.
    bool open(const std::string &path, std::string &reason, bool listed_regular = false);
    std::size_t read(char *dest, std::size_t room) override;
    std::uint64_t size() const override { return size_; }
    bool intact() override;
    std::string failure() const override;
    // Closes the file once it is read; size() stays.
    void close();

private:
    int fd_ = -1;
    struct stat opened_ {};
    std::uint64_t size_ = 0;
    std::uint64_t done_ = 0;
    int error_ = 0;
    bool short_ = false;
};

// A small file of a load that another thread opened and read whole ahead of the load: in a folder of
// many small files, opening and reading them costs more than their parse.
struct Tfile_ahead {
    Tfile_source file; // closed once read; its size stays
    bool opened = false;
    std::string reason; // why it could not be opened
    std::string bytes;
    bool intact = false;
    std::string failure;
};

// The text of a file read whole ahead, as the file's source would give it: its bytes from memory, the
// size, the look after the read and any read error as the file gave them.
class Tahead_source : public Tmemory_source {
public:
    explicit Tahead_source(const Tfile_ahead &ahead) : Tmemory_source(ahead.bytes), ahead_(ahead) {}
    std::uint64_t size() const override { return ahead_.file.size(); }
    bool intact() override { return ahead_.intact; }
    std::string failure() const override { return ahead_.failure; }

private:
    const Tfile_ahead &ahead_;
};

// Opens the files of a load on a thread of its own, ahead of the load and at most a window of files
// ahead, and reads whole those of at most whole_max bytes; a larger one is closed again and left to
// the load, so that no file the thread opened outlives its read there. The load takes the files in
// order: take(i) gives what the thread made of file i, or null when the thread had not come to it yet
// or left it to the load (the caller then opens it itself, and the thread passes it over, so that
// both open files at once); done(i) gives its room back. Without a thread of its own, take() is
// always null.
class Tfiles_ahead {
public:
    // listed_regular is empty or says for each path whether the folder's listing found a regular file
    // under it.
    Tfiles_ahead(const std::vector<std::string> &paths, const std::vector<bool> &listed_regular,
                 std::size_t whole_max);
    ~Tfiles_ahead();
    Tfiles_ahead(const Tfiles_ahead &) = delete;
    Tfiles_ahead &operator=(const Tfiles_ahead &) = delete;
    Tfile_ahead *take(std::size_t i);
    void done(std::size_t i);

private:
    static constexpr std::size_t window = 32;
    void run();
    std::unique_ptr<Tfile_ahead> make(std::size_t i, std::unique_ptr<Tfile_ahead> room) const;
    // Under mutex_: claims the next file to make, if there is room for it, with a spare to make it in
    // when there is one.
    bool claim(std::size_t &i, std::unique_ptr<Tfile_ahead> &room);
    // Under mutex_: whether the thread, waiting for room, is to go on (or stop).
    bool resume() const;
    void put(std::size_t i, std::unique_ptr<Tfile_ahead> made);

    const std::vector<std::string> &paths_;
    const std::vector<bool> &listed_regular_;
    const std::size_t whole_max_;
    std::mutex mutex_;
    // The load waits on made_ for a file; the thread on room_, and is woken only once half the window
    // is free again: a wake-up for every file the load is done with cost the load more than the file.
    std::condition_variable made_;
    std::condition_variable room_;
    bool waiting_ = false; // under mutex_: the thread waits on room_
    // Under mutex_: file i's place is i % window; ready_ once the thread has made it (null when it could
    // not: the load opens the file itself).
    std::array<std::unique_ptr<Tfile_ahead>, window> slots_;
    std::array<bool, window> ready_{};
    std::vector<std::unique_ptr<Tfile_ahead>> spare_; // what files were made in, to use again
    std::size_t next_ = 0;  // the first file that neither the thread nor the load has claimed
    std::size_t taken_ = 0; // the files the load is done with
    bool stop_ = false;
    std::thread thread_;
};

// Loads the files in order as qv_load_history_files does; listed_regular is empty or says for each
// path whether the folder's listing found a regular file under it, so that it needs no look of its own
// before it is opened.
void load_listed_files(Tqv_records &store, const std::vector<std::string> &paths,
                       const std::vector<bool> &listed_regular, qv_load_report &report,
                       const qv_load_progress &progress);

// The ".csv" entries of folder as qv_history_files gives them, and whether the listing gave each as a
// regular file.
std::vector<std::string> list_history_files(const std::string &folder, std::string *error,
                                            std::vector<bool> &listed_regular);

// ---- Streams --------------------------------------------------------------------------------------

constexpr std::size_t no_line = static_cast<std::size_t>(-1);

// How a source's text ended, when it was read block by block.
struct Tstream_end {
    std::size_t zero_line = no_line; // 0-based line of a zero byte that ended the text before its end
    bool cancelled = false;
    std::string head; // the first bytes of the text, to tell what a text that is none is
};

// The size of the blocks a source is read in: the load's block size, or less for a smaller text.
std::size_t stream_block_size(const Tsource &source);

// ---- Problems -------------------------------------------------------------------------------------

// Why qv_record_parse refused the fields: the first number column that is not a number, by its caption,
// with its text as the file holds it.
std::string number_problem(const qv_line_fields &fields, const Ebcl_conversion_error &error);

// Why "Date: '...' is not a valid date" and "Time: ..." for the values read_columns left out (its unread
// flags), in the order of the flags.
void value_problems(const qv_line_fields &fields, unsigned unread, std::vector<std::string> &out);

// The forms of refused values that a whole file may share: another program's or country's way of
// writing amounts and dates.
enum Tvalue_form : std::uint8_t { form_decimal_comma, form_currency_sign, form_day_first, form_count };

// How the amounts and dates of a run of lines are written: how many there are, and how many were
// refused in each form, with the first of them.
struct Tform_tally {
    struct Tsample {
        std::size_t line = 0;
        std::string text;
    };
    std::size_t amounts = 0; // non-empty amount texts
    std::size_t dates = 0;   // non-empty date texts
    std::array<std::size_t, form_count> refused{};
    std::array<Tsample, form_count> first{};

    void clear() { *this = Tform_tally(); }
    // Adds the tally of the lines that follow.
    void add(const Tform_tally &later);
    // A note for each form that most amounts or dates have, as the message of a file problem.
    std::vector<std::string> notes() const;
};

// Counts the amounts and date of one line with a transaction ID, and the form of those refused.
void tally_forms(const qv_line_fields &fields, std::size_t line, bool amounts_refused, bool date_refused,
                 Tform_tally &tally);

// Whether the first bytes of a file look like UTF-16 text: a byte-order mark, or ASCII characters each
// with a zero byte beside it.
bool looks_utf16(std::string_view head);

// ---- Parsed lines ---------------------------------------------------------------------------------

// A growing buffer of bytes that keeps its room from one run of lines to the next.
class Tbytes {
public:
    unsigned char *data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }
    void clear() { size_ = 0; }
    // Room for n more bytes at data() + size().
    void reserve_more(std::size_t n)
    {
        if (capacity_ - size_ >= n)
            return;
        const std::size_t capacity = std::max(capacity_ * 2, size_ + n + (std::size_t{1} << 16));
        std::unique_ptr<unsigned char[]> bigger(new unsigned char[capacity]);
        if (size_ > 0)
            std::memcpy(bigger.get(), bytes_.get(), size_);
        bytes_ = std::move(bigger);
        capacity_ = capacity;
    }
    void grow(std::size_t n) { size_ += n; }

private:
    std::unique_ptr<unsigned char[]> bytes_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// What the parse made of one line.
// skipped: a blank line; unquoted: a line that does not begin with a double quote; no_id: one that does
// but holds no transaction ID.
enum class Tline_kind : std::uint8_t { skipped, record, problem, unquoted, no_id };
struct Tparsed_line {
    std::uint64_t hash = 0;    // the ID's qv_key_hash
    std::uint32_t at = 0;      // in the part's bytes: a record's numbers and block, or a problem line's ID
    std::uint32_t size = 0;    // the block's size, or the ID's
    std::uint32_t message = 0; // a problem's place in the part's messages, or a record's first value problem
    Tline_kind kind = Tline_kind::skipped;
    std::uint8_t unread = 0; // a record's values left out (read_columns), one message each
};

// The parse of a run of consecutive lines.
struct Tparsed_part {
    std::vector<Tparsed_line> lines;
    Tbytes bytes;
    std::vector<std::string> messages;
    // Texts of fields that the store shares which were not shared yet: the field and the place of the
    // text's length byte in bytes.
    std::vector<std::pair<qv_text_field, std::uint32_t>> fresh;
    std::array<std::uint32_t, qv_text_field_count> shared_hits{};
    Tform_tally forms;
    qv_line_fields fields; // the columns of the line being parsed

    void clear()
    {
        lines.clear();
        bytes.clear();
        messages.clear();
        fresh.clear();
        shared_hits.fill(0);
        forms.clear();
    }
};

// ---- The parse team -------------------------------------------------------------------------------

// The threads that parse the lines of a load: helpers beside the calling thread, started when a run of
// lines is long enough to share and ended when the load returns.
class Tparse_team {
public:
    explicit Tparse_team(std::size_t threads) : wanted_(std::max<std::size_t>(threads, 1)) {}
    ~Tparse_team();
    Tparse_team(const Tparse_team &) = delete;
    Tparse_team &operator=(const Tparse_team &) = delete;

    std::size_t threads() const { return wanted_; }
    std::vector<Tparsed_part> &parts() { return parts_; }

    // Calls work(i) for every i in [0, n), on the helpers and on the calling thread, and after(i) on the
    // calling thread for each i in turn as soon as work(i) is done, while the others work on; returns
    // when all are done. An exception of work(i) or aside stops the calls of after at i and is thrown
    // again here. A helper first calls aside(), if there is a helper: returns whether one did. A single
    // part is worked on the calling thread alone (waking a helper for it costs more than it saves),
    // and aside is left to the caller.
    bool run(std::size_t n, const std::function<void(std::size_t)> &work,
             const std::function<void(std::size_t)> &after, const std::function<void()> &aside);

private:
    void start_helpers();
    void help(std::uint64_t seen);
    // Does the next item nobody took yet; false when there is none.
    bool claim_one();

    const std::size_t wanted_;
    bool started_ = false;
    std::vector<std::thread> helpers_;
    std::vector<Tparsed_part> parts_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable part_done_;
    std::condition_variable finished_;
    std::vector<std::uint8_t> done_; // per item, once its work is over
    std::uint64_t generation_ = 0;
    bool stop_ = false;
    const std::function<void(std::size_t)> *work_ = nullptr;
    const std::function<void()> *aside_ = nullptr;
    std::size_t count_ = 0;
    std::atomic<std::size_t> next_{0};
    std::size_t busy_ = 0;
    std::exception_ptr error_;
};

} // namespace qv_internal
