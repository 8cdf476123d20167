// Turns column texts into a record, and feeds the same texts to the amount, date, time and integer
// conversions. The input is cut into columns at each byte 0x1F (a byte that history files do not use);
// each column is cut to the kept length, as the line split does.
#include "Bcl.h"
#include "Qv_file.h"
#include "fuzz_common.h"

#include <string>
#include <vector>

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// The value of a plain amount: an optional '-', digits of which at most 9 follow the leading zeros, and
// optionally a point with 1 to 12 digits (one decimal is tenths, more than two are rounded half away
// from zero). False for other texts.
bool plain_amount(std::string_view t, amount &value)
{
    std::size_t i = 0;
    const bool negative = !t.empty() && t[0] == '-';
    if (negative)
        ++i;
    const std::size_t whole_begin = i;
    while (i < t.size() && is_digit(t[i]))
        ++i;
    std::size_t first_significant = whole_begin;
    while (first_significant + 1 < i && t[first_significant] == '0')
        ++first_significant;
    if (i == whole_begin || i - first_significant > 9)
        return false;
    amount whole = 0;
    for (std::size_t k = whole_begin; k < i; ++k)
        whole = whole * 10 + (t[k] - '0');
    amount hundredths = 0;
    if (i < t.size()) {
        if (t[i] != '.')
            return false;
        const std::string_view fraction = t.substr(i + 1);
        if (fraction.empty() || fraction.size() > 12)
            return false;
        for (const char c : fraction) {
            if (!is_digit(c))
                return false;
        }
        hundredths = (fraction[0] - '0') * 10 + (fraction.size() > 1 ? fraction[1] - '0' : 0);
        if (fraction.size() > 2 && fraction[2] >= '5')
            ++hundredths;
    }
    value = negative ? -(whole * 100 + hundredths) : whole * 100 + hundredths;
    return true;
}

// The value of a plain decimal integer: optional blanks, an optional sign, 1 to 18 digits.
bool plain_int(std::string_view t, std::int64_t &value)
{
    std::size_t i = 0;
    while (i < t.size() && t[i] == ' ')
        ++i;
    bool negative = false;
    if (i < t.size() && (t[i] == '-' || t[i] == '+')) {
        negative = t[i] == '-';
        ++i;
    }
    if (i == t.size() || t.size() - i > 18)
        return false;
    std::int64_t v = 0;
    for (; i < t.size(); ++i) {
        if (!is_digit(t[i]))
            return false;
        v = v * 10 + (t[i] - '0');
    }
    value = negative ? -v : v;
    return true;
}

void convert(std::string_view text)
{
    amount value = 0;
    bool amount_read = false;
    try {
        const int r = qv_amount_parse(value, text);
        QV_FUZZ_CHECK(r == (text.empty() ? -2 : 1));
        amount_read = true;
    } catch (const Ebcl_conversion_error &e) {
        // The message holds the text, so a zero byte in it cuts what() short (the loader never passes one).
        if (text.find('\0') == std::string_view::npos)
            QV_FUZZ_CHECK(std::string(e.what()).find("' is not a valid integer value") != std::string::npos);
    }
    amount expected = 0;
    if (plain_amount(text, expected)) {
        QV_FUZZ_CHECK(amount_read);
        QV_FUZZ_CHECK(value == expected);
    }
    if (amount_read) {
        // The text form reads back as the same amount while its whole units fit the integer conversion.
        const std::string shown = qv_amount_text(value);
        if (value > -214748364700 && value < 214748364700) {
            amount again = 0;
            qv_amount_parse(again, shown);
            QV_FUZZ_CHECK(again == value);
        }
    }

    std::int64_t expected_int = 0;
    const bool plain = plain_int(text, expected_int);
    const std::string terminated(text); // the zero-terminated form ends at a zero byte of the text
    try {
        const std::int32_t v = bcl_str_to_int(text);
        if (plain)
            QV_FUZZ_CHECK(v == expected_int);
        (void)bcl_str_to_int(terminated.c_str());
    } catch (const Ebcl_conversion_error &e) {
        QV_FUZZ_CHECK(!plain || expected_int < INT32_MIN || expected_int > INT32_MAX);
        QV_FUZZ_CHECK(e.text() == text || e.text() == std::string_view(terminated.c_str()));
    }

    qv_date date;
    const int d = qv_date_parse(date, text);
    QV_FUZZ_CHECK(d == 1 || d == 2 || d == -1 || d == -2);
    QV_FUZZ_CHECK(date.month <= 255 && date.day <= 255);
    if (d < 0)
        QV_FUZZ_CHECK(date == qv_date{});
    QV_FUZZ_CHECK(qv_date_text(date).size() >= 10);
    (void)qv_date_exists(date);
    qv_time time;
    const int t = qv_time_parse(time, text);
    QV_FUZZ_CHECK(t == 1 || t == -1 || t == -2);
    // Times are kept as read, so an hour of 100 to 255 shows with three digits.
    const std::size_t time_text = qv_time_text(time).size();
    QV_FUZZ_CHECK(time_text >= 8 && time_text <= 11);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const Texact_bytes bytes(data, size);
    const std::string_view input = bytes.view();

    // The columns, each in an allocation of its own exact size.
    std::vector<std::unique_ptr<Texact_bytes>> columns;
    std::size_t start = 0;
    while (columns.size() < static_cast<std::size_t>(qv_column_count) && start <= input.size()) {
        std::size_t end = input.find('\x1f', start);
        if (end == std::string_view::npos)
            end = input.size();
        const std::string_view text = input.substr(start, std::min<std::size_t>(end - start, qv_column_max));
        columns.push_back(
            std::make_unique<Texact_bytes>(reinterpret_cast<const std::uint8_t *>(text.data()), text.size()));
        start = end + 1;
    }
    qv_line_fields fields;
    for (std::size_t c = 0; c < columns.size(); ++c)
        fields.slot[c] = columns[c]->view();

    for (const auto &column : columns)
        convert(column->view());

    Tqv_record rec;
    try {
        QV_FUZZ_CHECK(qv_record_parse(rec, &fields) == 1);
    } catch (const Ebcl_conversion_error &) {
        return 0;
    }
    const auto lower = [](std::string_view t) {
        std::string out(t);
        for (char &ch : out)
            ch = ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch - 'A' + 'a') : ch;
        return out;
    };
    QV_FUZZ_CHECK(rec.trans_id() == fields.field(11));
    QV_FUZZ_CHECK(rec.name() == fields.field(3));
    QV_FUZZ_CHECK(rec.from_email() == lower(fields.field(9)));
    QV_FUZZ_CHECK(rec.to_email() == lower(fields.field(10)));
    QV_FUZZ_CHECK(rec.text(qv_f_column30).empty());
    QV_FUZZ_CHECK(rec.phone() == fields.field(41));
    QV_FUZZ_CHECK(rec.quantity == bcl_str_to_int(fields.field(32)));
    amount gross = 0;
    qv_amount_parse(gross, fields.field(6));
    QV_FUZZ_CHECK(rec.gross == gross);

    // A copy holds the same texts in its own allocation.
    const Tqv_record copy(rec);
    for (int f = 0; f < qv_text_field_count; ++f) {
        const auto field = static_cast<qv_text_field>(f);
        QV_FUZZ_CHECK(copy.text(field) == rec.text(field));
        QV_FUZZ_CHECK(copy.text(field).empty() || copy.text(field).data() != rec.text(field).data());
    }
    return 0;
}
