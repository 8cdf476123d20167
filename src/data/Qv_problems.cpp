// The texts of a load's problems: why a line's numbers could not be read, whether a file that is not
// text looks like UTF-16, and a problem as the one line that qv-dump and the windows show. Uses the
// record's amount parse and Bcl's integer conversion.
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
                bcl_str_to_int(text);
            }
        } catch (const Ebcl_conversion_error &) {
            return std::string(c.caption) + ": '" + std::string(text) +
                   (c.amount ? "' is not a valid amount" : "' is not a valid integer value");
        }
    }
    return error.what();
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
