// The load of history files and texts into a store: the lines of a source read block by block
// (stream_lines, Qv_load_lines.h; an exported history's records by stream_export, Qv_load_export.h),
// parsed by the parse team and added to the store in the order of the file, counted and reported as they
// go, with a note on a file whose values are written in another form (Tline_loader), and the public
// loads of a file, of several files and of a text. Uses the sources, the parsed parts, the parse team
// and the problem texts (Qv_load_internal.h), the record's parse and packed texts and the store's
// insides (Qv_file_internal.h).
#include "Qv_load.h"

#include "Bcl.h"
#include "Qv_file_internal.h"
#include "Qv_load_export.h"
#include "Qv_load_internal.h"
#include "Qv_load_lines.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <string_view>
#include <thread>

#include <sys/mman.h>

using namespace qv_internal;

namespace {

constexpr std::size_t default_block_size = std::size_t{1} << 22;
std::size_t block_size_setting = default_block_size;
// The largest file that a load of several files reads whole ahead of its parse.
constexpr std::size_t whole_ahead_max = std::size_t{256} << 10;

std::atomic<std::size_t> load_threads_setting{0};

// Turns each line after the header into a record of the store, counting and reporting as it goes. The
// lines of one block are gathered, parsed on the team's threads, then added to the store and counted
// on the calling thread in their order in the file, so that the first copy of an ID wins as if they
// had been taken one by one.
class Tline_loader {
public:
    Tline_loader(Tqv_records &store, const std::string &name, qv_load_report &report, Tparse_team &team)
        : store_(store), name_(name), report_(report), team_(team), first_problem_(report.problems.size()),
          counts_before_(report.counts), file_(report.files.size())
    {
        report.files.push_back({name, 0, 0, 0, 0, {}, {}});
    }
    ~Tline_loader()
    {
        if (unlisted_ > 0 || unlisted_values_ > 0)
            report_.unlisted.push_back({name_, unlisted_, unlisted_values_});
        qv_load_file &file = report_.files[file_];
        file.lines = report_.counts.lines - counts_before_.lines;
        file.added = report_.counts.added - counts_before_.added;
        file.duplicates = report_.counts.duplicates - counts_before_.duplicates;
        file.problems = unlisted_ + unlisted_values_ +
                        static_cast<std::size_t>(std::count_if(
                            report_.problems.begin() + static_cast<std::ptrdiff_t>(first_problem_),
                            report_.problems.end(),
                            [](const qv_load_problem &p) { return p.kind != qv_problem_kind::file_form; }));
        file.first = first_date_;
        file.last = last_date_;
    }

    // After the file's last line (whole: its text was read to the end): what the whole file shares goes
    // ahead of its line problems. A file none of whose lines after the first holds quoted fields is told
    // once, its lines counted as skipped rather than each reported; most refused values of one form are
    // told once, beside their line problems.
    void finish(bool whole)
    {
        try {
            std::vector<qv_load_problem> ahead;
            if (whole && quoted_ == 0 && unquoted_ > 0) {
                const auto from = report_.problems.begin() + static_cast<std::ptrdiff_t>(first_problem_);
                const auto kept = std::remove_if(from, report_.problems.end(), [](const qv_load_problem &p) {
                    return p.line > 0 && p.message == unquoted_text;
                });
                const auto listed = static_cast<std::size_t>(report_.problems.end() - kept);
                report_.problems.erase(kept, report_.problems.end());
                listed_ -= listed;
                unlisted_ -= unquoted_ - listed;
                report_.counts.reported -= unquoted_;
                report_.counts.skipped += unquoted_;
                ahead.push_back({name_, 0, "not a Quorvex history file: no line holds quoted fields"});
            }
            for (std::string &note : forms_.notes())
                ahead.push_back({name_, 0, std::move(note), qv_problem_kind::file_form});
            report_.problems.insert(report_.problems.begin() + static_cast<std::ptrdiff_t>(first_problem_),
                                    ahead.begin(), ahead.end());
        } catch (const std::bad_alloc &) {
            // Without memory for them the file's own problems are left out; its line problems stand.
        }
    }
    Tline_loader(const Tline_loader &) = delete;
    Tline_loader &operator=(const Tline_loader &) = delete;

    // A line of the current block: its text, or for a line longer than a block its columns (copied here,
    // since the splitter that holds them is reused).
    void operator()(std::string_view line, const qv_line_fields *split, bool stray_cr, int split_result = 1,
                    std::uint32_t more_lines = 0)
    {
        Tbatch_line entry{line,       no_line,    stray_cr, static_cast<std::int8_t>(split_result),
                          more_lines, batch_more_};
        batch_more_ += more_lines;
        if (split != nullptr) {
            if (long_count_ == long_lines_.size())
                long_lines_.push_back(std::make_unique<Tlong_line>());
            Tlong_line &kept = *long_lines_[long_count_];
            kept.fields.clear();
            for (int c = 0; c < qv_column_count; ++c) {
                const std::string_view text = split->field(c);
                if (!text.empty())
                    std::memcpy(kept.text[c], text.data(), text.size());
                kept.fields.slot[c] = std::string_view(kept.text[c], text.size());
            }
            entry.long_line = long_count_++;
        }
        batch_.push_back(entry);
        // A block of very short lines is taken in several runs, so that what is held per line stays small.
        if (batch_.size() >= batch_max)
            flush();
    }

    // Parses the lines gathered and adds them to the store; read_ahead, when given, is called once
    // meanwhile, on a helper when there is one (the next block of the text is read while this one's
    // lines are parsed).
    void flush(const std::function<void()> &read_ahead = {})
    {
        if (batch_.empty()) {
            if (read_ahead)
                read_ahead();
            return;
        }
        const std::size_t n = batch_.size();
        const std::size_t threads = team_.threads();
        // Parts of at least 16 lines, several per thread, so that a thread that is slowed down by other
        // work on the machine holds the others up little.
        const std::size_t parts = threads == 1 ? 1 : std::min<std::size_t>(threads * 8, (n + 15) / 16);
        std::vector<Tparsed_part> &out = team_.parts();
        if (out.size() < parts)
            out.resize(parts);
        const std::size_t first_number = index_ + 1;
        // The bytes of the lines (the views lie in the block in order), to size things by.
        const std::size_t text_bytes =
            long_count_ > 0 ? 0
                            : static_cast<std::size_t>(batch_.back().text.data() + batch_.back().text.size() -
                                                       batch_.front().text.data()) +
                                  1;
        const Tstore_access::Tinside &shared = Tstore_access::impl(store_);
        const std::pair<unsigned char *, std::size_t> pages = shared.next_pages(text_bytes);
        const std::function<void()> aside = [pages, &read_ahead] {
            if (read_ahead)
                read_ahead();
#ifdef MADV_POPULATE_WRITE
            if (pages.second > 0) {
                const auto from = reinterpret_cast<std::uintptr_t>(pages.first) & ~std::uintptr_t{4095};
                ::madvise(reinterpret_cast<void *>(from),
                          reinterpret_cast<std::uintptr_t>(pages.first) + pages.second - from,
                          MADV_POPULATE_WRITE);
            }
#endif
        };
        // Each part joins the store as soon as it is parsed, while the other threads parse the parts after
        // it; the shared texts learn from all of them once no thread reads them any more.
        std::size_t next_line = 0;
        const bool aside_taken = team_.run(
            parts,
            [&](std::size_t part) {
                Tparsed_part &p = out[part];
                p.clear();
                const std::size_t from = n * part / parts;
                const std::size_t to = n * (part + 1) / parts;
                p.lines.reserve(to - from);
                for (std::size_t i = from; i < to; ++i)
                    parse(batch_[i], first_number + i + batch_[i].before, shared, p);
            },
            [&](std::size_t part) {
                const Tparsed_part &p = out[part];
                // The index's place of a record a few lines ahead is fetched while this one is added.
                constexpr std::size_t ahead = 8;
                for (std::size_t k = 0; k < p.lines.size(); ++k) {
                    if (k + ahead < p.lines.size() && p.lines[k + ahead].kind == Tline_kind::record)
                        Tstore_access::fetch_place(store_, p.lines[k + ahead].hash);
                    add(batch_[next_line++], p.lines[k], p);
                }
                forms_.add(p.forms);
            },
            aside);
        if (!aside_taken && read_ahead)
            read_ahead();
        for (std::size_t part = 0; part < parts; ++part)
            learn(out[part]);
        batch_.clear();
        batch_more_ = 0;
        long_count_ = 0;
    }

    void zero_byte_at(std::size_t line, std::string_view head)
    {
        if (line == no_line)
            return;
        // Nothing of a file whose first line holds a zero byte is text.
        if (line == 0)
            file_problem(looks_utf16(head) ? "UTF-16 text: save the file as UTF-8 or ANSI"
                                           : "not a text file");
        else
            line_problem(line + 1, "the file holds a zero byte here; the rest of the file was not read");
    }
    void file_problem(std::string message)
    {
        report_.problems.push_back({name_, 0, std::move(message)});
    }
    std::size_t lines() const
    {
        return index_;
    }

private:
    static constexpr std::size_t batch_max = 32768;
    static constexpr const char *unquoted_text = "not a history line: its fields are not quoted";
    // Why a record of an exported history was refused, by its split result (export_refused - result).
    static constexpr int export_refused = -3;
    static constexpr const char *export_problems[] = {
        "not an exported history line: it does not hold 42 fields",
        "not an exported history line: a quote stands inside a field",
        "not an exported history line: a quoted field is not closed at the end of the file",
    };
    struct Tbatch_line {
        std::string_view text;
        std::size_t long_line; // its columns in long_lines_, or no_line
        bool stray_cr;
        std::int8_t long_split;   // a long line's split result, or why an exported record was refused
        std::uint32_t more = 0;   // the further lines of the file the record spans (an export's quoted
                                  // line ends)
        std::uint32_t before = 0; // the further lines spanned by the batch's records before this one
    };
    struct Tlong_line {
        char text[qv_column_count][qv_column_max];
        qv_line_fields fields;
    };

    // Parses one line into p: on any thread, reading the store's shared texts only.
    void parse(const Tbatch_line &line, std::size_t number, const Tstore_access::Tinside &shared,
               Tparsed_part &p) const
    {
        Tparsed_line out;
        qv_line_fields &fields = p.fields;
        if (line.long_line != no_line) {
            fields = long_lines_[line.long_line]->fields;
        } else {
            qv_line_split(line.text, fields);
        }
        if (line.long_line != no_line && line.long_split <= export_refused && number != 1) {
            out.kind = Tline_kind::problem;
            out.message = static_cast<std::uint32_t>(p.messages.size());
            p.messages.emplace_back(export_problems[export_refused - line.long_split]);
            p.lines.push_back(out); // with no ID, so never taken for a copy of a stored record
            return;
        }
        const std::string_view id = fields.field(11);
        if (number == 1) {
            // The header is counted apart, and never loaded; a transaction in its place is told.
            qv_date date;
            if (!id.empty() && qv_date_parse(date, fields.field(0)) > 0) {
                out.kind = Tline_kind::problem;
                out.message = static_cast<std::uint32_t>(p.messages.size());
                p.messages.emplace_back("line 1 is a transaction, not the header line; it was not loaded");
            }
            p.lines.push_back(out);
            return;
        }
        if (id.empty()) {
            const bool blank = line.long_line != no_line ? line.long_split == -1 : line.text.empty();
            const bool unquoted =
                line.long_line != no_line ? line.long_split == -2 : !line.text.empty() && line.text[0] != '"';
            out.kind = blank ? Tline_kind::skipped : unquoted ? Tline_kind::unquoted : Tline_kind::no_id;
            p.lines.push_back(out);
            return;
        }
        out.hash = qv_key_hash(id);
        Tqv_numbers numbers;
        Tline_texts texts;
        unsigned unread = 0;
        try {
            unread = read_columns(numbers, texts, fields);
        } catch (const Ebcl_conversion_error &e) {
            qv_date date;
            tally_forms(fields, number, true, qv_date_parse(date, fields.field(0)) < 0, p.forms);
            out.kind = Tline_kind::problem;
            out.message = static_cast<std::uint32_t>(p.messages.size());
            p.messages.push_back(number_problem(fields, e));
            p.bytes.reserve_more(id.size());
            out.at = static_cast<std::uint32_t>(p.bytes.size());
            out.size = static_cast<std::uint32_t>(id.size());
            std::memcpy(p.bytes.data() + p.bytes.size(), id.data(), id.size());
            p.bytes.grow(id.size());
            p.lines.push_back(out);
            return;
        }
        tally_forms(fields, number, false, (unread & unread_date) != 0, p.forms);
        if (unread != 0) {
            out.unread = static_cast<std::uint8_t>(unread);
            out.message = static_cast<std::uint32_t>(p.messages.size());
            value_problems(fields, unread, p.messages);
        }
        p.bytes.reserve_more(sizeof(Tqv_numbers) + block_max);
        unsigned char *const base = p.bytes.data();
        unsigned char *const at = base + p.bytes.size();
        std::memcpy(at, &numbers, sizeof numbers);
        // The lookups of a line's texts are begun together, so that their waits for memory overlap:
        // each text's first place in its field's table. (Asking for the shared texts the places name as
        // well made a load on one thread slower: it waits on the place to learn what to ask for.)
        std::array<std::uint64_t, qv_text_field_count> hashes;
        for (int f = 0; f < qv_text_field_count; ++f) {
            const std::string_view text = texts.text[f];
            if (shared.index[f].on && !text.empty()) {
                hashes[f] = text_hash(text.substr(0, qv_column_max));
                shared.shared_fetch_place(static_cast<qv_text_field>(f), hashes[f]);
            }
        }
        const auto share = [&](qv_text_field f, std::string_view text) {
            if (!shared.index[f].on)
                return -1;
            const int found = shared.shared_find(f, text, hashes[f]);
            if (found >= 0)
                ++p.shared_hits[f];
            return found;
        };
        const auto placed = [&](qv_text_field f, const unsigned char *length_byte) {
            if (shared.index[f].on && !shared.index[f].full)
                p.fresh.emplace_back(f, static_cast<std::uint32_t>(length_byte - base));
        };
        out.kind = Tline_kind::record;
        out.at = static_cast<std::uint32_t>(p.bytes.size());
        out.size = static_cast<std::uint32_t>(
            write_block(texts.text.data(), at + sizeof(Tqv_numbers), share, placed));
        p.bytes.grow(sizeof(Tqv_numbers) + out.size);
        p.lines.push_back(out);
    }

    // Counts one parsed line and adds its record, on the calling thread, in file order.
    void add(const Tbatch_line &line, const Tparsed_line &parsed, const Tparsed_part &p)
    {
        const std::size_t number = ++index_;
        index_ += line.more;
        qv_load_counts &counts = report_.counts;
        ++counts.lines;
        if (line.stray_cr)
            line_problem(number, "a carriage return ends this line early; the text after it was not read");
        if (number == 1) {
            ++counts.header;
            if (parsed.kind == Tline_kind::problem)
                line_problem(number, p.messages[parsed.message]);
            return;
        }
        if (parsed.kind != Tline_kind::skipped && parsed.kind != Tline_kind::unquoted)
            ++quoted_;
        const unsigned char *const at = p.bytes.data() + parsed.at;
        switch (parsed.kind) {
        case Tline_kind::skipped:
            ++counts.skipped;
            break;
        case Tline_kind::unquoted:
            line_problem(number, unquoted_text);
            ++counts.reported;
            ++unquoted_;
            break;
        case Tline_kind::no_id:
            line_problem(number, "no transaction ID");
            ++counts.reported;
            break;
        case Tline_kind::problem:
            if (store_.find(std::string_view(reinterpret_cast<const char *>(at), parsed.size), parsed.hash) !=
                nullptr) {
                ++counts.duplicates;
            } else {
                line_problem(number, p.messages[parsed.message]);
                ++counts.reported;
            }
            break;
        case Tline_kind::record: {
            Tqv_numbers numbers;
            std::memcpy(&numbers, at, sizeof numbers);
            const unsigned char *const block = at + sizeof(Tqv_numbers);
            const std::string_view id = block_text(block, qv_f_trans_id);
            held_date(numbers.date);
            if (Tstore_access::insert(store_, id, parsed.hash, numbers, block, parsed.size, 0) == nullptr) {
                ++counts.duplicates;
                break;
            }
            ++counts.added;
            // The values the record was loaded without (a copy that is not stored changes nothing).
            for (unsigned flags = parsed.unread, k = 0; flags != 0; flags &= flags - 1, ++k) {
                line_problem(number, p.messages[parsed.message + k], qv_problem_kind::value_left_out);
                ++counts.value_problems;
            }
            break;
        }
        }
    }

    // Learns the texts of a part that were not shared yet, so that later blocks share them.
    void learn(const Tparsed_part &p)
    {
        Tstore_access::Tinside &shared = Tstore_access::impl(store_);
        for (int f = 0; f < qv_text_field_count; ++f)
            shared.index[f].seen += p.shared_hits[f];
        for (const auto &[f, place] : p.fresh) {
            const unsigned char *const length_byte = p.bytes.data() + place;
            shared.learn(f, std::string_view(reinterpret_cast<const char *>(length_byte + 1), *length_byte));
        }
    }

    // The first and last date of the file's transactions, added or already loaded.
    void held_date(const qv_date &date)
    {
        if (!qv_date_is_valid(date))
            return;
        if (!qv_date_is_valid(first_date_) || qv_date_key(date) < qv_date_key(first_date_))
            first_date_ = date;
        if (!qv_date_is_valid(last_date_) || qv_date_key(date) > qv_date_key(last_date_))
            last_date_ = date;
    }

    void line_problem(std::size_t line, std::string message,
                      qv_problem_kind kind = qv_problem_kind::not_loaded)
    {
        if (listed_ < qv_problems_per_file) {
            report_.problems.push_back({name_, line, std::move(message), kind});
            ++listed_;
        } else if (kind == qv_problem_kind::value_left_out) {
            ++unlisted_values_;
        } else {
            ++unlisted_;
        }
    }

    Tqv_records &store_;
    const std::string &name_;
    qv_load_report &report_;
    Tparse_team &team_;
    std::vector<Tbatch_line> batch_;
    std::vector<std::unique_ptr<Tlong_line>> long_lines_;
    std::size_t long_count_ = 0;
    std::uint32_t batch_more_ = 0; // the further lines spanned by the batch's records so far
    std::size_t index_ = 0;
    std::size_t listed_ = 0;
    std::size_t unlisted_ = 0;
    std::size_t unlisted_values_ = 0;
    const std::size_t first_problem_; // where the file's problems begin in the report
    Tform_tally forms_;
    std::size_t quoted_ = 0;   // lines after the first that begin with a double quote
    std::size_t unquoted_ = 0; // lines after the first that are not blank and begin otherwise
    const qv_load_counts counts_before_;
    const std::size_t file_; // the file's figures in the report
    qv_date first_date_;
    qv_date last_date_;
};

// Where a load of several files stands, and the threads that parse its lines.
struct Tload_place {
    Tparse_team &team;
    std::size_t file_number = 1;
    std::size_t file_count = 1;
};

// Loads one source under name; false when the load was cancelled.
bool load_source(Tqv_records &store, Tsource &source, const std::string &name, qv_load_report &report,
                 const qv_load_progress &progress, const Tload_place &place)
{
    Tline_loader loader(store, name, report, place.team);
    bool whole = false;
    bool cancelled = false;
    try {
        const auto ask = [&](std::uint64_t bytes) {
            return !progress ||
                   progress({name, bytes, source.size(), store.count(), place.file_number, place.file_count});
        };
        if (!ask(0)) {
            loader.file_problem("not read: the load was cancelled");
            return false;
        }
        // The first line tells an exported history from a history file: a text in memory is looked at
        // where it lies, a file's first bytes are read and then given again to the stream.
        constexpr std::size_t head_max = 4096;
        std::string read_head;
        std::string_view head;
        if (const std::optional<std::string_view> text = source.in_memory()) {
            head = text->substr(0, head_max);
        } else {
            read_head.resize(static_cast<std::size_t>(std::min<std::uint64_t>(source.size(), head_max)));
            std::size_t got = 0;
            while (got < read_head.size() && std::memchr(read_head.data(), '\n', got) == nullptr) {
                const std::size_t n = source.read(read_head.data() + got, read_head.size() - got);
                if (n == 0)
                    break;
                got += n;
            }
            read_head.resize(got);
            head = read_head;
        }
        Treplay_source replay(source, read_head);
        const Tstream_end end =
            export_header(head) ? stream_export(replay, loader, ask) : stream_lines(replay, loader, ask);
        if (end.cancelled) {
            loader.file_problem("not fully read: the load was cancelled after line " +
                                std::to_string(loader.lines()));
            cancelled = true;
        } else {
            loader.zero_byte_at(end.zero_line, end.head);
            std::string failure = source.failure();
            whole = end.zero_line == no_line && failure.empty();
            if (!failure.empty())
                loader.file_problem(std::move(failure));
            else if (!source.intact())
                loader.file_problem("changed while it was being read");
        }
    } catch (const std::bad_alloc &) {
        loader.file_problem("not enough memory to load this file; it was read up to line " +
                            std::to_string(loader.lines()));
    }
    loader.finish(whole);
    return !cancelled;
}

// Loads the file at path, or what another thread made of it when ahead is not null.
bool load_file(Tqv_records &store, const std::string &path, qv_load_report &report,
               const qv_load_progress &progress, const Tload_place &place, Tfile_ahead *ahead = nullptr,
               bool listed_regular = false)
{
    if (path.empty())
        return true;
    ++report.counts.files;
    Tfile_source own;
    std::string reason;
    if (ahead != nullptr ? !ahead->opened : !own.open(path, reason, listed_regular)) {
        report.problems.push_back({path, 0, ahead != nullptr ? ahead->reason : reason});
        report.files.push_back({path, 0, 0, 0, 1, {}, {}});
        return true;
    }
    if (ahead != nullptr) {
        Tahead_source text(*ahead);
        return load_source(store, text, path, report, progress, place);
    }
    return load_source(store, own, path, report, progress, place);
}

} // namespace

void qv_load_set_threads(std::size_t threads)
{
    load_threads_setting.store(threads);
}

std::size_t qv_load_threads()
{
    const std::size_t setting = load_threads_setting.load();
    if (setting > 0)
        return setting;
    return std::max<std::size_t>(std::thread::hardware_concurrency(), 1);
}

void qv_load_set_block_size(std::size_t bytes)
{
    block_size_setting = bytes == 0 ? default_block_size : std::max<std::size_t>(bytes, 64);
}

std::size_t qv_internal::stream_block_size(const Tsource &source)
{
    return static_cast<std::size_t>(std::clamp<std::uint64_t>(source.size() + 1, 64, block_size_setting));
}

void qv_load_history_file(Tqv_records &store, const std::string &path, qv_load_report &report,
                          const qv_load_progress &progress)
{
    Tparse_team team(qv_load_threads());
    if (!load_file(store, path, report, progress, {team}))
        report.cancelled = true;
}

void qv_load_history_files(Tqv_records &store, const std::vector<std::string> &paths, qv_load_report &report,
                           const qv_load_progress &progress)
{
    qv_internal::load_listed_files(store, paths, {}, report, progress);
}

void qv_internal::load_listed_files(Tqv_records &store, const std::vector<std::string> &paths,
                                    const std::vector<bool> &listed_regular, qv_load_report &report,
                                    const qv_load_progress &progress)
{
    Tparse_team team(qv_load_threads());
    // In a folder of many small files most of the time goes into opening and reading them: another
    // thread does it ahead of the parse, the small ones whole.
    std::unique_ptr<Tfiles_ahead> ahead;
    if (paths.size() > 1 && qv_load_threads() > 1)
        ahead = std::make_unique<Tfiles_ahead>(paths, listed_regular,
                                               std::min(block_size_setting, whole_ahead_max));
    for (std::size_t i = 0; i < paths.size(); ++i) {
        Tfile_ahead *const made = ahead != nullptr ? ahead->take(i) : nullptr;
        const bool regular = i < listed_regular.size() && listed_regular[i];
        const bool went_on =
            load_file(store, paths[i], report, progress, {team, i + 1, paths.size()}, made, regular);
        if (ahead != nullptr)
            ahead->done(i);
        if (!went_on) {
            report.cancelled = true;
            for (std::size_t rest = i + 1; rest < paths.size(); ++rest) {
                if (!paths[rest].empty()) {
                    report.problems.push_back({paths[rest], 0, "not read: the load was cancelled"});
                    report.files.push_back({paths[rest], 0, 0, 0, 1, {}, {}});
                }
            }
            return;
        }
    }
}

void qv_load_history_text(Tqv_records &store, std::string_view bytes, const std::string &name,
                          qv_load_report &report, const qv_load_progress &progress)
{
    ++report.counts.files;
    Tmemory_source source(bytes);
    Tparse_team team(qv_load_threads());
    if (!load_source(store, source, name, report, progress, {team}))
        report.cancelled = true;
}
