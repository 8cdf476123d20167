// Loading history files and texts into a store: what a load reports, its progress, the listing of a
// folder's history files and the threads that parse the lines. Uses the store.
#pragma once

#include "Qv_store.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

enum class qv_problem_kind : std::uint8_t {
    not_loaded,     // the line (or the file, or the rest of it) was not loaded
    value_left_out, // the line's record was loaded without the value named
    file_form,      // how the whole file writes its values, ahead of the line problems it explains
};

// A line that could not be loaded (line >= 1, the header is line 1) or whose record was loaded without
// one of its values, or a file that could not be read at all (line 0), or a note on a whole file's
// values (line 0, file_form).
struct qv_load_problem {
    std::string file;
    std::size_t line = 0;
    std::string message;
    qv_problem_kind kind = qv_problem_kind::not_loaded;
};

// What happened to every line read: lines = header + skipped + added + duplicates + reported. A line
// added without a value it held counts as added; each such value counts in value_problems.
struct qv_load_counts {
    std::size_t files = 0;
    std::size_t lines = 0;
    std::size_t header = 0;
    std::size_t skipped = 0; // blank lines, and the lines of a file that holds no history line
    std::size_t added = 0;
    std::size_t duplicates = 0;     // IDs already stored
    std::size_t reported = 0;       // lines listed in problems, not loaded (bad numbers, no ID, unquoted)
    std::size_t value_problems = 0; // dates and times of added lines that are not one, listed in problems
};

// At most this many line problems of one file are kept in the report; the rest are only counted.
constexpr std::size_t qv_problems_per_file = 200;

// Problems of one file that were counted but not kept in problems: lines not loaded, and values left
// out of records that loaded.
struct qv_load_unlisted {
    std::string file;
    std::size_t lines = 0;
    std::size_t values = 0;
};

// What one file of a load gave: its lines read, the transactions it added and those it held that were
// already loaded, the problems reported for it (its lines not loaded, values left out and its own
// problems, listed or only counted; not the notes on how it writes its values), and the first and last
// date of the transactions it held (no date when none held one).
struct qv_load_file {
    std::string file;
    std::size_t lines = 0;
    std::size_t added = 0;
    std::size_t duplicates = 0;
    std::size_t problems = 0;
    qv_date first;
    qv_date last;
};

struct qv_load_report {
    // The problems in the order met; a file's problems (line 0) stand among its line problems.
    std::vector<qv_load_problem> problems;
    std::vector<qv_load_unlisted> unlisted;
    // Every file of the load, in the order loaded (those that could not be read or were not read too).
    std::vector<qv_load_file> files;
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

// Loads one history file into store: the header line is skipped (and reported when it holds a
// transaction), every further line whose transaction ID is new becomes a record. A line that is not
// blank and does not begin with a double quote, or holds no transaction ID, is reported; a file none of
// whose lines after the first begins with one is told once instead, its lines counted as skipped. A line
// whose amount or quantity is not a number is reported and skipped;
// a date or time that is not one is reported and its record loaded without it; when most amounts or
// dates of the file are refused for one reason (a decimal comma, a currency sign, day-first dates), a
// note says so once, ahead of the file's line problems. A file that cannot be read is reported.
// Nothing is reported for an empty path.
//
// Only a regular file (or a link to one) is opened, never anything that could block. The file is read
// up to the size it had when its load began; a line becomes a record only when it ended with a line end
// or with that end of the file, and a file whose size, modification or change time changed during the read is
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
