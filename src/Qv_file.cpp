#include "Qv_file.h"

#include "Bcl.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>
#include <unordered_map>

// ---- Reader ---------------------------------------------------------------------------------------

namespace {

// The file text buffer: the bytes of the one file being loaded and a terminating zero byte.
std::unique_ptr<char[]> file_text;
std::size_t file_size = 0;
std::vector<qv_text_cut> file_cuts;

void take_text(std::unique_ptr<char[]> bytes, std::size_t size)
{
    file_text = std::move(bytes);
    file_size = size;
    file_text[size] = '\0';
}

} // namespace

bool qv_file_read(const std::string &path, std::string *error)
{
    qv_file_release();
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        if (error != nullptr)
            *error = std::strerror(errno);
        return false;
    }
    // The size is only a hint: the file is read to its end whatever its size, 2 GiB and more too.
    std::size_t capacity = 1 << 16;
    if (std::fseek(f, 0, SEEK_END) == 0) {
        const long end = std::ftell(f);
        if (end > 0)
            capacity = static_cast<std::size_t>(end) + 1;
        std::rewind(f);
    }
    std::unique_ptr<char[]> bytes(new char[capacity + 1]);
    std::size_t size = 0;
    for (;;) {
        size += std::fread(bytes.get() + size, 1, capacity - size, f);
        if (size < capacity)
            break;
        std::unique_ptr<char[]> bigger(new char[capacity * 2 + 1]);
        std::memcpy(bigger.get(), bytes.get(), size);
        bytes = std::move(bigger);
        capacity *= 2;
    }
    const bool failed = std::ferror(f) != 0;
    const int read_errno = errno;
    std::fclose(f);
    if (failed) {
        if (error != nullptr)
            *error = std::strerror(read_errno);
        return false;
    }
    if (size > 0)
        take_text(std::move(bytes), size);
    return true;
}

void qv_file_set_text(std::string_view bytes)
{
    qv_file_release();
    if (bytes.empty())
        return;
    std::unique_ptr<char[]> copy(new char[bytes.size() + 1]);
    std::memcpy(copy.get(), bytes.data(), bytes.size());
    take_text(std::move(copy), bytes.size());
}

namespace {

// Cuts [begin, end) into lines and calls on_line(text, stray_cr) for each: a LF ends a line, and a CR
// ends the line's text (stray_cr when text follows it before the LF). When last is false, the text after
// the last LF is not taken; the return value is where it starts.
template <class OnLine> const char *cut_lines(const char *begin, const char *end, bool last, OnLine &&on_line)
{
    const char *start = begin;
    while (start < end) {
        const char *lf =
            static_cast<const char *>(std::memchr(start, '\n', static_cast<std::size_t>(end - start)));
        if (lf == nullptr && !last)
            return start;
        const char *line_end = lf != nullptr ? lf : end;
        const char *cr =
            static_cast<const char *>(std::memchr(start, '\r', static_cast<std::size_t>(line_end - start)));
        const char *text_end = cr != nullptr ? cr : line_end;
        on_line(std::string_view(start, static_cast<std::size_t>(text_end - start)),
                cr != nullptr && cr + 1 < line_end);
        if (lf == nullptr)
            return end;
        start = lf + 1;
    }
    return start;
}

} // namespace

void qv_file_split_lines(Tqv_lines &lines)
{
    file_cuts.clear();
    if (!file_text)
        return;
    const char *const text = file_text.get();
    // A zero byte ends the text, as it would a C string.
    const char *const zero = static_cast<const char *>(std::memchr(text, '\0', file_size));
    const char *const end = zero != nullptr ? zero : text + file_size;
    lines.reserve(lines.size() + static_cast<std::size_t>(end - text) / 256 + 1);

    const std::size_t first = lines.size();
    if (text == end)
        lines.push_back({std::string_view()}); // the start of the text is always a line
    cut_lines(text, end, true, [&](std::string_view line, bool stray_cr) {
        if (stray_cr)
            file_cuts.push_back({lines.size() - first, false});
        lines.push_back({line});
    });
    // The zero byte stands in the last line, or starts the next one when that line ended with a LF.
    if (zero != nullptr && zero + 1 < text + file_size) {
        const bool after_lf = end > text && end[-1] == '\n';
        file_cuts.push_back({lines.size() - first - (after_lf ? 0 : 1), true});
    }
}

namespace {

// The position of the first double quote in s[from, n), or n. Eight bytes at a time: fields are mostly
// short, so a library search costs more in calls than it saves.
std::size_t next_quote(const char *s, std::size_t from, std::size_t n)
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    constexpr std::uint64_t quotes = ones * '"';
    for (; from + 8 <= n; from += 8) {
        std::uint64_t word;
        std::memcpy(&word, s + from, 8);
        const std::uint64_t x = word ^ quotes; // a zero byte where a quote was
        const std::uint64_t found = (x - ones) & ~x & highs;
        if (found != 0) {
            // The lowest flagged byte is the first quote (little-endian load).
            std::size_t i = from;
            while (s[i] != '"')
                ++i;
            return i;
        }
    }
    while (from < n && s[from] != '"')
        ++from;
    return from;
}

} // namespace

int qv_line_split(std::string_view line, qv_line_fields &fields)
{
    if (line.empty())
        return -1;
    if (line[0] != '"')
        return -2;
    const char *const s = line.data();
    const std::size_t n = line.size();
    auto store = [&](int slot, std::size_t from, std::size_t length) {
        fields.slot[slot] = std::string_view(s + from, std::min<std::size_t>(length, qv_column_max));
    };

    std::size_t pos = 1;
    for (int slot = 0; slot < qv_column_count; ++slot) {
        // A field ends at the next quote-comma pair; a lone quote inside it is an ordinary character.
        std::size_t close = pos;
        for (;; ++close) {
            close = next_quote(s, close, n);
            if (close >= n - 1 || s[close + 1] == ',')
                break;
        }
        if (close >= n - 1) {
            // The last field of the line, closed by its quote and the line end.
            if (n > pos && s[n - 1] == '"')
                store(slot, pos, n - 1 - pos);
            return 1;
        }
        store(slot, pos, close - pos);
        const std::size_t next = close + 2;
        if (next >= n || s[next] != '"')
            return 1;
        pos = next + 1;
    }
    return 1;
}

void qv_file_free_lines(Tqv_lines &lines)
{
    lines.clear();
    lines.shrink_to_fit();
}

void qv_file_release()
{
    file_text.reset();
    file_size = 0;
}

const std::vector<qv_text_cut> &qv_file_cuts()
{
    return file_cuts;
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
    date = other.date;
    time = other.time;
    gross = other.gross;
    fee = other.fee;
    net = other.net;
    shipping = other.shipping;
    sales_tax = other.sales_tax;
    balance = other.balance;
    quantity = other.quantity;
    ends_ = other.ends_;
    const std::size_t size = ends_.back();
    texts_.reset(size > 0 ? new char[size] : nullptr);
    if (size > 0)
        std::memcpy(texts_.get(), other.texts_.get(), size);
    return *this;
}

namespace {

// Copies a short text. A plain memcpy of a length that the compiler knows to be small becomes a
// "rep movs", whose start-up cost dominates for texts of a few bytes.
void copy_short(char *dest, const char *src, std::size_t n)
{
    for (; n >= 8; n -= 8, dest += 8, src += 8)
        std::memcpy(dest, src, 8);
    for (; n > 0; --n)
        *dest++ = *src++;
}

} // namespace

void Tqv_record::set_texts(const std::array<std::string_view, qv_text_field_count> &texts)
{
    std::size_t at = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        at += std::min<std::size_t>(texts[i].size(), qv_column_max);
        ends_[i] = static_cast<std::uint16_t>(at);
    }
    std::unique_ptr<char[]> block(at > 0 ? new char[at] : nullptr);
    std::size_t begin = 0;
    for (std::size_t i = 0; i < texts.size(); ++i) {
        copy_short(block.get() + begin, texts[i].data(), ends_[i] - begin);
        begin = ends_[i];
    }
    texts_ = std::move(block);
}

void Tqv_record::clear()
{
    *this = Tqv_record();
}

void qv_record_clear(Tqv_record &rec)
{
    rec.clear();
}

namespace {

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// An optionally blank-led, optionally signed decimal number at pos, as its low 32 bits. False, with pos
// unchanged, when there are no digits.
bool read_number(std::string_view text, std::size_t &pos, std::uint32_t &value)
{
    std::size_t i = pos;
    while (i < text.size() && is_blank(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size() || text[i] < '0' || text[i] > '9')
        return false;
    std::uint32_t v = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
        v = v * 10u + static_cast<std::uint32_t>(text[i] - '0');
    value = negative ? 0u - v : v;
    pos = i;
    return true;
}

// Up to three numbers separated by exactly sep; reading stops at the first character that does not fit.
void read_triple(std::string_view text, char sep, std::uint32_t (&out)[3])
{
    std::size_t pos = 0;
    for (int k = 0; k < 3; ++k) {
        if (k > 0) {
            if (pos >= text.size() || text[pos] != sep)
                return;
            ++pos;
        }
        if (!read_number(text, pos, out[k]))
            return;
    }
}

} // namespace

int qv_date_parse(qv_date &date, std::string_view text)
{
    date = {};
    if (text.empty())
        return -2;
    std::uint32_t n[3] = {0, 0, 0};
    if (text.find('/') != std::string_view::npos) {
        read_triple(text, '/', n);
        date = {static_cast<std::uint16_t>(n[2] & 0xFFFF), static_cast<std::uint16_t>(n[0] & 0xFF),
                static_cast<std::uint16_t>(n[1] & 0xFF)};
        return 1;
    }
    if (text.find('-') != std::string_view::npos) {
        read_triple(text, '-', n);
        date = {static_cast<std::uint16_t>(n[0] & 0xFFFF), static_cast<std::uint16_t>(n[1] & 0xFF),
                static_cast<std::uint16_t>(n[2] & 0xFF)};
        return 2;
    }
    return -1;
}

int qv_time_parse(qv_time &time, std::string_view text)
{
    time = {};
    if (text.empty())
        return -2;
    if (text.find(':') == std::string_view::npos)
        return -1;
    std::uint32_t n[3] = {0, 0, 0};
    read_triple(text, ':', n);
    time = {static_cast<std::uint8_t>(n[0]), static_cast<std::uint8_t>(n[1]),
            static_cast<std::uint8_t>(n[2])};
    return 1;
}

int qv_amount_parse(amount &value, std::string_view text)
{
    value = 0;
    if (text.empty())
        return -2;
    // Most amounts look like -1,234.56: read those directly, the rest below.
    if (text.size() <= 31) {
        std::size_t i = text[0] == '-' ? 1 : 0;
        std::int64_t whole = 0;
        int digits = 0;
        for (; i < text.size() && ((text[i] >= '0' && text[i] <= '9') || text[i] == ','); ++i) {
            if (text[i] != ',') {
                if (digits < 10) // more digits go the long way below; stop before the sum overflows
                    whole = whole * 10 + (text[i] - '0');
                ++digits;
            }
        }
        const bool plain = i == text.size();
        const bool cents = i + 3 == text.size() && text[i] == '.' && text[i + 1] >= '0' &&
                           text[i + 1] <= '9' && text[i + 2] >= '0' && text[i + 2] <= '9';
        if (digits > 0 && digits <= 9 && (plain || cents)) {
            const amount hundredths = cents ? (text[i + 1] - '0') * 10 + (text[i + 2] - '0') : 0;
            value = text[0] == '-' ? -(whole * 100 + hundredths) : whole * 100 + hundredths;
            return 1;
        }
    }
    std::size_t lead = 0;
    while (lead < text.size() && text[lead] == ' ')
        ++lead;
    const bool negative = lead < text.size() && text[lead] == '-';

    // The whole text without the thousands separators (cutting it short would change its value).
    std::string work;
    work.reserve(text.size());
    for (const char c : text) {
        if (c != ',')
            work += c;
    }
    const std::string_view w(work);
    const std::size_t point = w.find('.');
    if (point == std::string_view::npos) {
        value = amount{bcl_text_to_int(w)} * 100;
        return 1;
    }
    const amount whole = bcl_text_to_int(w.substr(0, point));
    const std::string_view fraction = w.substr(point + 1);
    const bool digits_only = !fraction.empty() && std::all_of(fraction.begin(), fraction.end(),
                                                              [](char c) { return c >= '0' && c <= '9'; });
    amount hundredths = 0;
    if (digits_only) {
        // One decimal is tenths; more than two are rounded half away from zero to hundredths (however
        // many there are: only the third decides).
        hundredths = (fraction[0] - '0') * 10 + (fraction.size() > 1 ? fraction[1] - '0' : 0);
        if (fraction.size() > 2 && fraction[2] >= '5')
            ++hundredths;
    } else {
        hundredths = bcl_text_to_int(fraction);
    }
    value = negative ? whole * 100 - hundredths : whole * 100 + hundredths;
    return 1;
}

std::string qv_date_text(const qv_date &date)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%4d-%02d-%02d", date.year, date.month, date.day);
    return buf;
}

std::string qv_time_text(const qv_time &time)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", time.hour, time.minute, time.second);
    return buf;
}

std::string qv_amount_text(amount value)
{
    const std::uint64_t magnitude =
        value < 0 ? 0u - static_cast<std::uint64_t>(value) : static_cast<std::uint64_t>(value);
    char buf[32];
    std::snprintf(buf, sizeof buf, "%s%llu.%02llu", value < 0 ? "-" : "",
                  static_cast<unsigned long long>(magnitude / 100),
                  static_cast<unsigned long long>(magnitude % 100));
    return buf;
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

int qv_record_parse(Tqv_record &rec, const qv_line_fields *fields)
{
    rec.clear();
    if (fields == nullptr)
        return -1;
    const auto col = [fields](int c) { return fields->field(c); };

    qv_date_parse(rec.date, col(0));
    qv_time_parse(rec.time, col(1));
    qv_amount_parse(rec.gross, col(6));
    qv_amount_parse(rec.fee, col(7));
    qv_amount_parse(rec.net, col(8));
    qv_amount_parse(rec.balance, col(34));
    qv_amount_parse(rec.sales_tax, col(18));
    qv_amount_parse(rec.shipping, col(16));

    char from_email[qv_column_max + 1];
    char to_email[qv_column_max + 1];
    const auto lowered = [](std::string_view text, char *out) {
        for (std::size_t i = 0; i < text.size(); ++i)
            out[i] = text[i] >= 'A' && text[i] <= 'Z' ? static_cast<char>(text[i] + ('a' - 'A')) : text[i];
        return std::string_view(out, text.size());
    };

    std::array<std::string_view, qv_text_field_count> t{};
    t[qv_f_time_zone] = col(2);
    t[qv_f_name] = col(3);
    t[qv_f_status_note] = col(4);
    t[qv_f_status] = col(5);
    t[qv_f_from_email] = lowered(col(9), from_email);
    t[qv_f_to_email] = lowered(col(10), to_email);
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
    t[qv_f_column31] = col(31); // column 30 of the line is never read
    rec.quantity = bcl_str_to_int(col(32));
    t[qv_f_column33] = col(33);
    for (int k = 0; k < 7; ++k)
        t[qv_f_address1 + k] = col(35 + k);
    rec.set_texts(t);
    return 1;
}

// ---- Store ----------------------------------------------------------------------------------------

namespace {

unsigned char fold(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

bool key_equal(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}

} // namespace

std::uint64_t qv_key_hash(std::string_view key)
{
    std::uint64_t h = 1469598103934665603ull;
    for (const char c : key)
        h = (h ^ fold(c)) * 1099511628211ull;
    return h ^ (h >> 29);
}

int qv_key_compare(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const unsigned char x = fold(a[i]);
        const unsigned char y = fold(b[i]);
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

Tqv_records::Tqv_records() : slots_(1024)
{
}

Tqv_records::~Tqv_records() = default;

Tqv_record_object *Tqv_records::find(std::string_view key, std::uint64_t hash) const
{
    if (key.empty())
        return nullptr;
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
        const Tslot &slot = slots_[i];
        if (slot.rec == nullptr)
            return nullptr;
        if (slot.hash == hash && key_equal(slot.rec->data.trans_id(), key))
            return slot.rec;
    }
}

bool Tqv_records::add(std::unique_ptr<Tqv_record_object> rec)
{
    if (!rec)
        return false;
    const std::uint64_t hash = qv_key_hash(rec->data.trans_id());
    return add(std::move(rec), hash);
}

bool Tqv_records::add(std::unique_ptr<Tqv_record_object> rec, std::uint64_t hash)
{
    if (!rec)
        return false;
    const std::string_view key = rec->data.trans_id();
    if (key.empty())
        return false;
    if ((order_.size() + 1) * 2 > slots_.size())
        grow();
    const std::size_t mask = slots_.size() - 1;
    std::size_t i = hash & mask;
    for (; slots_[i].rec != nullptr; i = (i + 1) & mask) {
        if (slots_[i].hash == hash && key_equal(slots_[i].rec->data.trans_id(), key))
            return false;
    }
    slots_[i] = {hash, rec.get()};
    order_.push_back(std::move(rec));
    return true;
}

void Tqv_records::grow()
{
    std::vector<Tslot> bigger(slots_.size() * 2);
    const std::size_t mask = bigger.size() - 1;
    for (const Tslot &slot : slots_) {
        if (slot.rec == nullptr)
            continue;
        std::size_t i = slot.hash & mask;
        while (bigger[i].rec != nullptr)
            i = (i + 1) & mask;
        bigger[i] = slot;
    }
    slots_.swap(bigger);
}

namespace {

// The first eight bytes of a key, folded, as a number that orders like the key.
std::uint64_t key_prefix(std::string_view key)
{
    std::uint64_t prefix = 0;
    for (std::size_t i = 0; i < 8; ++i)
        prefix = prefix << 8 | (i < key.size() ? fold(key[i]) : 0u);
    return prefix;
}

} // namespace

void Tqv_records::sort() const
{
    // Sort the records added since the last walk by (prefix, position), comparing whole keys only when
    // prefixes tie, then merge them into the sorted part.
    const std::size_t first = sorted_;
    std::vector<std::pair<std::uint64_t, std::size_t>> keys;
    keys.reserve(order_.size() - first);
    for (std::size_t i = first; i < order_.size(); ++i)
        keys.emplace_back(key_prefix(order_[i]->data.trans_id()), i);
    std::sort(keys.begin(), keys.end(), [this](const auto &a, const auto &b) {
        if (a.first != b.first)
            return a.first < b.first;
        return qv_key_compare(order_[a.second]->data.trans_id(), order_[b.second]->data.trans_id()) < 0;
    });
    std::vector<std::unique_ptr<Tqv_record_object>> tail;
    tail.reserve(keys.size());
    for (const auto &k : keys)
        tail.push_back(std::move(order_[k.second]));
    std::move(tail.begin(), tail.end(), order_.begin() + static_cast<std::ptrdiff_t>(first));

    const auto less = [](const std::unique_ptr<Tqv_record_object> &a,
                         const std::unique_ptr<Tqv_record_object> &b) {
        return qv_key_compare(a->data.trans_id(), b->data.trans_id()) < 0;
    };
    std::inplace_merge(order_.begin(), order_.begin() + static_cast<std::ptrdiff_t>(first), order_.end(),
                       less);
    sorted_ = order_.size();
}

void Tqv_records::clear_marks()
{
    for (const auto &rec : order_)
        rec->report_mark = 0;
}

// ---- Loading --------------------------------------------------------------------------------------

namespace {

constexpr std::size_t progress_every = 1 << 15;
constexpr std::size_t no_line = static_cast<std::size_t>(-1);

// Reads a whole text block by block through read(dest, room) (0 at its end) and cuts it into lines as
// qv_file_split_lines cuts the file text buffer, without holding the whole text in memory. Returns the
// 0-based line where a zero byte ended the text when more bytes followed it, else no_line.
template <class Read, class OnLine> std::size_t stream_lines(Read &&read, OnLine &&on_line)
{
    static std::vector<char> block(std::size_t{1} << 22); // reused by every load
    std::size_t kept = 0;                                 // the unfinished line, at the block's start
    std::size_t lines = 0;
    char last_byte = '\0';
    const auto counted = [&](std::string_view text, bool stray_cr) {
        on_line(text, stray_cr);
        ++lines;
    };
    for (;;) {
        if (kept == block.size())
            block.resize(block.size() * 2); // a line longer than the block
        char *const begin = block.data();
        const std::size_t got = read(begin + kept, block.size() - kept);
        const char *const zero = static_cast<const char *>(std::memchr(begin + kept, '\0', got));
        const std::size_t text_end = zero != nullptr ? static_cast<std::size_t>(zero - begin) : kept + got;
        if (text_end > 0)
            last_byte = begin[text_end - 1];
        const bool last = got == 0 || zero != nullptr;
        const char *const rest = cut_lines(begin, begin + text_end, last, counted);
        if (last) {
            if (zero == nullptr)
                return no_line;
            if (lines == 0)
                counted(std::string_view(), false); // the start of the text is always a line
            char probe;
            if (zero + 1 == begin + kept + got && read(&probe, 1) == 0)
                return no_line;
            return last_byte == '\n' && text_end > 0 ? lines : lines - 1;
        }
        kept = static_cast<std::size_t>(begin + text_end - rest);
        std::memmove(begin, rest, kept);
    }
}

// Turns each line after the header into a record of the store, counting and reporting as it goes.
class Tline_loader {
public:
    Tline_loader(Tqv_records &store, const std::string &name, qv_load_report &report,
                 const qv_load_progress &progress)
        : store_(store), name_(name), report_(report), progress_(progress)
    {
    }

    void operator()(std::string_view line, bool stray_cr)
    {
        const std::size_t number = ++index_;
        qv_load_counts &counts = report_.counts;
        ++counts.lines;
        if (stray_cr) {
            report_.problems.push_back(
                {name_, number, "a carriage return ends this line early; the text after it was not read"});
        }
        if (number == 1) {
            ++counts.header;
            return;
        }
        if (progress_ && number % progress_every == 0)
            progress_({name_, 0, 0, store_.count()});
        fields_.clear();
        qv_line_split(line, fields_);
        const std::string_view id = fields_.field(11);
        if (id.empty()) {
            ++counts.skipped;
            return;
        }
        const std::uint64_t hash = qv_key_hash(id);
        if (store_.find(id, hash) != nullptr) {
            ++counts.duplicates;
            return;
        }
        auto rec = std::make_unique<Tqv_record_object>();
        try {
            qv_record_parse(rec->data, &fields_);
        } catch (const Ebcl_conversion_error &e) {
            report_.problems.push_back({name_, number, e.what()});
            ++counts.reported;
            return;
        }
        store_.add(std::move(rec), hash);
        ++counts.added;
    }

    void zero_byte_at(std::size_t line)
    {
        if (line != no_line)
            report_.problems.push_back(
                {name_, line + 1, "the file holds a zero byte here; the rest of the file was not read"});
    }

private:
    Tqv_records &store_;
    const std::string &name_;
    qv_load_report &report_;
    qv_load_progress progress_;
    qv_line_fields fields_;
    std::size_t index_ = 0;
};

} // namespace

void qv_load_history_file(Tqv_records &store, const std::string &path, qv_load_report &report,
                          const qv_load_progress &progress)
{
    if (path.empty())
        return;
    ++report.counts.files;
    if (progress)
        progress({path, 0, 0, store.count()});
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        report.problems.push_back({path, 0, std::strerror(errno)});
        return;
    }
    Tline_loader loader(store, path, report, progress);
    const std::size_t zero_line =
        stream_lines([f](char *dest, std::size_t room) { return std::fread(dest, 1, room, f); }, loader);
    const int read_errno = errno;
    if (std::ferror(f) != 0)
        report.problems.push_back({path, 0, std::string("read error: ") + std::strerror(read_errno)});
    std::fclose(f);
    loader.zero_byte_at(zero_line);
    if (progress)
        progress({path, 0, 0, store.count()});
}

void qv_load_history_text(Tqv_records &store, std::string_view bytes, const std::string &name,
                          qv_load_report &report)
{
    ++report.counts.files;
    Tline_loader loader(store, name, report, {});
    const std::size_t zero_line = stream_lines(
        [&bytes](char *dest, std::size_t room) {
            const std::size_t n = std::min(room, bytes.size());
            if (n > 0)
                std::memcpy(dest, bytes.data(), n);
            bytes.remove_prefix(n);
            return n;
        },
        loader);
    loader.zero_byte_at(zero_line);
}

std::vector<std::string> qv_history_files(const std::string &folder, std::string *error)
{
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder, ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() < 4)
            continue;
        const std::string_view ext = std::string_view(name).substr(name.size() - 4);
        if (!key_equal(ext, ".csv"))
            continue;
        std::error_code type_ec;
        if (it->is_directory(type_ec))
            continue;
        names.push_back(name);
    }
    if (ec && error != nullptr)
        *error = ec.message();
    std::sort(names.begin(), names.end());
    return names;
}

void qv_load_history_folder(Tqv_records &store, const std::string &folder, qv_load_report &report,
                            const qv_load_progress &progress)
{
    std::string error;
    const std::vector<std::string> names = qv_history_files(folder, &error);
    if (!error.empty())
        report.problems.push_back({folder, 0, error});
    for (const std::string &name : names)
        qv_load_history_file(store, (std::filesystem::path(folder) / name).string(), report, progress);
}

// ---- Search and reports ---------------------------------------------------------------------------

std::vector<std::size_t> qv_search_records(const Tqv_records &store, qv_search_field field,
                                           std::string_view text, const qv_lower_fn &lower,
                                           const qv_lower_fn &shown)
{
    std::vector<std::size_t> found;
    if (text.empty())
        return found;
    std::string typed(text);
    if (field == qv_search_field::name) {
        for (char &c : typed)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    char ascii_lower[qv_column_max + 1];
    const auto is_ascii = [](std::string_view t) {
        return std::all_of(t.begin(), t.end(), [](char c) { return (c & 0x80) == 0; });
    };
    // A field that is not ASCII is searched as it is shown, so that the typed text finds it whichever
    // encoding the file used.
    const auto contains = [&](std::string_view f) {
        if (!shown || is_ascii(f))
            return f.find(typed) != std::string_view::npos;
        return shown(f).find(typed) != std::string::npos;
    };
    for (std::size_t pos = 0; pos < store.count(); ++pos) {
        const Tqv_record &rec = store.record_at(pos)->data;
        bool match = false;
        switch (field) {
        case qv_search_field::trans_id:
            match = contains(rec.trans_id());
            break;
        case qv_search_field::from_email:
            match = contains(rec.from_email());
            break;
        case qv_search_field::name: {
            const std::string_view name = rec.name();
            const bool ascii = is_ascii(name);
            if (ascii || !lower) {
                for (std::size_t i = 0; i < name.size(); ++i)
                    ascii_lower[i] = static_cast<char>(fold(name[i]));
                match = std::string_view(ascii_lower, name.size()).find(typed) != std::string_view::npos;
            } else {
                match = lower(name).find(typed) != std::string::npos;
            }
            break;
        }
        }
        if (match)
            found.push_back(pos);
    }
    return found;
}

std::vector<qv_report_point> qv_report_month(Tqv_records &store, const qv_date &from, const qv_date &to,
                                             qv_report_value value)
{
    std::vector<qv_report_point> points;
    std::vector<std::int64_t> totals; // hundredths or pieces, per point
    std::unordered_map<std::uint32_t, std::size_t> point_of_month;
    store.clear_marks();
    for (std::size_t pos = 0; pos < store.count(); ++pos) {
        Tqv_record_object *rec = store.record_at(pos);
        rec->report_mark = 1;
        const qv_date &date = rec->data.date;
        if (!qv_date_in_range(date, from, to))
            continue;
        const std::uint32_t month = std::uint32_t{date.year} << 16 | date.month;
        const auto [it, added] = point_of_month.try_emplace(month, points.size());
        if (added) {
            points.push_back({date, 0});
            totals.push_back(0);
        }
        totals[it->second] += value == qv_report_value::quantity ? rec->data.quantity : rec->data.gross;
    }
    for (std::size_t i = 0; i < points.size(); ++i) {
        points[i].value = value == qv_report_value::quantity ? static_cast<double>(totals[i])
                                                             : static_cast<double>(totals[i]) * 0.01;
    }
    return points;
}

std::vector<qv_report_point> qv_report_day(const Tqv_records &store, const qv_date &from, const qv_date &to,
                                           qv_report_value value)
{
    std::vector<qv_report_point> points;
    for (std::size_t pos = 0; pos < store.count(); ++pos) {
        const Tqv_record &rec = store.record_at(pos)->data;
        if (!qv_date_in_range(rec.date, from, to))
            continue;
        points.push_back({rec.date, value == qv_report_value::quantity
                                        ? static_cast<double>(rec.quantity)
                                        : static_cast<double>(rec.gross) * 0.01});
    }
    return points;
}
