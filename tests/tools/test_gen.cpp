#include "Gen_history.h"
#include "Qv_file.h"
#include "tool_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <string>

using namespace tool_test;

namespace {

std::string generate(const gen::Toptions &options, gen::Tsummary *summary = nullptr)
{
    std::string bytes;
    const gen::Tsummary s = gen::write_history(options, [&](std::string_view piece) { bytes += piece; });
    if (summary != nullptr)
        *summary = s;
    return bytes;
}

gen::Toptions sized(std::uint64_t seed, std::uint64_t records, std::uint64_t first_id = 0)
{
    gen::Toptions o;
    o.seed = seed;
    o.records = records;
    o.first_id = first_id;
    return o;
}

// The fields of one CR LF line written as "a","b",...,"z",
std::vector<std::string> quoted_fields(const std::string &line)
{
    EXPECT_GE(line.size(), 4u);
    EXPECT_EQ(line.substr(0, 1), "\"");
    EXPECT_EQ(line.substr(line.size() - 2), "\",");
    std::vector<std::string> fields;
    const std::string inner = line.substr(1, line.size() - 3);
    std::string::size_type from = 0;
    for (;;) {
        const auto at = inner.find("\",\"", from);
        fields.push_back(inner.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos)
            return fields;
        from = at + 3;
    }
}

} // namespace

TEST(Generator, TheSameOptionsGiveTheSameBytesAndEveryOptionChangesThem)
{
    const std::string base = generate(sized(7, 500));
    EXPECT_EQ(generate(sized(7, 500)), base);
    EXPECT_NE(generate(sized(8, 500)), base);
    EXPECT_NE(generate(sized(7, 500, 1)), base);
    // Fewer records are not a prefix of more: the dates spread over the whole period either way.
    EXPECT_NE(generate(sized(7, 499)), base.substr(0, generate(sized(7, 499)).size()));
}

TEST(Generator, EveryLineHas42QuotedFieldsATrailingCommaAndCrLf)
{
    gen::Tsummary summary;
    const std::string bytes = generate(sized(3, 3000), &summary);
    ASSERT_EQ(bytes.substr(bytes.size() - 2), "\r\n");
    const std::vector<std::string> lines = lines_of(bytes);
    ASSERT_EQ(lines.size(), 3001u);
    EXPECT_EQ(summary.lines, 3000u);
    EXPECT_EQ(summary.bytes, bytes.size());

    const std::regex date(R"(([1-9]|1[0-2])/([1-9]|[12][0-9]|3[01])/20(19|2[0-5]))");
    const std::regex time(R"(([0-9]|1[0-9]|2[0-3]):[0-5][0-9]:[0-5][0-9])");
    const std::regex money(R"(-?(0|[1-9][0-9]{0,2}(,[0-9]{3})*)\.[0-9]{2})");
    const std::regex id("[0-9A-Z]{17}");
    std::size_t with_separator = 0, negative = 0, empty_quantity = 0, non_ascii_name = 0;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        const std::string &line = lines[i];
        ASSERT_FALSE(line.empty());
        ASSERT_EQ(line.back(), '\r') << "line " << i + 1;
        const std::vector<std::string> f = quoted_fields(line.substr(0, line.size() - 1));
        ASSERT_EQ(f.size(), 42u) << "line " << i + 1;
        if (i == 0) {
            EXPECT_EQ(f[0], "Date");
            EXPECT_EQ(f[11], "Transaction ID");
            EXPECT_EQ(f[41], "Contact Phone Number");
            continue;
        }
        EXPECT_TRUE(std::regex_match(f[0], date)) << f[0];
        EXPECT_TRUE(std::regex_match(f[1], time)) << f[1];
        EXPECT_TRUE(f[2] == "PDT" || f[2] == "PST") << f[2];
        for (int c : {6, 7, 8, 16, 18, 34})
            EXPECT_TRUE(std::regex_match(f[static_cast<std::size_t>(c)], money)) << c << ": " << f[c];
        EXPECT_TRUE(std::regex_match(f[11], id)) << f[11];
        with_separator += f[6].find(',') != std::string::npos;
        negative += f[6][0] == '-';
        empty_quantity += f[32].empty();
        non_ascii_name += std::any_of(f[3].begin(), f[3].end(), [](char ch) { return (ch & 0x80) != 0; });
    }
    // The variety that the loader has to cope with is really there.
    EXPECT_GT(with_separator, 30u);
    EXPECT_GT(negative, 300u);
    EXPECT_GT(empty_quantity, 300u);
    EXPECT_GT(non_ascii_name, 300u);
    EXPECT_NE(bytes.find("12\" record, mint"), std::string::npos);
    const double average = static_cast<double>(bytes.size()) / 3001.0;
    EXPECT_GT(average, 360.0);
    EXPECT_LT(average, 420.0);
}

TEST(Generator, DatesNeverGoBackAndSpanThePeriod)
{
    gen::Toptions o = sized(5, 2000);
    o.first_year = 2020;
    o.last_year = 2021;
    const std::vector<std::string> lines = split(generate(o), '\n');
    int previous = 0, first = 0, last = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].empty())
            continue;
        int m = 0, d = 0, y = 0;
        ASSERT_EQ(std::sscanf(lines[i].c_str(), "\"%d/%d/%d\"", &m, &d, &y), 3) << lines[i];
        const int key = y * 10000 + m * 100 + d;
        EXPECT_GE(key, previous);
        previous = key;
        if (first == 0)
            first = key;
        last = key;
    }
    EXPECT_LT(first, 20200110);
    EXPECT_GT(last, 20211220);
    EXPECT_LE(last, 20211231);
}

TEST(Generator, TransactionIdsAreDistinctPerNumber)
{
    std::set<std::string> ids;
    for (std::uint64_t n = 0; n < 200000; ++n)
        ids.insert(gen::trans_id(n));
    EXPECT_EQ(ids.size(), 200000u);
    EXPECT_EQ(gen::trans_id(12345), gen::trans_id(12345));
}

// What the loader makes of generated files: every line loads, no problem is reported, and the counts
// are the generator's own.
TEST(Generator, FilesLoadWithoutProblemsAndRepeatedIdsMergeInsideAFile)
{
    struct Tcase {
        unsigned repeat_percent;
        std::uint64_t records;
    };
    for (const Tcase c : {Tcase{0, 5000}, Tcase{10, 5000}}) {
        gen::Toptions o = sized(11, c.records);
        o.repeat_percent = c.repeat_percent;
        gen::Tsummary summary;
        const std::string bytes = generate(o, &summary);
        Tqv_records store;
        qv_load_report report;
        qv_load_history_text(store, bytes, "gen.csv", report);
        EXPECT_TRUE(report.problems.empty()) << report.problems.front().message;
        EXPECT_EQ(store.count(), summary.distinct);
        EXPECT_EQ(report.counts.duplicates, summary.lines - summary.distinct);
        if (c.repeat_percent > 0) {
            EXPECT_LT(summary.distinct, c.records * 95 / 100);
        } else {
            EXPECT_EQ(summary.distinct, c.records);
        }
        // The shared-ID scheme: ID number k is the k-th new transaction of the file.
        EXPECT_NE(store.find(gen::trans_id(o.first_id)), nullptr);
        EXPECT_NE(store.find(gen::trans_id(o.first_id + summary.distinct - 1)), nullptr);
        EXPECT_EQ(store.find(gen::trans_id(o.first_id + summary.distinct)), nullptr);
    }
}

// The sample files of the checkout come from the commands of their README, on any compiler: a draw
// order that depended on how a compiler evaluates operands would show here.
TEST(Generator, RemakesTheSampleFilesByteForByte)
{
    struct Tcase {
        const char *file;
        std::uint64_t seed, records, first_id;
        int first_year, last_year;
        unsigned repeat_percent;
    };
    const Tcase cases[] = {
        {"history-2019-2021.csv", 11, 150, 0, 2019, 2021, 0},
        {"history-2021-2023.csv", 12, 150, 120, 2021, 2023, 3},
        {"history-2023-2025.csv", 13, 120, 250, 2023, 2025, 0},
    };
    for (const Tcase &c : cases) {
        gen::Toptions o = sized(c.seed, c.records, c.first_id);
        o.first_year = c.first_year;
        o.last_year = c.last_year;
        o.repeat_percent = c.repeat_percent;
        const std::string expected = read_file(fs::path(QV_EXAMPLES_DIR) / c.file);
        ASSERT_FALSE(expected.empty()) << c.file;
        EXPECT_TRUE(generate(o) == expected) << c.file << " differs from what its command makes now";
    }
}

using Gen_tool = Tool_test;

TEST_F(Gen_tool, WritesTheSameFileForTheSameSeedAndRejectsBadCommandLines)
{
    const std::vector<std::string> common = {"--records", "300", "--first-id", "40"};
    auto args = [&](const std::string &seed, const std::string &out) {
        std::vector<std::string> a = common;
        a.insert(a.end(), {"--seed", seed, "--out", path(out)});
        return a;
    };
    ASSERT_EQ(run(QV_GEN_PATH, args("9", "a.csv")).status, 0);
    ASSERT_EQ(run(QV_GEN_PATH, args("9", "b.csv")).status, 0);
    ASSERT_EQ(run(QV_GEN_PATH, args("10", "c.csv")).status, 0);
    const std::string a = read_file(dir / "a.csv");
    EXPECT_EQ(a, read_file(dir / "b.csv"));
    EXPECT_NE(a, read_file(dir / "c.csv"));
    gen::Toptions o = sized(9, 300, 40);
    EXPECT_EQ(a, generate(o)); // the program writes what the library makes

    const Trun id = run(QV_GEN_PATH, {"--print-id", "40"});
    EXPECT_EQ(id.status, 0);
    EXPECT_EQ(id.out, gen::trans_id(40) + "\n");

    for (const std::vector<std::string> &bad : {std::vector<std::string>{},
                                                {"--records", "x", "--out", path("d.csv")},
                                                {"--bogus", "1"},
                                                {"--years", "2025-2019", "--out", path("d.csv")},
                                                {"--out"}}) {
        const Trun r = run(QV_GEN_PATH, bad);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("usage: qv-gen"), std::string::npos);
    }
    EXPECT_FALSE(fs::exists(dir / "d.csv"));
    EXPECT_EQ(run(QV_GEN_PATH, {"--records", "1", "--out", path("no/such/dir/x.csv")}).status, 1);
}
