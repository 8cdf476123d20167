// Every line read is accounted for: lines = header + skipped + added + duplicates + reported, on
// generated files that mix good lines, blank lines, lines without an ID, duplicates (also across files
// and in other letter case), lines with bad numbers and lines added without their day-first date. The
// expected counts come from a model of the rules, kept while the lines are generated.
#include "../unit/history_text.h"
#include "../unit/test_folder.h"
#include "Qv_file.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>

namespace fs = std::filesystem;

namespace {

std::string field_line(const std::string &id, const std::string &gross, const std::string &quantity,
                       const std::string &date = "5/17/2024")
{
    return testing_history::line({{0, date}, {6, gross}, {11, id}, {32, quantity}});
}

std::string folded(std::string s)
{
    for (char &c : s)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

// Generates one file and adds the counts its load must give to expected.
class Tmodel {
public:
    explicit Tmodel(unsigned seed) : rng_(seed) {}

    std::string make_file(std::size_t lines)
    {
        std::string text = "\"Date\",\"Time\",\"Transaction ID\"\r\n";
        ++expected.lines;
        ++expected.header;
        for (std::size_t i = 0; i < lines; ++i) {
            ++expected.lines;
            const int kind = pick(10);
            std::string id = "T" + std::to_string(pick(400)); // a small pool, so IDs repeat
            if (pick(2) == 0)
                id[0] = 't'; // the same key in other letter case
            const bool seen = stored_.count(folded(id)) > 0;
            if (kind == 0) {
                text += pick(2) == 0 ? "\r\n" : "\n"; // a blank line
                ++expected.skipped;
            } else if (kind == 1) {
                text += field_line("", "1.00", "1"); // no ID: reported
                ++expected.reported;
            } else if (kind == 2) {
                // A bad number: reported, unless the ID is stored already (then it is not parsed).
                text += field_line(id, pick(2) == 0 ? "1.2.3" : "9.99", pick(2) == 0 ? "x" : "1.5");
                if (seen)
                    ++expected.duplicates;
                else
                    ++expected.reported;
            } else {
                // Some with a day-first date: added without it (and reported), unless a copy.
                const bool bad_date = kind == 3;
                text += field_line(id, std::to_string(pick(100000)) + ".25", std::to_string(pick(9)),
                                   bad_date ? "17/5/2024" : "5/17/2024");
                if (seen) {
                    ++expected.duplicates;
                } else {
                    ++expected.added;
                    if (bad_date)
                        ++expected.value_problems;
                    stored_.insert(folded(id));
                }
            }
        }
        return text;
    }

    qv_load_counts expected;

private:
    int pick(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }

    std::mt19937 rng_;
    std::set<std::string> stored_;
};

TEST(Accounting, EveryLineOfGeneratedFilesIsCountedOnce)
{
    const testing_history::Ttest_folder folder("qv_accounting_");
    for (const unsigned seed : {1u, 2u, 3u}) {
        SCOPED_TRACE(seed);
        Tmodel model(seed);
        Tqv_records store;
        qv_load_report report;
        for (int f = 0; f < 3; ++f) {
            const std::string path = folder.write("h" + std::to_string(f) + ".csv", model.make_file(2000));
            qv_load_history_file(store, path, report);
            const qv_load_counts &c = report.counts;
            EXPECT_EQ(c.lines, c.header + c.skipped + c.added + c.duplicates + c.reported);
        }
        const qv_load_counts &c = report.counts;
        EXPECT_EQ(c.files, 3u);
        EXPECT_EQ(c.lines, model.expected.lines);
        EXPECT_EQ(c.header, model.expected.header);
        EXPECT_EQ(c.skipped, model.expected.skipped);
        EXPECT_EQ(c.added, model.expected.added);
        EXPECT_EQ(c.duplicates, model.expected.duplicates);
        EXPECT_EQ(c.reported, model.expected.reported);
        EXPECT_EQ(c.value_problems, model.expected.value_problems);
        // Every problem counted is listed, or counted among its file's unlisted ones.
        std::size_t unlisted = 0;
        for (const qv_load_unlisted &u : report.unlisted)
            unlisted += u.lines + u.values;
        EXPECT_EQ(report.problems.size() + unlisted, c.reported + c.value_problems);
        EXPECT_GT(c.value_problems, 0u);
        EXPECT_EQ(store.count(), c.added);
        EXPECT_GT(c.reported, 0u);
        EXPECT_GT(c.duplicates, 0u);
    }
}

} // namespace
