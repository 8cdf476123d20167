#include "Qv_file.h"
#include "history_text.h"

#include <gtest/gtest.h>

#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

using testing_history::header_line;
using testing_history::line;
using testing_history::sale;

namespace {

class Reports : public ::testing::Test {
protected:
    void load(const std::string &lines)
    {
        qv_load_history_text(store, header_line + lines, "r.csv", report);
        ASSERT_TRUE(report.problems.empty());
    }
    Tqv_records store;
    qv_load_report report;
};

using Points = std::vector<qv_report_point>;

TEST_F(Reports, MonthTotalsGiveOnePointPerMonthWithRecords)
{
    load(sale("A", "1/10/2009", "10.00", "2") + sale("B", "1/20/2009", "-2.50", "-1") +
         sale("C", "3/5/2009", "1.00", "4") + sale("D", "5/5/2009", "1.00", "4"));
    EXPECT_EQ(qv_report_month(store, {2009, 1, 1}, {2009, 3, 31}, qv_report_value::gross),
              (Points{{{2009, 1, 10}, 7.5}, {{2009, 3, 5}, 1.0}}));
    EXPECT_EQ(qv_report_month(store, {2009, 1, 1}, {2009, 3, 31}, qv_report_value::quantity),
              (Points{{{2009, 1, 10}, 1.0}, {{2009, 3, 5}, 4.0}}));
    // The same report twice gives the same points.
    EXPECT_EQ(qv_report_month(store, {2009, 1, 1}, {2009, 3, 31}, qv_report_value::quantity),
              (Points{{{2009, 1, 10}, 1.0}, {{2009, 3, 5}, 4.0}}));
}

TEST_F(Reports, ACutMonthCountsOnlyTheRecordsInsideTheRange)
{
    // In store order the out-of-range C comes after the in-range A and B of the same month.
    load(sale("A", "1/20/2009", "1.00", "1") + sale("B", "1/25/2009", "2.00", "2") +
         sale("C", "1/5/2009", "100.00", "100"));
    EXPECT_EQ(qv_report_month(store, {2009, 1, 15}, {2009, 1, 31}, qv_report_value::gross),
              (Points{{{2009, 1, 20}, 3.0}}));
}

TEST_F(Reports, QuantityMonthTotalsDoNotWrap)
{
    load(sale("A", "1/1/2009", "0", "2147483647") + sale("B", "1/2/2009", "0", "2147483647"));
    EXPECT_EQ(qv_report_month(store, {2009, 1, 1}, {2009, 1, 31}, qv_report_value::quantity),
              (Points{{{2009, 1, 1}, 4294967294.0}}));
}

TEST_F(Reports, DayPointsOnePerRecordSignedInStoreOrder)
{
    load(sale("C", "6/16/2009", "3.00", "-1") + sale("A", "6/16/2009", "1.00", "1") +
         sale("B", "6/16/2009", "2.00", "2") + sale("D", "6/17/2009", "4.00", "4") +
         sale("E", "6/15/2009", "5.00", "5"));
    EXPECT_EQ(qv_report_day(store, {2009, 6, 16}, {2009, 6, 16}, qv_report_value::gross),
              (Points{{{2009, 6, 16}, 1.0}, {{2009, 6, 16}, 2.0}, {{2009, 6, 16}, 3.0}}));
    EXPECT_EQ(
        qv_report_day(store, {2009, 6, 16}, {2009, 6, 17}, qv_report_value::quantity),
        (Points{{{2009, 6, 16}, 1.0}, {{2009, 6, 16}, 2.0}, {{2009, 6, 16}, -1.0}, {{2009, 6, 17}, 4.0}}));
}

TEST_F(Reports, RecordsWithoutADateNeverCount)
{
    load(line({{11, "A"}, {6, "1.00"}}));
    EXPECT_TRUE(qv_report_month(store, {1, 1, 1}, {9999, 12, 31}, qv_report_value::gross).empty());
    EXPECT_TRUE(qv_report_day(store, {1, 1, 1}, {9999, 12, 31}, qv_report_value::gross).empty());
}

// A search over many records is shared by two threads: wherever the halves meet, it finds what one
// thread finds, in store order, and an exception of the second half's lowering comes out of it.
TEST_F(Reports, SearchOnTwoThreadsFindsWhatOneFinds)
{
    std::string lines;
    constexpr int records = 3000;
    std::vector<std::string> ids;
    for (int i = 0; i < records; ++i) {
        // IDs in ascending order, so that a record's position is its i. The name of each seventh is
        // not ASCII and ends in its i.
        std::string id = std::to_string(100000 + i);
        const std::string name =
            i % 7 == 0 ? "Zo\xC3\xAB " + std::to_string(i) : "Ann " + std::to_string(i % 100);
        lines += line({{11, id}, {3, name}, {9, "u" + std::to_string(i % 37) + "@shop.example"}});
        ids.push_back(std::move(id));
    }
    load(lines);
    ASSERT_EQ(store.count(), std::size_t{records});
    const qv_lower_fn lower = [](std::string_view s) {
        std::string out(s);
        for (char &c : out)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        return out;
    };
    struct Case {
        qv_search_field field;
        const char *text;
    };
    const Case cases[] = {{qv_search_field::trans_id, "12"},    {qv_search_field::trans_id, "1029"},
                          {qv_search_field::trans_id, "015"}, // the middle record among them
                          {qv_search_field::from_email, "u3@"}, {qv_search_field::name, "zo\xC3\xAB 4"},
                          {qv_search_field::name, "ANN 9"}};
    for (const Case &c : cases) {
        qv_search_set_split_from(0);
        const std::vector<std::size_t> one = qv_search_records(store, c.field, c.text, lower);
        ASSERT_FALSE(one.empty()) << c.text;
        if (c.field == qv_search_field::trans_id) {
            std::vector<std::size_t> expected;
            for (std::size_t i = 0; i < ids.size(); ++i)
                if (ids[i].find(c.text) != std::string::npos)
                    expected.push_back(i);
            EXPECT_EQ(one, expected) << c.text;
        }
        for (const std::size_t split : {std::size_t{2}, std::size_t{3}, std::size_t{records}}) {
            qv_search_set_split_from(split);
            EXPECT_EQ(qv_search_records(store, c.field, c.text, lower), one) << c.text << " from " << split;
        }
    }
    qv_search_set_split_from(2);
    const qv_lower_fn failing = [](std::string_view s) -> std::string {
        if (s.find("2996") != std::string_view::npos) // in the second half
            throw std::runtime_error("lower failed");
        return std::string(s);
    };
    EXPECT_THROW(qv_search_records(store, qv_search_field::name, "x", failing), std::runtime_error);
    qv_search_set_split_from(0);
}

TEST_F(Reports, SearchMatchesBytesInStoreOrder)
{
    load(line({{11, "XB12"}, {3, "Zoë Müller"}, {9, "Zoe@Shop.example"}}) +
         line({{11, "XA12"}, {3, "ANNA"}, {9, "anna@example.com"}}) + line({{11, "Y9"}, {3, ""}}));
    EXPECT_EQ(qv_search_records(store, qv_search_field::trans_id, "12"), (std::vector<std::size_t>{0, 1}));
    EXPECT_TRUE(qv_search_records(store, qv_search_field::trans_id, "xa").empty());
    EXPECT_EQ(qv_search_records(store, qv_search_field::from_email, "shop"), (std::vector<std::size_t>{1}));
    EXPECT_TRUE(qv_search_records(store, qv_search_field::from_email, "Shop").empty());
    EXPECT_EQ(qv_search_records(store, qv_search_field::name, "ANN"), (std::vector<std::size_t>{0}));
    // Non-ASCII names go through the given lower-casing.
    const qv_lower_fn lower = [](std::string_view s) {
        std::string out(s);
        const std::string upper_u = "\xC3\x9C", lower_u = "\xC3\xBC";
        for (std::size_t at; (at = out.find(upper_u)) != std::string::npos;)
            out.replace(at, 2, lower_u);
        for (char &c : out)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        return out;
    };
    EXPECT_EQ(qv_search_records(store, qv_search_field::name, "MÜLLER"), std::vector<std::size_t>{});
    EXPECT_EQ(qv_search_records(store, qv_search_field::name, "müller", lower),
              (std::vector<std::size_t>{1}));
    EXPECT_TRUE(qv_search_records(store, qv_search_field::name, "a much longer text than any name").empty());
}

} // namespace

// A walk asked whether to go on is asked at every step of records and stops where it is told, with what
// it found before; told always to go on, it finds what a walk without the question finds.
TEST_F(Reports, AWalkStopsWhereItIsToldToAndOnlyThere)
{
    const std::size_t n = qv_walk_step + 100;
    std::string lines;
    for (std::size_t i = 0; i < n; ++i) {
        const std::string id = "W" + std::to_string(1000000 + i); // store order is the order written
        lines += sale(id, i < qv_walk_step ? "1/10/2009" : "2/10/2009", "1.00", "1");
    }
    load(lines);
    ASSERT_EQ(store.count(), n);
    struct Walk {
        const char *name;
        std::function<std::size_t(const qv_go_on_fn &)> found; // what the walk found
        std::size_t whole;                                     // found by the whole walk
        std::size_t first_step;                                // found before the first question
    };
    const Walk walks[] = {
        {"search",
         [&](const qv_go_on_fn &go_on) {
             return qv_search_records(store, qv_search_field::trans_id, "W1", {}, {}, go_on).size();
         },
         n, qv_walk_step},
        {"month report",
         [&](const qv_go_on_fn &go_on) {
             return qv_report_month(store, {2009, 1, 1}, {2009, 12, 31}, qv_report_value::gross, go_on)
                 .size();
         },
         2, 1},
        {"day report",
         [&](const qv_go_on_fn &go_on) {
             return qv_report_day(store, {2009, 1, 1}, {2009, 12, 31}, qv_report_value::gross, go_on).size();
         },
         n, qv_walk_step},
    };
    for (const Walk &walk : walks) {
        std::vector<std::size_t> asked;
        EXPECT_EQ(walk.found([&](std::size_t walked) {
            asked.push_back(walked);
            return true;
        }),
                  walk.whole)
            << walk.name;
        EXPECT_EQ(asked, std::vector<std::size_t>{qv_walk_step}) << walk.name;
        EXPECT_EQ(walk.found({}), walk.whole) << walk.name;
        EXPECT_EQ(walk.found([](std::size_t) { return false; }), walk.first_step) << walk.name;
    }
}
