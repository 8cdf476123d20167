// Export: record lines as standard CSV, and the safe write of a file.
#include "Qv_export.h"

#include "history_text.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

using testing_history::line;
using testing_history::Ttest_folder;
namespace fs = std::filesystem;

namespace {

Tqv_record parsed(const std::map<int, std::string> &columns)
{
    const std::string text = line(columns);
    qv_line_fields fields;
    // The line without its CR LF, as the reader hands it on.
    qv_line_split(std::string_view(text).substr(0, text.size() - 2), fields);
    Tqv_record rec;
    qv_record_parse(rec, &fields);
    return rec;
}

// The exported line of a record whose other fields are cleared: no date, 00:00:00, 0.00, quantity 0.
std::string expected(const std::map<int, std::string> &values)
{
    std::string out;
    for (int c = 0; c < qv_column_count; ++c) {
        if (c != 0)
            out += ',';
        const auto it = values.find(c);
        if (it != values.end())
            out += it->second;
        else if (c == 1)
            out += "00:00:00";
        else if (c == 6 || c == 7 || c == 8 || c == 16 || c == 18 || c == 34)
            out += "0.00";
        else if (c == 32)
            out += "0";
    }
    return out + "\r\n";
}

std::string read(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

std::size_t entries(const fs::path &folder)
{
    return static_cast<std::size_t>(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

} // namespace

TEST(Export, RecordLinesHoldEveryFieldAsTheProgramHoldsIt)
{
    struct Case {
        const char *what;
        std::map<int, std::string> columns;
        std::map<int, std::string> written;
    };
    const Case cases[] = {
        {"lone quotes are doubled inside a quoted field",
         {{3, "Dan \"the man\" O'Neil"}, {14, "12\" record"}},
         {{3, "\"Dan \"\"the man\"\" O'Neil\""}, {14, "\"12\"\" record\""}}},
        {"a comma is quoted, other texts are not",
         {{14, "Tote bag, canvas"}, {15, "4633 657"}},
         {{14, "\"Tote bag, canvas\""}, {15, "4633 657"}}},
        {"Windows-1252 becomes UTF-8, UTF-8 stays",
         {{3, "Nu\xf1o \x80 \x93q\x94"}, {37, "Krak\xc3\xb3w"}},
         {{3, "Nu\xc3\xb1o \xe2\x82\xac \xe2\x80\x9cq\xe2\x80\x9d"}, {37, "Krak\xc3\xb3w"}}},
        {"a UTF-8 character cut short at the end is dropped", {{3, "ab\xc3"}}, {{3, "ab"}}},
        {"dates in both forms as YYYY-MM-DD, none as empty",
         {{0, "6/16/2009"}, {1, "7:5"}},
         {{0, "2009-06-16"}, {1, "07:05:00"}}},
        {"a year of fewer than four digits is filled with zeros", {{0, "1/2/7"}}, {{0, "0007-01-02"}}},
        {"a date of another shape is no date", {{0, "16.06.2009"}, {1, "23:59:59"}}, {{1, "23:59:59"}}},
        {"amounts in their text form",
         {{6, "-1,234.56"}, {7, "1.5"}, {8, "1,234"}, {16, "-0.01"}, {18, "1.23"}, {34, "2,050.79"}},
         {{6, "-1234.56"}, {7, "1.50"}, {8, "1234.00"}, {16, "-0.01"}, {18, "1.23"}, {34, "2050.79"}}},
        {"quantity as a number, e-mail addresses lowered, every text column kept",
         {{32, "-3"}, {9, "Shop@X.COM"}, {10, "To@Y.Org"}, {30, "INV-7"}, {31, "kept"}},
         {{32, "-3"}, {9, "shop@x.com"}, {10, "to@y.org"}, {30, "INV-7"}, {31, "kept"}}},
    };
    for (const Case &c : cases) {
        std::string out;
        qv_csv_append_record(out, parsed(c.columns));
        EXPECT_EQ(out, expected(c.written)) << c.what;
    }
}

TEST(Export, HeaderHasTheHistoryFilesCaptionsAndNumbersAreWrittenPlain)
{
    // The captions of a history file's own header line, unquoted, without its last empty field.
    std::string captions;
    for (std::string_view rest = testing_history::header_line; rest.starts_with('"');) {
        const std::size_t close = rest.find('"', 1);
        if (!captions.empty())
            captions += ',';
        captions += rest.substr(1, close - 1);
        rest.remove_prefix(close + 2);
    }
    std::string header;
    qv_csv_append_header(header);
    EXPECT_EQ(header, captions + "\r\n");
    EXPECT_EQ(std::count(header.begin(), header.end(), ','), qv_column_count - 1);

    const std::pair<double, const char *> numbers[] = {
        {1234.5, "1234.5"},  {7, "7"},           {-0.25, "-0.25"}, {0, "0"},
        {12.3456, "12.346"}, {0.1 + 0.2, "0.3"}, {-0.0001, "0"},   {1e9, "1000000000"}};
    for (const auto &[value, text] : numbers)
        EXPECT_EQ(qv_csv_number(value), text) << value;
}

TEST(Export, TheSafeWriteReplacesOnlyWhenCompleteAndNeverALoadedFile)
{
    const Ttest_folder folder("qv_export_");
    const fs::path dir = folder.path();
    const std::string loaded = folder.write("loaded.csv", "history");
    const std::string old = folder.write("old.csv", "old text");
    fs::permissions(old, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    fs::create_symlink(loaded, dir / "link.csv");
    fs::create_hard_link(loaded, dir / "hard.csv");
    fs::create_directory(dir / "sub");
    ASSERT_EQ(mkfifo((dir / "pipe.csv").c_str(), 0600), 0);
    fs::create_symlink(dir / "pipe.csv", dir / "pipe-link.csv");
    // A device node of its own (/dev/null itself would be at stake if the write were wrong); only
    // root can make one, elsewhere a link to /dev/null stands in, which cannot be replaced.
    if (mknod((dir / "null").c_str(), S_IFCHR | 0600, makedev(1, 3)) != 0)
        fs::create_symlink("/dev/null", dir / "null");
    const std::string big(3 << 20, 'x');
    std::string pieces; // several of the writer's pieces, each line told apart from the others
    for (int i = 0; pieces.size() < (7u << 19); ++i)
        pieces += std::to_string(i) + ",a line of a text written in several pieces\r\n";
    // The longest name a folder takes: the temporary file's name must not be longer.
    const std::string longest = std::string(251, 'n') + ".csv";

    struct Case {
        const char *what;
        fs::path target;
        std::string text;
        bool written;
        const char *reason; // part of the error
        std::uintmax_t sizeLimit = 0;
    };
    const Case cases[] = {
        {"a new file", dir / "new.csv", "a,b\r\n", true, ""},
        {"an existing file is replaced", old, "new text", true, ""},
        {"the loaded file", loaded, "x", false, "loaded history files"},
        {"the loaded file by another name", dir / "sub" / ".." / "loaded.csv", "x", false, "loaded"},
        {"a link to the loaded file", dir / "link.csv", "x", false, "loaded"},
        {"a hard link to the loaded file", dir / "hard.csv", "x", false, "loaded"},
        {"a folder", dir / "sub", "x", false, "folder"},
        {"a named pipe", dir / "pipe.csv", "x", false, "not a regular file"},
        {"a link to a named pipe", dir / "pipe-link.csv", "x", false, "not a regular file"},
        {"a device", dir / "null", "x", false, "not a regular file"},
        {"a name of 255 bytes", dir / longest, "a,b\r\n", true, ""},
        {"a missing folder", dir / "gone" / "new.csv", "x", false, "No such file or directory"},
        {"a write that fails midway", old, big, false, "File too large", 1 << 20},
        {"a text of several pieces", dir / "pieces.csv", pieces, true, ""},
        {"a write that fails in its third piece", dir / "third.csv", pieces, false, "File too large",
         5 << 19},
    };
    const std::vector<std::string> loadedFiles{loaded};
    for (const Case &c : cases) {
        // A pipe is never opened here: that would wait for a writer.
        const bool regular = fs::is_regular_file(c.target);
        const fs::file_type type = fs::symlink_status(c.target).type();
        const std::string before = regular ? read(c.target) : std::string();
        const std::size_t entriesBefore = entries(dir);
        rlimit saved{};
        if (c.sizeLimit != 0) {
            // A file-size limit makes the write fail as a full disk would.
            std::signal(SIGXFSZ, SIG_IGN);
            getrlimit(RLIMIT_FSIZE, &saved);
            rlimit limit = saved;
            limit.rlim_cur = c.sizeLimit;
            setrlimit(RLIMIT_FSIZE, &limit);
        }
        std::size_t given = 0;
        std::string error;
        const bool ok = qv_write_file_safely(
            c.target.string(),
            [&](std::string &chunk) {
                // In pieces of 1000, so that the writer puts several pieces together.
                chunk += c.text.substr(given, 1000);
                given += 1000;
                return given < c.text.size();
            },
            loadedFiles, error);
        if (c.sizeLimit != 0)
            setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(ok, c.written) << c.what;
        EXPECT_NE(error.find(c.reason), std::string::npos) << c.what << ": " << error;
        if (c.written) {
            EXPECT_EQ(read(c.target), c.text) << c.what;
        } else if (regular || !fs::exists(c.target)) {
            EXPECT_EQ(fs::exists(c.target) ? read(c.target) : std::string(), before) << c.what;
        }
        // A pipe, a device or a link stays what it was.
        if (!c.written) {
            EXPECT_EQ(fs::symlink_status(c.target).type(), type) << c.what;
        }
        // No temporary file is left behind.
        EXPECT_EQ(entries(dir), entriesBefore + (c.written && before.empty() ? 1 : 0)) << c.what;
    }
    EXPECT_EQ(read(loaded), "history");
    // The replaced file keeps its permissions.
    EXPECT_EQ(fs::status(old).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(Export, ExportedRecordsFollowTheGivenOrder)
{
    const Ttest_folder folder("qv_export_");
    const Tqv_record a = parsed({{11, "A"}, {6, "1.00"}});
    const Tqv_record b = parsed({{11, "B"}, {6, "2.00"}});
    const std::string out = (folder.path() / "out.csv").string();
    std::string error;
    ASSERT_TRUE(qv_export_records(out, {&b, &a, &b}, {}, error)) << error;
    std::string want;
    qv_csv_append_header(want);
    qv_csv_append_record(want, b);
    qv_csv_append_record(want, a);
    qv_csv_append_record(want, b);
    EXPECT_EQ(read(out), want);
    ASSERT_TRUE(qv_export_records(out, {}, {}, error)) << error;
    want.clear();
    qv_csv_append_header(want);
    EXPECT_EQ(read(out), want);

    // Many records are made into lines on several threads, a run of them each, and still follow the
    // given order: counts that end inside a run, on a run's end, on a call's end and after one.
    std::vector<Tqv_record> many;
    for (int i = 0; i < 2600; ++i)
        many.push_back(parsed(
            {{11, "ID" + std::to_string(i)},
             {6, std::to_string(i) + ".00"},
             {3, i % 7 == 0 ? "quote \"" + std::to_string(i) + "\", and \xe9" : "N" + std::to_string(i)}}));
    for (const std::size_t count : {std::size_t{1}, std::size_t{127}, std::size_t{128}, std::size_t{1024},
                                    std::size_t{1025}, std::size_t{2600}}) {
        std::vector<const Tqv_record *> rows;
        want.clear();
        qv_csv_append_header(want);
        for (std::size_t i = 0; i < count; ++i) {
            const Tqv_record &rec = many[(i * 7919) % many.size()]; // an order other than the records'
            rows.push_back(&rec);
            qv_csv_append_record(want, rec);
        }
        for (const std::size_t threads : {1u, 2u, 8u}) {
            SCOPED_TRACE(std::to_string(count) + " records, " + std::to_string(threads) + " threads");
            qv_load_set_threads(threads);
            ASSERT_TRUE(qv_export_records(out, rows, {}, error)) << error;
            EXPECT_TRUE(read(out) == want);
        }
    }
    qv_load_set_threads(0);
}

namespace {

// The export of a whole store, in ID order.
std::string exported(const Tqv_records &store)
{
    std::string out;
    qv_csv_append_header(out);
    for (std::size_t i = 0; i < store.count(); ++i)
        qv_csv_append_record(out, store.record_at(i)->data);
    return out;
}

std::string problems_of(const qv_load_report &report)
{
    std::string out;
    for (const qv_load_problem &p : report.problems)
        out += qv_problem_text(p) + "\n";
    return out;
}

// A text with its CR LF line ends made LF.
std::string with_lf(std::string text)
{
    std::erase(text, '\r');
    return text;
}

} // namespace

// What the export writes, the load reads back: the same records, field for field, so that exporting
// again gives the same bytes, whether the export kept its own form or a spreadsheet rewrote it.
TEST(Export, AnExportLoadsBackIntoTheSameRecords)
{
    using testing_history::header_line;
    const std::string history =
        std::string(header_line) +
        line({{0, "1/2/2019"},
              {1, "7:05:00 PM"},
              {2, "PST"},
              {3, "Ann, \"the\" buyer"},
              {5, "Completed"},
              {6, "-1,234.56"},
              {7, "0.5"},
              {8, "12"},
              {9, "Ann@X.COM"},
              {11, "T1"},
              {14, "12\" record, mint"},
              {16, "3.10"},
              {18, "0.07"},
              {30, "INV-30"},
              {32, "-3"},
              {34, "2,050.79"},
              {41, "+1 555"}}) +
        line({{11, "t2"}, {14, "caf\xE9 \x80 cr\xE8me"}, {17, "col 17"}, {29, "REF"}, {33, "R"}}) +
        line({{0, "12/31/9999"}, {1, "23:59:59"}, {11, "T3"}, {35, "1 Main St"}, {40, "DE"}}) +
        line({{0, "2/30/2009"}, {11, "T4"}, {3, std::string(127, 'x')}}) + // a date left out at load
        line({{11, "T1"}, {3, "a later copy"}});
    Tqv_records original;
    qv_load_report first;
    qv_load_history_text(original, history, "history.csv", first);
    ASSERT_EQ(original.count(), 4u);
    const std::string e1 = exported(original);

    // Every field quoted and LF line ends, as a spreadsheet saves it.
    std::string quoted;
    const std::string lf_lines = with_lf(e1);
    for (std::string_view rest = lf_lines; !rest.empty();) {
        const std::string_view row = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(row.size() + 1);
        std::string_view field_rest = row;
        for (int f = 0; f < qv_column_count; ++f) {
            std::string field;
            if (field_rest.starts_with('"')) {
                std::size_t i = 1;
                for (; i < field_rest.size(); ++i) {
                    if (field_rest[i] == '"' && (i + 1 == field_rest.size() || field_rest[i + 1] != '"'))
                        break;
                    field += field_rest[i];
                    i += field_rest[i] == '"' ? 1 : 0;
                }
                field_rest.remove_prefix(std::min(field_rest.size(), i + 2));
            } else {
                const std::size_t comma = field_rest.find(',');
                field = field_rest.substr(0, comma);
                field_rest.remove_prefix(comma == std::string_view::npos ? field_rest.size() : comma + 1);
            }
            if (f != 0)
                quoted += ',';
            quoted += '"';
            for (const char c : field)
                quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
            quoted += '"';
        }
        quoted += '\n';
    }
    std::string names; // the header of earlier versions: the field names
    for (std::size_t i = 0; i < qv_field_names.size(); ++i)
        names += (i == 0 ? "" : ",") + std::string(qv_field_names[i]);
    const std::string old_header = names + "\r\n" + e1.substr(e1.find('\n') + 1);

    const std::pair<const char *, std::string> forms[] = {
        {"as exported", e1},
        {"with LF line ends", with_lf(e1)},
        {"every field quoted", quoted},
        {"under the field names", old_header},
        {"without a last line end", e1.substr(0, e1.size() - 2)},
    };
    for (const auto &[what, text] : forms) {
        SCOPED_TRACE(what);
        for (const std::size_t block : {std::size_t{0}, std::size_t{64}}) {
            qv_load_set_block_size(block); // records across the reads' ends too
            Tqv_records back;
            qv_load_report report;
            qv_load_history_text(back, text, "export.csv", report);
            EXPECT_EQ(problems_of(report), "");
            EXPECT_EQ(report.counts.header, 1u);
            EXPECT_EQ(report.counts.added, 4u);
            EXPECT_EQ(exported(back), e1);
        }
        qv_load_set_block_size(0);
    }
    EXPECT_NE(e1.find(",INV-30,"), std::string::npos);
    EXPECT_NE(e1.find("café € crème"), std::string::npos);
}

// A record of an export that the export cannot have written is told with the line it begins on; a
// quoted line end is part of its field, and the lines after it keep their numbers.
TEST(Export, RecordsOfAnExportThatDoNotFitAreReported)
{
    std::string header;
    qv_csv_append_header(header);
    const auto record = [](const std::string &id, const std::string &name) {
        std::string out = ",00:00:00,," + name + ",,,0.00,0.00,0.00,,," + id;
        for (int c = 12; c < qv_column_count; ++c)
            out += c == 16 || c == 18 || c == 34 ? ",0.00" : c == 32 ? ",0" : ",";
        return out + "\r\n";
    };
    struct Tcase {
        const char *what;
        std::string lines; // after the header, line 2 on
        std::size_t added;
        std::string problems;
    };
    const Tcase cases[] = {
        {"a quoted line end", record("A", "\"two\r\nlines\"") + record("B", "b"), 2, ""},
        {"too few fields", "A,00:00:00\r\n" + record("B", "b"), 1,
         "e.csv:2: not an exported history line: it does not hold 42 fields\n"},
        {"too many fields", record("A", "a,extra") + record("B", "b"), 1,
         "e.csv:2: not an exported history line: it does not hold 42 fields\n"},
        {"a quote inside a field", record("A", "x\"y") + record("B", "\"b\"c"), 0,
         "e.csv:2: not an exported history line: a quote stands inside a field\n"
         "e.csv:3: not an exported history line: a quote stands inside a field\n"},
        {"numbers after a quoted line end", record("A", "\"1\n2\n3\"") + record("B", "b") + "x\r\n", 2,
         "e.csv:6: not an exported history line: it does not hold 42 fields\n"},
        {"a quote open at the end", record("A", "a") + record("B", "\"open"), 1,
         "e.csv:3: not an exported history line: a quoted field is not closed at the end of the file\n"},
        {"no transaction ID", record("", "a") + "\r\n" + record("B", "b"), 1, "e.csv:2: no transaction ID\n"},
        {"an amount that is none",
         [&] {
             std::string r = record("A", "a");
             return r.replace(r.find("0.00"), 4, "$1") + record("B", "b");
         }(),
         1, "e.csv:2: Gross: '$1' is not a valid amount\n"},
    };
    for (const Tcase &c : cases) {
        SCOPED_TRACE(c.what);
        Tqv_records store;
        qv_load_report report;
        qv_load_history_text(store, header + c.lines, "e.csv", report);
        EXPECT_EQ(problems_of(report), c.problems);
        EXPECT_EQ(report.counts.added, c.added);
        const qv_load_counts &n = report.counts;
        EXPECT_EQ(n.lines, n.header + n.skipped + n.added + n.duplicates + n.reported);
    }
    Tqv_records store;
    qv_load_report report;
    qv_load_history_text(store, header + record("A", "\"two\r\nlines\""), "e.csv", report);
    ASSERT_EQ(store.count(), 1u);
    EXPECT_EQ(store.record_at(0)->data.name(), "two\r\nlines");
}

// A write cancelled by its progress leaves the target as it was and no temporary file; a temporary file
// that a killed write left is removed by the next write into its folder, one that a write holds is not.
TEST(Export, ACancelledOrKilledWriteLeavesNoTemporaryFile)
{
    const Ttest_folder folder("qv_export_");
    std::vector<Tqv_record> records;
    // The progress is told after each 1024 of them. The first 2048 fit in less than one of the writer's
    // pieces, the rest fill several.
    for (int i = 0; i < 4000; ++i)
        records.push_back(parsed(
            {{11, "ID" + std::to_string(i)}, {6, "1.00"}, {3, std::string(i < 2048 ? 200 : 2000, 'n')}}));
    std::vector<const Tqv_record *> rows;
    for (const Tqv_record &rec : records)
        rows.push_back(&rec);
    const std::string out = folder.write("out.csv", "before");

    struct Tcase {
        const char *what;
        std::size_t cancel_after; // records told before the progress says stop; 0: never
        bool written;
    };
    const Tcase cases[] = {{"cancelled at once", 1, false},
                           {"cancelled at the second", 2000, false},
                           {"cancelled after pieces were written", 3000, false},
                           {"not cancelled", 0, true}};
    for (const Tcase &c : cases) {
        std::size_t last = 0;
        std::size_t calls = 0;
        std::string error;
        const bool ok = qv_export_records(out, rows, {}, error, [&](std::size_t written) {
            EXPECT_GT(written, last);
            last = written;
            ++calls;
            return c.cancel_after == 0 || written < c.cancel_after;
        });
        EXPECT_EQ(ok, c.written) << c.what;
        EXPECT_EQ(error, c.written ? "" : "cancelled") << c.what;
        EXPECT_GT(calls, 0u) << c.what;
        EXPECT_EQ(entries(folder.path()), 1u) << c.what;
        EXPECT_EQ(read(out) == "before", !c.written) << c.what;
        fs::resize_file(out, 0);
        std::ofstream(out, std::ios::binary) << "before";
    }

    const fs::path left = folder.path() / ".qv-0badf00d.tmp";
    const fs::path held = folder.path() / ".qv-12345678.tmp";
    const fs::path mine = folder.path() / ".qv-notours.tmp";
    for (const fs::path &p : {left, held, mine})
        std::ofstream(p) << "half";
    const int fd = ::open(held.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0); // a write going on in another program
    std::string error;
    ASSERT_TRUE(qv_export_records(out, rows, {}, error)) << error;
    EXPECT_FALSE(fs::exists(left));
    EXPECT_TRUE(fs::exists(held));
    EXPECT_TRUE(fs::exists(mine));
    ::close(fd);
}
