#include "Gen_history.h"
#include "Qv_file.h"
#include "history_text.h"
#include "test_folder.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <thread>

namespace fs = std::filesystem;
using testing_history::header_line;
using testing_history::line;
using testing_history::sale;
using testing_history::Ttest_folder;

namespace {

class Load : public ::testing::Test {
protected:
    std::string write(const std::string &name, const std::string &bytes) { return folder.write(name, bytes); }

    static void expect_accounted(const qv_load_report &r)
    {
        const qv_load_counts &c = r.counts;
        EXPECT_EQ(c.lines, c.header + c.skipped + c.added + c.duplicates + c.reported);
    }

    Ttest_folder folder{"qv_load_"};
    const fs::path &dir = folder.path();
    Tqv_records store;
    qv_load_report report;
};

TEST_F(Load, TheFirstCopyOfATransactionWinsWhateverTheFileOrder)
{
    const std::string a =
        write("a.csv", header_line + sale("T1", "1/1/2020", "1.00") + sale("T2", "1/2/2020", "2.00"));
    const std::string b =
        write("b.csv", header_line + sale("t1", "1/1/2020", "9.00") + sale("T3", "1/3/2020", "3.00"));

    qv_load_history_file(store, a, report);
    qv_load_history_file(store, b, report);
    ASSERT_EQ(store.count(), 3u);
    EXPECT_EQ(store.find("T1")->data.gross, 100);
    EXPECT_EQ(store.find("T1")->data.trans_id(), "T1");

    Tqv_records other;
    qv_load_report other_report;
    qv_load_history_file(other, b, other_report);
    qv_load_history_file(other, a, other_report);
    EXPECT_EQ(other.find("T1")->data.gross, 900);
    EXPECT_EQ(other.record_at(0)->data.trans_id(), "t1");
    EXPECT_TRUE(report.problems.empty());
    EXPECT_EQ(report.counts.duplicates, 1u);
    expect_accounted(report);
}

TEST_F(Load, ABadNumberSkipsItsLineOnlyAndIsReportedWithFileAndLine)
{
    const std::string bad =
        write("bad.csv", header_line + sale("A", "1/1/2020", "1.00") + sale("B", "1/1/2020", "abc") +
                             sale("C", "1/1/2020", "1.00", "x") + sale("D", "1/1/2020", "4.00") +
                             sale("F", "1/1/2020", ","));
    const std::string next = write("next.csv", header_line + sale("E", "1/1/2020", "5.00"));
    qv_load_history_file(store, bad, report);
    qv_load_history_file(store, next, report);

    EXPECT_EQ(store.count(), 3u);
    EXPECT_NE(store.find("D"), nullptr);
    EXPECT_NE(store.find("E"), nullptr);
    EXPECT_EQ(store.find("B"), nullptr);
    ASSERT_EQ(report.problems.size(), 3u);
    EXPECT_EQ(report.problems[0].file, bad);
    EXPECT_EQ(report.problems[0].line, 3u);
    // The column's caption and its text as the file holds it.
    EXPECT_EQ(report.problems[0].message, "Gross: 'abc' is not a valid amount");
    EXPECT_EQ(report.problems[1].line, 4u);
    EXPECT_EQ(report.problems[1].message, "Quantity: 'x' is not a valid integer value");
    EXPECT_EQ(report.problems[2].line, 6u);
    EXPECT_EQ(report.problems[2].message, "Gross: ',' is not a valid amount");
    EXPECT_EQ(report.counts.reported, 3u);
    expect_accounted(report);
}

// A date or time that is not one is reported with file and line, and its record loads without it; a copy
// of a stored transaction changes nothing and so reports nothing.
TEST_F(Load, ABadDateOrTimeLoadsTheRecordWithoutItAndIsReported)
{
    const std::string path = write(
        "dates.csv", header_line + sale("A", "31/12/2020", "1.00") +
                         line({{0, "2/30/2009"}, {1, "25:00:00"}, {6, "2.00"}, {11, "B"}}) +
                         line({{0, "6/16/2009"}, {1, "10:00:00 PM"}, {6, "3.00"}, {11, "C"}}) +
                         line({{0, ""}, {1, ""}, {6, "4.00"}, {11, "D"}}) + sale("a", "99/99/99", "5.00"));
    qv_load_history_file(store, path, report);

    ASSERT_EQ(store.count(), 4u);
    EXPECT_EQ(store.find("A")->data.date, qv_date{});
    EXPECT_EQ(store.find("A")->data.time, (qv_time{10, 11, 12}));
    EXPECT_EQ(store.find("A")->data.gross, 100);
    EXPECT_EQ(store.find("B")->data.date, qv_date{});
    EXPECT_EQ(store.find("B")->data.time, qv_time{});
    EXPECT_EQ(store.find("B")->data.gross, 200);
    EXPECT_EQ(store.find("C")->data.date, (qv_date{2009, 6, 16}));
    EXPECT_EQ(store.find("C")->data.time, (qv_time{22, 0, 0}));
    EXPECT_EQ(store.find("D")->data.date, qv_date{});

    const std::vector<std::pair<std::size_t, std::string>> want = {
        {2, "Date: '31/12/2020' is not a valid date"},
        {3, "Date: '2/30/2009' is not a valid date"},
        {3, "Time: '25:00:00' is not a valid time"}};
    ASSERT_EQ(report.problems.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(report.problems[i].file, path);
        EXPECT_EQ(report.problems[i].line, want[i].first);
        EXPECT_EQ(report.problems[i].message, want[i].second);
        EXPECT_EQ(report.problems[i].kind, qv_problem_kind::value_left_out);
        EXPECT_EQ(qv_problem_text(report.problems[i]),
                  path + ":" + std::to_string(want[i].first) + ": " + want[i].second);
    }
    EXPECT_EQ(report.counts.lines, 6u);
    EXPECT_EQ(report.counts.added, 4u);
    EXPECT_EQ(report.counts.duplicates, 1u);
    EXPECT_EQ(report.counts.reported, 0u);
    EXPECT_EQ(report.counts.value_problems, 3u);
    expect_accounted(report);
}

// When most amounts or dates of a file are refused for one reason, a note says so once, with the first
// such line, ahead of the file's line problems; a reason that only some share gives no note.
TEST_F(Load, AFileWrittenInAnotherFormIsToldSoOnce)
{
    struct Case {
        const char *what;
        std::string text;
        std::vector<std::string> notes;
    };
    const auto sales = [](const std::vector<std::pair<const char *, const char *>> &date_gross) {
        std::string text = header_line;
        int n = 0;
        for (const auto &[date, gross] : date_gross)
            text += sale("T" + std::to_string(n++), date, gross);
        return text;
    };
    const Case cases[] = {
        {"decimal commas",
         sales({{"1/2/2020", "1.234,56"}, {"1/3/2020", "12,50"}, {"1/4/2020", "3,00"}}),
         {"amounts are written with a decimal comma (line 2: '1.234,56'); this program reads the point "
          "form"}},
        {"currency signs",
         sales({{"1/2/2020", "5.00"},
                {"1/3/2020", "$10.00"},
                {"1/4/2020", "\xE2\x82\xAC"
                             "3.00"}}),
         {"amounts are written with a currency sign (line 3: '$10.00'); this program reads the number "
          "alone"}},
        {"day-first dates, of which those up to the 12th read as month first",
         sales(
             {{"1/2/2020", "1.00"}, {"31/12/2020", "1.00"}, {"13.01.2021", "1.00"}, {"25-12-2020", "1.00"}}),
         {"dates are written day first (line 3: '31/12/2020'); this program reads month/day/year or "
          "year-month-day"}},
        {"decimal commas and day-first dates",
         sales({{"31/12/2020", "1,50"}, {"30/12/2020", "2,50"}}),
         {"amounts are written with a decimal comma (line 2: '1,50'); this program reads the point form",
          "dates are written day first (line 2: '31/12/2020'); this program reads month/day/year or "
          "year-month-day"}},
        {"one decimal comma among good amounts",
         sales({{"1/2/2020", "1,50"}, {"1/3/2020", "1.00"}, {"1/4/2020", "1.00"}}),
         {}},
        {"one day-first date in two", sales({{"1/2/2020", "1.00"}, {"31/12/2020", "1.00"}}), {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        Tqv_records one;
        qv_load_report r;
        const std::string before = write("before.csv", header_line + sale("B", "1/1/2020", "x"));
        const std::string path = write("form.csv", c.text);
        qv_load_history_files(one, {before, path}, r);
        // before.csv's problem, then the notes, then form.csv's line problems.
        ASSERT_GE(r.problems.size(), 1 + c.notes.size());
        EXPECT_EQ(r.problems[0].file, before);
        for (std::size_t i = 0; i < c.notes.size(); ++i) {
            const qv_load_problem &p = r.problems[1 + i];
            EXPECT_EQ(p.file, path);
            EXPECT_EQ(p.line, 0u);
            EXPECT_EQ(p.kind, qv_problem_kind::file_form);
            EXPECT_EQ(p.message, c.notes[i]);
        }
        for (std::size_t i = 1 + c.notes.size(); i < r.problems.size(); ++i) {
            EXPECT_EQ(r.problems[i].file, path);
            EXPECT_GE(r.problems[i].line, 2u) << r.problems[i].message;
        }
        expect_accounted(r);
    }
}

TEST_F(Load, AFileThatCannotBeReadIsReportedAndTheLoadGoesOn)
{
    const std::string missing = (dir / "gone.csv").string();
    const std::string good = write("good.csv", header_line + sale("A", "1/1/2020", "1.00"));
    qv_load_history_file(store, missing, report);
    qv_load_history_file(store, good, report);
    EXPECT_EQ(store.count(), 1u);
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_EQ(report.problems[0].file, missing);
    EXPECT_EQ(report.problems[0].line, 0u);
    EXPECT_EQ(report.problems[0].message, "No such file or directory");
}

// Empty and header-only files and blank lines are silent; a line that is no history line, or has no
// transaction ID, is reported and counted.
TEST_F(Load, LinesThatAreNoHistoryLinesAreReportedBlankOnesAreNot)
{
    qv_load_history_file(store, write("empty.csv", ""), report);
    qv_load_history_file(store, write("header.csv", header_line + std::string("\r\n\n")), report);
    const std::string noid = write(
        "noid.csv", std::string(header_line) + "\r\n" + "a,b,c\r\n" + line({{0, "1/1/2020"}, {6, "1.00"}}) +
                        "\"1/1/2020\",\"10:00:00\"\r\n" + sale("A", "1/1/2020", "1.00") + "\n");
    qv_load_history_file(store, noid, report);
    qv_load_history_file(store, "", report);
    EXPECT_EQ(store.count(), 1u);
    const std::vector<std::pair<std::size_t, std::string>> want = {
        {3, "not a history line: its fields are not quoted"},
        {4, "no transaction ID"},
        {5, "no transaction ID"}};
    ASSERT_EQ(report.problems.size(), want.size());
    for (std::size_t i = 0; i < want.size(); ++i) {
        EXPECT_EQ(report.problems[i].file, noid);
        EXPECT_EQ(report.problems[i].line, want[i].first);
        EXPECT_EQ(report.problems[i].message, want[i].second);
    }
    EXPECT_EQ(report.counts.skipped, 4u); // two blank lines in each file
    EXPECT_EQ(report.counts.reported, 3u);
    EXPECT_EQ(report.counts.files, 3u);
    expect_accounted(report);

    // A text that views no bytes at all is an empty file too.
    qv_load_report nothing;
    qv_load_history_text(store, std::string_view(), "nothing", nothing);
    EXPECT_TRUE(nothing.problems.empty());
    EXPECT_EQ(nothing.counts.files, 1u);
    EXPECT_EQ(nothing.counts.lines, 0u);
    expect_accounted(nothing);
}

// A file none of whose lines after the first is a history line (a standard CSV file, our own export
// among them) is told once, not line by line; its lines count as skipped.
TEST_F(Load, AFileWithoutHistoryLinesIsToldOnce)
{
    std::string csv = "date,time,name,gross,trans_id\r\n";
    for (int i = 0; i < 300; ++i)
        csv += "2009-06-16,07:05:00,\"Ann, Lee\",1.00,T" + std::to_string(i) + "\r\n";
    const std::string path = write("export.csv", csv + "\r\n");
    const std::string good =
        write("good.csv", std::string(header_line) + "x\r\n" + sale("A", "1/1/2020", "1.00"));
    qv_load_history_files(store, {path, good}, report);
    ASSERT_EQ(report.problems.size(), 2u);
    EXPECT_EQ(report.problems[0].file, path);
    EXPECT_EQ(report.problems[0].line, 0u);
    EXPECT_EQ(report.problems[0].message, "not a Quorvex history file: no line holds quoted fields");
    // A file with a history line reports its other lines one by one.
    EXPECT_EQ(report.problems[1].file, good);
    EXPECT_EQ(report.problems[1].line, 2u);
    EXPECT_EQ(report.problems[1].message, "not a history line: its fields are not quoted");
    EXPECT_TRUE(report.unlisted.empty());
    EXPECT_EQ(report.counts.skipped, 301u);
    EXPECT_EQ(report.counts.reported, 1u);
    EXPECT_EQ(store.count(), 1u);
    expect_accounted(report);
}

// A first line that holds a transaction (an ID and a date) is told: the first line is never loaded.
TEST_F(Load, AFirstLineThatIsATransactionIsTold)
{
    const std::string bare = write("bare.csv", sale("A", "1/1/2020", "1.00") + sale("B", "1/2/2020", "2.00"));
    const std::string headed = write("headed.csv", header_line + sale("C", "1/1/2020", "1.00"));
    const std::string odd =
        write("odd.csv", line({{0, "Date"}, {11, "Transaction ID"}}) + sale("D", "1/1/2020", "1.00"));
    qv_load_history_files(store, {bare, headed, odd}, report);
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_EQ(report.problems[0].file, bare);
    EXPECT_EQ(report.problems[0].line, 1u);
    EXPECT_EQ(report.problems[0].message, "line 1 is a transaction, not the header line; it was not loaded");
    EXPECT_EQ(store.find("A"), nullptr);
    EXPECT_EQ(store.count(), 3u);
    EXPECT_EQ(report.counts.header, 3u);
    expect_accounted(report);
}

TEST_F(Load, AZeroByteIsReportedAndTheLinesBeforeItLoad)
{
    const std::string bytes =
        header_line + sale("A", "1/1/2020", "1.00") + std::string(1, '\0') + sale("B", "1/1/2020", "1.00");
    qv_load_history_text(store, bytes, "nul.csv", report);
    EXPECT_EQ(store.count(), 1u);
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_EQ(report.problems[0].line, 3u);
    EXPECT_NE(report.problems[0].message.find("zero byte"), std::string::npos);
}

TEST_F(Load, UsesTheLastFieldOfALineWithoutTrailingComma)
{
    std::string l = line({{11, "A"}, {41, "555-0100"}});
    l.erase(l.size() - 3, 1); // drop the comma after the last field
    qv_load_history_text(store, header_line + l, "x.csv", report);
    ASSERT_EQ(store.count(), 1u);
    EXPECT_EQ(store.find("A")->data.phone(), "555-0100");
}

TEST_F(Load, FolderLoadsCsvFilesInNameOrderAndSkipsDirectories)
{
    write("b.CSV", header_line + sale("X", "1/1/2020", "2.00"));
    write("a.csv", header_line + sale("x", "1/1/2020", "1.00"));
    write("notes.txt", header_line + sale("N", "1/1/2020", "1.00"));
    fs::create_directories(dir / "folder.csv");
    qv_load_history_folder(store, dir.string(), report);
    EXPECT_EQ(store.count(), 1u);
    EXPECT_EQ(store.find("X")->data.gross, 100);
    EXPECT_TRUE(report.problems.empty());
    EXPECT_EQ(qv_history_files(dir.string()), (std::vector<std::string>{"a.csv", "b.CSV"}));
}

// Name order is the order of the names' bytes: names alike in their first eight bytes or more, a name
// that is the start of another, capitals before small letters, and a name in UTF-8 after plain ones.
// A link to a folder is left out as a folder is; a link that leads nowhere is listed for the load to
// report.
TEST_F(Load, FolderListingIsInTheOrderOfTheNamesBytes)
{
    for (const char *name :
         {"history.csv", "zeta.csv", "history-2024-02.csv", "\xc3\xa9t\xc3\xa9.csv", "history-2024.csv",
          "Zeta.csv", "history-2024-01.csv", "a.CSV", "history-2024-01.csv.csv", "h.csv"})
        write(name, header_line);
    fs::create_directories(dir / "inner");
    fs::create_directory_symlink(dir / "inner", dir / "inner.csv");
    fs::create_symlink(dir / "missing", dir / "gone.csv");

    const std::vector<std::string> names = qv_history_files(dir.string());
    EXPECT_EQ(names,
              (std::vector<std::string>{"Zeta.csv", "a.CSV", "gone.csv", "h.csv", "history-2024-01.csv",
                                        "history-2024-01.csv.csv", "history-2024-02.csv", "history-2024.csv",
                                        "history.csv", "zeta.csv", "\xc3\xa9t\xc3\xa9.csv"}));
    // The files of a folder given by name are loaded under the folder's path, with or without a
    // slash at its end.
    for (const std::string &folder_name : {dir.string(), dir.string() + "/"}) {
        SCOPED_TRACE(folder_name);
        qv_load_report r;
        qv_load_history_folder(store, folder_name, r);
        ASSERT_EQ(r.files.size(), names.size());
        EXPECT_EQ(r.files[0].file, (dir / "Zeta.csv").string());
        ASSERT_EQ(r.problems.size(), 1u);
        EXPECT_EQ(r.problems[0].file, (dir / "gone.csv").string());
    }
}

TEST_F(Load, ADeepFolderLoads)
{
    fs::path deep = dir;
    for (int i = 0; i < 12; ++i)
        deep /= std::string(40, static_cast<char>('a' + i));
    fs::create_directories(deep);
    std::ofstream(deep / "h.csv", std::ios::binary) << header_line << sale("D", "1/1/2020", "1.00");
    ASSERT_GT(deep.string().size(), 260u);
    qv_load_history_folder(store, deep.string(), report);
    EXPECT_EQ(store.count(), 1u);
    EXPECT_TRUE(report.problems.empty());
}

TEST_F(Load, AMissingFolderIsReported)
{
    qv_load_history_folder(store, (dir / "nowhere").string(), report);
    ASSERT_EQ(report.problems.size(), 1u);
    EXPECT_EQ(report.problems[0].line, 0u);
}

TEST_F(Load, LinesAcrossBlockBoundariesAndLongerThanABlockLoadWhole)
{
    // The loader reads in blocks of a few megabytes: lines straddle them, and one line is longer.
    std::string text = header_line;
    for (int i = 0; i < 30000; ++i) {
        text += line({{11, "B" + std::to_string(i)}, {14, std::string(100 + i % 50, 't')}, {41, "end"}});
        if (i == 20000)
            text += line({{11, "LONG"}, {14, std::string(9 << 20, 'x')}, {41, "tail"}});
    }
    const std::string path = write("blocks.csv", text);
    qv_load_history_file(store, path, report);
    EXPECT_TRUE(report.problems.empty());
    ASSERT_EQ(store.count(), 30001u);
    EXPECT_EQ(store.find("LONG")->data.phone(), "tail");
    EXPECT_EQ(store.find("LONG")->data.item_title(), std::string(127, 'x'));
    for (const char *id : {"B0", "B12345", "B20001", "B29999"})
        EXPECT_EQ(store.find(id)->data.phone(), "end") << id;

    Tqv_records from_memory;
    qv_load_report memory_report;
    qv_load_history_text(from_memory, text, "blocks.csv", memory_report);
    EXPECT_EQ(from_memory.count(), store.count());
    EXPECT_EQ(memory_report.counts.lines, report.counts.lines);
    expect_accounted(report);
}

TEST_F(Load, ProgressSeesTheFileAndTheRecordsSoFar)
{
    std::string text = header_line;
    for (int i = 0; i < 7000; ++i)
        text += line({{11, "P" + std::to_string(i)}});
    const std::string path = write("big.csv", text);
    qv_load_set_block_size(text.size() / 8); // told after each block
    std::size_t calls = 0;
    std::size_t last = 0;
    qv_load_history_file(store, path, report, [&](const qv_load_state &state) {
        EXPECT_EQ(state.file, path);
        EXPECT_GE(state.records, last);
        last = state.records;
        ++calls;
        return true;
    });
    qv_load_set_block_size(0);
    EXPECT_GE(calls, 8u);
    EXPECT_EQ(last, 7000u);
}

// Everything a load leaves behind, as text: every field of every record in store order, the problems
// and the counts.
std::string snapshot(const Tqv_records &store, const qv_load_report &report)
{
    std::string out;
    for (std::size_t pos = 0; pos < store.count(); ++pos) {
        const Tqv_record &r = store.record_at(pos)->data;
        out += qv_date_text(r.date) + ' ' + qv_time_text(r.time) + ' ' + std::to_string(r.quantity);
        for (const amount a : {r.gross, r.fee, r.net, r.shipping, r.sales_tax, r.balance})
            out += ' ' + qv_amount_text(a);
        for (int f = 0; f < qv_text_field_count; ++f)
            out.append(1, '|').append(r.text(static_cast<qv_text_field>(f)));
        out += '\n';
    }
    for (const qv_load_problem &p : report.problems)
        out += qv_problem_text(p) + '\n';
    for (const qv_load_unlisted &u : report.unlisted)
        out += u.file + ' ' + std::to_string(u.lines) + '\n';
    const qv_load_counts &c = report.counts;
    for (const std::size_t n : {c.files, c.lines, c.header, c.skipped, c.added, c.duplicates, c.reported})
        out += std::to_string(n) + ' ';
    return out + (report.cancelled ? "cancelled" : "");
}

std::string generated(std::uint64_t seed, std::uint64_t records, std::uint64_t first_id, unsigned repeat)
{
    gen::Toptions options;
    options.seed = seed;
    options.records = records;
    options.first_id = first_id;
    options.repeat_percent = repeat;
    std::string text;
    gen::write_history(options, [&](std::string_view piece) { text += piece; });
    return text;
}

class Threads : public Load {
protected:
    void TearDown() override
    {
        qv_load_set_threads(0);
        qv_load_set_block_size(0);
    }
};

// The store and the report are the same on any number of threads, whatever the size of the blocks:
// copies of IDs inside and across files, bad lines that copy a stored ID (counted as copies, not
// reported), lines longer than a block, stray CRs (which cut their lines before the ID), more problems
// than are listed.
TEST_F(Threads, AnyNumberOfThreadsGivesTheSameLoad)
{
    std::string awkward = header_line;
    for (int i = 0; i < 600; ++i) {
        const std::string id = gen::trans_id(static_cast<std::uint64_t>(i) * 3);
        if (i % 5 == 0)
            awkward += sale(id, "1/2/2020", "bad" + std::to_string(i));
        else if (i % 5 == 1)
            awkward += sale("N" + std::to_string(i), "1/2/2020", "bad" + std::to_string(i));
        else if (i % 5 == 2)
            awkward += line({{11, "L" + std::to_string(i)}, {14, std::string(20000 + i, 't')}});
        else if (i % 5 == 3)
            awkward += "\"1/1/2020\",\"\r\",\r\n" + sale("c" + id, "1/2/2020", "3.00");
        else
            awkward += sale(id, "1/3/2020", "2.00");
    }
    const std::vector<std::string> paths = {write("a.csv", generated(1, 3000, 0, 10)),
                                            write("b.csv", generated(2, 2000, 2000, 5)),
                                            write("c.csv", awkward)};
    for (const std::size_t block : {std::size_t{0}, std::size_t{16384}}) {
        qv_load_set_block_size(block);
        std::string first;
        for (const std::size_t threads : {1, 2, 8}) {
            SCOPED_TRACE("block " + std::to_string(block) + ", threads " + std::to_string(threads));
            qv_load_set_threads(threads);
            Tqv_records s;
            qv_load_report r;
            const std::thread::id caller = std::this_thread::get_id();
            std::size_t calls = 0;
            qv_load_history_files(s, paths, r, [&](const qv_load_state &) {
                EXPECT_EQ(std::this_thread::get_id(), caller);
                ++calls;
                return true;
            });
            EXPECT_GE(calls, 3u);
            const std::string now = snapshot(s, r);
            if (threads == 1) {
                first = now;
                // Enough of everything for the comparison to mean something.
                EXPECT_GT(r.counts.duplicates, 400u);
                EXPECT_GT(r.counts.added, 4000u);
                EXPECT_EQ(r.counts.reported, 240u); // 120 bad amounts, 120 lines cut before their ID
                EXPECT_EQ(r.problems.size(), 200u); // those and 120 stray CRs: 200 listed
                ASSERT_EQ(r.unlisted.size(), 1u);
                EXPECT_EQ(r.unlisted[0].lines, 160u);
                ASSERT_NE(s.find("L2"), nullptr);
                EXPECT_EQ(s.find("L2")->data.item_title(), std::string(127, 't'));
            } else {
                EXPECT_TRUE(now == first) << "the loads differ";
            }
        }
    }
}

// The lines of the next block are cut while the block before is parsed, up to as many as one run of the
// parse holds: blocks of far more short lines than that, with bad lines, stray CRs and records among
// them and a zero byte in a later block, keep every line's number on any number of threads.
TEST_F(Threads, ManyShortLinesToABlockKeepTheirNumbers)
{
    std::string text = header_line;
    std::vector<std::size_t> problem_lines;
    std::size_t records = 0;
    std::size_t number = 1;
    for (int i = 0; i < 300000; ++i) {
        ++number;
        if (i % 29989 == 7) {
            text += "not quoted\n";
            problem_lines.push_back(number);
        } else if (i % 31013 == 11) {
            text += "\"1/1/2020\",\"\r\",\r\n"; // told as a stray CR and as cut before its ID
            problem_lines.insert(problem_lines.end(), 2, number);
        } else if (i % 997 == 3) {
            text += sale("S" + std::to_string(i), "1/2/2020", "1.00");
            ++records;
        } else {
            text += i % 2 == 0 ? "\n" : "\r\n";
        }
    }
    text += "\n\n";
    text += '\0';
    problem_lines.push_back(number + 3);
    text += "\n" + sale("after-the-zero", "1/2/2020", "1.00");
    const std::string path = write("short.csv", text);
    qv_load_set_block_size(65536); // far more than 32768 lines to most blocks
    for (const std::size_t threads : {1, 2, 8}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        qv_load_set_threads(threads);
        Tqv_records s;
        qv_load_report r;
        qv_load_history_file(s, path, r);
        EXPECT_EQ(s.count(), records);
        EXPECT_EQ(s.find("after-the-zero"), nullptr);
        std::vector<std::size_t> lines;
        for (const qv_load_problem &p : r.problems)
            lines.push_back(p.line);
        EXPECT_EQ(lines, problem_lines);
        ASSERT_FALSE(r.problems.empty());
        EXPECT_NE(r.problems.back().message.find("zero byte"), std::string::npos);
    }
}

// A load cancelled after its third block keeps the same records on any number of threads.
TEST_F(Threads, ACancelledLoadKeepsTheSameLinesOnAnyNumberOfThreads)
{
    const std::string path = write("a.csv", generated(5, 2000, 0, 20));
    qv_load_set_block_size(32768);
    std::string first;
    for (const std::size_t threads : {1, 2, 8}) {
        SCOPED_TRACE("threads " + std::to_string(threads));
        qv_load_set_threads(threads);
        Tqv_records s;
        qv_load_report r;
        std::size_t calls = 0;
        qv_load_history_file(s, path, r, [&](const qv_load_state &) { return ++calls < 4; });
        EXPECT_TRUE(r.cancelled);
        EXPECT_GT(s.count(), 100u);
        EXPECT_LT(s.count(), 1000u);
        const std::string now = snapshot(s, r);
        if (threads == 1)
            first = now;
        else
            EXPECT_TRUE(now == first) << "the loads differ";
    }
}

// Many small files are opened and read ahead of their parse by another thread: the load is the same on
// any number of threads, with files that cannot be opened, empty names, a file without a last line end,
// an empty file and files too large to be read ahead among them, and when it is cancelled part way.
TEST_F(Threads, ManySmallFilesGiveTheSameLoadOnAnyNumberOfThreads)
{
    std::vector<std::string> paths;
    for (int i = 0; i < 150; ++i) {
        const std::string name = "f" + std::to_string(1000 + i) + ".csv";
        std::string text = header_line;
        for (int k = 0; k < 1 + i % 4; ++k) // IDs repeat across files
            text += sale("ID" + std::to_string((i * 3 + k) % 200), "1/2/2020", std::to_string(i) + ".00");
        if (i % 17 == 0)
            text += sale("B" + std::to_string(i), "1/2/2020", "bad");
        if (i % 29 == 0)
            text += "\"1/3/2020\",\"no line end\""; // the last line has no end
        if (i % 41 == 0)
            text =
                generated(static_cast<std::uint64_t>(i), 400, 10000 + 400 * static_cast<std::uint64_t>(i), 0);
        if (i == 77)
            text.clear();
        paths.push_back(i % 37 == 5 ? (dir / ("missing" + name)).string() : write(name, text));
        if (i % 50 == 0)
            paths.emplace_back();
    }
    qv_load_set_block_size(16384); // the generated files are larger than a block: read as they come
    for (const std::size_t stop : {std::size_t{0}, std::size_t{60}}) {
        std::string first;
        for (const std::size_t threads : {1, 2, 8}) {
            SCOPED_TRACE("threads " + std::to_string(threads) + ", stop at file " + std::to_string(stop));
            qv_load_set_threads(threads);
            Tqv_records s;
            qv_load_report r;
            const auto open_files = [] {
                return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator());
            };
            const auto open_before = open_files();
            qv_load_history_files(s, paths, r, [&](const qv_load_state &state) {
                return stop == 0 || state.file_number < stop;
            });
            EXPECT_EQ(open_files(), open_before); // every file the load opened is closed again
            std::string now = snapshot(s, r);
            for (const qv_load_file &f : r.files)
                now += f.file + ' ' + std::to_string(f.lines) + ' ' + std::to_string(f.added) + ' ' +
                       std::to_string(f.duplicates) + ' ' + std::to_string(f.problems) + '\n';
            if (threads == 1) {
                first = now;
                EXPECT_EQ(r.cancelled, stop != 0);
                EXPECT_EQ(r.files.size(), 150u); // those not read because of the cancel too
                EXPECT_GT(s.count(), stop == 0 ? 1000u : 400u);
                EXPECT_GT(r.counts.duplicates, stop == 0 ? 100u : 10u);
            } else {
                EXPECT_TRUE(now == first) << "the loads differ";
            }
        }
    }
}

} // namespace

// Each file of a load keeps what it gave: the second download of an overlapping stretch tells how
// much of it was new, a file that cannot be read stands in its place with its problem.
TEST_F(Load, EachFileKeepsItsOwnFiguresInLoadOrder)
{
    const std::string first = write("first.csv", header_line + sale("A", "3/15/2021", "1.00") +
                                                     sale("B", "1/2/2021", "2.00") + sale("C", "", "3.00"));
    const std::string second =
        write("second.csv", header_line + sale("b", "1/2/2021", "2.00") + sale("D", "12/31/2021", "abc") +
                                sale("E", "31/12/2021", "5.00") + sale("F", "6/1/2022", "6.00") + "\r\n");
    const std::string missing = (dir / "missing.csv").string();
    qv_load_history_files(store, {first, missing, second}, report);
    qv_load_history_text(store, header_line + sale("A", "1/1/2000", "1.00"), "text", report);

    ASSERT_EQ(report.files.size(), 4u);
    const qv_load_file &f1 = report.files[0];
    EXPECT_EQ(f1.file, first);
    EXPECT_EQ(f1.lines, 4u);
    EXPECT_EQ(f1.added, 3u);
    EXPECT_EQ(f1.duplicates, 0u);
    EXPECT_EQ(f1.problems, 0u);
    // The record without a date has no say in the first and last date.
    EXPECT_EQ(f1.first, (qv_date{2021, 1, 2}));
    EXPECT_EQ(f1.last, (qv_date{2021, 3, 15}));

    EXPECT_EQ(report.files[1].file, missing);
    EXPECT_EQ(report.files[1].lines, 0u);
    EXPECT_EQ(report.files[1].problems, 1u);
    EXPECT_FALSE(qv_date_is_valid(report.files[1].first));

    // One already loaded, a line not loaded, a record loaded without its date, a blank line.
    const qv_load_file &f2 = report.files[2];
    EXPECT_EQ(f2.file, second);
    EXPECT_EQ(f2.lines, 6u);
    EXPECT_EQ(f2.added, 2u);
    EXPECT_EQ(f2.duplicates, 1u);
    EXPECT_EQ(f2.problems, 2u);
    EXPECT_EQ(f2.first, (qv_date{2021, 1, 2}));
    EXPECT_EQ(f2.last, (qv_date{2022, 6, 1}));

    // A text's transaction that is already loaded still dates it.
    EXPECT_EQ(report.files[3].file, "text");
    EXPECT_EQ(report.files[3].duplicates, 1u);
    EXPECT_EQ(report.files[3].first, (qv_date{2000, 1, 1}));

    // The files' figures add up to the load's.
    std::size_t lines = 0, added = 0, duplicates = 0;
    for (const qv_load_file &f : report.files) {
        lines += f.lines;
        added += f.added;
        duplicates += f.duplicates;
    }
    EXPECT_EQ(lines, report.counts.lines);
    EXPECT_EQ(added, report.counts.added);
    EXPECT_EQ(duplicates, report.counts.duplicates);
}

// The call after a text's last block still cancels: the block's lines stay loaded, a last line
// without its line end is not read, and the cancel is told, whether the text is in memory, in a file
// of its own, or in the first of several files read ahead of their parse.
TEST_F(Load, TheCallAfterTheLastBlockStillCancels)
{
    const std::string whole = header_line + sale("A", "1/1/2020", "1.00") + sale("B", "1/2/2020", "2.00");
    ASSERT_EQ(whole.substr(whole.size() - 2), "\r\n");
    const struct {
        const char *what;
        std::string text;
        std::size_t stored;
        std::size_t lines;
    } cases[] = {
        {"every line ended", whole, 2, 3},
        {"the last line unended", whole.substr(0, whole.size() - 2), 1, 2},
    };
    const std::string other = write("z.csv", header_line + sale("Z", "1/3/2020", "3.00"));
    for (const auto &c : cases) {
        const std::string path = write("a.csv", c.text);
        for (const char *way : {"text", "file", "files"}) {
            SCOPED_TRACE(std::string(c.what) + ", " + way);
            Tqv_records s;
            qv_load_report r;
            std::size_t calls = 0;
            const auto progress = [&](const qv_load_state &state) {
                ++calls;
                return !(state.file_number == 1 && state.bytes_read == state.bytes_total);
            };
            if (way == std::string("text"))
                qv_load_history_text(s, c.text, path, r, progress);
            else if (way == std::string("file"))
                qv_load_history_file(s, path, r, progress);
            else
                qv_load_history_files(s, {path, other}, r, progress);
            EXPECT_TRUE(r.cancelled);
            EXPECT_EQ(calls, 2u); // at the start and after the only block
            EXPECT_EQ(s.count(), c.stored);
            ASSERT_FALSE(r.problems.empty());
            EXPECT_EQ(qv_problem_text(r.problems[0]),
                      path + ": not fully read: the load was cancelled after line " +
                          std::to_string(c.lines));
            EXPECT_EQ(r.problems.size(), way == std::string("files") ? 2u : 1u);
        }
    }
}

TEST_F(Load, AFileBeyondItsListedProblemsCountsThemAllAndACancelledLoadNamesTheFilesNotRead)
{
    std::string lines = header_line;
    for (std::size_t i = 0; i < qv_problems_per_file + 5; ++i)
        lines += sale("X" + std::to_string(i), "1/1/2020", "abc");
    const std::string bad = write("bad.csv", lines);
    const std::string good = write("good.csv", header_line + sale("G", "1/1/2020", "1.00"));
    qv_load_history_files(store, {bad, good}, report,
                          [](const qv_load_state &state) { return state.file_number == 1; });
    ASSERT_EQ(report.files.size(), 2u);
    EXPECT_EQ(report.files[0].problems, qv_problems_per_file + 5);
    EXPECT_EQ(report.files[1].file, good);
    EXPECT_EQ(report.files[1].lines, 0u);
    EXPECT_EQ(report.files[1].problems, 1u);
}
