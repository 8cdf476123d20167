// The history file reader: the file text buffer (a whole file, or bytes from memory) cut into lines in
// place, the split of one line into its 42 column texts, and the splitter that splits a line coming in
// pieces the same way. Uses the cut into lines that the streaming load shares (Qv_file_internal.h).
#include "Qv_reader.h"

#include "Qv_file_internal.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

using namespace qv_internal;

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

// The quotes and the commas of 64 bytes of a line, one bit per byte (bit i for byte i).
struct Tmarks {
    std::uint64_t quotes = 0;
    std::uint64_t commas = 0;
};

#if defined(__SSE2__)
Tmarks marks_of(const char *window)
{
    const __m128i quote = _mm_set1_epi8('"');
    const __m128i comma = _mm_set1_epi8(',');
    Tmarks m;
    for (int k = 0; k < 4; ++k) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i *>(window + 16 * k));
        m.quotes |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, quote)))}
                    << (16 * k);
        m.commas |= std::uint64_t{static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(bytes, comma)))}
                    << (16 * k);
    }
    return m;
}
#else
Tmarks marks_of(const char *window)
{
    Tmarks m;
    for (int i = 0; i < 64; ++i) {
        m.quotes |= std::uint64_t{window[i] == '"'} << i;
        m.commas |= std::uint64_t{window[i] == ','} << i;
    }
    return m;
}
#endif

} // namespace

int qv_line_split(std::string_view line, qv_line_fields &fields)
{
    // Slots from k on hold nothing.
    const auto empty_from = [&fields](int k) {
        for (; k < qv_column_count; ++k)
            fields.slot[k] = {};
    };
    if (line.empty()) {
        empty_from(0);
        return -1;
    }
    if (line[0] != '"') {
        empty_from(0);
        return -2;
    }
    const char *const s = line.data();
    const std::size_t n = line.size();
    auto store = [&](int slot, std::size_t from, std::size_t length) {
        fields.slot[slot] = std::string_view(s + from, std::min<std::size_t>(length, qv_column_max));
    };

    // A field ends at the next quote-comma pair; a lone quote inside it is an ordinary character. The
    // line is read 64 bytes at a time, its pairs found as the commas that follow a quote; a quote that
    // ends one window pairs with a comma that begins the next.
    std::size_t pos = 1;
    int slot = 0;
    std::uint64_t quote_before = 0;
    for (std::size_t base = 0; base < n; base += 64) {
        Tmarks m;
        if (n - base >= 64) {
            m = marks_of(s + base);
        } else {
            char tail[64] = {};
            std::memcpy(tail, s + base, n - base);
            m = marks_of(tail);
        }
        std::uint64_t pairs = m.commas & (m.quotes << 1 | quote_before);
        quote_before = m.quotes >> 63;
        for (; pairs != 0; pairs &= pairs - 1) {
            const std::size_t close = base + static_cast<std::size_t>(std::countr_zero(pairs)) - 1;
            if (close < pos)
                continue; // the quote that opens the field, or one before it
            store(slot, pos, close - pos);
            const std::size_t next = close + 2;
            if (next >= n || s[next] != '"') {
                empty_from(slot + 1);
                return 1;
            }
            pos = next + 1;
            if (++slot == qv_column_count)
                return 1;
        }
    }
    // The last field of the line, closed by its quote and the line end.
    if (n > pos && s[n - 1] == '"')
        store(slot++, pos, n - 1 - pos);
    empty_from(slot);
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
