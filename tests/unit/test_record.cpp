#include "Bcl.h"
#include "Qv_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>
#include <string>

namespace {

// Each text and what it must give: the result and the date (none for results below 0).
struct DateCase {
    const char *text;
    int result;
    qv_date date;
};

class DateParse : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateParse, ReadsOnlyRealCalendarDates)
{
    const DateCase &c = GetParam();
    qv_date d{9, 9, 9};
    EXPECT_EQ(qv_date_parse(d, c.text), c.result) << c.text;
    EXPECT_EQ(d, c.date) << c.text << " gave " << d.year << "-" << d.month << "-" << d.day;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, DateParse,
    ::testing::Values(
        DateCase{"12/31/2008", 1, {2008, 12, 31}}, DateCase{"2008-12-31", 2, {2008, 12, 31}},
        DateCase{"6/16/2009", 1, {2009, 6, 16}}, DateCase{"06/06/2009", 1, {2009, 6, 6}},
        DateCase{"2/29/2024", 1, {2024, 2, 29}}, DateCase{"2000-02-29", 2, {2000, 2, 29}},
        DateCase{"1/1/1", 1, {1, 1, 1}}, DateCase{"12/31/9999", 1, {9999, 12, 31}},
        DateCase{"   7-01-02", 2, {7, 1, 2}}, DateCase{"", -2, {}},
        // neither form
        DateCase{"31.12.2008", -1, {}}, DateCase{"x", -1, {}}, DateCase{"20081231", -1, {}},
        // no such day, month or year
        DateCase{"31/12/2020", -3, {}}, DateCase{"13/1/2024", -3, {}}, DateCase{"2/29/2023", -3, {}},
        DateCase{"2/30/2009", -3, {}}, DateCase{"2/29/1900", -3, {}}, DateCase{"4/31/2024", -3, {}},
        DateCase{"2024-02-30", -3, {}}, DateCase{"0/0/0", -3, {}}, DateCase{"1/0/2020", -3, {}},
        DateCase{"1/1/0", -3, {}}, DateCase{"1/1/99999", -3, {}}, DateCase{"1/300/2009", -3, {}},
        // signs, blanks and anything left over
        DateCase{"-1/1/2020", -3, {}}, DateCase{"1/+1/2020", -3, {}}, DateCase{"1/ 1/2020", -3, {}},
        DateCase{"1/2/2020/5", -3, {}}, DateCase{"6/16/2009 10:00", -3, {}}, DateCase{"6/16/2009 ", -3, {}},
        DateCase{"6/16", -3, {}}, DateCase{"1/2-3/2020", -3, {}}, DateCase{"x/1/2020", -3, {}},
        DateCase{"2009-6-16-1", -3, {}}, DateCase{"-2009-06-16", -3, {}}));

struct TimeCase {
    const char *text;
    int result;
    qv_time time;
};

class TimeParse : public ::testing::TestWithParam<TimeCase> {};

TEST_P(TimeParse, ReadsTimesInRangeIn24And12HourForms)
{
    const TimeCase &c = GetParam();
    qv_time t{9, 9, 9};
    EXPECT_EQ(qv_time_parse(t, c.text), c.result) << c.text;
    EXPECT_EQ(t, c.time) << c.text << " gave " << qv_time_text(t);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TimeParse,
    ::testing::Values(TimeCase{"23:59:59", 1, {23, 59, 59}}, TimeCase{"00:00:00", 1, {0, 0, 0}},
                      TimeCase{"7:5", 1, {7, 5, 0}}, TimeCase{"14:05", 1, {14, 5, 0}},
                      TimeCase{" 9:05:00", 1, {9, 5, 0}}, TimeCase{"", -2, {}}, TimeCase{"1200", -1, {}},
                      // 12-hour time
                      TimeCase{"10:00:00 PM", 1, {22, 0, 0}}, TimeCase{"10:00:00 am", 1, {10, 0, 0}},
                      TimeCase{"12:00:00 AM", 1, {0, 0, 0}}, TimeCase{"12:30 PM", 1, {12, 30, 0}},
                      TimeCase{"12:59:59 am", 1, {0, 59, 59}}, TimeCase{"1:02:03 Pm", 1, {13, 2, 3}},
                      TimeCase{"0:30 AM", -3, {}}, TimeCase{"13:00 PM", -3, {}}, TimeCase{"10:00PM", -3, {}},
                      TimeCase{"10:00  PM", -3, {}}, TimeCase{"10:00 P", -3, {}},
                      TimeCase{"10:00 XM", -3, {}},
                      // out of range, signed, cut short or with something after it
                      TimeCase{"24:00:00", -3, {}}, TimeCase{"25:00:00", -3, {}},
                      TimeCase{"12:60:00", -3, {}}, TimeCase{"12:00:60", -3, {}},
                      TimeCase{"-1:00:00", -3, {}}, TimeCase{"+1:00:00", -3, {}}, TimeCase{"100:00", -3, {}},
                      TimeCase{"7:", -3, {}}, TimeCase{":30", -3, {}}, TimeCase{"12:00:00:00", -3, {}},
                      TimeCase{"12:00:00 ", -3, {}}, TimeCase{"12:00:00 PST", -3, {}},
                      TimeCase{"12:005", -3, {}}));

// Each text and what it must give: its value (and how it is written back), or the conversion error,
// which names the whole text.
struct AmountCase {
    const char *text;
    std::optional<amount> value; // none: the conversion error
    const char *written = nullptr;
};

class AmountParse : public ::testing::TestWithParam<AmountCase> {};

TEST_P(AmountParse, ReadsOnlyTheFormatsOwnForm)
{
    const AmountCase &c = GetParam();
    amount a = 77;
    if (!c.value) {
        try {
            qv_amount_parse(a, c.text);
            ADD_FAILURE() << "'" << c.text << "' gave " << a;
        } catch (const Ebcl_conversion_error &e) {
            EXPECT_EQ(e.text(), c.text);
            EXPECT_EQ(std::string(e.what()), std::string("'") + c.text + "' is not a valid integer value");
        }
        return;
    }
    EXPECT_EQ(qv_amount_parse(a, c.text), *c.text == '\0' ? -2 : 1);
    EXPECT_EQ(a, *c.value) << c.text;
    if (c.written) {
        EXPECT_EQ(qv_amount_text(a), c.written);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, AmountParse,
    ::testing::Values(AmountCase{"-1,234.56", -123456, "-1234.56"}, AmountCase{"-0.01", -1, "-0.01"},
                      AmountCase{"0.00", 0, "0.00"}, AmountCase{"1,234", 123400, "1234.00"},
                      AmountCase{"1,234,567.89", 123456789}, AmountCase{"", 0, "0.00"},
                      AmountCase{"1.05", 105, "1.05"}, AmountCase{"1.5", 150, "1.50"},
                      AmountCase{"-0.5", -50, "-0.50"}, AmountCase{" -0.50", -50, "-0.50"},
                      AmountCase{"0,123", 12300}, AmountCase{"000000000000000000000000000012.50", 1250},
                      // 64 bits of hundredths
                      AmountCase{"21,474,836.48", 2147483648}, AmountCase{"2147483648.00", 214748364800},
                      AmountCase{"-2,147,483,647.99", -214748364799, "-2147483647.99"},
                      AmountCase{"92233720368547758.07", INT64_MAX, "92233720368547758.07"},
                      AmountCase{"-92233720368547758.08", INT64_MIN, "-92233720368547758.08"},
                      AmountCase{"92233720368547758.08", {}}, AmountCase{"-92233720368547758.09", {}},
                      AmountCase{"123456789012345678901234567890", {}},
                      // a currency sign, hexadecimal, a unit after the number
                      AmountCase{"$10.00", {}}, AmountCase{"$FF", {}}, AmountCase{"$1F", {}},
                      AmountCase{"0x1A", {}}, AmountCase{"5.0x10", {}}, AmountCase{"10.00 EUR", {}},
                      AmountCase{"10.00 ", {}}, AmountCase{"1e5", {}},
                      // commas only between groups of three; a decimal comma
                      AmountCase{"12,34", {}}, AmountCase{",123", {}}, AmountCase{"1,2,3.00", {}},
                      AmountCase{"1234,567", {}}, AmountCase{"1,234,", {}}, AmountCase{"1,,234", {}},
                      AmountCase{"1.234,56", {}}, AmountCase{"1,234.5,6", {}},
                      // three or more decimals, or none after the point
                      AmountCase{"1.234", {}}, AmountCase{"1.235", {}}, AmountCase{"0.005", {}},
                      AmountCase{".50", {}}, AmountCase{"12.", {}}, AmountCase{"1.2.3", {}},
                      // signs and brackets
                      AmountCase{"+5", {}}, AmountCase{"--5", {}}, AmountCase{"-", {}}, AmountCase{" ", {}},
                      AmountCase{"(1.00)", {}}, AmountCase{"- 5", {}}, AmountCase{"abc", {}}));

struct QuantityCase {
    const char *text;
    std::optional<std::int32_t> value; // none: the conversion error
};

class QuantityParse : public ::testing::TestWithParam<QuantityCase> {};

TEST_P(QuantityParse, ReadsDecimalIntegersOnly)
{
    const QuantityCase &c = GetParam();
    std::int32_t q = 77;
    if (!c.value) {
        EXPECT_THROW(qv_quantity_parse(q, c.text), Ebcl_conversion_error) << c.text << " gave " << q;
        return;
    }
    EXPECT_EQ(qv_quantity_parse(q, c.text), *c.text == '\0' ? -2 : 1);
    EXPECT_EQ(q, *c.value) << c.text;
}

INSTANTIATE_TEST_SUITE_P(Texts, QuantityParse,
                         ::testing::Values(QuantityCase{"", 0}, QuantityCase{"3", 3}, QuantityCase{"-1", -1},
                                           QuantityCase{"+7", 7}, QuantityCase{" 7", 7},
                                           QuantityCase{"007", 7}, QuantityCase{"2147483647", INT32_MAX},
                                           QuantityCase{"-2147483648", INT32_MIN},
                                           QuantityCase{"2147483648", {}}, QuantityCase{"-2147483649", {}},
                                           QuantityCase{"99999999999999999999", {}}, QuantityCase{"0x1A", {}},
                                           QuantityCase{"$FF", {}}, QuantityCase{"x10", {}},
                                           QuantityCase{"1.0", {}}, QuantityCase{"1,000", {}},
                                           QuantityCase{"7 ", {}}, QuantityCase{"-", {}},
                                           QuantityCase{" ", {}}));

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
        {qv_f_phone, 41},    {qv_f_column30, 30}};
    for (const auto &[field, column] : texts)
        EXPECT_EQ(rec.text(field), "C" + std::to_string(column)) << "field " << int(field);

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
