#include "Qv_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::vector<std::string> lines_of(std::string_view bytes)
{
    qv_file_set_text(bytes);
    Tqv_lines lines;
    qv_file_split_lines(lines);
    std::vector<std::string> out;
    for (const Tqv_line &l : lines)
        out.emplace_back(l.text);
    qv_file_free_lines(lines);
    qv_file_release();
    return out;
}

using Lines = std::vector<std::string>;

TEST(SplitLines, LineEnds)
{
    EXPECT_EQ(lines_of("h\r\n"), Lines{"h"});
    EXPECT_EQ(lines_of("a\r\nb\r\n"), lines_of("a\nb\n"));
    EXPECT_EQ(lines_of("a\nb"), (Lines{"a", "b"}));
    EXPECT_EQ(lines_of("a\n\nb\n"), (Lines{"a", "", "b"}));
    EXPECT_EQ(lines_of("\na"), (Lines{"", "a"}));
    EXPECT_EQ(lines_of("a\rjunk\nb"), (Lines{"a", "b"}));
    EXPECT_EQ(lines_of(""), Lines{});
}

TEST(SplitLines, AZeroByteEndsTheTextAndIsNoted)
{
    const std::string bytes("h\na\0b\nc\n", 8);
    qv_file_set_text(bytes);
    Tqv_lines lines;
    qv_file_split_lines(lines);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[1].text, "a");
    ASSERT_EQ(qv_file_cuts().size(), 1u);
    EXPECT_EQ(qv_file_cuts()[0].line, 1u);
    EXPECT_TRUE(qv_file_cuts()[0].zero_byte);
    qv_file_free_lines(lines);
    qv_file_release();
}

TEST(SplitLines, AStrayCarriageReturnIsNotedButCrLfIsNot)
{
    lines_of("h\r\na\r\n");
    EXPECT_TRUE(qv_file_cuts().empty());
    lines_of("h\rx\r\na\r\n");
    ASSERT_EQ(qv_file_cuts().size(), 1u);
    EXPECT_EQ(qv_file_cuts()[0].line, 0u);
    EXPECT_FALSE(qv_file_cuts()[0].zero_byte);
}

struct SplitCase {
    const char *name;
    std::string line; // Q stands for a double quote
    int result;
    std::vector<std::string> slots; // the leading slots; every later one is empty
};

std::string quotes(std::string s)
{
    for (char &c : s)
        if (c == 'Q')
            c = '"';
    return s;
}

std::string fields_line(int count, bool trailing_comma)
{
    std::string s;
    for (int i = 0; i < count; ++i)
        s += "Qf" + std::to_string(i) + (i + 1 < count || trailing_comma ? "Q," : "Q");
    return s;
}

class LineSplit : public ::testing::TestWithParam<SplitCase> {};

TEST_P(LineSplit, FillsTheSlots)
{
    const SplitCase &c = GetParam();
    const std::string line = quotes(c.line);
    // The slots are used again from line to line: a split leaves nothing of the line before it.
    // (Kept for the whole test: a slot left unemptied must still view live text when it is compared.)
    const std::string full = quotes(fields_line(qv_column_count, false));
    for (const bool used : {false, true}) {
        qv_line_fields fields;
        if (used) {
            ASSERT_EQ(qv_line_split(full, fields), 1);
        }
        EXPECT_EQ(qv_line_split(line, fields), c.result);
        for (int i = 0; i < qv_column_count; ++i) {
            const std::string expected = i < static_cast<int>(c.slots.size()) ? quotes(c.slots[i]) : "";
            EXPECT_EQ(fields.field(i), expected) << "slot " << i << (used ? ", slots used before" : "");
        }
    }
}

std::vector<std::string> field_names(int count)
{
    std::vector<std::string> v;
    for (int i = 0; i < count; ++i)
        v.push_back("f" + std::to_string(i));
    return v;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, LineSplit,
    ::testing::Values(SplitCase{"TrailingComma", "QaQ,QbQ,", 1, {"a", "b"}},
                      SplitCase{"LastFieldClosedByTheLineEnd", "QaQ,QbQ", 1, {"a", "b"}},
                      SplitCase{"UnquotedFieldEndsTheSplit", "QaQ,b,QcQ,", 1, {"a"}},
                      SplitCase{"CommaInsideAField", "Qa,bQ,QcQ,", 1, {"a,b", "c"}},
                      SplitCase{"DoubledQuotesStay", "QxQQyQQQ,QzQ,", 1, {"xQQyQQ", "z"}},
                      SplitCase{"LoneQuoteInsideAField", "Q12Q recordQ,QzQ,", 1, {"12Q record", "z"}},
                      SplitCase{"EmptyFields", "QQ,QQ,QxQ,", 1, {"", "", "x"}},
                      SplitCase{"OnlyAnEmptyField", "QQ", 1, {""}},
                      SplitCase{"BlankAfterTheSeparator", "QaQ, QbQ,", 1, {"a"}},
                      SplitCase{"UnterminatedLastField", "QaQ,Qb", 1, {"a"}},
                      SplitCase{"TrailingBlankAfterTheLastQuote", "QaQ,QbQ ", 1, {"a"}},
                      SplitCase{"LeadingBlank", " QaQ,", -2, {}}, SplitCase{"Unquoted", "a,b,c", -2, {}},
                      SplitCase{"Empty", "", -1, {}}, SplitCase{"LoneQuote", "Q", 1, {}},
                      SplitCase{"FiftyFields", fields_line(50, true), 1, field_names(42)},
                      SplitCase{"FortyTwoFieldsWithoutTrailingComma", fields_line(42, false), 1,
                                field_names(42)}),
    [](const ::testing::TestParamInfo<SplitCase> &p) { return std::string(p.param.name); });

TEST(LineSplit, KeepsThe127FirstCharactersOfALongField)
{
    qv_line_fields fields;
    const std::string field(200, 'x');
    const std::string line = "\"" + field + "\",\"b\",";
    ASSERT_EQ(qv_line_split(line, fields), 1);
    EXPECT_EQ(fields.field(0), field.substr(0, 127));
    EXPECT_EQ(fields.field(1), "b");
}

// The split reads a line in pieces of several bytes: a field's closing quote-comma pair, a lone quote,
// a comma or the line's end may fall at any place of a piece, or straddle two.
TEST(LineSplit, FindsTheFieldsWhereverTheyFallInTheLine)
{
    for (std::size_t lead = 0; lead < 200; ++lead) {
        const std::string a(lead, 'a');
        struct {
            std::string line;
            std::vector<std::string> slots;
        } cases[] = {
            {"\"" + a + "\",\"b\",", {a, "b"}},
            {"\"" + a + "\"x\",\"b\"", {a + "\"x", "b"}},
            {"\"" + a + ",\",\"b\"", {a + ",", "b"}},
            {"\"" + a + "\"", {a}},
            {"\"" + a + "\",b", {a}},
        };
        for (const auto &c : cases) {
            qv_line_fields fields;
            fields.clear();
            ASSERT_EQ(qv_line_split(c.line, fields), 1) << c.line;
            for (int i = 0; i < qv_column_count; ++i) {
                const std::string expected =
                    i < static_cast<int>(c.slots.size()) ? c.slots[i].substr(0, qv_column_max) : "";
                ASSERT_EQ(fields.field(i), expected) << "slot " << i << " of " << c.line;
            }
        }
    }
}

TEST(ReadFile, ReportsAMissingFileWithTheSystemsReason)
{
    std::string error;
    EXPECT_FALSE(qv_file_read("/nonexistent/history.csv", &error));
    EXPECT_EQ(error, "No such file or directory");
    Tqv_lines lines;
    qv_file_split_lines(lines);
    EXPECT_TRUE(lines.empty());
}

} // namespace
