// Loads each file of the bad-input collection (tests/data) and checks what the load keeps, skips and
// reports: the counts of every kind of line, the problems with their file and line, and field values of
// the records kept. Files too big to keep in the sources are generated into a temporary folder.
#include "../unit/history_text.h"
#include "../unit/test_folder.h"
#include "Qv_file.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <climits>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testing_history::Ttest_folder;

namespace {

struct Tcounts {
    std::size_t lines, header, skipped, added, duplicates, reported;
    std::size_t value_problems = 0; // dates and times of added lines left out
};

struct Tproblem {
    std::size_t line;
    const char *message_part;
};

struct Tcase {
    const char *file;
    Tcounts counts;
    std::vector<Tproblem> problems;
    std::function<void(const Tqv_records &)> check_records;
};

const qv_date no_date{};

std::string amount_of(const Tqv_records &store, const char *id)
{
    const Tqv_record_object *rec = store.find(id);
    return rec == nullptr ? "(missing)" : qv_amount_text(rec->data.gross);
}

std::int32_t quantity_of(const Tqv_records &store, const char *id)
{
    const Tqv_record_object *rec = store.find(id);
    return rec == nullptr ? -999 : rec->data.quantity;
}

qv_date date_of(const Tqv_records &store, const char *id)
{
    const Tqv_record_object *rec = store.find(id);
    return rec == nullptr ? qv_date{9, 9, 9} : rec->data.date;
}

const char *const zero_byte = "zero byte";
const char *const stray_cr = "carriage return";
const char *const not_a_number = "' is not a valid";
const char *const not_text = "not a text file";
const char *const no_id = "no transaction ID";
const char *const unquoted = "not a history line: its fields are not quoted";
const char *const utf16 = "UTF-16 text: save the file as UTF-8 or ANSI";

const std::vector<Tcase> &cases()
{
    static const std::vector<Tcase> all = {
        {"empty.csv", {0, 0, 0, 0, 0, 0}, {}, {}},
        {"header_only.csv", {1, 1, 0, 0, 0, 0}, {}, {}},
        // One zero byte and nothing after it: a header line cut empty, and nothing lost to report.
        {"zero_only.csv", {1, 1, 0, 0, 0, 0}, {}, {}},
        {"bom.csv",
         {2, 1, 0, 1, 0, 0},
         {},
         [](const Tqv_records &s) {
             ASSERT_NE(s.find("7TX1"), nullptr);
             EXPECT_EQ(s.find("7TX1")->data.gross, 1250);
             EXPECT_EQ(s.find("7TX1")->data.from_email(), "ann@example.com");
         }},
        // A 16-bit text holds a zero byte right after its first character: it is told for what it is.
        {"utf16_bom.csv", {1, 1, 0, 0, 0, 0}, {{0, utf16}}, {}},
        {"utf16_nobom.csv", {1, 1, 0, 0, 0, 0}, {{0, utf16}}, {}},
        // The zero byte cuts the second line inside its ID (so it has none) and hides the third.
        {"nul_in_line.csv", {2, 1, 0, 0, 0, 1}, {{2, no_id}, {2, zero_byte}}, {}},
        // It opens with a CR, and its first zero byte (offset 87) comes before its first LF (offset 217):
        // one line, cut twice, and a zero byte in the first line means the file holds no text.
        {"random.csv", {1, 1, 0, 0, 0, 0}, {{1, stray_cr}, {0, not_text}}, {}},
        {"crlf.csv",
         {3, 1, 0, 2, 0, 0},
         {},
         [](const Tqv_records &s) {
             EXPECT_NE(s.find("A"), nullptr);
             EXPECT_NE(s.find("B"), nullptr);
         }},
        {"lf.csv",
         {3, 1, 0, 2, 0, 0},
         {},
         [](const Tqv_records &s) {
             EXPECT_NE(s.find("A"), nullptr);
             EXPECT_NE(s.find("B"), nullptr);
         }},
        // Without a LF the whole file is one line, cut at its first CR: only the header, reported.
        {"lone_cr.csv", {1, 1, 0, 0, 0, 0}, {{1, stray_cr}}, {}},
        // CR LF, LF, a lone CR (which hides the record after it) and no final line end.
        {"mixed_ends.csv",
         {4, 1, 0, 3, 0, 0},
         {{3, stray_cr}},
         [](const Tqv_records &s) {
             EXPECT_NE(s.find("A"), nullptr);
             EXPECT_NE(s.find("B"), nullptr);
             EXPECT_EQ(s.find("C"), nullptr);
             EXPECT_NE(s.find("D"), nullptr);
         }},
        {"no_final_end.csv",
         {2, 1, 0, 1, 0, 0},
         {},
         [](const Tqv_records &s) { EXPECT_NE(s.find("A"), nullptr); }},
        {"blank_lines.csv", {7, 1, 4, 2, 0, 0}, {}, {}},
        {"unterminated_quote.csv", {3, 1, 0, 1, 0, 1}, {{3, no_id}}, {}},
        // An unquoted line fills nothing; an unquoted field ends the split before the ID.
        {"unquoted.csv", {3, 1, 0, 0, 0, 2}, {{2, unquoted}, {3, no_id}}, {}},
        // Our own export, as an earlier version wrote it (a header of field names): read back.
        {"export.csv",
         {3, 1, 0, 2, 0, 0},
         {},
         [](const Tqv_records &s) {
             EXPECT_EQ(date_of(s, "A"), (qv_date{2024, 3, 14}));
             EXPECT_NE(s.find("B"), nullptr);
         }},
        // Another standard CSV file: told once, its lines skipped.
        {"other.csv",
         {3, 1, 2, 0, 0, 0},
         {{0, "not a Quorvex history file: no line holds quoted fields"}},
         {}},
        // A file without its header line: its first transaction is told, the others load.
        {"no_header.csv",
         {3, 1, 0, 2, 0, 0},
         {{1, "line 1 is a transaction, not the header line; it was not loaded"}},
         [](const Tqv_records &s) {
             EXPECT_EQ(s.find("N1"), nullptr);
             EXPECT_EQ(date_of(s, "N2"), (qv_date{2024, 1, 13}));
             EXPECT_EQ(date_of(s, "N3"), (qv_date{2024, 3, 1}));
         }},
        {"field_127.csv",
         {2, 1, 0, 1, 0, 0},
         {},
         [](const Tqv_records &s) { EXPECT_EQ(s.record_at(0)->data.trans_id(), std::string(127, 'I')); }},
        // 128 I's are cut to 127, and so are 127 I's and a J: the same key, so the second is a duplicate.
        {"field_128.csv",
         {3, 1, 0, 1, 1, 0},
         {},
         [](const Tqv_records &s) { EXPECT_EQ(s.record_at(0)->data.trans_id(), std::string(127, 'I')); }},
        // The cut falls inside the two bytes of an accented letter: its first byte stays, as read.
        {"utf8_cut.csv",
         {2, 1, 0, 1, 0, 0},
         {},
         [](const Tqv_records &s) {
             ASSERT_NE(s.find("U1"), nullptr);
             EXPECT_EQ(s.find("U1")->data.name(), std::string(126, 'a') + "\xc3");
         }},
        {"bad_utf8.csv",
         {2, 1, 0, 1, 0, 0},
         {},
         [](const Tqv_records &s) {
             ASSERT_NE(s.find("U2"), nullptr);
             EXPECT_EQ(s.find("U2")->data.name(), "Jos\xe9 \xff\xfe");
         }},
        // A date that is not a real calendar date is reported and its record loaded without it.
        {"dates.csv",
         {9, 1, 0, 8, 0, 0, 7},
         {{2, "Date: '2/29/2023' is not a valid date"},
          {3, "Date: '13/1/2024' is not a valid date"},
          {4, "Date: '0/0/0' is not a valid date"},
          {5, "Date: '2024-02-30' is not a valid date"},
          {7, "Date: 'x' is not a valid date"},
          {8, "Date: '99999/99999/99999' is not a valid date"},
          {9, "Date: '1/1' is not a valid date"}},
         [](const Tqv_records &s) {
             for (const char *id : {"D0", "D1", "D2", "D3", "D4", "D5", "D6", "D7"}) {
                 EXPECT_EQ(date_of(s, id), no_date) << id;
                 EXPECT_EQ(amount_of(s, id), "12.50") << id; // the rest of the record is kept
             }
         }},
        // Only the format's own form is read: no hexadecimal, misplaced comma, sign other than '-' or
        // third decimal.
        {"amounts.csv",
         {19, 1, 0, 5, 0, 13},
         {{6, "Gross: '123456789012345678901234567890' is not a valid amount"},
          {7, "Gross: '.5' is not a valid amount"},
          {8, "Gross: '1.' is not a valid amount"},
          {9, "Gross: '1,2,3.00' is not a valid amount"},
          {10, "Gross: '1e5' is not a valid amount"},
          {11, "Gross: '+5' is not a valid amount"},
          {12, "Gross: '--5' is not a valid amount"},
          {13, "Gross: '(1.00)' is not a valid amount"},
          {14, "Gross: '$1F' is not a valid amount"},
          {15, "Gross: '0.005' is not a valid amount"},
          {16, "Gross: '-0.005' is not a valid amount"},
          {17, "Gross: '1.999' is not a valid amount"},
          {19, "Gross: '1.123456789012' is not a valid amount"}},
         [](const Tqv_records &s) {
             EXPECT_EQ(amount_of(s, "A0"), "21474836.47");
             EXPECT_EQ(amount_of(s, "A1"), "21474836.48");
             EXPECT_EQ(amount_of(s, "A2"), "-21474836.49");
             EXPECT_EQ(amount_of(s, "A3"), "2147483648.00");
             EXPECT_EQ(amount_of(s, "A16"), "12.50"); // 40 leading zeros are still zeros
         }},
        // Most dates day first: said once for the file, ahead of its line problems. A day up to the 12th
        // reads as a month, as the format has it; a bad time leaves only the time out.
        {"day_first.csv",
         {4, 1, 0, 3, 0, 0, 3},
         {{0, "dates are written day first (line 2: '31/12/2020'); this program reads month/day/year or "
              "year-month-day"},
          {2, "Date: '31/12/2020' is not a valid date"},
          {3, "Date: '13/01/2021' is not a valid date"},
          {4, "Time: '25:00:00' is not a valid time"}},
         [](const Tqv_records &s) {
             EXPECT_EQ(date_of(s, "E1"), no_date);
             EXPECT_EQ(s.find("E2")->data.time, (qv_time{22, 0, 0}));
             EXPECT_EQ(date_of(s, "E3"), (qv_date{2021, 5, 1}));
             EXPECT_EQ(s.find("E3")->data.time, qv_time{});
         }},
        // Most amounts with a decimal comma: said once, and each such line skipped as any bad amount.
        {"decimal_comma.csv",
         {4, 1, 0, 1, 0, 2},
         {{0, "amounts are written with a decimal comma (line 2: '1.234,56'); this program reads the point "
              "form"},
          {2, "Gross: '1.234,56' is not a valid amount"},
          {3, "Gross: '12,50' is not a valid amount"}},
         [](const Tqv_records &s) { EXPECT_EQ(amount_of(s, "K3"), "12.50"); }},
        {"quantities.csv",
         {8, 1, 0, 3, 0, 4},
         {{2, "Quantity: '2147483648' is not a valid integer value"},
          {3, "Quantity: '1.0' is not a valid integer value"},
          {4, "Quantity: '0x10' is not a valid integer value"},
          {7, "Quantity: '$FFFFFFFF' is not a valid integer value"}},
         [](const Tqv_records &s) {
             EXPECT_EQ(quantity_of(s, "Q3"), 7);         // a leading blank
             EXPECT_EQ(quantity_of(s, "Q4"), INT32_MIN); // -2147483648 fits
             EXPECT_EQ(quantity_of(s, "Q6"), 0);         // empty
         }},
        {"printf.csv",
         {2, 1, 0, 1, 0, 0},
         {},
         [](const Tqv_records &s) {
             ASSERT_NE(s.find("P%n"), nullptr);
             EXPECT_EQ(s.find("P%n")->data.name(), "%s%n%x%p");
             EXPECT_EQ(s.find("P%n")->data.item_title(), "%99999999d");
         }},
        {"empty_ids.csv",
         {21, 1, 0, 0, 0, 20},
         [] {
             std::vector<Tproblem> each;
             for (std::size_t line = 2; line <= 21; ++line)
                 each.push_back({line, no_id});
             return each;
         }(),
         {}},
        // IDs that differ only in case are one key: the first copy stays, with its own spelling.
        {"case_ids.csv",
         {4, 1, 0, 1, 2, 0},
         {},
         [](const Tqv_records &s) {
             ASSERT_NE(s.find("ABC"), nullptr);
             EXPECT_EQ(s.find("ABC")->data.trans_id(), "abc");
             EXPECT_EQ(amount_of(s, "aBc"), "1.00");
         }},
        // A bad line stores nothing, so a later good copy of its ID is taken.
        {"duplicates.csv",
         {5, 1, 0, 2, 1, 1},
         {{4, not_a_number}},
         [](const Tqv_records &s) {
             EXPECT_EQ(amount_of(s, "X"), "1.00");
             EXPECT_EQ(amount_of(s, "Y"), "12.50");
         }},
        {"no_trailing_comma.csv",
         {2, 1, 0, 1, 0, 0},
         {},
         [](const Tqv_records &s) {
             ASSERT_NE(s.find("T"), nullptr);
             EXPECT_EQ(s.find("T")->data.phone(), "phone");
         }},
        {"stray_cr.csv", {3, 1, 0, 2, 0, 0}, {{2, stray_cr}}, {}},
    };
    return all;
}

void expect_accounted(const qv_load_counts &c)
{
    EXPECT_EQ(c.lines, c.header + c.skipped + c.added + c.duplicates + c.reported);
}

void PrintTo(const Tcase &c, std::ostream *out)
{
    *out << c.file;
}

class BadInput : public ::testing::TestWithParam<Tcase> {};

TEST_P(BadInput, LoadsWhatItCanAndReportsTheRestWithFileAndLine)
{
    const Tcase &c = GetParam();
    const std::string path = std::string(QV_TEST_DATA) + "/" + c.file;
    ASSERT_TRUE(fs::is_regular_file(path)) << path;

    Tqv_records store;
    qv_load_report report;
    qv_load_history_file(store, path, report);

    const qv_load_counts &got = report.counts;
    EXPECT_EQ(got.files, 1u);
    EXPECT_EQ(got.lines, c.counts.lines);
    EXPECT_EQ(got.header, c.counts.header);
    EXPECT_EQ(got.skipped, c.counts.skipped);
    EXPECT_EQ(got.added, c.counts.added);
    EXPECT_EQ(got.duplicates, c.counts.duplicates);
    EXPECT_EQ(got.reported, c.counts.reported);
    EXPECT_EQ(got.value_problems, c.counts.value_problems);
    expect_accounted(got);
    EXPECT_EQ(store.count(), c.counts.added);

    ASSERT_EQ(report.problems.size(), c.problems.size());
    for (std::size_t i = 0; i < c.problems.size(); ++i) {
        EXPECT_EQ(report.problems[i].file, path);
        EXPECT_EQ(report.problems[i].line, c.problems[i].line) << report.problems[i].message;
        EXPECT_NE(report.problems[i].message.find(c.problems[i].message_part), std::string::npos)
            << report.problems[i].message;
        const std::string_view part = c.problems[i].message_part;
        const qv_problem_kind kind =
            part.starts_with("Date: ") || part.starts_with("Time: ") ? qv_problem_kind::value_left_out
            : part.find(" are written ") != std::string_view::npos   ? qv_problem_kind::file_form
                                                                     : qv_problem_kind::not_loaded;
        EXPECT_EQ(report.problems[i].kind, kind) << report.problems[i].message;
    }
    if (c.check_records)
        c.check_records(store);

    // The same bytes loaded from memory give the same outcome.
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Tqv_records again;
    qv_load_report again_report;
    qv_load_history_text(again, bytes, path, again_report);
    EXPECT_EQ(again_report.counts.lines, got.lines);
    EXPECT_EQ(again_report.counts.added, got.added);
    EXPECT_EQ(again_report.problems.size(), report.problems.size());
}

INSTANTIATE_TEST_SUITE_P(Files, BadInput, ::testing::ValuesIn(cases()),
                         [](const ::testing::TestParamInfo<Tcase> &param_info) {
                             std::string name = param_info.param.file;
                             for (char &ch : name)
                                 ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
                             return name;
                         });

// Every file of the collection has a case, so that a file added there is not silently left out.
TEST(BadInputCollection, EveryFileHasACase)
{
    std::vector<std::string> named;
    for (const Tcase &c : cases())
        named.emplace_back(c.file);
    for (const auto &entry : fs::directory_iterator(QV_TEST_DATA)) {
        const std::string name = entry.path().filename().string();
        EXPECT_NE(std::find(named.begin(), named.end(), name), named.end()) << name << " has no case";
    }
}

// ---- Files made at test time ----------------------------------------------------------------------

const std::string header = "\"Date\",\"Time\",\"Time Zone\",\"Name\",\"Type\",\"Status\",\"Gross\",\r\n";

// A record line with an ID, a buyer's name and a gross of 2.50.
std::string record_line(const std::string &id, const std::string &name)
{
    return testing_history::line({{3, name}, {6, "2.50"}, {11, id}});
}

class MadeFiles : public ::testing::Test {
protected:
    std::string write(const std::string &name, const std::string &bytes) { return folder.write(name, bytes); }

    Ttest_folder folder{"qv_robust_"};
    const fs::path &dir = folder.path();
    Tqv_records store;
    qv_load_report report;
};

TEST_F(MadeFiles, AMillionCharacterFieldKeepsItsFirst127)
{
    const std::string big(1000000, 'm');
    const std::string path =
        write("million.csv", header + record_line(big, big) + record_line("NEXT", "Ann"));
    qv_load_history_file(store, path, report);
    EXPECT_TRUE(report.problems.empty());
    ASSERT_EQ(store.count(), 2u);
    const Tqv_record_object *rec = store.find(std::string(127, 'm'));
    ASSERT_NE(rec, nullptr);
    EXPECT_EQ(rec->data.name(), std::string(127, 'm'));
    EXPECT_EQ(rec->data.gross, 250);
    EXPECT_EQ(store.find("NEXT")->data.name(), "Ann");
}

// A line far longer than a read block, between two ordinary lines.
TEST_F(MadeFiles, AHundredMegabyteLineLoadsAndSoDoTheLinesAroundIt)
{
    const std::string path = (dir / "huge.csv").string();
    {
        std::ofstream out(path, std::ios::binary);
        out << header << record_line("BEFORE", "Ann");
        // The item title (column 14) is 100 MB of 't'.
        std::string head;
        for (int c = 0; c < 14; ++c)
            head += c == 11 ? "\"HUGE\"," : "\"\",";
        out << head << '"';
        const std::string chunk(1 << 20, 't');
        for (int i = 0; i < 100; ++i)
            out << chunk;
        out << "\",";
        for (int c = 15; c < 42; ++c)
            out << "\"\",";
        out << "\r\n" << record_line("AFTER", "Bob");
    }
    ASSERT_GE(fs::file_size(path), std::uintmax_t{100} << 20);
    qv_load_history_file(store, path, report);
    EXPECT_TRUE(report.problems.empty());
    EXPECT_EQ(report.counts.lines, 4u);
    ASSERT_EQ(store.count(), 3u);
    ASSERT_NE(store.find("HUGE"), nullptr);
    EXPECT_EQ(store.find("HUGE")->data.item_title(), std::string(127, 't'));
    EXPECT_EQ(store.find("AFTER")->data.name(), "Bob");
}

TEST_F(MadeFiles, FilesThatCannotBeReadAreReportedAsLineZero)
{
    const std::string missing = (dir / "missing.csv").string();
    const fs::path subfolder = dir / "folder.csv";
    fs::create_directories(subfolder);
    const std::string good = write("good.csv", header + record_line("G1", "Ann"));

    qv_load_history_file(store, missing, report);
    qv_load_history_file(store, subfolder.string(), report); // a directory passed as a file
    qv_load_history_file(store, good, report);

    ASSERT_EQ(report.problems.size(), 2u);
    EXPECT_EQ(report.problems[0].file, missing);
    EXPECT_EQ(report.problems[0].line, 0u);
    EXPECT_NE(report.problems[0].message.find("No such file"), std::string::npos)
        << report.problems[0].message;
    EXPECT_EQ(report.problems[1].file, subfolder.string());
    EXPECT_EQ(report.problems[1].line, 0u);
    EXPECT_EQ(report.counts.files, 3u);
    EXPECT_EQ(store.count(), 1u);
}

TEST_F(MadeFiles, AFileWithoutReadPermissionIsReported)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "running as root: permission bits do not stop reads (missing files and folders "
                        "passed as files are checked instead)";
    const std::string path = write("locked.csv", header + record_line("L1", "Ann"));
    fs::permissions(path, fs::perms::none);
    qv_load_history_file(store, path, report);
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_EQ(report.problems[0].line, 0u);
    EXPECT_EQ(store.count(), 0u);
}

// A folder load skips a directory named like a history file without a word, and reports a file that
// went away between the listing and its load while the other files load.
TEST_F(MadeFiles, FolderLoadSkipsDirectoriesAndReportsAFileRemovedMeanwhile)
{
    write("a.csv", header + record_line("A1", "Ann"));
    const std::string b = write("b.csv", header + record_line("B1", "Bob"));
    write("c.csv", header + record_line("C1", "Cy"));
    fs::create_directories(dir / "d.csv");
    write("d.csv/inner.csv", header + record_line("D1", "Dee"));

    ASSERT_EQ(qv_history_files(dir.string()), (std::vector<std::string>{"a.csv", "b.csv", "c.csv"}));
    // The progress call at the start of each file's load removes b.csv once a.csv has been read. On one
    // thread, so that no file is opened ahead of its turn: one read whole before it went would load.
    qv_load_set_threads(1);
    qv_load_history_folder(store, dir.string(), report, [&](const qv_load_state &state) {
        if (fs::path(state.file).filename() == "a.csv" && store.count() == 1)
            fs::remove(b);
        return true;
    });
    qv_load_set_threads(0);

    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_EQ(report.problems[0].file, (dir / "b.csv").string());
    EXPECT_EQ(report.problems[0].line, 0u);
    EXPECT_NE(store.find("A1"), nullptr);
    EXPECT_EQ(store.find("B1"), nullptr);
    EXPECT_NE(store.find("C1"), nullptr);
    EXPECT_EQ(store.find("D1"), nullptr);
    EXPECT_EQ(report.counts.files, 3u);
}

} // namespace
