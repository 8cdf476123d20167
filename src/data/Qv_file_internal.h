// The insides that the data layer's files share, and nothing outside the data layer includes: the
// cut of a text into lines, the packed texts of a record, the folding and hashing of keys and texts,
// and the store's memory and index (Tqv_records::Timpl) with the one class that reaches into records
// and stores (Tstore_access). Standard library only. The small functions that the parse of every line
// runs are defined here, so that the files that run them inline them as before the split.
#pragma once

#include "Bcl.h"
#include "Qv_record.h"
#include "Qv_store.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

namespace qv_internal {

// ---- Lines ----------------------------------------------------------------------------------------

// Cuts [begin, end) into lines and calls on_line(text, stray_cr) for each: a LF ends a line, and a CR
// ends the line's text (stray_cr when something other than CRs follows it before the LF, so that lines
// ending in CR CR LF lose nothing). When last is false, the text after the last LF is not taken; the
// return value is where it starts. At most max_lines lines are cut: the return value is then where the
// next one starts.
template <class OnLine>
const char *cut_lines(const char *begin, const char *end, bool last, OnLine &&on_line,
                      std::size_t max_lines = static_cast<std::size_t>(-1))
{
    const char *start = begin;
    for (std::size_t cut = 0; start < end && cut < max_lines; ++cut) {
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

// ---- Packed texts ---------------------------------------------------------------------------------

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

inline unsigned kind_at(const unsigned char *block, std::size_t position)
{
    return (block[position >> 2] >> ((position & 3) * 2)) & 3u;
}

// The bytes after one field's kind bits.
inline std::size_t field_bytes(unsigned kind, const unsigned char *at)
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

inline std::string_view block_text(const unsigned char *block, qv_text_field f)
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

// Every text of the block, as block_text gives each, into out (indexed by field).
inline void block_texts(const unsigned char *block, std::string_view *out)
{
    if (block == nullptr) {
        std::fill(out, out + qv_text_field_count, std::string_view());
        return;
    }
    const Tshared_texts *shared = nullptr; // found at the first shared text
    const unsigned char *at = block + kind_bytes;
    for (std::size_t i = 0; i < qv_text_field_count; ++i) {
        const qv_text_field f = block_order[i];
        const unsigned kind = kind_at(block, i);
        if (kind == kind_inline) {
            out[f] = {reinterpret_cast<const char *>(at + 1), *at};
        } else if (kind == kind_shared) {
            const unsigned number = (*at & 0x80) != 0 ? (*at & 0x7Fu) << 8 | at[1] : *at;
            if (shared == nullptr) {
                const auto chunk =
                    reinterpret_cast<std::uintptr_t>(block) & ~(std::uintptr_t{chunk_size} - 1);
                shared = reinterpret_cast<const Tchunk_header *>(chunk)->shared;
            }
            out[f] = shared->field[f][number];
        } else {
            out[f] = {reinterpret_cast<const char *>(at), 0};
        }
        at += field_bytes(kind, at);
    }
}

inline std::size_t block_size(const unsigned char *block)
{
    const unsigned char *at = block + kind_bytes;
    for (std::size_t i = 0; i < qv_text_field_count; ++i)
        at += field_bytes(kind_at(block, i), at);
    return static_cast<std::size_t>(at - block);
}

// Eight or four bytes at p as a word, in the machine's order.
inline std::uint64_t word8(const char *p)
{
    std::uint64_t word;
    std::memcpy(&word, p, 8);
    return word;
}

inline std::uint64_t word4(const char *p)
{
    std::uint32_t word;
    std::memcpy(&word, p, 4);
    return word;
}

// Copies a short text. A plain memcpy of a varying length becomes a library call or a "rep movs", whose
// start-up cost dominates for texts of a few bytes, and a loop over words ends at a branch that goes
// otherwise at each length: here two words that may overlap, by the length's class.
inline void copy_short(unsigned char *dest, const char *src, std::size_t n)
{
    const auto put8 = [](unsigned char *to, std::uint64_t word) { std::memcpy(to, &word, 8); };
    if (n > 16) {
        for (; n > 16; n -= 16, dest += 16, src += 16) {
            put8(dest, word8(src));
            put8(dest + 8, word8(src + 8));
        }
        // The last 16 bytes, over some already copied.
        put8(dest + n - 16, word8(src + n - 16));
        put8(dest + n - 8, word8(src + n - 8));
    } else if (n >= 8) {
        const std::uint64_t head = word8(src);
        const std::uint64_t tail = word8(src + n - 8);
        put8(dest, head);
        put8(dest + n - 8, tail);
    } else if (n >= 4) {
        const auto head = static_cast<std::uint32_t>(word4(src));
        const auto tail = static_cast<std::uint32_t>(word4(src + n - 4));
        std::memcpy(dest, &head, 4);
        std::memcpy(dest + n - 4, &tail, 4);
    } else if (n > 0) {
        dest[0] = static_cast<unsigned char>(src[0]);
        dest[n / 2] = static_cast<unsigned char>(src[n / 2]);
        dest[n - 1] = static_cast<unsigned char>(src[n - 1]);
    }
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

inline constexpr auto share_none = [](qv_text_field, std::string_view) { return -1; };
inline constexpr auto placed_anywhere = [](qv_text_field, const unsigned char *) {};

// Copies the numbers only: a record's own flag stays as it is.
inline void copy_numbers(Tqv_numbers &to, const Tqv_numbers &from)
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

// The text fields of one line, indexed by field, viewing the line's columns (or the lowered copies of
// the e-mail addresses kept here).
struct Tline_texts {
    std::array<std::string_view, qv_text_field_count> text{};
    char from_email[qv_column_max];
    char to_email[qv_column_max];
};

// The values read_columns leaves out of a record: a date or time text that is not one.
enum : unsigned { unread_date = 1, unread_time = 2 };

// Reads the numbers of the columns into rec and their texts into texts, in the order of
// qv_record_parse; throws Ebcl_conversion_error for an amount or quantity that is not a number.
// Returns the values left out (unread_date, unread_time), 0 when every value was read or empty.
unsigned read_columns(Tqv_numbers &rec, Tline_texts &texts, const qv_line_fields &fields);

// ---- Keys and hashes ------------------------------------------------------------------------------

inline unsigned char fold(char c)
{
    const auto u = static_cast<unsigned char>(c);
    return u >= 'A' && u <= 'Z' ? static_cast<unsigned char>(u + ('a' - 'A')) : u;
}

inline bool key_equal(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (fold(a[i]) != fold(b[i]))
            return false;
    }
    return true;
}

__extension__ typedef unsigned __int128 Tuint128;

// Multiplies and folds the 128-bit product: every bit of either factor reaches every bit of the result.
inline std::uint64_t mix(std::uint64_t a, std::uint64_t b)
{
    const Tuint128 product = static_cast<Tuint128>(a) * b;
    return static_cast<std::uint64_t>(product) ^ static_cast<std::uint64_t>(product >> 64);
}

// Eight bytes with their ASCII capitals made small.
inline std::uint64_t fold8(std::uint64_t bytes)
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
inline const Thash_key &hash_key()
{
    static const Thash_key key = [] {
        std::random_device device;
        const auto draw = [&device] { return std::uint64_t{device()} << 32 ^ device(); };
        return Thash_key{draw() | 1, draw() | 1, draw() | 1};
    }();
    return key;
}

// The n bytes at p (0 < n < 8) as the low bytes of a word, as a copy into a word of zeros gives them on
// a little-endian machine. A copy of a varying length is made byte by byte, and the word read back
// then waits on every byte's store: here two reads of four bytes, or three single bytes, that may
// overlap.
inline std::uint64_t short_word(const char *p, std::size_t n)
{
    if (n >= 4)
        return word4(p) | word4(p + n - 4) << (8 * (n - 4));
    const auto byte = [p](std::size_t i) { return std::uint64_t{static_cast<unsigned char>(p[i])}; };
    return byte(0) | byte(n / 2) << (8 * (n / 2)) | byte(n - 1) << (8 * (n - 1));
}

// A case-sensitive hash of a text, keyed like qv_key_hash, for the store's shared texts: a line holds
// a dozen of them, most of 4 to 32 bytes, so those take one or two products whatever their length,
// read as words that may overlap (a loop over the words and a varying tail cost more in the branches
// their lengths took than in the products).
inline std::uint64_t text_hash(std::string_view text)
{
    const Thash_key &k = hash_key();
    const char *p = text.data();
    const std::size_t n = text.size();
    if (n <= 16) {
        std::uint64_t a = 0;
        std::uint64_t b = 0;
        if (n >= 4) {
            // The first and the last 4 bytes, and for 8 or more the next and the previous 4 as well.
            const std::size_t step = (n >> 3) << 2;
            a = word4(p) << 32 | word4(p + step);
            b = word4(p + n - 4) << 32 | word4(p + n - 4 - step);
        } else if (n > 0) {
            a = short_word(p, n);
        }
        return mix(a ^ k.k1, b ^ k.k0 ^ n);
    }
    if (n <= 32)
        return mix(word8(p) ^ k.k1, word8(p + 8) ^ k.k0 ^ n) ^
               mix(word8(p + n - 16) ^ k.k2, word8(p + n - 8) ^ k.k1);
    std::uint64_t h = k.k2 ^ n;
    std::size_t left = n;
    for (; left > 16; left -= 16, p += 16)
        h = mix(word8(p) ^ k.k1, word8(p + 8) ^ h);
    return mix(word8(p + left - 16) ^ k.k2, word8(p + left - 8) ^ h ^ k.k0);
}

// Whether two short texts are equal, without the cost of a library call: compared as words that may
// overlap, as copy_short copies.
inline bool same_text(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    const char *const p = a.data();
    const char *const q = b.data();
    const std::size_t n = a.size();
    const auto differ8 = [p, q](std::size_t at) { return word8(p + at) ^ word8(q + at); };
    if (n > 16) {
        for (std::size_t at = 0; at + 16 < n; at += 16) {
            if ((differ8(at) | differ8(at + 8)) != 0)
                return false;
        }
        return (differ8(n - 16) | differ8(n - 8)) == 0;
    }
    if (n >= 8)
        return (differ8(0) | differ8(n - 8)) == 0;
    if (n >= 4)
        return ((word4(p) ^ word4(q)) | (word4(p + n - 4) ^ word4(q + n - 4))) == 0;
    return n == 0 || (p[0] == q[0] && p[n / 2] == q[n / 2] && p[n - 1] == q[n - 1]);
}

// ---- The store's insides --------------------------------------------------------------------------

// One entry of the store's hash index: the high half of the key's hash, and where the record lies (its
// chunk and its place there in 8-byte steps), 0 for none.
struct Tslot {
    std::uint32_t tag = 0;
    std::uint32_t ref = 0;
};
constexpr unsigned ref_place_bits = 18; // chunk_size / 8 places
constexpr std::size_t chunks_max = std::size_t{1} << (32 - ref_place_bits);

// The size of the store's next region of chunks when it has mapped regions already: each twice the one
// before, from one chunk up to 64 MiB, and 64 MiB from then on.
constexpr std::size_t region_size_max = std::size_t{64} << 20;
constexpr std::size_t region_size(std::size_t regions)
{
    std::size_t size = chunk_size;
    for (std::size_t n = 0; n < regions && size < region_size_max; ++n)
        size *= 2;
    return size;
}

// Makes room for one more element, so that the push_back after it cannot fail; the capacity doubles.
template <class T> void reserve_one(std::vector<T> &v)
{
    if (v.size() == v.capacity())
        v.reserve(std::max<std::size_t>(16, v.capacity() * 2));
}

// A shared text as a lookup compares it: its length and, for a text of at most probe_max bytes, the
// bytes themselves, so that a text met in a line is told equal or not with one read of memory.
struct alignas(32) Tshared_probe {
    static constexpr std::uint8_t probe_max = 31;
    static constexpr std::uint8_t longer = 0xFF; // the size of a text longer than probe_max
    std::uint8_t size = 0;
    char bytes[probe_max] = {};
};

// The lookup side of one field's shared texts while they are learnt.
struct Tshared_index {
    // Per place: the number + 1 of a shared text in the low 16 bits (0 for none), the top 16 bits of its
    // hash above them, so that most texts that differ are told apart without reading them. A power of
    // 2 long.
    std::vector<std::uint32_t> table;
    // Per shared text, by number: the copy that a lookup compares, the text's bytes beside its length
    // in one line of the cache (a text longer than probe_max is compared in the field's list instead).
    std::vector<Tshared_probe> probes;
    bool on = true;        // the field's texts are looked up and learnt
    bool full = false;     // no more texts are learnt
    std::size_t seen = 0;  // texts met
    std::size_t fresh = 0; // texts met that were not shared yet
};

// The part of a text's hash kept beside its number in a field's lookup table.
inline std::uint32_t shared_tag(std::uint64_t hash)
{
    return static_cast<std::uint32_t>(hash >> 48);
}

// Fields whose texts are shared only once most of their texts repeat: a field whose texts are mostly
// new after this many is no longer looked up.
constexpr std::size_t shared_trial = 4096;

} // namespace qv_internal

// The records' memory, the hash index and the shared texts of one store.
struct Tqv_records::Timpl {
    Timpl() : slots(1024)
    {
        // The key is unique by nature: it stays in the record's own block.
        index[qv_f_trans_id].on = false;
    }
    ~Timpl();
    Timpl(const Timpl &) = delete;
    Timpl &operator=(const Timpl &) = delete;

    Tqv_record_object *record(std::uint32_t ref) const
    {
        return reinterpret_cast<Tqv_record_object *>(
            chunks[ref >> qv_internal::ref_place_bits] +
            std::size_t{ref & ((1u << qv_internal::ref_place_bits) - 1)} * 8);
    }

    // Room for bytes (8-aligned) in the current chunk, and the reference to it.
    unsigned char *allocate(std::size_t bytes, std::uint32_t &ref);
    void next_chunk();
    // Maps a region of whole chunks, aligned to the chunk size; each is twice the one before, up to
    // 64 MiB. Huge pages are asked for where the system offers them: the first touch of memory costs
    // far less in 2 MiB pages than in 4 KiB ones.
    unsigned char *map_region();

    // The memory that the next bytes of records will take, as far as it is mapped already: another
    // thread can have its pages made (the first touch of fresh memory is slow) while this one fills it.
    std::pair<unsigned char *, std::size_t> next_pages(std::size_t bytes) const;

    // A copy of text that lives as long as the store.
    std::string_view keep(std::string_view text);

    // The number of the shared text of field f equal to text (hashed by text_hash), or -1.
    int shared_find(qv_text_field f, std::string_view text, std::uint64_t hash) const
    {
        const qv_internal::Tshared_index &ix = index[f];
        if (ix.table.empty())
            return -1;
        const std::size_t mask = ix.table.size() - 1;
        const bool in_probe = text.size() <= qv_internal::Tshared_probe::probe_max;
        const std::size_t size = in_probe ? text.size() : qv_internal::Tshared_probe::longer;
        for (std::size_t i = hash & mask;; i = (i + 1) & mask) {
            const std::uint32_t entry = ix.table[i];
            if (entry == 0)
                return -1;
            if ((entry >> 16) != qv_internal::shared_tag(hash))
                continue;
            const unsigned number = (entry & 0xFFFFu) - 1;
            const qv_internal::Tshared_probe &probe = ix.probes[number];
            if (probe.size != size)
                continue;
            const std::string_view known =
                in_probe ? std::string_view(probe.bytes, size) : shared.field[f][number];
            if (qv_internal::same_text(known, text))
                return static_cast<int>(number);
        }
    }

    // Brings toward the cache what shared_find(f, text, hash) reads first: the text's first place in
    // the table. Always inlined: a compiler may take a function that does nothing but ask for memory
    // for one without effect, and leave its calls out.
    [[gnu::always_inline]] void shared_fetch_place(qv_text_field f, std::uint64_t hash) const
    {
        const std::vector<std::uint32_t> &table = index[f].table;
        if (!table.empty())
            __builtin_prefetch(&table[hash & (table.size() - 1)]);
    }

    // Learns a text of field f met in a line: shares it when it is new and the field still learns.
    void learn(qv_text_field f, std::string_view text);

    qv_internal::Tshared_texts shared;
    std::array<qv_internal::Tshared_index, qv_text_field_count> index;
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
    std::vector<qv_internal::Tslot, Tbcl_large_pages<qv_internal::Tslot>> slots;
    unsigned slot_bits = 10;
    std::size_t home(std::uint32_t tag) const { return tag >> (32 - slot_bits); }
};

// What the loader and the store's own members do with the insides of records and stores.
class Tstore_access {
public:
    using Tinside = Tqv_records::Timpl;
    static const unsigned char *block(const Tqv_record &rec) { return rec.texts_; }
    static bool owns_block(const Tqv_record &rec) { return rec.owned_; }

    // Stores a record with these numbers, this block of texts and mark under key, unless an equal key
    // is stored; null then. Running out of memory changes nothing.
    static Tqv_record_object *insert(Tqv_records &store, std::string_view key, std::uint64_t hash,
                                     const Tqv_numbers &numbers, const unsigned char *block, std::size_t size,
                                     std::uint8_t mark);

    static Tqv_records::Timpl &impl(Tqv_records &store) { return *store.impl_; }

    // Brings toward the cache the index's first place for a key of this hash, ahead of its insert
    // (always inlined, as shared_fetch_place is).
    [[gnu::always_inline]] static void fetch_place(const Tqv_records &store, std::uint64_t hash)
    {
        const Tqv_records::Timpl &d = *store.impl_;
        __builtin_prefetch(&d.slots[d.home(static_cast<std::uint32_t>(hash >> 32))]);
    }

private:
    static void grow(Tqv_records::Timpl &d);
};
