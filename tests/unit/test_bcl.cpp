#include "Bcl.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>

namespace {

struct IntCase {
    const char *text;
    std::optional<std::int32_t> value; // none: the conversion error
};

class StrToInt : public ::testing::TestWithParam<IntCase> {};

TEST_P(StrToInt, ConvertsOrRaisesTheConversionError)
{
    const IntCase &c = GetParam();
    if (c.value) {
        EXPECT_EQ(bcl_str_to_int(c.text), *c.value);
    } else {
        try {
            bcl_str_to_int(c.text);
            FAIL() << "no error for '" << c.text << "'";
        } catch (const Ebcl_conversion_error &e) {
            EXPECT_EQ(std::string(e.what()), "'" + std::string(c.text) + "' is not a valid integer value");
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, StrToInt,
                         ::testing::Values(IntCase{"", 0}, IntCase{"7", 7}, IntCase{"  -7", -7},
                                           IntCase{"007", 7}, IntCase{"+5", 5}, IntCase{"$1F", 31},
                                           IntCase{"0x10", 16}, IntCase{"x1f", 31}, IntCase{"-$10", -16},
                                           IntCase{"$FFFFFFFF", -1}, IntCase{"2147483647", 2147483647},
                                           IntCase{"-2147483648", -2147483647 - 1}, IntCase{"7 ", {}},
                                           IntCase{"1.5", {}}, IntCase{" ", {}}, IntCase{"-", {}},
                                           IntCase{"2147483648", {}}, IntCase{"--5", {}}, IntCase{"$", {}},
                                           IntCase{"$1FFFFFFFF", {}}, IntCase{"1e5", {}}, IntCase{"(1)", {}},
                                           IntCase{"12345678901234567890123", {}}));

TEST(StrToInt, NullTextIsZero)
{
    EXPECT_EQ(bcl_str_to_int(static_cast<const char *>(nullptr)), 0);
}

TEST(TextToInt, EmptyTextIsAnError)
{
    EXPECT_THROW(bcl_text_to_int(""), Ebcl_conversion_error);
}

TEST(IsEmpty, OnlyNullAndEmptyAreEmpty)
{
    EXPECT_TRUE(bcl_is_empty(nullptr));
    EXPECT_TRUE(bcl_is_empty(""));
    EXPECT_FALSE(bcl_is_empty(" "));
}

TEST(Strnlen, StopsAtMax)
{
    EXPECT_EQ(bcl_strnlen("abc", 2), 2);
    EXPECT_EQ(bcl_strnlen("abc", 10), 3);
}

TEST(StrCopy, TruncatesToTheSizeAndLeavesDestAloneWhenNothingIsCopied)
{
    char dest[16];
    std::memset(dest, 'z', sizeof dest);
    EXPECT_EQ(bcl_str_copy(dest, "abcdef", 4), 3);
    EXPECT_STREQ(dest, "abc");

    EXPECT_EQ(bcl_str_copy(dest, "abcdef", 1), 0);
    EXPECT_EQ(dest[0], '\0');

    std::memset(dest, 'z', sizeof dest);
    EXPECT_EQ(bcl_str_copy(dest, "abcdef", 0), 0);
    EXPECT_EQ(bcl_str_copy(dest, "", 8), 0);
    EXPECT_EQ(bcl_str_copy(dest, nullptr, 8), 0);
    EXPECT_EQ(bcl_str_copy(nullptr, "abc", 8), 0);
    EXPECT_EQ(dest[0], 'z');

    EXPECT_EQ(bcl_str_copy(dest, "abcdef", -1), 6);
    EXPECT_STREQ(dest, "abcdef");

    const std::string column(200, 'c');
    char slot[128];
    EXPECT_EQ(bcl_str_copy(slot, column.c_str(), 128), 127);
    EXPECT_EQ(std::string(slot), column.substr(0, 127));
}

TEST(RemoveChar, DeletesEveryOccurrenceInPlace)
{
    const std::pair<const char *, const char *> cases[] = {
        {"1,234", "1234"}, {",5", "5"},        {"5,", "5"},
        {",,,", ""},       {"12.50", "12.50"}, {"1,234,567.89", "1234567.89"}};
    for (const auto &[in, out] : cases) {
        char buf[32];
        std::strcpy(buf, in);
        EXPECT_EQ(bcl_str_remove_char(buf, ','), 1);
        EXPECT_STREQ(buf, out) << in;
    }
}

TEST(LineBuffer, SizeZeroHasNoBufferAndOthersAreZeroFilled)
{
    Cbcl_str none(0);
    EXPECT_EQ(none.buffer(), nullptr);
    none.clear();

    Cbcl_str line(1024);
    ASSERT_NE(line.buffer(), nullptr);
    EXPECT_EQ(line.allocated(), 1025);
    for (int i = 0; i < 1025; ++i)
        ASSERT_EQ(line.buffer()[i], '\0');
    std::memset(line.buffer(), 'x', 1024);
    line.clear();
    EXPECT_EQ(line.buffer()[500], '\0');
}

TEST(CurrentDir, IsAbsolute)
{
    EXPECT_EQ(bcl_get_current_dir().front(), '/');
}

} // namespace
