#include "Gen_history.h"
#include "Qv_file.h"
#include "tool_run.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

using namespace tool_test;

namespace {

const std::string header = [] {
    std::string h;
    for (const char *name : gen::column_names)
        h += std::string("\"") + name + "\",";
    return h + "\r\n";
}();

} // namespace

// The generator writes the format on its own, without the program's reading of it; their captions agree.
TEST(GeneratedFiles, TheGeneratorAndTheProgramKnowTheSameCaptions)
{
    ASSERT_EQ(gen::column_names.size(), qv_column_names.size());
    for (std::size_t i = 0; i < qv_column_names.size(); ++i)
        EXPECT_EQ(gen::column_names[i], qv_column_names[i]) << i;
}

namespace {

// A record line of 42 quoted columns, each followed by a comma: the given ones, the rest empty.
std::string line(const std::map<int, std::string> &columns)
{
    std::string out;
    for (int c = 0; c < 42; ++c) {
        const auto it = columns.find(c);
        out += "\"" + (it != columns.end() ? it->second : std::string()) + "\",";
    }
    return out + "\r\n";
}

std::string sale(const std::string &id, const std::string &gross)
{
    return line({{0, "1/2/2020"}, {3, "Buyer"}, {6, gross}, {11, id}, {32, "1"}});
}

// Transaction ID (field 12 of a dumped line) to the whole line.
std::map<std::string, std::string> by_id(const std::string &dump)
{
    std::map<std::string, std::string> lines;
    for (const std::string &l : lines_of(dump))
        lines[split(l, '\t').at(11)] = l;
    return lines;
}

using Dump = Tool_test;

} // namespace

TEST_F(Dump, WritesThe42FieldsInDeclaredOrderInTheirTextForms)
{
    std::map<int, std::string> columns;
    for (int c = 0; c < 42; ++c)
        columns[c] = "c" + std::to_string(c);
    columns[0] = "3/4/2021";
    columns[1] = "5:06:07";
    columns[6] = "1,234.56";
    columns[7] = "-0.50";
    columns[8] = "1234.06";
    columns[9] = "Ab@X.COM";
    columns[10] = "To@Ÿ.Org";
    columns[16] = "4.95";
    columns[18] = "0.07";
    columns[32] = "-3";
    columns[34] = "-12,345.00";
    write_file(dir / "f.csv", header + line(columns));

    const Trun r = run(QV_DUMP_PATH, {path("f.csv")});
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    std::string expected =
        "2021-03-04\t05:06:07\tc2\tc3\tc4\tc5\t1234.56\t-0.50\t1234.06\tab@x.com\tto@Ÿ.org";
    for (int c = 11; c <= 15; ++c)
        expected += "\tc" + std::to_string(c);
    expected += "\t4.95\tc17\t0.07";
    for (int c = 19; c <= 29; ++c)
        expected += "\tc" + std::to_string(c);
    expected += "\tc30\tc31\t-3\tc33\t-12345.00";
    for (int c = 35; c <= 41; ++c)
        expected += "\tc" + std::to_string(c);
    EXPECT_EQ(r.out, expected + "\n");
}

TEST_F(Dump, EscapesBackslashAndTabSoThatEveryLineKeeps42Fields)
{
    write_file(dir / "f.csv", header + line({{3, "Tab\there"}, {11, "ID1"}, {14, "back\\slash \\t"}}) +
                                  line({{3, "a\t\tb\\"}, {11, "ID2"}}));
    const Trun r = run(QV_DUMP_PATH, {path("f.csv")});
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = lines_of(r.out);
    ASSERT_EQ(lines.size(), 2u);
    for (const std::string &l : lines)
        EXPECT_EQ(split(l, '\t').size(), 42u) << l;
    EXPECT_EQ(split(lines[0], '\t')[3], "Tab\\there");
    EXPECT_EQ(split(lines[0], '\t')[14], "back\\\\slash \\\\t");
    EXPECT_EQ(split(lines[1], '\t')[3], "a\\t\\tb\\\\");
}

TEST_F(Dump, ExitStatusAndProblemLinesFollowWhatTheLoadReported)
{
    write_file(dir / "good.csv", header + sale("A1", "1.00") + sale("A2", "2.00"));
    write_file(dir / "bad.csv", header + sale("B1", "1.00") + sale("B2", "abc") + sale("B3", "3.00"));
    struct Tcase {
        std::vector<std::string> args;
        int status;
        std::string out;     // "" to skip the check
        std::string err_has; // "" for an empty standard error
    };
    const std::string good = path("good.csv"), bad = path("bad.csv"), missing = path("missing.csv");
    const Tcase cases[] = {
        {{good}, 0, "", ""},
        {{"--count", good}, 0, "2\n", ""},
        {{"--count", bad, good}, 1, "4\n", bad + ":3: Gross: 'abc' is not a valid amount\n"},
        {{"--count", good, missing}, 1, "2\n", missing + ": "},
        {{"--", good}, 0, "", ""},
        {{}, 2, "", "usage: qv-dump"},
        {{"--count"}, 2, "", "usage: qv-dump"},
        {{"--frobnicate", good}, 2, "", "usage: qv-dump"},
        {{"--version"},
         0,
         "qv-dump " QV_VERSION "\nLicense GPL-3.0-or-later: GNU GPL version 3 or later "
         "<https://gnu.org/licenses/gpl.html>.\n",
         ""},
        {{"--count", "--csv", good}, 2, "", "exclude each other"},
        {{"--csv", bad}, 1, "", bad + ":3: Gross: 'abc' is not a valid amount\n"},
    };
    for (const Tcase &c : cases) {
        std::string shown;
        for (const std::string &a : c.args)
            shown += a + " ";
        SCOPED_TRACE(shown);
        const Trun r = run(QV_DUMP_PATH, c.args);
        EXPECT_EQ(r.status, c.status);
        if (!c.out.empty()) {
            EXPECT_EQ(r.out, c.out);
        }
        if (c.err_has.empty()) {
            EXPECT_EQ(r.err, "");
        } else {
            EXPECT_NE(r.err.find(c.err_has), std::string::npos) << r.err;
        }
        if (c.status == 2) {
            EXPECT_EQ(r.out, "");
        }
    }
    // A file that could not be read carries no line number.
    EXPECT_EQ(run(QV_DUMP_PATH, {missing}).err.find(missing + ":0"), std::string::npos);
}

// Values that are not read are told on standard error, each file's note on its form ahead of its line
// problems, with exit status 1; records without their date dump an empty date.
TEST_F(Dump, ValuesNotReadAreToldWithTheirFileAndLine)
{
    const std::string days = std::string(QV_TEST_DATA) + "/day_first.csv";
    const std::string commas = std::string(QV_TEST_DATA) + "/decimal_comma.csv";
    const Trun r = run(QV_DUMP_PATH, {days, commas});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, days +
                         ": dates are written day first (line 2: '31/12/2020'); this program reads "
                         "month/day/year or year-month-day\n" +
                         days + ":2: Date: '31/12/2020' is not a valid date\n" + days +
                         ":3: Date: '13/01/2021' is not a valid date\n" + days +
                         ":4: Time: '25:00:00' is not a valid time\n" + commas +
                         ": amounts are written with a decimal comma (line 2: '1.234,56'); this program "
                         "reads the point form\n" +
                         commas + ":2: Gross: '1.234,56' is not a valid amount\n" + commas +
                         ":3: Gross: '12,50' is not a valid amount\n");
    const std::map<std::string, std::string> records = by_id(r.out);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(split(records.at("E1"), '\t')[0], "   0-00-00");
    EXPECT_EQ(split(records.at("E2"), '\t')[1], "22:00:00");
    EXPECT_EQ(split(records.at("E3"), '\t')[0], "2021-05-01");
    EXPECT_EQ(split(records.at("E3"), '\t')[1], "00:00:00");
    EXPECT_EQ(split(records.at("K3"), '\t')[6], "12.50");
}

// What qv-dump --csv writes loads back; another CSV file is no history file, which loading it says once,
// and a file without its header line names its first transaction.
TEST_F(Dump, FilesThatAreNoHistoryFilesAreToldOnce)
{
    const std::string exported = std::string(QV_TEST_DATA) + "/export.csv";
    const std::string other = std::string(QV_TEST_DATA) + "/other.csv";
    const std::string bare = std::string(QV_TEST_DATA) + "/no_header.csv";
    const Trun r = run(QV_DUMP_PATH, {"--count", exported, other, bare});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.out, "4\n");
    EXPECT_EQ(r.err, other + ": not a Quorvex history file: no line holds quoted fields\n" + bare +
                         ":1: line 1 is a transaction, not the header line; it was not loaded\n");

    // An export of qv-dump --csv reads back as the same records.
    write_file(dir / "back.csv", run(QV_DUMP_PATH, {"--csv", bare}).out);
    EXPECT_EQ(run(QV_DUMP_PATH, {"--csv", path("back.csv")}).out, run(QV_DUMP_PATH, {"--csv", bare}).out);
    EXPECT_EQ(run(QV_DUMP_PATH, {path("back.csv")}).out, run(QV_DUMP_PATH, {bare}).out);
}

TEST_F(Dump, TheFirstCopyWinsAcrossOverlappingFilesInEitherOrder)
{
    // Numbers 0..199 and 150..349: 50 shared transactions with other data in each file.
    ASSERT_EQ(run(QV_GEN_PATH, {"--seed", "1", "--records", "200", "--out", path("a.csv")}).status, 0);
    ASSERT_EQ(
        run(QV_GEN_PATH, {"--seed", "2", "--records", "200", "--first-id", "150", "--out", path("b.csv")})
            .status,
        0);
    const auto only_a = by_id(run(QV_DUMP_PATH, {path("a.csv")}).out);
    const auto only_b = by_id(run(QV_DUMP_PATH, {path("b.csv")}).out);
    ASSERT_EQ(only_a.size(), 200u);
    ASSERT_EQ(only_b.size(), 200u);
    std::size_t shared = 0;
    for (const auto &[id, l] : only_a) {
        if (only_b.count(id) != 0) {
            ++shared;
            EXPECT_NE(l, only_b.at(id)); // else the test could not tell the copies apart
        }
    }
    ASSERT_EQ(shared, 50u);

    for (const bool a_first : {true, false}) {
        SCOPED_TRACE(a_first ? "a.csv first" : "b.csv first");
        const auto &first = a_first ? only_a : only_b;
        const auto &second = a_first ? only_b : only_a;
        const Trun r = run(QV_DUMP_PATH, a_first ? std::vector<std::string>{path("a.csv"), path("b.csv")}
                                                 : std::vector<std::string>{path("b.csv"), path("a.csv")});
        ASSERT_EQ(r.status, 0) << r.err;
        const std::vector<std::string> lines = lines_of(r.out);
        ASSERT_EQ(lines.size(), 350u);
        std::string previous;
        for (const std::string &l : lines) {
            const std::string id = split(l, '\t').at(11);
            EXPECT_LT(previous, id); // store order: ascending ID (all capitals and digits here)
            previous = id;
            const auto it = first.find(id);
            EXPECT_EQ(l, it != first.end() ? it->second : second.at(id));
        }
    }
}

// The CSV of the sample files (commas, lone quotes and letters beyond ASCII in their texts) read back by
// Python's csv module holds every field of every record that the tab-separated dump shows, and the
// same totals.
TEST_F(Dump, CsvReadsBackThroughPythonsCsvModuleWithEveryFieldAndTotal)
{
    if (std::system("python3 -c 'import csv' >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "python3 is missing";
    const std::vector<std::string> files = {QV_EXAMPLES_DIR "/history-2021-2023.csv",
                                            QV_EXAMPLES_DIR "/history-2019-2021.csv",
                                            QV_EXAMPLES_DIR "/history-2023-2025.csv"};
    std::vector<std::string> csv_args = files;
    csv_args.insert(csv_args.begin(), "--csv");
    const Trun csv = run(QV_DUMP_PATH, csv_args);
    const Trun text = run(QV_DUMP_PATH, files);
    ASSERT_EQ(csv.status, 0) << csv.err;
    ASSERT_EQ(text.status, 0) << text.err;
    EXPECT_EQ(lines_of(csv.out).size(), 371u);
    write_file(dir / "export.csv", csv.out);
    write_file(dir / "dump.txt", text.out);
    const Trun back = run("python3", {QV_READBACK_PATH, "dump", path("export.csv"), path("dump.txt")});
    EXPECT_EQ(back.status, 0) << back.err;
    EXPECT_NE(back.out.find("370 records read back"), std::string::npos) << back.out;
}

namespace {

// Lines that test the order in which a load takes lines, beside generated files: copies of IDs of
// ids_from (in other letter case, some with a bad amount, which a copy leaves unreported), bad lines
// with new IDs, lines without an ID, blank lines and lines cut by a stray CR.
std::string awkward_lines(std::uint64_t ids_from, int count)
{
    std::string text = header;
    for (int i = 0; i < count; ++i) {
        std::string id = gen::trans_id(ids_from + static_cast<std::uint64_t>(i) * 7);
        switch (i % 6) {
        case 0:
            for (char &c : id)
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            text += sale(id, "1.00");
            break;
        case 1:
            text += sale(id, "x" + std::to_string(i)); // a copy: counted, not reported
            break;
        case 2:
            text += sale("NEW" + std::to_string(i), "bad" + std::to_string(i));
            break;
        case 3:
            text += sale("", "1.00") + "\r\n";
            break;
        case 4:
            text += "\"1/1/2020\",\"\r\",\"x\",\r\n" + sale("CR" + std::to_string(i), "2.00");
            break;
        default:
            text += sale("NEW" + std::to_string(i), std::to_string(i) + ".5");
            break;
        }
    }
    return text;
}

} // namespace

// A load gives the same store and the same report on any number of threads: files of several blocks
// with copies of IDs inside each file and across files, and lines of every kind, dumped byte for byte.
TEST_F(Dump, AnyNumberOfThreadsGivesTheSameStoreAndReport)
{
    ASSERT_EQ(run(QV_GEN_PATH,
                  {"--seed", "3", "--records", "25000", "--repeat-percent", "10", "--out", path("a.csv")})
                  .status,
              0);
    ASSERT_EQ(run(QV_GEN_PATH, {"--seed", "4", "--records", "20000", "--first-id", "15000",
                                "--repeat-percent", "5", "--out", path("b.csv")})
                  .status,
              0);
    write_file(dir / "c.csv", awkward_lines(100, 3000));
    const std::vector<std::string> files = {path("a.csv"), path("b.csv"), path("c.csv")};

    std::vector<std::string> args = {"--threads", "1"};
    args.insert(args.end(), files.begin(), files.end());
    const Trun one = run(QV_DUMP_PATH, args);
    EXPECT_EQ(one.status, 1);
    // Enough happened for the comparison to mean something: records from every file, copies and
    // problems beyond the cap.
    const std::vector<std::string> lines = lines_of(one.out);
    EXPECT_GT(lines.size(), 34000u);
    EXPECT_LT(lines.size(), 36000u);
    EXPECT_NE(one.err.find(path("c.csv") + ":4: Gross: 'bad2' is not a valid amount"), std::string::npos)
        << one.err.substr(0, 500);
    EXPECT_NE(one.err.find("more lines with problems"), std::string::npos);
    EXPECT_EQ(one.err.find("'x1'"), std::string::npos); // the bad copy of a stored ID is not reported

    for (const char *threads : {"2", "8"}) {
        SCOPED_TRACE(std::string("threads ") + threads);
        args[1] = threads;
        const Trun r = run(QV_DUMP_PATH, args);
        EXPECT_EQ(r.status, one.status);
        EXPECT_TRUE(r.out == one.out) << "the dumps differ";
        EXPECT_EQ(r.err, one.err);
    }
    // The order of the files still decides which copy wins.
    const Trun reversed = run(QV_DUMP_PATH, {"--threads", "8", files[1], files[0], files[2]});
    EXPECT_FALSE(reversed.out == one.out);
    EXPECT_EQ(run(QV_DUMP_PATH, {"--threads", "0", files[0]}).status, 2);
}
