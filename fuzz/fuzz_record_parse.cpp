// Turns column texts into a record, and feeds the same texts to the amount, quantity, date, time and
// integer conversions: each reads exactly its own form, and what it reads writes back to a text that
// reads to the same value. The input is cut into columns at each byte 0x1F (a byte that history files do not
// use); each column is cut to the kept length, as the line split does.
#include "Bcl.h"
#include "Qv_file.h"
#include "fuzz_common.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// The text form an amount in the format's own form must write back as, or false for a text that is not
// one: blanks, an optional '-', digits with commas only between groups of three, and optionally a point
// with one or two decimals, within the 64-bit count of hundredths. Worked on the digits as text, apart
// from the parse's arithmetic.
bool own_form_amount(std::string_view t, std::string &shown)
{
    std::size_t i = 0;
    while (i < t.size() && t[i] == ' ')
        ++i;
    const bool negative = i < t.size() && t[i] == '-';
    if (negative)
        ++i;
    std::string whole;
    std::size_t group = 0;
    bool grouped = false;
    for (; i < t.size() && (is_digit(t[i]) || t[i] == ','); ++i) {
        if (t[i] == ',') {
            if (group == 0 || group > 3 || (grouped && group != 3))
                return false;
            grouped = true;
            group = 0;
        } else {
            whole += t[i];
            ++group;
        }
    }
    if (whole.empty() || (grouped && group != 3))
        return false;
    std::string cents = "00";
    if (i < t.size()) {
        if (t[i] != '.' || t.size() - i < 2 || t.size() - i > 3)
            return false;
        for (std::size_t k = i + 1; k < t.size(); ++k) {
            if (!is_digit(t[k]))
                return false;
            cents[k - i - 1] = t[k];
        }
    }
    whole.erase(0, std::min(whole.find_first_not_of('0'), whole.size() - 1));
    const std::string digits = whole + cents; // the hundredths, without leading zeros but one
    const std::string most = negative ? "9223372036854775808" : "9223372036854775807";
    if (digits.size() > most.size() || (digits.size() == most.size() && digits > most))
        return false;
    shown = (negative && digits != "000" ? "-" : "") + whole + "." + cents;
    return true;
}

// The value of a plain decimal integer: optional blanks, an optional sign, digits of which at most 18
// follow the leading zeros.
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
    if (i == t.size())
        return false;
    while (i + 1 < t.size() && t[i] == '0' && is_digit(t[i + 1]))
        ++i;
    if (t.size() - i > 18)
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
    // Amounts: read exactly in the format's own form, and what is read writes back to a text that reads
    // to the same amount.
    amount value = 0;
    bool amount_read = false;
    try {
        const int r = qv_amount_parse(value, text);
        QV_FUZZ_CHECK(r == (text.empty() ? -2 : 1));
        amount_read = true;
    } catch (const Ebcl_conversion_error &e) {
        QV_FUZZ_CHECK(e.text() == text);
    }
    std::string shown;
    if (!text.empty())
        QV_FUZZ_CHECK(amount_read == own_form_amount(text, shown));
    if (amount_read) {
        const std::string written = qv_amount_text(value);
        if (!text.empty())
            QV_FUZZ_CHECK(written == shown);
        amount again = 0;
        QV_FUZZ_CHECK(qv_amount_parse(again, written) == 1 && again == value);
    }

    // The quantity: decimal integers within 32 bits; the integer conversion keeps its own rules.
    std::int64_t expected_int = 0;
    const bool plain = plain_int(text, expected_int);
    const bool fits = plain && expected_int >= INT32_MIN && expected_int <= INT32_MAX;
    try {
        std::int32_t q = 0;
        qv_quantity_parse(q, text);
        QV_FUZZ_CHECK(text.empty() || fits);
        QV_FUZZ_CHECK(text.empty() ? q == 0 : q == expected_int);
    } catch (const Ebcl_conversion_error &e) {
        QV_FUZZ_CHECK(!fits && e.text() == text);
    }
    const std::string terminated(text); // the zero-terminated form ends at a zero byte of the text
    try {
        const std::int32_t v = bcl_str_to_int(text);
        if (plain)
            QV_FUZZ_CHECK(v == expected_int);
        (void)bcl_str_to_int(terminated.c_str());
    } catch (const Ebcl_conversion_error &e) {
        QV_FUZZ_CHECK(!fits);
        QV_FUZZ_CHECK(e.text() == text || e.text() == std::string_view(terminated.c_str()));
    }

    // Dates: only real calendar dates, written back to a text that reads to the same date.
    qv_date date{1, 1, 1};
    const int d = qv_date_parse(date, text);
    QV_FUZZ_CHECK(d == 1 || d == 2 || d == -1 || d == -2 || d == -3);
    if (d < 0) {
        QV_FUZZ_CHECK(date == qv_date{});
    } else {
        QV_FUZZ_CHECK(qv_date_exists(date) && date.year <= 9999);
        qv_date again;
        QV_FUZZ_CHECK(qv_date_parse(again, qv_date_text(date)) == 2 && again == date);
    }

    // Times: in range only, written back to a text that reads to the same time.
    qv_time time{1, 1, 1};
    const int t = qv_time_parse(time, text);
    QV_FUZZ_CHECK(t == 1 || t == -1 || t == -2 || t == -3);
    if (t < 0) {
        QV_FUZZ_CHECK(time == qv_time{});
    } else {
        QV_FUZZ_CHECK(time.hour <= 23 && time.minute <= 59 && time.second <= 59);
        qv_time again;
        QV_FUZZ_CHECK(qv_time_parse(again, qv_time_text(time)) == 1 && again == time);
    }
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
    QV_FUZZ_CHECK(rec.text(qv_f_column30) == fields.field(30));
    QV_FUZZ_CHECK(rec.phone() == fields.field(41));
    std::int32_t quantity = 0;
    qv_quantity_parse(quantity, fields.field(32));
    QV_FUZZ_CHECK(rec.quantity == quantity);
    amount gross = 0;
    qv_amount_parse(gross, fields.field(6));
    QV_FUZZ_CHECK(rec.gross == gross);
    qv_date date;
    qv_date_parse(date, fields.field(0));
    QV_FUZZ_CHECK(rec.date == date);
    qv_time time;
    qv_time_parse(time, fields.field(1));
    QV_FUZZ_CHECK(rec.time == time);

    // A copy holds the same texts in its own allocation.
    const Tqv_record copy(rec);
    for (int f = 0; f < qv_text_field_count; ++f) {
        const auto field = static_cast<qv_text_field>(f);
        QV_FUZZ_CHECK(copy.text(field) == rec.text(field));
        QV_FUZZ_CHECK(copy.text(field).empty() || copy.text(field).data() != rec.text(field).data());
    }
    return 0;
}
