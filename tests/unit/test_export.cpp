// Export: record lines as standard CSV, and the safe write of a file.
#include "Qv_export.h"

#include "history_text.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

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
        {"quantity as a number, e-mail addresses lowered, column 30 never filled",
         {{32, "-3"}, {9, "Shop@X.COM"}, {10, "To@Y.Org"}, {30, "skipped"}, {31, "kept"}},
         {{32, "-3"}, {9, "shop@x.com"}, {10, "to@y.org"}, {31, "kept"}}},
    };
    for (const Case &c : cases) {
        std::string out;
        qv_csv_append_record(out, parsed(c.columns));
        EXPECT_EQ(out, expected(c.written)) << c.what;
    }
}

TEST(Export, HeaderNamesTheFieldsAndNumbersAreWrittenPlain)
{
    std::string header;
    qv_csv_append_header(header);
    EXPECT_EQ(header.substr(0, 30), "date,time,time_zone,name,statu");
    EXPECT_EQ(std::count(header.begin(), header.end(), ','), qv_column_count - 1);
    EXPECT_TRUE(header.ends_with(",country,phone\r\n"));

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
}
