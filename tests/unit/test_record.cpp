#include "Bcl.h"
#include "Qv_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

namespace {

struct DateCase {
    const char *text;
    int result;
    qv_date date;
};

class DateParse : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateParse, ReadsSlashAndDashForms)
{
    const DateCase &c = GetParam();
    qv_date d{9, 9, 9};
    EXPECT_EQ(qv_date_parse(d, c.text), c.result);
    EXPECT_EQ(d, c.date) << c.text << " gave " << d.year << "-" << d.month << "-" << d.day;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DateParse,
    ::testing::Values(DateCase{"12/31/2008", 1, {2008, 12, 31}}, DateCase{"2008-12-31", 2, {2008, 12, 31}},
                      DateCase{"6/16/2009", 1, {2009, 6, 16}}, DateCase{"", -2, {}},
                      DateCase{"31.12.2008", -1, {}}, DateCase{"6/16", 1, {0, 6, 16}},
                      DateCase{" 6/ 16/ 2009 10:00", 1, {2009, 6, 16}},
                      DateCase{"1/300/2009", 1, {2009, 1, 44}}, DateCase{"2/29/2023", 1, {2023, 2, 29}},
                      DateCase{"13/1/2024", 1, {2024, 13, 1}}, DateCase{"0/0/0", 1, {0, 0, 0}},
                      DateCase{"2024-02-30", 2, {2024, 2, 30}}, DateCase{"1/2-3/2020", 1, {0, 1, 2}},
                      DateCase{"x/1/2020", 1, {}}, DateCase{"-1/1/2020", 1, {2020, 255, 1}},
                      DateCase{"1/1/70000", 1, {4464, 1, 1}}));

TEST(TimeParse, ReadsHoursMinutesSeconds)
{
    qv_time t;
    EXPECT_EQ(qv_time_parse(t, "23:59:59"), 1);
    EXPECT_EQ(t, (qv_time{23, 59, 59}));
    EXPECT_EQ(qv_time_parse(t, "7:5"), 1);
    EXPECT_EQ(qv_time_text(t), "07:05:00");
    EXPECT_EQ(qv_time_parse(t, "1200"), -1);
    EXPECT_EQ(t, qv_time{});
    EXPECT_EQ(qv_time_parse(t, ""), -2);
}

struct AmountCase {
    const char *text;
    std::optional<amount> value; // none: the conversion error
    const char *written = nullptr;
};

class AmountParse : public ::testing::TestWithParam<AmountCase> {};

TEST_P(AmountParse, ReadsHundredths)
{
    const AmountCase &c = GetParam();
    amount a = 77;
    if (!c.value) {
        EXPECT_THROW(qv_amount_parse(a, c.text), Ebcl_conversion_error) << c.text;
        return;
    }
    qv_amount_parse(a, c.text);
    EXPECT_EQ(a, *c.value) << c.text;
    if (c.written) {
        EXPECT_EQ(qv_amount_text(a), c.written);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AmountParse,
    ::testing::Values(AmountCase{"-1,234.56", -123456, "-1234.56"}, AmountCase{"-0.01", -1, "-0.01"},
                      AmountCase{"0.00", 0, "0.00"}, AmountCase{"1,234", 123400, "1234.00"},
                      AmountCase{"", 0, "0.00"}, AmountCase{"1.05", 105, "1.05"},
                      // one decimal is tenths; more than two are rounded half away from zero
                      AmountCase{"1.5", 150, "1.50"}, AmountCase{"-0.5", -50, "-0.50"},
                      AmountCase{"1.234", 123}, AmountCase{"1.235", 124}, AmountCase{"-1.235", -124},
                      AmountCase{"1.995", 200, "2.00"},
                      // 64-bit amounts: past 21,474,836.47
                      AmountCase{"21,474,836.47", 2147483647}, AmountCase{"21,474,836.48", 2147483648},
                      AmountCase{"-2,147,483,647.99", -214748364799, "-2147483647.99"},
                      AmountCase{" -0.50", -50, "-0.50"}, AmountCase{"+5", 500},
                      AmountCase{"1,2,3.00", 12300}, AmountCase{"$1F", 3100}, AmountCase{".50", {}},
                      AmountCase{"12.", {}}, AmountCase{"abc", {}}, AmountCase{"1e5", {}},
                      AmountCase{"--5", {}}, AmountCase{"(1.00)", {}}, AmountCase{"2147483648.00", {}},
                      AmountCase{"123456789012345678901234567890", {}}, AmountCase{"1.2.3", {}}));

TEST(AmountParse, TheErrorNamesTheOffendingPart)
{
    amount a;
    try {
        qv_amount_parse(a, ".50");
        FAIL();
    } catch (const Ebcl_conversion_error &e) {
        EXPECT_STREQ(e.what(), "'' is not a valid integer value");
    }
    try {
        qv_amount_parse(a, "12.5q");
        FAIL();
    } catch (const Ebcl_conversion_error &e) {
        EXPECT_STREQ(e.what(), "'5q' is not a valid integer value");
    }
}

TEST(TextForms, DateAndAmount)
{
    EXPECT_EQ(qv_date_text({2009, 6, 16}), "2009-06-16");
    EXPECT_EQ(qv_date_text({}), "   0-00-00");
    EXPECT_EQ(qv_amount_text(105), "1.05");
    EXPECT_EQ(qv_amount_text(-50), "-0.50");
    EXPECT_EQ(qv_amount_text(INT64_MIN), "-92233720368547758.08");
}

// The writers into room stand for printf formats: each value must come out as the format writes it,
// wider-than-the-field values included.
TEST(TextForms, WrittenIntoRoomAsTheFormatsWriteThem)
{
    const auto printed = [](const char *format, auto... values) {
        char buf[64];
        std::snprintf(buf, sizeof buf, format, values...);
        return std::string(buf);
    };
    char room[32];
    const qv_date dates[] = {{2009, 6, 16},  {}, {7, 1, 2}, {65535, 255, 255}, {999, 300, 1000},
                             {12345, 12, 31}};
    for (const qv_date &d : dates) {
        EXPECT_EQ(std::string(room, qv_date_put(room, d)), printed("%4d-%02d-%02d", d.year, d.month, d.day));
        EXPECT_EQ(std::string(room, qv_date_put(room, d, '0')),
                  printed("%04d-%02d-%02d", d.year, d.month, d.day));
        EXPECT_EQ(qv_date_text(d), printed("%4d-%02d-%02d", d.year, d.month, d.day));
    }
    const qv_time times[] = {{7, 5, 0}, {}, {23, 59, 59}, {255, 100, 9}};
    for (const qv_time &t : times) {
        EXPECT_EQ(std::string(room, qv_time_put(room, t)),
                  printed("%02d:%02d:%02d", t.hour, t.minute, t.second));
        EXPECT_EQ(qv_time_text(t), printed("%02d:%02d:%02d", t.hour, t.minute, t.second));
    }
    const amount amounts[] = {0, 5, -5, 99, 100, -100, 123456, -123456, INT64_MAX, INT64_MIN, INT64_MIN + 1};
    for (const amount a : amounts) {
        const unsigned long long magnitude =
            a < 0 ? 0ull - static_cast<unsigned long long>(a) : static_cast<unsigned long long>(a);
        const std::string want = printed("%s%llu.%02llu", a < 0 ? "-" : "", magnitude / 100, magnitude % 100);
        EXPECT_EQ(std::string(room, qv_amount_put(room, a)), want);
        EXPECT_EQ(qv_amount_text(a), want);
    }
}

TEST(DateComparisons, KeysRangesAndValidity)
{
    const qv_date d{2009, 6, 16};
    EXPECT_TRUE(qv_date_in_range(d, d, d));
    EXPECT_FALSE(qv_date_in_range({2009, 6, 17}, d, d));
    EXPECT_TRUE(qv_date_in_range({2009, 1, 1}, {2008, 12, 31}, {2009, 1, 1}));
    EXPECT_LT(qv_date_diff({2008, 12, 31}, {2009, 1, 1}), 0);
    EXPECT_GT(qv_date_diff({65535, 1, 1}, {1, 1, 1}), 0);
    EXPECT_TRUE(qv_date_same_month({2009, 6, 1}, {2009, 6, 30}));
    EXPECT_FALSE(qv_date_same_month({2009, 6, 1}, {2010, 6, 1}));
    EXPECT_TRUE(qv_date_is_valid({2023, 2, 31}));
    EXPECT_FALSE(qv_date_is_valid({2023, 13, 1}));
    EXPECT_FALSE(qv_date_is_valid({0, 1, 1}));
    EXPECT_FALSE(qv_date_exists({2023, 2, 29}));
    EXPECT_TRUE(qv_date_exists({2024, 2, 29}));
    EXPECT_FALSE(qv_date_exists({1900, 2, 29}));
    EXPECT_TRUE(qv_date_exists({2000, 2, 29}));
    EXPECT_FALSE(qv_date_exists({2024, 4, 31}));
    EXPECT_FALSE(qv_date_exists({2024, 1, 0}));
}

// The line stays alive for the fields that view it.
qv_line_fields numbered_fields()
{
    static std::string line;
    line.clear();
    for (int c = 0; c < qv_column_count; ++c) {
        std::string text = "C" + std::to_string(c);
        if (c == 0)
            text = "6/5/2009";
        else if (c == 1)
            text = "07:08:09";
        else if (c == 6 || c == 7 || c == 8 || c == 16 || c == 18 || c == 34)
            text = std::to_string(c) + ".25";
        else if (c == 32)
            text = "-1";
        else if (c == 9 || c == 10)
            text = "Ann.Ö@Example.COM";
        line += "\"" + text + "\",";
    }
    qv_line_fields fields;
    qv_line_split(line, fields);
    return fields;
}

TEST(RecordParse, EveryFieldComesFromItsColumn)
{
    const qv_line_fields fields = numbered_fields();
    Tqv_record rec;
    ASSERT_EQ(qv_record_parse(rec, &fields), 1);
    EXPECT_EQ(rec.date, (qv_date{2009, 6, 5}));
    EXPECT_EQ(rec.time, (qv_time{7, 8, 9}));
    EXPECT_EQ(rec.gross, 625);
    EXPECT_EQ(rec.fee, 725);
    EXPECT_EQ(rec.net, 825);
    EXPECT_EQ(rec.shipping, 1625);
    EXPECT_EQ(rec.sales_tax, 1825);
    EXPECT_EQ(rec.balance, 3425);
    EXPECT_EQ(rec.quantity, -1);
    EXPECT_EQ(rec.from_email(), "ann.Ö@example.com");
    EXPECT_EQ(rec.to_email(), "ann.Ö@example.com");
    const std::pair<qv_text_field, int> texts[] = {
        {qv_f_time_zone, 2}, {qv_f_name, 3},       {qv_f_status_note, 4},   {qv_f_status, 5},
        {qv_f_trans_id, 11}, {qv_f_name_note, 12}, {qv_f_address_note, 13}, {qv_f_item_title, 14},
        {qv_f_item_id, 15},  {qv_f_column17, 17},  {qv_f_column19, 19},     {qv_f_column23, 23},
        {qv_f_buyer_id, 24}, {qv_f_column25, 25},  {qv_f_column28, 28},     {qv_f_ref_trans_id, 29},
        {qv_f_column31, 31}, {qv_f_column33, 33},  {qv_f_address1, 35},     {qv_f_address2, 36},
        {qv_f_city, 37},     {qv_f_province, 38},  {qv_f_zip_code, 39},     {qv_f_country, 40},
        {qv_f_phone, 41}};
    for (const auto &[field, column] : texts)
        EXPECT_EQ(rec.text(field), "C" + std::to_string(column)) << "field " << int(field);
    EXPECT_EQ(rec.text(qv_f_column30), "");

    const Tqv_record copy = rec;
    EXPECT_EQ(copy.phone(), "C41");
    EXPECT_EQ(copy.trans_id(), "C11");
}

TEST(RecordParse, NoColumnsGiveAClearedRecord)
{
    Tqv_record rec;
    const qv_line_fields fields = numbered_fields();
    qv_record_parse(rec, &fields);
    EXPECT_EQ(qv_record_parse(rec, nullptr), -1);
    EXPECT_EQ(rec.trans_id(), "");
    EXPECT_EQ(rec.gross, 0);
}

TEST(RecordParse, ABadQuantityRaisesTheConversionError)
{
    qv_line_fields fields;
    static const std::string line =
        "\"1/1/2020\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"ID\",\"\",\"\",\"\",\"\",\"\","
        "\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"\",\"1.0\",";
    qv_line_split(line, fields);
    Tqv_record rec;
    EXPECT_THROW(qv_record_parse(rec, &fields), Ebcl_conversion_error);
}

} // namespace
