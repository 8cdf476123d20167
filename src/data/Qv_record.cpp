// The transaction record and its value types: the parse of dates, times and amounts, their text forms
// and date comparisons; the record's copies and moves, its packed texts read and written (the block's
// format is in Qv_file_internal.h, shared with the store and the load), and its parse from the 42
// column texts of a line. Uses Bcl's conversion error.
#include "Qv_record.h"

#include "Bcl.h"
#include "Qv_file_internal.h"

#include <algorithm>
#include <cstring>

using namespace qv_internal;

// The flag of Tqv_record lies in the room that its numbers leave: a record is its numbers and the
// address of its texts, as the store's memory counts on.
static_assert(sizeof(Tqv_record) == sizeof(Tqv_numbers) + sizeof(const unsigned char *));

// ---- Column captions and field names -----------------------------------------------------------

const std::array<std::string_view, qv_column_count> qv_column_names = {
    "Date",
    "Time",
    "Time Zone",
    "Name",
    "Type",
    "Status",
    "Gross",
    "Fee",
    "Net",
    "From Email Address",
    "To Email Address",
    "Transaction ID",
    "Counterparty Status",
    "Address Status",
    "Item Title",
    "Item ID",
    "Shipping and Handling Amount",
    "Insurance Amount",
    "Sales Tax",
    "Option 1 Name",
    "Option 1 Value",
    "Option 2 Name",
    "Option 2 Value",
    "Auction Site",
    "Buyer ID",
    "Item URL",
    "Closing Date",
    "Escrow Id",
    "Invoice Id",
    "Reference Txn ID",
    "Invoice Number",
    "Custom Number",
    "Quantity",
    "Receipt ID",
    "Balance",
    "Address Line 1",
    "Address Line 2",
    "Town/City",
    "State/Province",
    "Zip/Postal Code",
    "Country",
    "Contact Phone Number",
};

const std::array<std::string_view, qv_column_count> qv_field_names = {
    "date",       "time",         "time_zone",  "name",     "status_note", "status",    "gross",
    "fee",        "net",          "from_email", "to_email", "trans_id",    "name_note", "address_note",
    "item_title", "item_id",      "shipping",   "column17", "sales_tax",   "column19",  "column20",
    "column21",   "column22",     "column23",   "buyer_id", "column25",    "column26",  "column27",
    "column28",   "ref_trans_id", "column30",   "column31", "quantity",    "column33",  "balance",
    "address1",   "address2",     "city",       "province", "zip_code",    "country",   "phone"};

// ---- Value parse and text forms -------------------------------------------------------------------

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

std::size_t skip_spaces(std::string_view text, std::size_t pos = 0)
{
    while (pos < text.size() && text[pos] == ' ')
        ++pos;
    return pos;
}

// 1 to most decimal digits at pos, nothing else. False, with pos unchanged, when there are none or more.
bool read_digits(std::string_view text, std::size_t &pos, int most, unsigned &value)
{
    std::size_t i = pos;
    unsigned v = 0;
    while (i < text.size() && is_digit(text[i]) && i - pos < static_cast<std::size_t>(most))
        v = v * 10u + static_cast<unsigned>(text[i++] - '0');
    if (i == pos || (i < text.size() && is_digit(text[i])))
        return false;
    value = v;
    pos = i;
    return true;
}

// Three numbers of at most the given digits, separated by exactly sep, and nothing after them.
bool read_triple(std::string_view text, char sep, const int (&most)[3], unsigned (&out)[3])
{
    std::size_t pos = skip_spaces(text);
    for (int k = 0; k < 3; ++k) {
        if (k > 0) {
            if (pos >= text.size() || text[pos] != sep)
                return false;
            ++pos;
        }
        if (!read_digits(text, pos, most[k], out[k]))
            return false;
    }
    return pos == text.size();
}

bool letter_is(char c, char upper)
{
    return c == upper || c == upper + ('a' - 'A');
}

// What the amount and quantity parses throw for a text that is not one: the error names the whole text.
[[noreturn]] void bad_number(std::string_view text)
{
    throw Ebcl_conversion_error(text);
}

} // namespace

int qv_date_parse(qv_date &date, std::string_view text)
{
    date = {};
    if (text.empty())
        return -2;
    unsigned n[3] = {0, 0, 0};
    int form = 0;
    if (text.find('/') != std::string_view::npos) {
        if (!read_triple(text, '/', {2, 2, 4}, n))
            return -3;
        date = {static_cast<std::uint16_t>(n[2]), static_cast<std::uint16_t>(n[0]),
                static_cast<std::uint16_t>(n[1])};
        form = 1;
    } else if (text.find('-') != std::string_view::npos) {
        if (!read_triple(text, '-', {4, 2, 2}, n))
            return -3;
        date = {static_cast<std::uint16_t>(n[0]), static_cast<std::uint16_t>(n[1]),
                static_cast<std::uint16_t>(n[2])};
        form = 2;
    } else {
        return -1;
    }
    if (!qv_date_exists(date)) {
        date = {};
        return -3;
    }
    return form;
}

int qv_time_parse(qv_time &time, std::string_view text)
{
    time = {};
    if (text.empty())
        return -2;
    if (text.find(':') == std::string_view::npos)
        return -1;
    std::size_t pos = skip_spaces(text);
    unsigned n[3] = {0, 0, 0};
    if (!read_digits(text, pos, 2, n[0]) || pos >= text.size() || text[pos] != ':')
        return -3;
    ++pos;
    if (!read_digits(text, pos, 2, n[1]))
        return -3;
    if (pos < text.size() && text[pos] == ':') {
        ++pos;
        if (!read_digits(text, pos, 2, n[2]))
            return -3;
    }
    // A 12-hour time: 12 AM is midnight, 12 PM noon.
    if (pos + 3 == text.size() && text[pos] == ' ' && letter_is(text[pos + 2], 'M') &&
        (letter_is(text[pos + 1], 'A') || letter_is(text[pos + 1], 'P'))) {
        if (n[0] < 1 || n[0] > 12)
            return -3;
        n[0] = n[0] % 12 + (letter_is(text[pos + 1], 'P') ? 12 : 0);
        pos = text.size();
    }
    if (pos != text.size() || n[0] > 23 || n[1] > 59 || n[2] > 59)
        return -3;
    time = {static_cast<std::uint8_t>(n[0]), static_cast<std::uint8_t>(n[1]),
            static_cast<std::uint8_t>(n[2])};
    return 1;
}

int qv_amount_parse(amount &value, std::string_view text)
{
    value = 0;
    if (text.empty())
        return -2;
    std::size_t i = skip_spaces(text);
    const bool negative = i < text.size() && text[i] == '-';
    if (negative)
        ++i;
    // The whole units: digits, with commas only between groups of three (1,234,567), and as many as
    // the 64-bit count of hundredths holds.
    const std::uint64_t most = negative ? std::uint64_t{1} << 63 : (std::uint64_t{1} << 63) - 1;
    std::uint64_t whole = 0;
    const std::size_t first = i;
    std::size_t group = 0; // digits since the last comma
    bool grouped = false;  // a comma was met
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (is_digit(c)) {
            if (whole > most / 10)
                bad_number(text);
            whole = whole * 10 + static_cast<std::uint64_t>(c - '0');
            ++group;
        } else if (c == ',') {
            if (group == 0 || (grouped ? group != 3 : group > 3))
                bad_number(text);
            grouped = true;
            group = 0;
        } else {
            break;
        }
    }
    if (i == first || (grouped && group != 3))
        bad_number(text);
    // One or two decimals: tenths or hundredths.
    std::uint64_t hundredths = 0;
    if (i < text.size()) {
        if (text[i] != '.' || i + 1 == text.size() || i + 3 < text.size() || !is_digit(text[i + 1]) ||
            (i + 2 < text.size() && !is_digit(text[i + 2])))
            bad_number(text);
        hundredths = static_cast<std::uint64_t>(text[i + 1] - '0') * 10 +
                     (i + 2 < text.size() ? static_cast<std::uint64_t>(text[i + 2] - '0') : 0);
    }
    if (whole > most / 100 || whole * 100 > most - hundredths)
        bad_number(text);
    const std::uint64_t magnitude = whole * 100 + hundredths;
    value = negative ? static_cast<amount>(0u - magnitude) : static_cast<amount>(magnitude);
    return 1;
}

int qv_quantity_parse(std::int32_t &value, std::string_view text)
{
    value = 0;
    if (text.empty())
        return -2;
    std::size_t i = skip_spaces(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    const std::size_t first = i;
    const std::uint64_t most = negative ? std::uint64_t{1} << 31 : (std::uint64_t{1} << 31) - 1;
    std::uint64_t v = 0;
    for (; i < text.size() && is_digit(text[i]); ++i) {
        v = v * 10 + static_cast<std::uint64_t>(text[i] - '0');
        if (v > most)
            bad_number(text);
    }
    if (i == first || i != text.size())
        bad_number(text);
    value =
        static_cast<std::int32_t>(negative ? -static_cast<std::int64_t>(v) : static_cast<std::int64_t>(v));
    return 1;
}

char *qv_number_put(char *out, std::uint64_t value, int width, char pad)
{
    char digits[20];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (int i = n; i < width; ++i)
        *out++ = pad;
    while (n > 0)
        *out++ = digits[--n];
    return out;
}

char *qv_date_put(char *out, const qv_date &date, char year_pad)
{
    out = qv_number_put(out, date.year, 4, year_pad);
    *out++ = '-';
    out = qv_number_put(out, date.month, 2, '0');
    *out++ = '-';
    return qv_number_put(out, date.day, 2, '0');
}

char *qv_time_put(char *out, const qv_time &time)
{
    out = qv_number_put(out, time.hour, 2, '0');
    *out++ = ':';
    out = qv_number_put(out, time.minute, 2, '0');
    *out++ = ':';
    return qv_number_put(out, time.second, 2, '0');
}

char *qv_amount_put(char *out, amount value)
{
    const std::uint64_t magnitude =
        value < 0 ? 0u - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    if (value < 0)
        *out++ = '-';
    out = qv_number_put(out, magnitude / 100, 1, '0');
    *out++ = '.';
    return qv_number_put(out, magnitude % 100, 2, '0');
}

std::string qv_date_text(const qv_date &date)
{
    char buf[32];
    return std::string(buf, qv_date_put(buf, date));
}

std::string qv_time_text(const qv_time &time)
{
    char buf[32];
    return std::string(buf, qv_time_put(buf, time));
}

std::string qv_amount_text(amount value)
{
    char buf[32];
    return std::string(buf, qv_amount_put(buf, value));
}

bool qv_date_is_valid(const qv_date &date)
{
    return date.year != 0 && date.month >= 1 && date.month <= 12 && date.day >= 1 && date.day <= 31;
}

bool qv_date_same_month(const qv_date &date, const qv_date &other)
{
    return date.year == other.year && date.month == other.month;
}

std::int64_t qv_date_key(const qv_date &date)
{
    return std::int64_t{date.year} * 65536 + std::int64_t{date.month} * 256 + date.day;
}

bool qv_date_in_range(const qv_date &date, const qv_date &from, const qv_date &to)
{
    const std::int64_t key = qv_date_key(date);
    return qv_date_key(from) <= key && key <= qv_date_key(to);
}

std::int64_t qv_date_diff(const qv_date &date, const qv_date &other)
{
    return qv_date_key(date) - qv_date_key(other);
}

bool qv_date_exists(const qv_date &date)
{
    static constexpr int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (date.year < 1 || date.month < 1 || date.month > 12 || date.day < 1)
        return false;
    const int y = date.year;
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    return date.day <= days[date.month - 1] + (date.month == 2 && leap ? 1 : 0);
}

// ---- Record ---------------------------------------------------------------------------------------

Tqv_record::Tqv_record(const Tqv_record &other)
{
    *this = other;
}

Tqv_record &Tqv_record::operator=(const Tqv_record &other)
{
    if (this == &other)
        return *this;
    copy_numbers(*this, other);
    if (other.texts_ == nullptr) {
        release();
    } else if (other.owned_) {
        const std::size_t size = block_size(other.texts_);
        auto *copy = new unsigned char[size];
        std::memcpy(copy, other.texts_, size);
        release();
        texts_ = copy;
        owned_ = true;
    } else {
        // A record of a store: its shared texts are copied into a block of the copy's own.
        std::array<std::string_view, qv_text_field_count> texts;
        for (int f = 0; f < qv_text_field_count; ++f)
            texts[f] = other.text(static_cast<qv_text_field>(f));
        set_texts(texts);
    }
    return *this;
}

Tqv_record::Tqv_record(Tqv_record &&other) noexcept
{
    *this = std::move(other);
}

Tqv_record &Tqv_record::operator=(Tqv_record &&other) noexcept
{
    if (this == &other)
        return *this;
    copy_numbers(*this, other);
    release();
    texts_ = other.texts_;
    owned_ = other.owned_;
    other.texts_ = nullptr;
    other.owned_ = false;
    return *this;
}

Tqv_record::~Tqv_record()
{
    release();
}

void Tqv_record::release()
{
    if (owned_)
        delete[] texts_;
    texts_ = nullptr;
    owned_ = false;
}

std::string_view Tqv_record::text(qv_text_field f) const
{
    return block_text(texts_, f);
}

void Tqv_record::texts(std::array<std::string_view, qv_text_field_count> &out) const
{
    block_texts(texts_, out.data());
}

void Tqv_record::set_texts(const std::array<std::string_view, qv_text_field_count> &texts)
{
    if (std::all_of(texts.begin(), texts.end(), [](std::string_view t) { return t.empty(); })) {
        release();
        return;
    }
    unsigned char block[block_max];
    const std::size_t size = write_block(texts.data(), block, share_none, placed_anywhere);
    auto *copy = new unsigned char[size];
    std::memcpy(copy, block, size);
    release();
    texts_ = copy;
    owned_ = true;
}

void Tqv_record::clear()
{
    *this = Tqv_record();
}

void qv_record_clear(Tqv_record &rec)
{
    rec.clear();
}

unsigned qv_internal::read_columns(Tqv_numbers &rec, Tline_texts &texts, const qv_line_fields &fields)
{
    const auto col = [&fields](int c) { return fields.field(c); };

    unsigned unread = 0;
    if (qv_date_parse(rec.date, col(0)) < 0 && !col(0).empty())
        unread |= unread_date;
    if (qv_time_parse(rec.time, col(1)) < 0 && !col(1).empty())
        unread |= unread_time;
    qv_amount_parse(rec.gross, col(6));
    qv_amount_parse(rec.fee, col(7));
    qv_amount_parse(rec.net, col(8));
    qv_amount_parse(rec.balance, col(34));
    qv_amount_parse(rec.sales_tax, col(18));
    qv_amount_parse(rec.shipping, col(16));

    const auto lowered = [](std::string_view text, char *out) {
        const std::size_t n = std::min<std::size_t>(text.size(), qv_column_max);
        for (std::size_t i = 0; i < n; ++i)
            out[i] = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + ('a' - 'A')) : text[i];
        return std::string_view(out, n);
    };

    std::array<std::string_view, qv_text_field_count> &t = texts.text;
    t[qv_f_time_zone] = col(2);
    t[qv_f_name] = col(3);
    t[qv_f_status_note] = col(4);
    t[qv_f_status] = col(5);
    t[qv_f_from_email] = lowered(col(9), texts.from_email);
    t[qv_f_to_email] = lowered(col(10), texts.to_email);
    t[qv_f_trans_id] = col(11);
    t[qv_f_name_note] = col(12);
    t[qv_f_address_note] = col(13);
    t[qv_f_item_title] = col(14);
    t[qv_f_item_id] = col(15);
    t[qv_f_column17] = col(17);
    for (int k = 0; k < 5; ++k)
        t[qv_f_column19 + k] = col(19 + k);
    t[qv_f_buyer_id] = col(24);
    for (int k = 0; k < 4; ++k)
        t[qv_f_column25 + k] = col(25 + k);
    t[qv_f_ref_trans_id] = col(29);
    t[qv_f_column30] = col(30);
    t[qv_f_column31] = col(31);
    qv_quantity_parse(rec.quantity, col(32));
    t[qv_f_column33] = col(33);
    for (int k = 0; k < 7; ++k)
        t[qv_f_address1 + k] = col(35 + k);
    return unread;
}

int qv_record_parse(Tqv_record &rec, const qv_line_fields *fields)
{
    rec.clear();
    if (fields == nullptr)
        return -1;
    Tline_texts texts;
    read_columns(rec, texts, *fields);
    rec.set_texts(texts.text);
    return 1;
}
