#include "Qv_file.h"

#include "Bcl.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <mutex>
#include <new>
#include <random>
#include <system_error>
#include <thread>
#include <unordered_map>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

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
// ends the line's text (stray_cr when something other than CRs follows it before the LF, so that lines
// ending in CR CR LF lose nothing). When last is false, the text after
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
                cr != nullptr && std::any_of(cr + 1, line_end, [](char c) { return c != '\r'; }));
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

void Tqv_line_splitter::begin()
{
    slot_ = 0;
    closed_ = 0;
    state_ = Tstate::start;
    quote_ = false;
    result_ = -1;
}

void Tqv_line_splitter::append(char c)
{
    if (length_[slot_] < qv_column_max)
        text_[slot_][length_[slot_]++] = c;
}

void Tqv_line_splitter::feed(std::string_view piece)
{
    const char *p = piece.data();
    const char *const end = p + piece.size();
    while (p < end && state_ != Tstate::done) {
        const char c = *p++;
        switch (state_) {
        case Tstate::start:
            result_ = c == '"' ? 1 : -2;
            state_ = c == '"' ? Tstate::field : Tstate::done;
            length_[0] = 0;
            break;
        case Tstate::field:
            if (quote_) {
                quote_ = false;
                if (c == ',') {
                    // A quote-comma pair closes the field.
                    closed_ = slot_ + 1;
                    state_ = Tstate::after_comma;
                    break;
                }
                append('"'); // a lone quote inside a field is an ordinary character
            }
            if (c == '"') {
                quote_ = true;
            } else if (length_[slot_] < qv_column_max) {
                append(c);
            } else {
                // The field is full: skip to its next quote.
                const void *q = std::memchr(p, '"', static_cast<std::size_t>(end - p));
                p = q != nullptr ? static_cast<const char *>(q) : end;
            }
            break;
        case Tstate::after_comma:
            // Only a quote right after the comma opens the next field.
            if (c == '"' && slot_ + 1 < qv_column_count) {
                ++slot_;
                length_[slot_] = 0;
                state_ = Tstate::field;
            } else {
                state_ = Tstate::done;
            }
            break;
        case Tstate::done:
            break;
        }
    }
}

int Tqv_line_splitter::finish(qv_line_fields &fields) const
{
    if (result_ != 1)
        return result_;
    for (int k = 0; k < closed_; ++k)
        fields.slot[k] = std::string_view(text_[k], length_[k]);
    // The last field of the line, closed by its quote and the line end.
    if (state_ == Tstate::field && quote_)
        fields.slot[slot_] = std::string_view(text_[slot_], length_[slot_]);
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

namespace {

// The texts of a record are packed into one block: first two bits per field telling whether the text
// is empty, held in the block (a length byte, then its bytes) or shared (its number in the store's list
// of that field's shared texts: one byte below 128, else two), then the texts of the fields that are
// not empty. The fields stand in the block in an order that puts first the ones read most (the key, the
// searched ones, the list's columns), since reaching a field means stepping over those before it.
constexpr std::size_t kind_bytes = (qv_text_field_count * 2 + 7) / 8;
constexpr unsigned kind_empty = 0;
constexpr unsigned kind_inline = 1;
constexpr unsigned kind_shared = 2;
// The most texts of one field that a store shares: their numbers take at most two bytes.
constexpr std::size_t shared_max = 0x7FFF;
// The largest block: every text inline and full.
constexpr std::size_t block_max = kind_bytes + qv_text_field_count * (1 + qv_column_max);

constexpr std::array<qv_text_field, qv_text_field_count> make_block_order()
{
    std::array<qv_text_field, qv_text_field_count> order{};
    const qv_text_field first[] = {qv_f_trans_id, qv_f_from_email, qv_f_name, qv_f_status, qv_f_item_title};
    std::size_t n = 0;
    for (const qv_text_field f : first)
        order[n++] = f;
    for (int f = 0; f < qv_text_field_count; ++f) {
        bool taken = false;
        for (const qv_text_field g : first)
            taken = taken || g == f;
        if (!taken)
            order[n++] = static_cast<qv_text_field>(f);
    }
    return order;
}
constexpr std::array<qv_text_field, qv_text_field_count> block_order = make_block_order();

constexpr std::array<std::uint8_t, qv_text_field_count> make_block_position()
{
    std::array<std::uint8_t, qv_text_field_count> position{};
    for (std::size_t i = 0; i < block_order.size(); ++i)
        position[block_order[i]] = static_cast<std::uint8_t>(i);
    return position;
}
constexpr std::array<std::uint8_t, qv_text_field_count> block_position = make_block_position();

unsigned kind_at(const unsigned char *block, std::size_t position)
{
    return (block[position >> 2] >> ((position & 3) * 2)) & 3u;
}

// The bytes after one field's kind bits.
std::size_t field_bytes(unsigned kind, const unsigned char *at)
{
    if (kind == kind_inline)
        return 1u + *at;
    if (kind == kind_shared)
        return (*at & 0x80) != 0 ? 2 : 1;
    return 0;
}

// The texts that the records of one store share, per field.
struct Tshared_texts {
    std::vector<std::string_view> field[qv_text_field_count];
};

// A store keeps its records in chunks of this size, aligned to it, each beginning with a pointer to the
// store's shared texts: a record finds them from the address of its own block.
constexpr std::size_t chunk_size = std::size_t{1} << 21;
constexpr std::size_t chunk_header_size = 16;
struct Tchunk_header {
    const Tshared_texts *shared;
};

std::string_view block_text(const unsigned char *block, qv_text_field f)
{
    if (block == nullptr)
        return {};
    const std::size_t position = block_position[f];
    const unsigned char *at = block + kind_bytes;
    for (std::size_t i = 0; i < position; ++i)
        at += field_bytes(kind_at(block, i), at);
    const unsigned kind = kind_at(block, position);
    if (kind == kind_inline)
        return {reinterpret_cast<const char *>(at + 1), *at};
    if (kind == kind_shared) {
        const unsigned number = (*at & 0x80) != 0 ? (*at & 0x7Fu) << 8 | at[1] : *at;
        const auto chunk = reinterpret_cast<std::uintptr_t>(block) & ~(std::uintptr_t{chunk_size} - 1);
        return reinterpret_cast<const Tchunk_header *>(chunk)->shared->field[f][number];
    }
    return {reinterpret_cast<const char *>(at), 0}; // empty, but within the block like the others
}

std::size_t block_size(const unsigned char *block)
{
    const unsigned char *at = block + kind_bytes;
    for (std::size_t i = 0; i < qv_text_field_count; ++i)
        at += field_bytes(kind_at(block, i), at);
    return static_cast<std::size_t>(at - block);
}

// Copies a short text. A plain memcpy of a length that the compiler knows to be small becomes a
// "rep movs", whose start-up cost dominates for texts of a few bytes.
void copy_short(unsigned char *dest, const char *src, std::size_t n)
{
    for (; n >= 8; n -= 8, dest += 8, src += 8)
        std::memcpy(dest, src, 8);
    for (; n > 0; --n)
        *dest++ = static_cast<unsigned char>(*src++);
}

// Writes the block of the texts (indexed by field, at most 127 bytes of each kept) into out, which has
// room for block_max bytes, and returns its size. share(field, text) gives the number of a shared text
// equal to text, or -1 to hold it in the block; placed(field, place) is told where the length byte of
// each text held in the block went.
template <class Share, class Placed>
std::size_t write_block(const std::string_view *texts, unsigned char *out, Share &&share, Placed &&placed)
{
    std::memset(out, 0, kind_bytes);
    unsigned char *at = out + kind_bytes;
    for (std::size_t i = 0; i < qv_text_field_count; ++i) {
        const qv_text_field f = block_order[i];
        const std::size_t n = std::min<std::size_t>(texts[f].size(), qv_column_max);
        if (n == 0)
            continue;
        const int number = share(f, texts[f].substr(0, n));
        if (number >= 0) {
            out[i >> 2] = static_cast<unsigned char>(out[i >> 2] | kind_shared << ((i & 3) * 2));
            if (number < 0x80) {
                *at++ = static_cast<unsigned char>(number);
            } else {
                *at++ = static_cast<unsigned char>(0x80 | number >> 8);
                *at++ = static_cast<unsigned char>(number & 0xFF);
            }
        } else {
            out[i >> 2] = static_cast<unsigned char>(out[i >> 2] | kind_inline << ((i & 3) * 2));
            placed(f, at);
            *at++ = static_cast<unsigned char>(n);
            copy_short(at, texts[f].data(), n);
            at += n;
        }
    }
    return static_cast<std::size_t>(at - out);
}

const auto share_none = [](qv_text_field, std::string_view) { return -1; };
const auto placed_anywhere = [](qv_text_field, const unsigned char *) {};

template <class To, class From> void copy_numbers(To &to, const From &from)
{
    to.date = from.date;
    to.time = from.time;
    to.quantity = from.quantity;
    to.gross = from.gross;
    to.fee = from.fee;
    to.net = from.net;
    to.shipping = from.shipping;
    to.sales_tax = from.sales_tax;
    to.balance = from.balance;
}

} // namespace

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

namespace {

// The text fields of one line, indexed by field, viewing the line's columns (or the lowered copies of
// the e-mail addresses kept here).
struct Tline_texts {
    std::array<std::string_view, qv_text_field_count> text{};
    char from_email[qv_column_max];
    char to_email[qv_column_max];
};

// Reads the numbers of the columns into rec and their texts into texts, in the order of
// qv_record_parse; throws Ebcl_conversion_error for an amount or quantity that is not a number.
template <class Numbers> void read_columns(Numbers &rec, Tline_texts &texts, const qv_line_fields &fields)
{
    const auto col = [&fields](int c) { return fields.field(c); };

    qv_date_parse(rec.date, col(0));
    qv_time_parse(rec.time, col(1));
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
    t[qv_f_column31] = col(31); // column 30 of the line is never read
    rec.quantity = bcl_str_to_int(col(32));
    t[qv_f_column33] = col(33);
    for (int k = 0; k < 7; ++k)
        t[qv_f_address1 + k] = col(35 + k);
}

} // namespace

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

namespace {

__extension__ typedef unsigned __int128 Tuint128;

// Multiplies and folds the 128-bit product: every bit of either factor reaches every bit of the result.
std::uint64_t mix(std::uint64_t a, std::uint64_t b)
{
    const Tuint128 product = static_cast<Tuint128>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

// Eight bytes with their ASCII capitals made small.
std::uint64_t fold8(std::uint64_t bytes)
{
    constexpr std::uint64_t ones = 0x0101010101010101ull;
    constexpr std::uint64_t highs = 0x8080808080808080ull;
    const std::uint64_t low7 = bytes & ~highs;
    const std::uint64_t from_a = low7 + ones * (0x80 - 'A'); // high bit set where the byte >= 'A'
    const std::uint64_t past_z = low7 + ones * (0x80 - 'Z' - 1);
    const std::uint64_t capital = from_a & ~past_z & ~bytes & highs;
    return bytes | capital >> 2; // 0x80 >> 2 is the 0x20 between a capital and its small letter
}

// Keys chosen by whoever wrote a file must not all meet in one place of the store's index, so the hash
// takes a key drawn when the program starts.
struct Thash_key {
    std::uint64_t k0, k1, k2;
};
const Thash_key &hash_key()
{
    static const Thash_key key = [] {
        std::random_device device;
        const auto draw = [&device] { return std::uint64_t{device()} << 32 ^ device(); };
        return Thash_key{draw() | 1, draw() | 1, draw() | 1};
    }();
    return key;
}

} // namespace

std::uint64_t qv_key_hash(std::string_view key)
{
    const Thash_key &k = hash_key();
    const char *p = key.data();
    std::size_t n = key.size();
    std::uint64_t h = k.k0 ^ n;
    for (; n >= 8; n -= 8, p += 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        h = mix(fold8(word) ^ k.k1, h ^ k.k2);
    }
    if (n > 0) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, n);
        h = mix(fold8(word) ^ k.k1, h ^ k.k2);
    }
    return mix(h ^ k.k0, 0x9E3779B97F4A7C15ull);
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

namespace {

// A case-sensitive hash of a text, keyed like qv_key_hash, for the store's shared texts.
std::uint64_t text_hash(std::string_view text)
{
    const Thash_key &k = hash_key();
    const char *p = text.data();
    std::size_t n = text.size();
    std::uint64_t h = k.k2 ^ n;
    for (; n >= 8; n -= 8, p += 8) {
        std::uint64_t word;
        std::memcpy(&word, p, 8);
        h = mix(word ^ k.k1, h ^ k.k0);
    }
    if (n > 0) {
        std::uint64_t word = 0;
        std::memcpy(&word, p, n);
        h = mix(word ^ k.k1, h ^ k.k0);
    }
    return h;
}

// Whether two short texts are equal, without the cost of a library call.
bool same_text(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    const char *p = a.data();
    const char *q = b.data();
    std::size_t n = a.size();
    for (; n >= 8; n -= 8, p += 8, q += 8) {
        std::uint64_t x;
        std::uint64_t y;
        std::memcpy(&x, p, 8);
        std::memcpy(&y, q, 8);
        if (x != y)
            return false;
    }
    for (; n > 0; --n) {
        if (*p++ != *q++)
            return false;
    }
    return true;
}

// One entry of the store's hash index: the high half of the key's hash, and where the record lies (its
// chunk and its place there in 8-byte steps), 0 for none.
struct Tslot {
    std::uint32_t tag = 0;
    std::uint32_t ref = 0;
};
constexpr unsigned ref_place_bits = 18; // chunk_size / 8 places
constexpr std::size_t chunks_max = std::size_t{1} << (32 - ref_place_bits);

// Makes room for one more element, so that the push_back after it cannot fail; the capacity doubles.
template <class T> void reserve_one(std::vector<T> &v)
{
    if (v.size() == v.capacity())
        v.reserve(std::max<std::size_t>(16, v.capacity() * 2));
}

// The lookup side of one field's shared texts while they are learnt.
struct Tshared_index {
    std::vector<std::uint16_t> table; // number + 1 of a shared text, 0 for none; a power of 2 long
    bool on = true;                   // the field's texts are looked up and learnt
    bool full = false;                // no more texts are learnt
    std::size_t seen = 0;             // texts met
    std::size_t fresh = 0;            // texts met that were not shared yet
};

// Fields whose texts are shared only once most of their texts repeat: a field whose texts are mostly
// new after this many is no longer looked up.
constexpr std::size_t shared_trial = 4096;

} // namespace

struct Tqv_records::Timpl {
    Timpl() : slots(1024)
    {
        // The key is unique by nature: it stays in the record's own block.
        index[qv_f_trans_id].on = false;
    }
    ~Timpl()
    {
        for (const auto &[begin, size] : regions)
            ::munmap(begin, size);
    }
    Timpl(const Timpl &) = delete;
    Timpl &operator=(const Timpl &) = delete;

    Tqv_record_object *record(std::uint32_t ref) const
    {
        return reinterpret_cast<Tqv_record_object *>(chunks[ref >> ref_place_bits] +
                                                     std::size_t{ref & ((1u << ref_place_bits) - 1)} * 8);
    }

    // Room for bytes (8-aligned) in the current chunk, and the reference to it.
    unsigned char *allocate(std::size_t bytes, std::uint32_t &ref)
    {
        bytes = (bytes + 7) & ~std::size_t{7};
        if (static_cast<std::size_t>(end - at) < bytes)
            next_chunk();
        unsigned char *const place = at;
        at += bytes;
        const unsigned char *const chunk = chunks.back();
        ref = static_cast<std::uint32_t>((chunks.size() - 1) << ref_place_bits |
                                         static_cast<std::size_t>(place - chunk) / 8);
        return place;
    }

    void next_chunk()
    {
        if (chunks.size() >= chunks_max)
            throw std::bad_alloc();
        reserve_one(chunks);
        if (region_left == nullptr) {
            region_left = map_region();
            region_end = region_left + regions.back().second;
        }
        unsigned char *const chunk = region_left;
        region_left = region_left + chunk_size == region_end ? nullptr : region_left + chunk_size;
        reinterpret_cast<Tchunk_header *>(chunk)->shared = &shared;
        chunks.push_back(chunk);
        at = chunk + chunk_header_size;
        end = chunk + chunk_size;
    }

    // Maps a region of whole chunks, aligned to the chunk size; each is twice the one before, up to
    // 64 MiB. Huge pages are asked for where the system offers them: the first touch of memory costs
    // far less in 2 MiB pages than in 4 KiB ones.
    unsigned char *map_region()
    {
        const std::size_t size = std::min<std::size_t>(chunk_size << regions.size(), std::size_t{64} << 20);
        reserve_one(regions);
        void *const mapped =
            ::mmap(nullptr, size + chunk_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapped == MAP_FAILED)
            throw std::bad_alloc();
        auto *const raw = static_cast<unsigned char *>(mapped);
        const std::uintptr_t address = reinterpret_cast<std::uintptr_t>(raw);
        auto *const begin = raw + ((chunk_size - address % chunk_size) % chunk_size);
        if (begin > raw)
            ::munmap(raw, static_cast<std::size_t>(begin - raw));
        if (raw + size + chunk_size > begin + size)
            ::munmap(begin + size, static_cast<std::size_t>(raw + size + chunk_size - (begin + size)));
#ifdef MADV_HUGEPAGE
        ::madvise(begin, size, MADV_HUGEPAGE);
#endif
        regions.emplace_back(begin, size);
        return begin;
    }

    // The memory that the next bytes of records will take, as far as it is mapped already: another
    // thread can have its pages made (the first touch of fresh memory is slow) while this one fills it.
    std::pair<unsigned char *, std::size_t> next_pages(std::size_t bytes) const
    {
        if (at == nullptr)
            return {nullptr, 0};
        unsigned char *const limit = region_left != nullptr ? region_end : end;
        const std::size_t size = std::min(bytes, static_cast<std::size_t>(limit - at));
        return {at, size};
    }

    // A copy of text that lives as long as the store.
    std::string_view keep(std::string_view text)
    {
        if (static_cast<std::size_t>(pool_end - pool_at) < text.size()) {
            constexpr std::size_t pool_block = std::size_t{1} << 16;
            reserve_one(pool);
            pool.push_back(std::make_unique<char[]>(pool_block));
            pool_at = pool.back().get();
            pool_end = pool_at + pool_block;
        }
        std::memcpy(pool_at, text.data(), text.size());
        const std::string_view kept(pool_at, text.size());
        pool_at += text.size();
        return kept;
    }

    // The number of the shared text of field f equal to text (hashed by text_hash), or -1.
    int shared_find(qv_text_field f, std::string_view text, std::uint64_t hash) const
    {
        const Tshared_index &ix = index[f];
        if (ix.table.empty())
            return -1;
        const std::vector<std::string_view> &texts = shared.field[f];
        const std::size_t mask = ix.table.size() - 1;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const unsigned entry = ix.table[i];
            if (entry == 0)
                return -1;
            if (same_text(texts[entry - 1], text))
                return static_cast<int>(entry - 1);
        }
    }

    // Learns a text of field f met in a line: shares it when it is new and the field still learns.
    void learn(qv_text_field f, std::string_view text)
    {
        Tshared_index &ix = index[f];
        if (!ix.on)
            return;
        ++ix.seen;
        const std::uint64_t hash = text_hash(text);
        if (shared_find(f, text, hash) >= 0)
            return;
        ++ix.fresh;
        if (ix.seen >= shared_trial && ix.fresh * 4 > ix.seen * 3) {
            ix.on = false; // mostly new texts: sharing them would cost more than it saves
            return;
        }
        std::vector<std::string_view> &texts = shared.field[f];
        if (ix.full || texts.size() >= shared_max) {
            ix.full = true;
            return;
        }
        if ((texts.size() + 1) * 2 > ix.table.size()) {
            std::vector<std::uint16_t> bigger(std::max<std::size_t>(256, ix.table.size() * 2));
            const std::size_t mask = bigger.size() - 1;
            for (std::size_t n = 0; n < texts.size(); ++n) {
                std::size_t i = text_hash(texts[n]) & mask;
                while (bigger[i] != 0)
                    i = (i + 1) & mask;
                bigger[i] = static_cast<std::uint16_t>(n + 1);
            }
            ix.table.swap(bigger);
        }
        reserve_one(texts);
        const std::string_view kept = keep(text);
        texts.push_back(kept);
        const std::size_t mask = ix.table.size() - 1;
        std::size_t i = hash & mask;
        while (ix.table[i] != 0)
            i = (i + 1) & mask;
        ix.table[i] = static_cast<std::uint16_t>(texts.size());
    }

    Tshared_texts shared;
    std::array<Tshared_index, qv_text_field_count> index;
    std::vector<std::unique_ptr<char[]>> pool;
    char *pool_at = nullptr;
    char *pool_end = nullptr;

    std::vector<std::pair<unsigned char *, std::size_t>> regions;
    unsigned char *region_left = nullptr; // the next chunk of the region in use, or null
    unsigned char *region_end = nullptr;
    std::vector<unsigned char *> chunks;
    unsigned char *at = nullptr;
    unsigned char *end = nullptr;

    // Open-addressed hash index. A key's place follows from its tag alone, so that the index grows
    // without hashing the keys again.
    std::vector<Tslot> slots;
    unsigned slot_bits = 10;
    std::size_t home(std::uint32_t tag) const
    {
        return tag >> (32 - slot_bits);
    }
};

// What the loader and the store's own members do with the insides of records and stores.
class Tstore_access {
public:
    using Tinside = Tqv_records::Timpl;
    static const unsigned char *block(const Tqv_record &rec) { return rec.texts_; }
    static bool owns_block(const Tqv_record &rec) { return rec.owned_; }

    // Stores a record with these numbers, this block of texts and mark under key, unless an equal key
    // is stored; null then. Running out of memory changes nothing.
    template <class Numbers>
    static Tqv_record_object *insert(Tqv_records &store, std::string_view key, std::uint64_t hash,
                                     const Numbers &numbers, const unsigned char *block, std::size_t size,
                                     std::uint8_t mark)
    {
        Tqv_records::Timpl &d = *store.impl_;
        if ((store.order_.size() + 1) * 2 > d.slots.size())
            grow(d);
        const std::size_t mask = d.slots.size() - 1;
        const auto tag = static_cast<std::uint32_t>(hash >> 32);
        std::size_t i = d.home(tag);
        for (; d.slots[i].ref != 0; i = (i + 1) & mask) {
            if (d.slots[i].tag == tag && key_equal(d.record(d.slots[i].ref)->data.trans_id(), key))
                return nullptr;
        }
        reserve_one(store.order_);
        std::uint32_t ref = 0;
        unsigned char *const place = d.allocate(sizeof(Tqv_record_object) + size, ref);
        auto *const obj = new (place) Tqv_record_object;
        copy_numbers(obj->data, numbers);
        obj->report_mark = mark;
        unsigned char *const texts = place + sizeof(Tqv_record_object);
        std::memcpy(texts, block, size);
        obj->data.texts_ = texts;
        store.order_.push_back(obj);
        d.slots[i] = {tag, ref};
        return obj;
    }

    static Tqv_records::Timpl &impl(Tqv_records &store) { return *store.impl_; }

    // Sizes the index and the order for count records at least, so that a load does not grow them in
    // many steps.
    static void reserve(Tqv_records &store, std::size_t count)
    {
        Tqv_records::Timpl &d = *store.impl_;
        while ((count + 1) * 2 > d.slots.size())
            grow(d);
        store.order_.reserve(count);
    }

private:
    static void grow(Tqv_records::Timpl &d)
    {
        std::vector<Tslot> bigger(d.slots.size() * 2);
        const std::size_t mask = bigger.size() - 1;
        const unsigned bits = d.slot_bits + 1;
        for (const Tslot &slot : d.slots) {
            if (slot.ref == 0)
                continue;
            std::size_t i = slot.tag >> (32 - bits);
            while (bigger[i].ref != 0)
                i = (i + 1) & mask;
            bigger[i] = slot;
        }
        d.slots.swap(bigger);
        d.slot_bits = bits;
    }
};

Tqv_records::Tqv_records() : impl_(std::make_unique<Timpl>())
{
}

Tqv_records::~Tqv_records()
{
    // A record of the store may have been given texts of its own since (set_texts).
    for (Tqv_record_object *rec : order_)
        rec->~Tqv_record_object();
}

Tqv_record_object *Tqv_records::find(std::string_view key, std::uint64_t hash) const
{
    if (key.empty())
        return nullptr;
    const Timpl &d = *impl_;
    const std::size_t mask = d.slots.size() - 1;
    const auto tag = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t i = d.home(tag);; i = (i + 1) & mask) {
        const Tslot &slot = d.slots[i];
        if (slot.ref == 0)
            return nullptr;
        if (slot.tag == tag) {
            Tqv_record_object *const rec = d.record(slot.ref);
            if (key_equal(rec->data.trans_id(), key))
                return rec;
        }
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
    const Tqv_record &data = rec->data;
    const std::string_view key = data.trans_id();
    if (key.empty())
        return false;
    const unsigned char *block = Tstore_access::block(data);
    unsigned char rewritten[block_max];
    if (!Tstore_access::owns_block(data)) {
        // A record of a store: its block may name texts shared there.
        std::array<std::string_view, qv_text_field_count> texts;
        for (int f = 0; f < qv_text_field_count; ++f)
            texts[f] = data.text(static_cast<qv_text_field>(f));
        write_block(texts.data(), rewritten, share_none, placed_anywhere);
        block = rewritten;
    }
    return Tstore_access::insert(*this, key, hash, data, block, block_size(block), rec->report_mark) !=
           nullptr;
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
    std::vector<std::pair<std::uint64_t, Tqv_record_object *>> keys;
    keys.reserve(order_.size() - first);
    for (std::size_t i = first; i < order_.size(); ++i)
        keys.emplace_back(key_prefix(order_[i]->data.trans_id()), order_[i]);
    std::sort(keys.begin(), keys.end(), [](const auto &a, const auto &b) {
        if (a.first != b.first)
            return a.first < b.first;
        return qv_key_compare(a.second->data.trans_id(), b.second->data.trans_id()) < 0;
    });
    for (std::size_t i = 0; i < keys.size(); ++i)
        order_[first + i] = keys[i].second;

    const auto less = [](const Tqv_record_object *a, const Tqv_record_object *b) {
        return qv_key_compare(a->data.trans_id(), b->data.trans_id()) < 0;
    };
    std::inplace_merge(order_.begin(), order_.begin() + static_cast<std::ptrdiff_t>(first), order_.end(),
                       less);
    sorted_ = order_.size();
}

void Tqv_records::clear_marks()
{
    for (Tqv_record_object *rec : order_)
        rec->report_mark = 0;
}

// ---- Loading --------------------------------------------------------------------------------------

namespace {

constexpr std::size_t default_block_size = std::size_t{1} << 22;
std::size_t block_size_setting = default_block_size;
constexpr std::size_t no_line = static_cast<std::size_t>(-1);

// What a load reads from: a file or bytes in memory.
class Tsource {
public:
    virtual ~Tsource() = default;
    // Up to room bytes; 0 at the end.
    virtual std::size_t read(char *dest, std::size_t room) = 0;
    // The size the text had when its load began.
    virtual std::uint64_t size() const = 0;
    // Whether the bytes read are the whole text as it was when its load began.
    virtual bool intact() { return true; }
    // Why the text could not be read to its end, or nothing.
    virtual std::string failure() const { return {}; }
};

class Tmemory_source : public Tsource {
public:
    explicit Tmemory_source(std::string_view bytes) : bytes_(bytes), size_(bytes.size()) {}
    std::size_t read(char *dest, std::size_t room) override
    {
        const std::size_t n = std::min(room, bytes_.size());
        if (n > 0)
            std::memcpy(dest, bytes_.data(), n);
        bytes_.remove_prefix(n);
        return n;
    }
    std::uint64_t size() const override { return size_; }

private:
    std::string_view bytes_;
    std::uint64_t size_;
};

// A regular file, read up to the size it had when it was opened. It is looked at before it is opened,
// and opened without waiting, so that a pipe, a device or a socket never blocks the load.
class Tfile_source : public Tsource {
public:
    ~Tfile_source() override
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    // Opens path; on failure returns false with the reason.
    bool open(const std::string &path, std::string &reason)
    {
        struct stat st {};
        if (::stat(path.c_str(), &st) != 0) {
            reason = std::strerror(errno);
            return false;
        }
        if (!S_ISREG(st.st_mode)) {
            reason = "not a regular file";
            return false;
        }
        fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
        if (fd_ < 0) {
            reason = std::strerror(errno);
            return false;
        }
        // The name may have been given to something else since the look.
        if (::fstat(fd_, &opened_) != 0 || !S_ISREG(opened_.st_mode)) {
            reason = "not a regular file";
            return false;
        }
        size_ = static_cast<std::uint64_t>(opened_.st_size);
        return true;
    }
    std::size_t read(char *dest, std::size_t room) override
    {
        room = static_cast<std::size_t>(std::min<std::uint64_t>(room, size_ - done_));
        while (room > 0) {
            const ssize_t n = ::read(fd_, dest, room);
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                error_ = errno;
            } else if (n == 0) {
                short_ = true; // the file ended early: it was cut while being read
            } else {
                done_ += static_cast<std::uint64_t>(n);
                return static_cast<std::size_t>(n);
            }
            break;
        }
        return 0;
    }
    std::uint64_t size() const override { return size_; }
    bool intact() override
    {
        struct stat now {};
        return error_ == 0 && !short_ && ::fstat(fd_, &now) == 0 && now.st_size == opened_.st_size &&
               now.st_mtim.tv_sec == opened_.st_mtim.tv_sec && now.st_mtim.tv_nsec == opened_.st_mtim.tv_nsec;
    }
    std::string failure() const override
    {
        return error_ != 0 ? std::string("read error: ") + std::strerror(error_) : std::string();
    }

private:
    int fd_ = -1;
    struct stat opened_ {};
    std::uint64_t size_ = 0;
    std::uint64_t done_ = 0;
    int error_ = 0;
    bool short_ = false;
};

// How a source's text ended.
struct Tstream_end {
    std::size_t zero_line = no_line; // 0-based line of a zero byte that ended the text before its end
    bool cancelled = false;
    std::string head; // the first bytes of the text, to tell what a text that is none is
};

// Cuts a source's text into lines as qv_file_split_lines cuts the file text buffer, reading it block by
// block: on_line(text, split, stray_cr) is called for each line, with split null and the line's text,
// or, for a line longer than a block, with the line already split (its text is never held whole).
// progress(bytes read) is asked after the lines of each block whether to go on.
template <class OnLine, class Progress>
Tstream_end stream_lines(Tsource &source, OnLine &&on_line, Progress &&progress)
{
    Tstream_end result;
    const std::size_t block_size =
        static_cast<std::size_t>(std::clamp<std::uint64_t>(source.size() + 1, 64, block_size_setting));
    std::vector<char> block(block_size);
    char *const begin = block.data();
    std::size_t kept = 0; // the unfinished line, at the block's start
    std::size_t lines = 0;
    std::uint64_t bytes = 0;
    char last_byte = '\0'; // the last byte of the text so far

    // A line longer than a block goes through the splitter, its text up to its first CR.
    Tqv_line_splitter splitter;
    qv_line_fields long_fields;
    bool long_line = false;
    bool long_cr = false;    // a CR ended the long line's text
    bool long_stray = false; // and something other than CRs followed it
    const auto feed_long = [&](const char *from, const char *to) {
        if (!long_cr) {
            const char *cr =
                static_cast<const char *>(std::memchr(from, '\r', static_cast<std::size_t>(to - from)));
            splitter.feed(std::string_view(from, static_cast<std::size_t>((cr != nullptr ? cr : to) - from)));
            if (cr == nullptr)
                return;
            long_cr = true;
            from = cr;
        }
        long_stray = long_stray || std::any_of(from, to, [](char c) { return c != '\r'; });
    };
    const auto end_long = [&] {
        long_fields.clear();
        splitter.finish(long_fields);
        on_line(std::string_view(), &long_fields, long_stray);
        ++lines;
        long_line = false;
    };
    const auto counted = [&](std::string_view text, bool stray_cr) {
        on_line(text, nullptr, stray_cr);
        ++lines;
    };

    for (;;) {
        const std::size_t got = source.read(begin + kept, block_size - kept);
        if (bytes == 0)
            result.head.assign(begin, std::min<std::size_t>(got, 64));
        bytes += got;
        const char *const zero = static_cast<const char *>(std::memchr(begin + kept, '\0', got));
        const char *const end = zero != nullptr ? zero : begin + kept + got;
        const bool last = got == 0 || zero != nullptr;
        const char *from = begin;
        if (long_line) {
            const char *lf =
                static_cast<const char *>(std::memchr(from, '\n', static_cast<std::size_t>(end - from)));
            feed_long(from, lf != nullptr ? lf : end);
            if (lf != nullptr) {
                end_long();
                from = lf + 1;
            } else {
                from = end;
            }
        }
        const char *const rest = cut_lines(from, end, false, counted);
        if (end > begin)
            last_byte = end[-1];
        if (last) {
            // The unfinished last line counts when the text ended where it should, or at a zero byte.
            const bool unfinished = long_line || rest < end || (zero != nullptr && lines == 0);
            if (unfinished && (zero != nullptr || source.intact())) {
                if (long_line)
                    end_long();
                else
                    cut_lines(rest, end, true, counted);
                if (lines == 0)
                    counted(std::string_view(), false); // the start of the text is always a line
            }
            if (zero != nullptr) {
                // A zero byte with nothing after it loses nothing.
                char probe;
                if (zero + 1 < begin + kept + got || source.read(&probe, 1) != 0)
                    result.zero_line = last_byte == '\n' ? lines : lines - 1;
            }
            on_line.flush();
            return result;
        }
        on_line.flush(); // before the block is overwritten
        kept = static_cast<std::size_t>(end - rest);
        if (kept == block_size) {
            // No line end in a whole block: the rest of this line goes through the splitter.
            splitter.begin();
            long_cr = false;
            long_stray = false;
            long_line = true;
            feed_long(rest, end);
            kept = 0;
        } else {
            std::memmove(begin, rest, kept);
        }
        if (!progress(bytes)) {
            result.cancelled = true;
            return result;
        }
    }
}

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

// Why qv_record_parse refused the fields: the first number column that is not a number, by its caption,
// with its text as the file holds it.
std::string number_problem(const qv_line_fields &fields, const Ebcl_conversion_error &error)
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

// Whether the first bytes of a file look like UTF-16 text: a byte-order mark, or ASCII characters each
// with a zero byte beside it.
bool looks_utf16(std::string_view head)
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

// The numbers of a record as a load carries them from the parse to the store.
struct Tnumbers {
    qv_date date;
    qv_time time;
    std::int32_t quantity = 0;
    amount gross = 0;
    amount fee = 0;
    amount net = 0;
    amount shipping = 0;
    amount sales_tax = 0;
    amount balance = 0;
};

// A growing buffer of bytes that keeps its room from one run of lines to the next.
class Tbytes {
public:
    unsigned char *data() const { return bytes_.get(); }
    std::size_t size() const { return size_; }
    void clear() { size_ = 0; }
    // Room for n more bytes at data() + size().
    void reserve_more(std::size_t n)
    {
        if (capacity_ - size_ >= n)
            return;
        const std::size_t capacity = std::max(capacity_ * 2, size_ + n + (std::size_t{1} << 16));
        std::unique_ptr<unsigned char[]> bigger(new unsigned char[capacity]);
        if (size_ > 0)
            std::memcpy(bigger.get(), bytes_.get(), size_);
        bytes_ = std::move(bigger);
        capacity_ = capacity;
    }
    void grow(std::size_t n) { size_ += n; }

private:
    std::unique_ptr<unsigned char[]> bytes_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// What the parse made of one line.
enum class Tline_kind : std::uint8_t { skipped, record, problem };
struct Tparsed_line {
    std::uint64_t hash = 0;    // the ID's qv_key_hash
    std::uint32_t at = 0;      // in the part's bytes: a record's numbers and block, or a problem line's ID
    std::uint32_t size = 0;    // the block's size, or the ID's
    std::uint32_t message = 0; // a problem's place in the part's messages
    Tline_kind kind = Tline_kind::skipped;
};

// The parse of a run of consecutive lines.
struct Tparsed_part {
    std::vector<Tparsed_line> lines;
    Tbytes bytes;
    std::vector<std::string> messages;
    // Texts of fields that the store shares which were not shared yet: the field and the place of the
    // text's length byte in bytes.
    std::vector<std::pair<qv_text_field, std::uint32_t>> fresh;
    std::array<std::uint32_t, qv_text_field_count> shared_hits{};

    void clear()
    {
        lines.clear();
        bytes.clear();
        messages.clear();
        fresh.clear();
        shared_hits.fill(0);
    }
};

// The threads that parse the lines of a load: helpers beside the calling thread, started when a run of
// lines is long enough to share and ended when the load returns.
class Tparse_team {
public:
    explicit Tparse_team(std::size_t threads) : wanted_(std::max<std::size_t>(threads, 1)) {}
    ~Tparse_team()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        wake_.notify_all();
        for (std::thread &t : helpers_)
            t.join();
    }
    Tparse_team(const Tparse_team &) = delete;
    Tparse_team &operator=(const Tparse_team &) = delete;

    std::size_t threads() const { return wanted_; }
    std::vector<Tparsed_part> &parts() { return parts_; }

    // Calls work(i) for every i in [0, n), on the helpers and on the calling thread, and after(i) on the
    // calling thread for each i in turn as soon as work(i) is done, while the others work on; returns
    // when all are done. An exception of work(i) stops the calls of after at i and is thrown again here.
    // A helper first calls aside(), if there is a helper.
    void run(std::size_t n, const std::function<void(std::size_t)> &work,
             const std::function<void(std::size_t)> &after, const std::function<void()> &aside)
    {
        if (n > 1)
            start_helpers();
        {
            std::lock_guard<std::mutex> lock(mutex_);
            aside_ = aside ? &aside : nullptr;
            work_ = &work;
            count_ = n;
            done_.assign(n, 0);
            next_.store(0, std::memory_order_relaxed);
            busy_ = helpers_.size();
            error_ = nullptr;
            ++generation_;
        }
        if (!helpers_.empty())
            wake_.notify_all();
        std::size_t next_after = 0;
        std::exception_ptr after_error;
        while (next_after < n) {
            bool ready = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                if (error_)
                    break;
                ready = done_[next_after] != 0;
            }
            if (ready) {
                try {
                    after(next_after++);
                } catch (...) {
                    // The helpers take nothing more; they are waited for before the error goes on.
                    after_error = std::current_exception();
                    next_.store(n, std::memory_order_relaxed);
                    break;
                }
                continue;
            }
            if (!claim_one()) {
                std::unique_lock<std::mutex> lock(mutex_);
                part_done_.wait(lock, [&] { return done_[next_after] != 0 || error_; });
            }
        }
        std::unique_lock<std::mutex> lock(mutex_);
        finished_.wait(lock, [this] { return busy_ == 0; });
        work_ = nullptr;
        aside_ = nullptr;
        if (after_error)
            std::rethrow_exception(after_error);
        if (error_)
            std::rethrow_exception(error_);
    }

private:
    void start_helpers()
    {
        if (started_)
            return;
        started_ = true;
        try {
            helpers_.reserve(wanted_ - 1);
            // A helper waits for the next round: earlier rounds, run without helpers, are over (a helper
            // that took one for its own would read what the next round is still setting up).
            for (std::size_t i = 1; i < wanted_; ++i)
                helpers_.emplace_back([this, seen = generation_] { help(seen); });
        } catch (const std::exception &) {
            // The system gives no more threads (or no memory for them): the ones started do the work.
        }
    }

    void help(std::uint64_t seen)
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            wake_.wait(lock, [&] { return stop_ || generation_ != seen; });
            if (stop_)
                return;
            seen = generation_;
            const std::function<void()> *aside = aside_;
            aside_ = nullptr;
            lock.unlock();
            if (aside != nullptr)
                (*aside)();
            while (claim_one()) {
            }
            lock.lock();
            if (--busy_ == 0)
                finished_.notify_one();
        }
    }

    // Does the next item nobody took yet; false when there is none.
    bool claim_one()
    {
        const std::size_t i = next_.fetch_add(1, std::memory_order_relaxed);
        if (i >= count_)
            return false;
        try {
            (*work_)(i);
        } catch (...) {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!error_)
                error_ = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(mutex_);
            done_[i] = 1;
        }
        part_done_.notify_one();
        return true;
    }

    const std::size_t wanted_;
    bool started_ = false;
    std::vector<std::thread> helpers_;
    std::vector<Tparsed_part> parts_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable part_done_;
    std::condition_variable finished_;
    std::vector<std::uint8_t> done_; // per item, once its work is over
    std::uint64_t generation_ = 0;
    bool stop_ = false;
    const std::function<void(std::size_t)> *work_ = nullptr;
    const std::function<void()> *aside_ = nullptr;
    std::size_t count_ = 0;
    std::atomic<std::size_t> next_{0};
    std::size_t busy_ = 0;
    std::exception_ptr error_;
};

std::atomic<std::size_t> load_threads_setting{0};

// Turns each line after the header into a record of the store, counting and reporting as it goes. The
// lines of one block are gathered, parsed on the team's threads, then added to the store and counted
// on the calling thread in their order in the file, so that the first copy of an ID wins as if they
// had been taken one by one.
class Tline_loader {
public:
    Tline_loader(Tqv_records &store, const std::string &name, qv_load_report &report, Tparse_team &team,
                 std::uint64_t size_hint)
        : store_(store), name_(name), report_(report), team_(team), size_hint_(size_hint)
    {
    }
    ~Tline_loader()
    {
        if (unlisted_ > 0)
            report_.unlisted.push_back({name_, unlisted_});
    }
    Tline_loader(const Tline_loader &) = delete;
    Tline_loader &operator=(const Tline_loader &) = delete;

    // A line of the current block: its text, or for a line longer than a block its columns (copied here,
    // since the splitter that holds them is reused).
    void operator()(std::string_view line, const qv_line_fields *split, bool stray_cr)
    {
        Tbatch_line entry{line, no_line, stray_cr};
        if (split != nullptr) {
            if (long_count_ == long_lines_.size())
                long_lines_.push_back(std::make_unique<Tlong_line>());
            Tlong_line &kept = *long_lines_[long_count_];
            kept.fields.clear();
            for (int c = 0; c < qv_column_count; ++c) {
                const std::string_view text = split->field(c);
                if (!text.empty())
                    std::memcpy(kept.text[c], text.data(), text.size());
                kept.fields.slot[c] = std::string_view(kept.text[c], text.size());
            }
            entry.long_line = long_count_++;
        }
        batch_.push_back(entry);
        // A block of very short lines is taken in several runs, so that what is held per line stays small.
        if (batch_.size() >= batch_max)
            flush();
    }

    // Parses the lines gathered and adds them to the store.
    void flush()
    {
        if (batch_.empty())
            return;
        const std::size_t n = batch_.size();
        const std::size_t threads = team_.threads();
        // Parts of at least 16 lines, several per thread, so that a thread that is slowed down by other
        // work on the machine holds the others up little.
        const std::size_t parts = threads == 1 ? 1 : std::min<std::size_t>(threads * 8, (n + 15) / 16);
        std::vector<Tparsed_part> &out = team_.parts();
        if (out.size() < parts)
            out.resize(parts);
        const std::size_t first_number = index_ + 1;
        // The bytes of the lines (the views lie in the block in order), to size things by.
        const std::size_t text_bytes =
            long_count_ > 0 ? 0
                            : static_cast<std::size_t>(batch_.back().text.data() + batch_.back().text.size() -
                                                       batch_.front().text.data()) +
                                  1;
        const std::size_t added_before = report_.counts.added;
        const Tstore_access::Tinside &shared = Tstore_access::impl(store_);
        const std::pair<unsigned char *, std::size_t> pages = shared.next_pages(text_bytes);
        const std::function<void()> make_pages = [pages] {
#ifdef MADV_POPULATE_WRITE
            if (pages.second > 0) {
                const auto from = reinterpret_cast<std::uintptr_t>(pages.first) & ~std::uintptr_t{4095};
                ::madvise(reinterpret_cast<void *>(from),
                          reinterpret_cast<std::uintptr_t>(pages.first) + pages.second - from,
                          MADV_POPULATE_WRITE);
            }
#endif
        };
        // Each part joins the store as soon as it is parsed, while the other threads parse the parts after
        // it; the shared texts learn from all of them once no thread reads them any more.
        std::size_t next_line = 0;
        team_.run(
            parts,
            [&](std::size_t part) {
                Tparsed_part &p = out[part];
                p.clear();
                const std::size_t from = n * part / parts;
                const std::size_t to = n * (part + 1) / parts;
                p.lines.reserve(to - from);
                for (std::size_t i = from; i < to; ++i)
                    parse(batch_[i], first_number + i, shared, p);
            },
            [&](std::size_t part) {
                const Tparsed_part &p = out[part];
                for (const Tparsed_line &line : p.lines)
                    add(batch_[next_line++], line, p);
            },
            make_pages);
        for (std::size_t part = 0; part < parts; ++part)
            learn(out[part]);
        if (first_number == 1 && text_bytes > 0 && size_hint_ > text_bytes) {
            // The first run of lines tells about how many records the file will add: the index is made big
            // enough at once rather than in many steps.
            const double per_byte =
                static_cast<double>(report_.counts.added - added_before) / static_cast<double>(text_bytes);
            Tstore_access::reserve(store_, store_.count() +
                                               static_cast<std::size_t>(
                                                   per_byte * static_cast<double>(size_hint_ - text_bytes)));
        }
        batch_.clear();
        long_count_ = 0;
    }

    void zero_byte_at(std::size_t line, std::string_view head)
    {
        if (line == no_line)
            return;
        // Nothing of a file whose first line holds a zero byte is text.
        if (line == 0)
            file_problem(looks_utf16(head) ? "UTF-16 text: save the file as UTF-8 or ANSI"
                                           : "not a text file");
        else
            line_problem(line + 1, "the file holds a zero byte here; the rest of the file was not read");
    }
    void file_problem(std::string message)
    {
        report_.problems.push_back({name_, 0, std::move(message)});
    }
    std::size_t lines() const
    {
        return index_;
    }

private:
    static constexpr std::size_t batch_max = 32768;
    struct Tbatch_line {
        std::string_view text;
        std::size_t long_line; // its columns in long_lines_, or no_line
        bool stray_cr;
    };
    struct Tlong_line {
        char text[qv_column_count][qv_column_max];
        qv_line_fields fields;
    };

    // Parses one line into p: on any thread, reading the store's shared texts only.
    void parse(const Tbatch_line &line, std::size_t number, const Tstore_access::Tinside &shared,
               Tparsed_part &p) const
    {
        Tparsed_line out;
        if (number == 1) {
            p.lines.push_back(out); // the header is counted apart
            return;
        }
        qv_line_fields fields;
        if (line.long_line != no_line) {
            fields = long_lines_[line.long_line]->fields;
        } else {
            fields.clear();
            qv_line_split(line.text, fields);
        }
        const std::string_view id = fields.field(11);
        if (id.empty()) {
            p.lines.push_back(out);
            return;
        }
        out.hash = qv_key_hash(id);
        Tnumbers numbers;
        Tline_texts texts;
        try {
            read_columns(numbers, texts, fields);
        } catch (const Ebcl_conversion_error &e) {
            out.kind = Tline_kind::problem;
            out.message = static_cast<std::uint32_t>(p.messages.size());
            p.messages.push_back(number_problem(fields, e));
            p.bytes.reserve_more(id.size());
            out.at = static_cast<std::uint32_t>(p.bytes.size());
            out.size = static_cast<std::uint32_t>(id.size());
            std::memcpy(p.bytes.data() + p.bytes.size(), id.data(), id.size());
            p.bytes.grow(id.size());
            p.lines.push_back(out);
            return;
        }
        p.bytes.reserve_more(sizeof(Tnumbers) + block_max);
        unsigned char *const base = p.bytes.data();
        unsigned char *const at = base + p.bytes.size();
        std::memcpy(at, &numbers, sizeof numbers);
        const auto share = [&](qv_text_field f, std::string_view text) {
            if (!shared.index[f].on)
                return -1;
            const int found = shared.shared_find(f, text, text_hash(text));
            if (found >= 0)
                ++p.shared_hits[f];
            return found;
        };
        const auto placed = [&](qv_text_field f, const unsigned char *length_byte) {
            if (shared.index[f].on && !shared.index[f].full)
                p.fresh.emplace_back(f, static_cast<std::uint32_t>(length_byte - base));
        };
        out.kind = Tline_kind::record;
        out.at = static_cast<std::uint32_t>(p.bytes.size());
        out.size =
            static_cast<std::uint32_t>(write_block(texts.text.data(), at + sizeof(Tnumbers), share, placed));
        p.bytes.grow(sizeof(Tnumbers) + out.size);
        p.lines.push_back(out);
    }

    // Counts one parsed line and adds its record, on the calling thread, in file order.
    void add(const Tbatch_line &line, const Tparsed_line &parsed, const Tparsed_part &p)
    {
        const std::size_t number = ++index_;
        qv_load_counts &counts = report_.counts;
        ++counts.lines;
        if (line.stray_cr)
            line_problem(number, "a carriage return ends this line early; the text after it was not read");
        if (number == 1) {
            ++counts.header;
            return;
        }
        const unsigned char *const at = p.bytes.data() + parsed.at;
        switch (parsed.kind) {
        case Tline_kind::skipped:
            ++counts.skipped;
            break;
        case Tline_kind::problem:
            if (store_.find(std::string_view(reinterpret_cast<const char *>(at), parsed.size), parsed.hash) !=
                nullptr) {
                ++counts.duplicates;
            } else {
                line_problem(number, p.messages[parsed.message]);
                ++counts.reported;
            }
            break;
        case Tline_kind::record: {
            Tnumbers numbers;
            std::memcpy(&numbers, at, sizeof numbers);
            const unsigned char *const block = at + sizeof(Tnumbers);
            const std::string_view id = block_text(block, qv_f_trans_id);
            if (Tstore_access::insert(store_, id, parsed.hash, numbers, block, parsed.size, 0) != nullptr)
                ++counts.added;
            else
                ++counts.duplicates;
            break;
        }
        }
    }

    // Learns the texts of a part that were not shared yet, so that later blocks share them.
    void learn(const Tparsed_part &p)
    {
        Tstore_access::Tinside &shared = Tstore_access::impl(store_);
        for (int f = 0; f < qv_text_field_count; ++f)
            shared.index[f].seen += p.shared_hits[f];
        for (const auto &[f, place] : p.fresh) {
            const unsigned char *const length_byte = p.bytes.data() + place;
            shared.learn(f, std::string_view(reinterpret_cast<const char *>(length_byte + 1), *length_byte));
        }
    }

    void line_problem(std::size_t line, std::string message)
    {
        if (listed_ < qv_problems_per_file) {
            report_.problems.push_back({name_, line, std::move(message)});
            ++listed_;
        } else {
            ++unlisted_;
        }
    }

    Tqv_records &store_;
    const std::string &name_;
    qv_load_report &report_;
    Tparse_team &team_;
    const std::uint64_t size_hint_; // the size of the text
    std::vector<Tbatch_line> batch_;
    std::vector<std::unique_ptr<Tlong_line>> long_lines_;
    std::size_t long_count_ = 0;
    std::size_t index_ = 0;
    std::size_t listed_ = 0;
    std::size_t unlisted_ = 0;
};

// Where a load of several files stands, and the threads that parse its lines.
struct Tload_place {
    Tparse_team &team;
    std::size_t file_number = 1;
    std::size_t file_count = 1;
};

// Loads one source under name; false when the load was cancelled.
bool load_source(Tqv_records &store, Tsource &source, const std::string &name, qv_load_report &report,
                 const qv_load_progress &progress, const Tload_place &place)
{
    Tline_loader loader(store, name, report, place.team, source.size());
    try {
        const auto ask = [&](std::uint64_t bytes) {
            return !progress ||
                   progress({name, bytes, source.size(), store.count(), place.file_number, place.file_count});
        };
        if (!ask(0)) {
            loader.file_problem("not read: the load was cancelled");
            return false;
        }
        const Tstream_end end = stream_lines(source, loader, ask);
        if (end.cancelled) {
            loader.file_problem("not fully read: the load was cancelled after line " +
                                std::to_string(loader.lines()));
            return false;
        }
        loader.zero_byte_at(end.zero_line, end.head);
        if (std::string failure = source.failure(); !failure.empty())
            loader.file_problem(std::move(failure));
        else if (!source.intact())
            loader.file_problem("changed while it was being read");
    } catch (const std::bad_alloc &) {
        loader.file_problem("not enough memory to load this file; it was read up to line " +
                            std::to_string(loader.lines()));
    }
    return true;
}

bool load_file(Tqv_records &store, const std::string &path, qv_load_report &report,
               const qv_load_progress &progress, const Tload_place &place)
{
    if (path.empty())
        return true;
    ++report.counts.files;
    Tfile_source file;
    std::string reason;
    if (!file.open(path, reason)) {
        report.problems.push_back({path, 0, reason});
        return true;
    }
    return load_source(store, file, path, report, progress, place);
}

} // namespace

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

void qv_load_set_threads(std::size_t threads)
{
    load_threads_setting.store(threads);
}

std::size_t qv_load_threads()
{
    const std::size_t setting = load_threads_setting.load();
    if (setting > 0)
        return setting;
    return std::max<std::size_t>(std::thread::hardware_concurrency(), 1);
}

void qv_load_set_block_size(std::size_t bytes)
{
    block_size_setting = bytes == 0 ? default_block_size : std::max<std::size_t>(bytes, 64);
}

void qv_load_history_file(Tqv_records &store, const std::string &path, qv_load_report &report,
                          const qv_load_progress &progress)
{
    Tparse_team team(qv_load_threads());
    if (!load_file(store, path, report, progress, {team}))
        report.cancelled = true;
}

void qv_load_history_files(Tqv_records &store, const std::vector<std::string> &paths, qv_load_report &report,
                           const qv_load_progress &progress)
{
    Tparse_team team(qv_load_threads());
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (!load_file(store, paths[i], report, progress, {team, i + 1, paths.size()})) {
            report.cancelled = true;
            for (std::size_t rest = i + 1; rest < paths.size(); ++rest) {
                if (!paths[rest].empty())
                    report.problems.push_back({paths[rest], 0, "not read: the load was cancelled"});
            }
            return;
        }
    }
}

void qv_load_history_text(Tqv_records &store, std::string_view bytes, const std::string &name,
                          qv_load_report &report, const qv_load_progress &progress)
{
    ++report.counts.files;
    Tmemory_source source(bytes);
    Tparse_team team(qv_load_threads());
    if (!load_source(store, source, name, report, progress, {team}))
        report.cancelled = true;
}

std::vector<std::string> qv_history_files(const std::string &folder, std::string *error)
{
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
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
    std::vector<std::string> paths = qv_history_files(folder, &error);
    if (!error.empty())
        report.problems.push_back({folder.empty() ? std::string(".") : folder, 0, error});
    if (!folder.empty()) {
        for (std::string &path : paths)
            path = (std::filesystem::path(folder) / path).string();
    }
    qv_load_history_files(store, paths, report, progress);
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
    const std::size_t count = store.count();
    for (std::size_t pos = 0; pos < count; ++pos) {
        // The store's order is by ID; the records lie in memory in the order they were loaded.
        if (pos + 16 < count)
            qv_record_fetch(store.record_at(pos + 16)->data);
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
