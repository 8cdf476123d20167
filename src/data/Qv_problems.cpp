// The texts of a load's problems: why a line's numbers could not be read or its date or time was left
// out, the note on a file whose amounts or dates are written in another form, whether a file that is not
// text looks like UTF-16, and a problem as the one line that qv-dump and the windows show. Uses the
// record's value parse.
#include "Qv_file_internal.h"
#include "Qv_load.h"
#include "Qv_load_internal.h"

#include <algorithm>

using namespace qv_internal;

namespace {

// The amount and quantity columns, in the order qv_record_parse reads them, with their captions.
struct Tnumber_column {
    int column;
    const char *caption;
    bool amount;
};
constexpr Tnumber_column number_columns[] = {
    {6, "Gross", true},      {7, "Fee", true},        {8, "Net", true},
    {34, "Balance", true},   {18, "Sales Tax", true}, {16, "Shipping and Handling Amount", true},
    {32, "Quantity", false},
};

} // namespace

std::string qv_internal::number_problem(const qv_line_fields &fields, const Ebcl_conversion_error &error)
{
    for (const Tnumber_column &c : number_columns) {
        const std::string_view text = fields.field(c.column);
        try {
            if (c.amount) {
                amount value;
                qv_amount_parse(value, text);
            } else {
                std::int32_t value;
                qv_quantity_parse(value, text);
            }
        } catch (const Ebcl_conversion_error &) {
            return std::string(c.caption) + ": '" + std::string(text) +
                   (c.amount ? "' is not a valid amount" : "' is not a valid integer value");
        }
    }
    return error.what();
}

void qv_internal::value_problems(const qv_line_fields &fields, unsigned unread, std::vector<std::string> &out)
{
    if ((unread & unread_date) != 0)
        out.push_back("Date: '" + std::string(fields.field(0)) + "' is not a valid date");
    if ((unread & unread_time) != 0)
        out.push_back("Time: '" + std::string(fields.field(1)) + "' is not a valid time");
}

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// Digits at pos, as many as there are (at most 9); their count.
std::size_t digits_at(std::string_view t, std::size_t &pos, unsigned *value = nullptr)
{
    const std::size_t from = pos;
    unsigned v = 0;
    while (pos < t.size() && is_digit(t[pos]) && pos - from < 9)
        v = v * 10 + static_cast<unsigned>(t[pos++] - '0');
    if (value != nullptr)
        *value = v;
    return pos - from;
}

// 1.234,56 or 12,5: a '-', digits grouped by points or not, a comma and one or two decimals.
bool decimal_comma(std::string_view t)
{
    std::size_t i = 0;
    while (i < t.size() && t[i] == ' ')
        ++i;
    if (i < t.size() && t[i] == '-')
        ++i;
    const std::size_t head = digits_at(t, i);
    if (head == 0)
        return false;
    if (i < t.size() && t[i] == '.') {
        if (head > 3)
            return false;
        while (i < t.size() && t[i] == '.') {
            ++i;
            if (digits_at(t, i) != 3)
                return false;
        }
    }
    if (i >= t.size() || t[i] != ',')
        return false;
    ++i;
    const std::size_t decimals = digits_at(t, i);
    return (decimals == 1 || decimals == 2) && i == t.size();
}

// A dollar, euro, pound or yen sign, in UTF-8 or Windows-1252.
bool currency_sign(std::string_view t)
{
    for (const std::string_view sign :
         {"$", "\xE2\x82\xAC", "\xC2\xA3", "\xC2\xA5", "\x80", "\xA3", "\xA5"}) {
        if (t.find(sign) != std::string_view::npos)
            return true;
    }
    return false;
}

bool is_date(unsigned year, unsigned month, unsigned day)
{
    return year <= 9999 &&
           qv_date_exists({static_cast<std::uint16_t>(year), static_cast<std::uint16_t>(month),
                           static_cast<std::uint16_t>(day)});
}

// 31/12/2020, 31.12.2020 or 31-12-2020: day, month and a four-digit year. In the slash form, only a day
// past 12 tells the order (an earlier day reads, wrongly but without doubt, as a month).
bool day_first(std::string_view t)
{
    for (const char sep : {'/', '.', '-'}) {
        std::size_t i = 0;
        unsigned n[3];
        if (digits_at(t, i, &n[0]) == 0 || digits_at(t, i, nullptr) != 0 || i >= t.size() || t[i] != sep)
            continue;
        ++i;
        if (digits_at(t, i, &n[1]) == 0 || i >= t.size() || t[i] != sep)
            continue;
        ++i;
        if (digits_at(t, i, &n[2]) != 4 || i != t.size())
            continue;
        if (is_date(n[2], n[1], n[0]) && (sep != '/' || n[0] > 12))
            return true;
    }
    return false;
}

constexpr int amount_columns[] = {6, 7, 8, 34, 18, 16};

void refused(Tform_tally &tally, Tvalue_form form, std::size_t line, std::string_view text)
{
    if (tally.refused[form]++ == 0)
        tally.first[form] = {line, std::string(text)};
}

} // namespace

void qv_internal::tally_forms(const qv_line_fields &fields, std::size_t line, bool amounts_refused,
                              bool date_refused, Tform_tally &tally)
{
    for (const int c : amount_columns) {
        const std::string_view text = fields.field(c);
        if (text.empty())
            continue;
        ++tally.amounts;
        if (!amounts_refused)
            continue;
        if (decimal_comma(text)) {
            refused(tally, form_decimal_comma, line, text);
        } else if (currency_sign(text)) { // never in an amount that reads
            refused(tally, form_currency_sign, line, text);
        }
    }
    const std::string_view date = fields.field(0);
    if (!date.empty()) {
        ++tally.dates;
        if (date_refused && day_first(date))
            refused(tally, form_day_first, line, date);
    }
}

void Tform_tally::add(const Tform_tally &later)
{
    amounts += later.amounts;
    dates += later.dates;
    for (int f = 0; f < form_count; ++f) {
        if (refused[f] == 0 && later.refused[f] > 0)
            first[f] = later.first[f];
        refused[f] += later.refused[f];
    }
}

std::vector<std::string> Tform_tally::notes() const
{
    static const char *const what[form_count][2] = {
        {"amounts are written with a decimal comma", "this program reads the point form"},
        {"amounts are written with a currency sign", "this program reads the number alone"},
        {"dates are written day first", "this program reads month/day/year or year-month-day"},
    };
    std::vector<std::string> out;
    for (int f = 0; f < form_count; ++f) {
        const std::size_t of = f == form_day_first ? dates : amounts;
        if (refused[f] == 0 || refused[f] * 2 <= of)
            continue;
        out.push_back(std::string(what[f][0]) + " (line " + std::to_string(first[f].line) + ": '" +
                      first[f].text + "'); " + what[f][1]);
    }
    return out;
}

bool qv_internal::looks_utf16(std::string_view head)
{
    if (head.size() >= 2 &&
        ((head[0] == '\xFF' && head[1] == '\xFE') || (head[0] == '\xFE' && head[1] == '\xFF')))
        return true;
    const std::size_t pairs = std::min<std::size_t>(head.size(), 64) / 2;
    if (pairs < 2)
        return false;
    bool little = true;
    bool big = true;
    for (std::size_t i = 0; i < pairs; ++i) {
        const char a = head[2 * i];
        const char b = head[2 * i + 1];
        little = little && a != '\0' && b == '\0';
        big = big && a == '\0' && b != '\0';
    }
    return little || big;
}

// Control characters as the dump writes them in texts, others as \xHH.
std::string qv_escaped_name(std::string_view name)
{
    std::string out;
    out.reserve(name.size());
    for (const char c : name) {
        const auto u = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\n') {
            out += "\\n";
        } else if (u < 0x20 || u == 0x7F) {
            static const char hex[] = "0123456789ABCDEF";
            out += "\\x";
            out += hex[u >> 4];
            out += hex[u & 15];
        } else {
            out += c;
        }
    }
    return out;
}

std::string qv_problem_text(const qv_load_problem &problem)
{
    std::string text = qv_escaped_name(problem.file);
    if (problem.line > 0)
        text += ':' + std::to_string(problem.line);
    return text + ": " + problem.message;
}
