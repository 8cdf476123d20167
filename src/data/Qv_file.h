// Transaction data: the history file reader, the transaction record, the record store, the loaders
// and the plain computations behind search and reports. Standard library only: the windows use this
// unit, it never uses them.
//
// A history file is read whole into one buffer (qv_file_read or qv_file_set_text), cut into lines in
// place (qv_file_split_lines), each line cut into 42 column texts (qv_line_split) and turned into a
// Tqv_record (qv_record_parse). The store Tqv_records keeps one record per transaction ID, ignoring
// letter case, the first loaded copy winning, and hands them out in ascending ID order.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

// ---- Value types ----------------------------------------------------------------------------------

// year, month, day; all zero means no date. Month and day keep the low 8 bits of what was read.
struct qv_date {
    std::uint16_t year = 0;
    std::uint16_t month = 0;
    std::uint16_t day = 0;
    friend bool operator==(const qv_date &, const qv_date &) = default;
};

struct qv_time {
    std::uint8_t hour = 0;
    std::uint8_t minute = 0;
    std::uint8_t second = 0;
    friend bool operator==(const qv_time &, const qv_time &) = default;
};

// A signed count of hundredths of the currency unit. 64 bits, so that large balances load.
using amount = std::int64_t;

// ---- Reader ---------------------------------------------------------------------------------------

constexpr int qv_column_count = 42;
constexpr int qv_column_max = 127; // characters kept of one column text

// The column texts of one line: 42 slots of at most 127 characters, viewing the line's text (which
// must outlive them).
struct qv_line_fields {
    std::string_view slot[qv_column_count];

    // Empties every slot.
    void clear()
    {
        for (std::string_view &s : slot)
            s = {};
    }
    std::string_view field(int column) const { return slot[column]; }
};

// One line of the file text buffer: its text without the line end.
struct Tqv_line {
    std::string_view text;
};
using Tqv_lines = std::vector<Tqv_line>;

// Reads the whole file into the module-wide file text buffer. Returns false, leaving the buffer absent,
// when the file cannot be opened or read; error then holds the system's reason. An empty file gives
// true and an absent buffer. The file is opened read-only.
bool qv_file_read(const std::string &path, std::string *error = nullptr);
// Fills the file text buffer from memory, as qv_file_read would from a file of these bytes.
void qv_file_set_text(std::string_view bytes);
// Appends every line of the file text buffer. The text ends at the first zero byte; a LF ends a line;
// a CR ends the line's text (the rest up to the LF is not part of it).
void qv_file_split_lines(Tqv_lines &lines);
// Splits one line into the slots. 1 when split, -1 for an empty line, -2 when it does not begin with a
// double quote (nothing filled).
int qv_line_split(std::string_view line, qv_line_fields &fields);

// Splits a line that comes in pieces exactly as qv_line_split splits it whole, keeping no more of it
// than the slots hold, so that a line of any length costs the same memory: begin(), feed() the pieces
// of the line's text in order, then finish(), which fills the slots as qv_line_split would and returns
// its result. The slots view the splitter, which must outlive them.
class Tqv_line_splitter {
public:
    void begin();
    void feed(std::string_view piece);
    int finish(qv_line_fields &fields) const;

private:
    enum class Tstate : std::uint8_t { start, field, after_comma, done };
    void append(char c);

    char text_[qv_column_count][qv_column_max];
    std::uint8_t length_[qv_column_count] = {};
    int slot_ = 0;   // the field being read
    int closed_ = 0; // fields closed by a quote-comma pair
    Tstate state_ = Tstate::start;
    bool quote_ = false; // the field's last byte so far is a quote, which may close it
    int result_ = -1;
};
void qv_file_free_lines(Tqv_lines &lines);
void qv_file_release();

// Where the text of the buffer was cut short, for the loader's report: the 0-based line index and what
// was lost. A zero byte ends the whole text; a CR not followed by LF ends its line's text early.
struct qv_text_cut {
    std::size_t line;
    bool zero_byte; // else a stray CR
};
// The cuts found by the last qv_file_split_lines.
const std::vector<qv_text_cut> &qv_file_cuts();

// ---- Record ---------------------------------------------------------------------------------------

// The text fields of a record, in declared order.
enum qv_text_field : std::uint8_t {
    qv_f_time_zone,
    qv_f_name,
    qv_f_status_note,
    qv_f_status,
    qv_f_from_email,
    qv_f_to_email,
    qv_f_trans_id,
    qv_f_name_note,
    qv_f_address_note,
    qv_f_item_title,
    qv_f_item_id,
    qv_f_column17,
    qv_f_column19,
    qv_f_column20,
    qv_f_column21,
    qv_f_column22,
    qv_f_column23,
    qv_f_buyer_id,
    qv_f_column25,
    qv_f_column26,
    qv_f_column27,
    qv_f_column28,
    qv_f_ref_trans_id,
    qv_f_column30,
    qv_f_column31,
    qv_f_column33,
    qv_f_address1,
    qv_f_address2,
    qv_f_city,
    qv_f_province,
    qv_f_zip_code,
    qv_f_country,
    qv_f_phone,
    qv_text_field_count
};

// The fields of one transaction. Numbers are plain members; the texts are packed into one block of
// bytes, read through the method of the field's name. A record made by itself owns its block; a record
// of a store lives in the store's memory, where texts that many records share are held once. Texts are
// bytes as the file holds them (at most 127 each); from_email and to_email have their ASCII capitals
// made small. A view of a text stays valid as long as the record (for a record of a store: the store).
class Tqv_record {
public:
    Tqv_record() = default;
    Tqv_record(const Tqv_record &other);
    Tqv_record &operator=(const Tqv_record &other);
    Tqv_record(Tqv_record &&other) noexcept;
    Tqv_record &operator=(Tqv_record &&other) noexcept;
    ~Tqv_record();

    qv_date date;
    qv_time time;

private:
    bool owned_ = false; // texts_ was allocated for this record alone

public:
    std::int32_t quantity = 0;
    amount gross = 0;
    amount fee = 0;
    amount net = 0;
    amount shipping = 0;
    amount sales_tax = 0;
    amount balance = 0;

    std::string_view text(qv_text_field f) const;
    // Replaces all text fields at once (one allocation).
    void set_texts(const std::array<std::string_view, qv_text_field_count> &texts);
    // Empties every field.
    void clear();

    std::string_view time_zone() const { return text(qv_f_time_zone); }
    std::string_view name() const { return text(qv_f_name); }
    std::string_view status_note() const { return text(qv_f_status_note); }
    std::string_view status() const { return text(qv_f_status); }
    std::string_view from_email() const { return text(qv_f_from_email); }
    std::string_view to_email() const { return text(qv_f_to_email); }
    std::string_view trans_id() const { return text(qv_f_trans_id); }
    std::string_view name_note() const { return text(qv_f_name_note); }
    std::string_view address_note() const { return text(qv_f_address_note); }
    std::string_view item_title() const { return text(qv_f_item_title); }
    std::string_view item_id() const { return text(qv_f_item_id); }
    std::string_view buyer_id() const { return text(qv_f_buyer_id); }
    std::string_view ref_trans_id() const { return text(qv_f_ref_trans_id); }
    std::string_view address1() const { return text(qv_f_address1); }
    std::string_view address2() const { return text(qv_f_address2); }
    std::string_view city() const { return text(qv_f_city); }
    std::string_view province() const { return text(qv_f_province); }
    std::string_view zip_code() const { return text(qv_f_zip_code); }
    std::string_view country() const { return text(qv_f_country); }
    std::string_view phone() const { return text(qv_f_phone); }

private:
    friend class Tstore_access;
    void release();

    const unsigned char *texts_ = nullptr; // null when every text is empty
};

class Tqv_record_object {
public:
    Tqv_record data;
    std::uint8_t report_mark = 0;
};

// Asks for the first lines of a record's memory ahead of their use: its numbers and, for a record of a
// store, the start of its texts, which a walk to a text steps through. Records of a store lie in memory
// in the order they were loaded: a walk in another order (by ID, or a sorted list) waits on memory
// without it.
inline void qv_record_fetch(const Tqv_record &rec)
{
    const char *const at = reinterpret_cast<const char *>(&rec);
    __builtin_prefetch(at);
    __builtin_prefetch(at + 64);
    __builtin_prefetch(at + 128);
}

void qv_record_clear(Tqv_record &rec);
// Clears rec and fills it from the 42 column texts. Returns 1, or -1 (rec cleared) when fields is null.
// Throws Ebcl_conversion_error for an amount or quantity that is not a number.
int qv_record_parse(Tqv_record &rec, const qv_line_fields *fields);

// 1 in slash form (m/d/y), 2 in dash form (y-m-d), -1 for neither, -2 for an empty text.
int qv_date_parse(qv_date &date, std::string_view text);
// 1 when read, -1 without ':', -2 for an empty text.
int qv_time_parse(qv_time &time, std::string_view text);
// 1 when read, -2 for an empty text (0). Throws Ebcl_conversion_error for a bad text.
int qv_amount_parse(amount &value, std::string_view text);

std::string qv_date_text(const qv_date &date); // "%4d-%02d-%02d"
std::string qv_time_text(const qv_time &time); // "%02d:%02d:%02d"
std::string qv_amount_text(amount value);      // -1234.56, 0.05

bool qv_date_is_valid(const qv_date &date); // year != 0, month 1..12, day 1..31
bool qv_date_same_month(const qv_date &date, const qv_date &other);
std::int64_t qv_date_key(const qv_date &date); // year * 65536 + month * 256 + day
bool qv_date_in_range(const qv_date &date, const qv_date &from, const qv_date &to);
std::int64_t qv_date_diff(const qv_date &date, const qv_date &other);
// True when the date is a real calendar date (leap years counted).
bool qv_date_exists(const qv_date &date);

// ---- Store ----------------------------------------------------------------------------------------

// Compares two transaction IDs ignoring the case of ASCII letters (byte order otherwise).
int qv_key_compare(std::string_view a, std::string_view b);
// A hash of a transaction ID that ignores the case of ASCII letters.
std::uint64_t qv_key_hash(std::string_view key);

// One record per transaction ID, ignoring case; the first record added under an ID stays. Lookups and
// insertions are hashed; positions are in ascending ID order, sorted once after a run of insertions.
// The store holds its records in large blocks of its own; a record added from outside is copied there.
class Tqv_records {
public:
    Tqv_records();
    ~Tqv_records();
    Tqv_records(const Tqv_records &) = delete;
    Tqv_records &operator=(const Tqv_records &) = delete;

    // The record stored under key, ignoring case; null for an empty key or an unknown one.
    Tqv_record_object *find(std::string_view key) const { return find(key, qv_key_hash(key)); }
    // Stores a copy of rec under its trans_id. Returns false, storing nothing, when rec is null, its ID
    // is empty or an equal ID is stored already. rec is discarded either way.
    bool add(std::unique_ptr<Tqv_record_object> rec);
    // The same with the key's qv_key_hash already at hand (a load hashes each ID once).
    Tqv_record_object *find(std::string_view key, std::uint64_t hash) const;
    bool add(std::unique_ptr<Tqv_record_object> rec, std::uint64_t hash);
    std::size_t count() const { return order_.size(); }
    // The record at pos (0 .. count - 1) in ascending ID order.
    Tqv_record_object *record_at(std::size_t pos) const
    {
        if (sorted_ != order_.size())
            sort();
        return order_[pos];
    }
    void clear_marks();

private:
    friend class Tstore_access;
    struct Timpl;
    void sort() const;

    mutable std::vector<Tqv_record_object *> order_;
    mutable std::size_t sorted_ = 0; // order_[0, sorted_) is in ID order
    std::unique_ptr<Timpl> impl_;    // the records' memory, the hash index, the shared texts
};

// ---- Loading --------------------------------------------------------------------------------------

// A line that could not be loaded (line >= 1, the header is line 1), or a file that could not be read
// at all (line 0).
struct qv_load_problem {
    std::string file;
    std::size_t line = 0;
    std::string message;
};

// What happened to every line read: lines = header + skipped + added + duplicates + reported.
struct qv_load_counts {
    std::size_t files = 0;
    std::size_t lines = 0;
    std::size_t header = 0;
    std::size_t skipped = 0; // blank lines and lines without a transaction ID
    std::size_t added = 0;
    std::size_t duplicates = 0; // IDs already stored
    std::size_t reported = 0;   // lines listed in problems
};

// At most this many line problems of one file are kept in the report; the rest are only counted.
constexpr std::size_t qv_problems_per_file = 200;

// Lines of one file that were reported but not kept in problems.
struct qv_load_unlisted {
    std::string file;
    std::size_t lines = 0;
};

struct qv_load_report {
    // The problems in the order met; a file's problems (line 0) stand among its line problems.
    std::vector<qv_load_problem> problems;
    std::vector<qv_load_unlisted> unlisted;
    qv_load_counts counts;
    bool cancelled = false; // the load was stopped by its progress callback
};

// Where a load stands: the file being read (the file_number-th of file_count), its bytes read so far
// and its size when its read began, and the records stored so far.
struct qv_load_state {
    const std::string &file;
    std::uint64_t bytes_read;
    std::uint64_t bytes_total;
    std::size_t records;
    std::size_t file_number;
    std::size_t file_count;
};

// Called at the start of each file and after each block read; returning false cancels the load: the
// lines read so far stay loaded, the rest of the file and the files after it are not read, and each of
// them is reported.
using qv_load_progress = std::function<bool(const qv_load_state &state)>;

// The line "FILE:LINE: MESSAGE", or "FILE: MESSAGE" for a file's own problem, with the control
// characters of the file's name escaped (\\, \t, \r, \n, \xHH) so that it stays one line.
std::string qv_problem_text(const qv_load_problem &problem);
// A file's name with its control characters escaped as above.
std::string qv_escaped_name(std::string_view name);

// Loads one history file into store: the header line is skipped, every further line whose transaction
// ID is new becomes a record. A line whose amount or quantity is not a number is reported and skipped;
// a file that cannot be read is reported. Nothing is reported for an empty path.
//
// Only a regular file (or a link to one) is opened, never anything that could block. The file is read
// up to the size it had when its load began; a line becomes a record only when it ended with a line end
// or with that end of the file, and a file whose size or modification time changed during the read is
// reported, its unfinished last line adding nothing. Running out of memory is reported with the file;
// what loaded before stays. Memory stays bounded by what is kept, whatever the length of a line.
void qv_load_history_file(Tqv_records &store, const std::string &path, qv_load_report &report,
                          const qv_load_progress &progress = {});
// Loads the files in order, as one load: cancelling stops it and reports every file not fully read.
void qv_load_history_files(Tqv_records &store, const std::vector<std::string> &paths, qv_load_report &report,
                           const qv_load_progress &progress = {});
// Loads the lines of text (a whole file's bytes) as if they came from a file named name.
void qv_load_history_text(Tqv_records &store, std::string_view bytes, const std::string &name,
                          qv_load_report &report, const qv_load_progress &progress = {});
// Loads every file of folder whose name ends in ".csv" (any case), in name order. Directories are
// skipped without a word; an unreadable folder or file is reported. An empty folder names the current
// directory, listed and read by bare names (so that a path too long for the system does not matter).
void qv_load_history_folder(Tqv_records &store, const std::string &folder, qv_load_report &report,
                            const qv_load_progress &progress = {});

// The names of the ".csv" entries of folder (the current directory when empty) that are not
// directories, in name order.
std::vector<std::string> qv_history_files(const std::string &folder, std::string *error = nullptr);

// How many threads a load makes records on (the calling thread among them); 0 means one per core.
// Whatever the number, a load gives the same store and the same report: records join the store in
// the order of the files' lines, and the progress callback is called on the calling thread. The
// threads end before the load returns.
void qv_load_set_threads(std::size_t threads);
std::size_t qv_load_threads();

// The size of the blocks a load reads (4 MiB, less for a smaller file). Tests and the fuzzer set a small
// one to take the path of lines longer than a block; 0 restores the default.
void qv_load_set_block_size(std::size_t bytes);

// ---- Search and reports ---------------------------------------------------------------------------

enum class qv_search_field { trans_id, from_email, name };

// Lower-cases a name for the name search; the default makes ASCII capitals small only.
using qv_lower_fn = std::function<std::string(std::string_view)>;

// Positions (store order) of the records whose field contains text, byte for byte. For the name search
// the typed text has its ASCII capitals made small and each name is lowered by lower (ASCII names are
// lowered without calling it). A transaction ID or e-mail address that is not ASCII is searched in the
// text that shown makes of it (the text as the user reads it, in the encoding of text) when shown is
// given.
std::vector<std::size_t> qv_search_records(const Tqv_records &store, qv_search_field field,
                                           std::string_view text, const qv_lower_fn &lower = {},
                                           const qv_lower_fn &shown = {});

enum class qv_report_value { quantity, gross };

struct qv_report_point {
    qv_date date;
    double value = 0;
    friend bool operator==(const qv_report_point &, const qv_report_point &) = default;
};

// One point per calendar month that holds a record dated in [from, to], dated as that record and
// totalling the month's records dated in the range; in the order in which each month's first record
// in range comes in store order. Resets and sets report_mark.
std::vector<qv_report_point> qv_report_month(Tqv_records &store, const qv_date &from, const qv_date &to,
                                             qv_report_value value);
// One point per record dated in [from, to], in store order.
std::vector<qv_report_point> qv_report_day(const Tqv_records &store, const qv_date &from, const qv_date &to,
                                           qv_report_value value);
