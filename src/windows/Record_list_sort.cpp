// The transaction list's sort (TRecordListModel::orderRows, then applyOrder): amounts, dates and times
// by one number per row that holds the whole value, sorted byte by byte; texts by a key of eight bytes
// of them per row, TListSortKey, sorted round by round, a long list's parted first by its keys'
// highest bytes so that the passes over the others go over parts in the cache; on two threads for a
// long list.
#include "Record_list_model.h"

#include "Bcl.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <future>
#include <system_error>
#include <type_traits>
#include <utility>

namespace {

using SortKey = TListSortKey;

// The keys of a long list go back to the system the moment the sort ends.
using SortKeys = std::vector<SortKey, Tbcl_large_pages<SortKey>>;

// Eight bytes of a text from offset on, ASCII letters as capitals; a shorter rest is padded with zero
// bytes. Equal keys with padding mean that the shorter text begins the longer one.
void textKey(SortKey &key, std::string_view text, std::size_t offset)
{
    std::uint64_t prefix = 0;
    const std::size_t rest = text.size() > offset ? text.size() - offset : 0;
    const std::size_t n = std::min<std::size_t>(rest, 8);
    for (std::size_t i = 0; i < n; ++i) {
        auto c = static_cast<unsigned char>(text[offset + i]);
        if (c >= 'a' && c <= 'z')
            c = static_cast<unsigned char>(c - ('a' - 'A'));
        prefix |= std::uint64_t{c} << (8 * (7 - i));
    }
    key.prefix = prefix;
    key.length = static_cast<std::uint8_t>(std::min<std::size_t>(rest, 9));
}

// A date or time text whole, in four bits a character: blank, '-', ':' and the digits keep their byte
// order, and 0 pads, so that a shorter text that begins a longer one comes first. The texts of dates
// (13 characters at most) and times (11) always fit in 16.
std::uint64_t numberTextKey(std::string_view text)
{
    std::uint64_t key = 0;
    for (std::size_t i = 0; i < text.size() && i < 16; ++i) {
        const char c = text[i];
        const std::uint64_t nibble =
            c == ' ' ? 1 : (c == '-' ? 2 : (c == ':' ? 13 : 3 + std::uint64_t(c - '0')));
        key |= nibble << (4 * (15 - i));
    }
    return key;
}

int keyCompare(const SortKey &a, const SortKey &b)
{
    if (a.prefix != b.prefix)
        return a.prefix < b.prefix ? -1 : 1;
    return a.length == b.length ? 0 : (a.length < b.length ? -1 : 1);
}

std::string_view keyText(const SortKey &key)
{
    return {key.text, key.size};
}

// How far ahead the sort asks for a record's memory, and for a text's bytes.
constexpr std::size_t recordAhead = 32;
constexpr std::size_t textAhead = 48;

// From how many rows on the first sort of texts goes byte by byte rather than by comparisons.
constexpr std::size_t radixFrom = 1024;

// Asks for the memory of row i's record, if there is such a row before end. Always inlined: a
// compiler may take a function that does nothing but ask for memory for one without effect, and leave
// its calls out.
[[gnu::always_inline]] inline void fetchRow(const TRecordListModel::Rows &rows, std::size_t i,
                                            std::size_t end)
{
    if (i < end)
        qv_record_fetch(*rows[i]);
}

// The values of rows [begin, end) in a column that sorts by a whole number: an amount, or the key of a
// date's or a time's text. Each row's number is first gathered as it is, then made its value.
using Values = std::vector<std::uint64_t, Tbcl_large_pages<std::uint64_t>>;

template <class Value, class ValueOf>
void gatherValues(const TRecordListModel::Rows &rows, Values &values, std::size_t begin, std::size_t end,
                  Value Tqv_numbers::*member, ValueOf valueOf)
{
    static_assert(sizeof(Value) <= sizeof(std::uint64_t) && std::is_trivially_copyable_v<Value>);
    for (std::size_t i = begin; i < end && i < begin + recordAhead; ++i)
        __builtin_prefetch(&(rows[i]->*member));
    for (std::size_t i = begin; i < end; ++i) {
        if (i + recordAhead < end)
            __builtin_prefetch(&(rows[i + recordAhead]->*member));
        std::memcpy(&values[i], &(rows[i]->*member), sizeof(Value));
    }
    for (std::size_t i = begin; i < end; ++i) {
        Value value;
        std::memcpy(static_cast<void *>(&value), &values[i], sizeof value); // trivially copyable
        values[i] = valueOf(value);
    }
}

// Amounts order as unsigned numbers with their sign bit flipped; dates and times by their texts' keys.
void wholeValues(const TRecordListModel::Rows &rows, Values &values, std::size_t begin, std::size_t end,
                 int column)
{
    const auto amountValue = [](amount a) {
        return static_cast<std::uint64_t>(a) ^ (std::uint64_t{1} << 63);
    };
    const auto textValue = [](auto put) {
        return [put](const auto &value) {
            char room[32];
            return numberTextKey({room, static_cast<std::size_t>(put(room, value) - room)});
        };
    };
    switch (column) {
    case TRecordListModel::Date:
        gatherValues(rows, values, begin, end, &Tqv_numbers::date,
                     textValue([](char *out, const qv_date &date) { return qv_date_put(out, date); }));
        return;
    case TRecordListModel::Time:
        gatherValues(rows, values, begin, end, &Tqv_numbers::time, textValue(qv_time_put));
        return;
    case TRecordListModel::Gross:
        gatherValues(rows, values, begin, end, &Tqv_numbers::gross, amountValue);
        return;
    case TRecordListModel::Fee:
        gatherValues(rows, values, begin, end, &Tqv_numbers::fee, amountValue);
        return;
    case TRecordListModel::Balance:
        gatherValues(rows, values, begin, end, &Tqv_numbers::balance, amountValue);
        return;
    default:
        return;
    }
}

// The first keys of rows [begin, end) in column. In a long list the rows' records lie all over
// memory: what a key needs of each record is first gathered in a loop that does nothing else, so that
// many reads are under way at once (a fetch ahead alone does not get there on every machine); the keys
// are then made from what was gathered.
void firstKeys(const TRecordListModel::Rows &rows, SortKeys &keys, std::size_t begin, std::size_t end,
               int column)
{
    for (std::size_t i = begin; i < end && i < begin + recordAhead; ++i)
        fetchRow(rows, i, end);
    // The texts of these columns are the record's own bytes, which outlive the sort.
    for (std::size_t i = begin; i < end; ++i) {
        fetchRow(rows, i + recordAhead, end);
        char room[32];
        const std::string_view text = qv_list_text(*rows[i], column, room);
        keys[i].text = text.data();
        keys[i].size = static_cast<std::uint16_t>(text.size());
    }
    for (std::size_t i = begin; i < end; ++i) {
        if (i + textAhead < end)
            __builtin_prefetch(keys[i + textAhead].text);
        textKey(keys[i], keyText(keys[i]), 0);
        keys[i].position = static_cast<std::uint32_t>(i);
    }
}

// Whether all n items counted have the same byte: a pass over that byte would move nothing.
bool allAgree(const std::array<std::size_t, 256> &counts, std::size_t n)
{
    return std::find(counts.begin(), counts.end(), n) != counts.end();
}

// A key's length and prefix as the byte passes order them, ascending or descending as flip says (the
// complement for descending).
std::uint64_t lengthOf(const SortKey &key, std::uint64_t flip)
{
    return (key.length ^ flip) & 0xFF;
}
std::uint64_t prefixOf(const SortKey &key, std::uint64_t flip)
{
    return key.prefix ^ flip;
}

// Runs there on another thread and here on this one, and returns when both are done.
template <class Here, class There> void onTwoThreads(Here &&here, There &&there)
{
    std::future<void> other = std::async(std::launch::async, std::forward<There>(there));
    here();
    other.get();
}

// Orders items stably by the bits [low, low + bits) of their values, a pass per byte from the lowest,
// passing over the bytes in which all items agree. It takes time in proportion to the items, where
// comparing them takes more the more there are. With twoThreads each pass is shared: each thread
// counts and moves one half of the items, the first half's before the second's among equal bytes.
// Other is room for the passes, made the size of items when it is not (what it holds after is of no
// use). False once cancelled() says so.
template <class Item, class ValueOf, class Cancelled>
bool radixSort(std::vector<Item, Tbcl_large_pages<Item>> &items,
               std::vector<Item, Tbcl_large_pages<Item>> &other, ValueOf valueOf, unsigned low, unsigned bits,
               bool twoThreads, Cancelled &&cancelled)
{
    using Counts = std::array<std::size_t, 256>;
    const std::size_t n = items.size();
    const std::size_t middle = twoThreads ? n / 2 : n;
    const unsigned passes = (bits + 7) / 8;
    // How many items of [begin, end) have each byte, for the bytes from shift on, each pass's own.
    const auto count = [&](Counts *into, unsigned shift, unsigned bytes, std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i) {
            const std::uint64_t value = valueOf(items[i]) >> shift;
            for (unsigned b = 0; b < bytes; ++b)
                ++into[b][(value >> (8 * b)) & 0xFF];
        }
    };
    // Each half's counts, of every byte before the first pass, and then of the next pass's byte.
    std::array<Counts, 8> totals{};
    std::array<Counts, 8> firstHalf{};
    std::array<Counts, 8> secondHalf{};
    if (twoThreads) {
        onTwoThreads([&] { count(firstHalf.data(), low, passes, 0, middle); },
                     [&] { count(secondHalf.data(), low, passes, middle, n); });
        for (unsigned b = 0; b < passes; ++b)
            for (std::size_t d = 0; d < 256; ++d)
                totals[b][d] = firstHalf[b][d] + secondHalf[b][d];
    } else {
        count(totals.data(), low, passes, 0, n);
    }
    const auto uniform = [&](unsigned b) { return allAgree(totals[b], n); };
    for (unsigned b = 0; b < passes; ++b) {
        if (uniform(b))
            continue;
        if (cancelled())
            return false;
        const unsigned shift = low + 8 * b;
        unsigned next = b + 1;
        while (next < passes && uniform(next))
            ++next;
        // Where each half's items of each byte go, the second half's after the first's.
        Counts first = twoThreads ? firstHalf[b] : totals[b];
        Counts second = twoThreads ? secondHalf[b] : Counts{};
        std::size_t at = 0;
        for (std::size_t d = 0; d < 256; ++d) {
            const std::size_t inFirst = first[d];
            const std::size_t inSecond = second[d];
            first[d] = at;
            second[d] = at + inFirst;
            at += inFirst + inSecond;
        }
        if (other.size() != n)
            other.resize(n);
        if (!twoThreads) {
            for (std::size_t i = 0; i < n; ++i)
                other[first[(valueOf(items[i]) >> shift) & 0xFF]++] = items[i];
            items.swap(other);
            continue;
        }
        // The pass moves items between the halves: while it moves them, each thread counts the next
        // pass's byte of the items by the half they go to, so that no pass reads the items twice.
        const unsigned nextShift = low + 8 * next;
        const auto move = [&](Counts &places, std::size_t begin, std::size_t end,
                              std::array<Counts, 2> &into) {
            for (std::size_t i = begin; i < end; ++i) {
                const std::uint64_t value = valueOf(items[i]);
                const std::size_t to = places[(value >> shift) & 0xFF]++;
                other[to] = items[i];
                if (next < passes)
                    ++into[to >= middle][(value >> nextShift) & 0xFF];
            }
        };
        std::array<Counts, 2> fromFirst{};
        std::array<Counts, 2> fromSecond{};
        onTwoThreads([&] { move(first, 0, middle, fromFirst); },
                     [&] { move(second, middle, n, fromSecond); });
        items.swap(other);
        if (next < passes) {
            for (std::size_t d = 0; d < 256; ++d) {
                firstHalf[next][d] = fromFirst[0][d] + fromSecond[0][d];
                secondHalf[next][d] = fromFirst[1][d] + fromSecond[1][d];
            }
        }
    }
    return true;
}

template <class Item, class ValueOf, class Cancelled>
bool radixSort(std::vector<Item, Tbcl_large_pages<Item>> &items, ValueOf valueOf, unsigned low, unsigned bits,
               bool twoThreads, Cancelled &&cancelled)
{
    std::vector<Item, Tbcl_large_pages<Item>> other;
    return radixSort(items, other, valueOf, low, bits, twoThreads, cancelled);
}

// Orders the n items at items stably by the low bytes of their values, a pass per byte from the lowest
// through scratch (room for n items), passing over the bytes in which all items agree: the one-thread
// sort of a run of rows within a list.
template <class Item, class ValueOf>
void radixSortRun(Item *items, Item *scratch, std::size_t n, ValueOf valueOf, unsigned bytes)
{
    std::array<std::array<std::size_t, 256>, 8> counts{};
    for (std::size_t i = 0; i < n; ++i) {
        const std::uint64_t value = valueOf(items[i]);
        for (unsigned b = 0; b < bytes; ++b)
            ++counts[b][(value >> (8 * b)) & 0xFF];
    }
    Item *from = items;
    Item *to = scratch;
    for (unsigned b = 0; b < bytes; ++b) {
        std::array<std::size_t, 256> &places = counts[b];
        if (allAgree(places, n))
            continue;
        std::size_t at = 0;
        for (std::size_t &place : places)
            at += std::exchange(place, at);
        for (std::size_t i = 0; i < n; ++i)
            to[places[(valueOf(from[i]) >> (8 * b)) & 0xFF]++] = from[i];
        std::swap(from, to);
    }
    if (from != items)
        std::copy(from, from + n, items);
}

// A run of at most so many keys (200 KB) is sorted byte by byte where it lies, in the cache.
constexpr std::size_t runInCache = 8192;

// From how many times the rows from which a sort is shared a text sort's room is made beside its keys
// (by default 4,194,304 rows, 96 MB of keys).
constexpr std::size_t roomAheadFactor = 64;

// How many of the keys [begin, end) have each value of each of the low left bytes of their prefixes,
// and (the last) of their lengths, as flip orders them.
using KeyCounts = std::array<std::array<std::size_t, 256>, 9>;
constexpr unsigned lengthCounts = 8;
void countKeys(const SortKey *keys, std::size_t begin, std::size_t end, unsigned left, std::uint64_t flip,
               KeyCounts &counts)
{
    for (std::size_t i = begin; i < end; ++i) {
        const std::uint64_t value = prefixOf(keys[i], flip);
        for (unsigned b = 0; b < left; ++b)
            ++counts[b][(value >> (8 * b)) & 0xFF];
        ++counts[lengthCounts][lengthOf(keys[i], flip)];
    }
}

// Orders the n keys at keys stably by the low left bytes of their prefixes (all agree on the bytes
// above), then by their lengths, ascending or descending as flip says, through scratch (room for n
// keys). A run too long for the cache is first parted by the highest byte in which its keys differ,
// each part then sorted the same way: the passes over the bytes below go over parts in the cache,
// not over the whole run in memory.
void sortKeyRun(SortKey *keys, SortKey *scratch, std::size_t n, unsigned left, std::uint64_t flip)
{
    const auto length = [flip](const SortKey &k) { return lengthOf(k, flip); };
    const auto prefix = [flip](const SortKey &k) { return prefixOf(k, flip); };
    if (n < 2)
        return;
    if (n <= runInCache) {
        radixSortRun(keys, scratch, n, length, 1);
        radixSortRun(keys, scratch, n, prefix, left);
        return;
    }
    KeyCounts counts{};
    countKeys(keys, 0, n, left, flip, counts);
    unsigned top = left;
    while (top > 0 && allAgree(counts[top - 1], n))
        --top;
    if (top == 0) {
        if (!allAgree(counts[lengthCounts], n))
            radixSortRun(keys, scratch, n, length, 1);
        return;
    }
    const unsigned b = top - 1; // the highest byte in which the keys differ
    std::array<std::size_t, 256> places{};
    std::size_t at = 0;
    for (std::size_t d = 0; d < 256; ++d)
        places[d] = std::exchange(at, at + counts[b][d]);
    for (std::size_t i = 0; i < n; ++i)
        scratch[places[(prefix(keys[i]) >> (8 * b)) & 0xFF]++] = keys[i];
    std::copy(scratch, scratch + n, keys);
    std::size_t begin = 0;
    for (std::size_t d = 0; d < 256; ++d) {
        sortKeyRun(keys + begin, scratch, counts[b][d], b, flip);
        begin += counts[b][d];
    }
}

template <class Cancelled>
bool sortPartsOnTwo(SortKey *keys, SortKey *scratch, const std::array<std::size_t, 257> &starts, unsigned b,
                    std::uint64_t flip, Cancelled &&cancelled);

// sortKeyRun on both cores, for a run that is most of a long list (a status that nearly every row
// has): each thread counts and moves one half of the keys, the first half's before the second's among
// equal bytes, and the parts are then sorted as a list's are. False once cancelled() says so.
template <class Cancelled>
bool sortKeyRunOnTwo(SortKey *keys, SortKey *scratch, std::size_t n, unsigned left, std::uint64_t flip,
                     Cancelled &&cancelled)
{
    const std::size_t middle = n / 2;
    KeyCounts first{};
    KeyCounts second{};
    onTwoThreads([&] { countKeys(keys, 0, middle, left, flip, first); },
                 [&] { countKeys(keys, middle, n, left, flip, second); });
    const auto agree = [&](unsigned b) {
        std::array<std::size_t, 256> both;
        for (std::size_t d = 0; d < 256; ++d)
            both[d] = first[b][d] + second[b][d];
        return allAgree(both, n);
    };
    unsigned top = left;
    while (top > 0 && agree(top - 1))
        --top;
    if (top == 0) {
        if (!agree(lengthCounts))
            radixSortRun(
                keys, scratch, n, [flip](const SortKey &k) { return lengthOf(k, flip); }, 1);
        return !cancelled();
    }
    const unsigned b = top - 1; // the highest byte in which the keys differ
    std::array<std::size_t, 257> starts{};
    std::array<std::size_t, 256> firstPlaces{};
    std::array<std::size_t, 256> secondPlaces{};
    for (std::size_t d = 0; d < 256; ++d) {
        firstPlaces[d] = starts[d];
        secondPlaces[d] = starts[d] + first[b][d];
        starts[d + 1] = secondPlaces[d] + second[b][d];
    }
    const auto move = [&](std::array<std::size_t, 256> &places, std::size_t begin, std::size_t end) {
        for (std::size_t i = begin; i < end; ++i)
            scratch[places[(prefixOf(keys[i], flip) >> (8 * b)) & 0xFF]++] = keys[i];
    };
    onTwoThreads([&] { move(firstPlaces, 0, middle); }, [&] { move(secondPlaces, middle, n); });
    onTwoThreads([&] { std::copy(scratch, scratch + middle, keys); },
                 [&] { std::copy(scratch + middle, scratch + n, keys + middle); });
    return sortPartsOnTwo(keys, scratch, starts, b, flip, cancelled);
}

// Sorts the parts [starts[d], starts[d + 1]) of keys (starts[0] is 0) by their bytes below b and their
// lengths on two cores: a part of more than half the keys and more than the cache holds on both, the
// others split between the two by half of their keys. False once cancelled() says so.
template <class Cancelled>
bool sortPartsOnTwo(SortKey *keys, SortKey *scratch, const std::array<std::size_t, 257> &starts, unsigned b,
                    std::uint64_t flip, Cancelled &&cancelled)
{
    const std::size_t n = starts[256];
    const auto sizeOf = [&](std::size_t d) { return starts[d + 1] - starts[d]; };
    std::size_t big = 256;
    for (std::size_t d = 0; d < 256; ++d) {
        if (sizeOf(d) * 2 > n && sizeOf(d) > runInCache)
            big = d;
    }
    if (big < 256 &&
        !sortKeyRunOnTwo(keys + starts[big], scratch + starts[big], sizeOf(big), b, flip, cancelled))
        return false;
    std::atomic<bool> stopped{false};
    const auto sortParts = [&](std::size_t first, std::size_t last) {
        for (std::size_t d = first; d < last && !stopped; ++d) {
            if (d == big)
                continue;
            // Each part's room lies where the part lies.
            sortKeyRun(keys + starts[d], scratch + starts[d], sizeOf(d), b, flip);
            if (cancelled())
                stopped = true;
        }
    };
    const std::size_t rest = n - (big < 256 ? sizeOf(big) : 0);
    std::size_t split = 0;
    for (std::size_t taken = 0; split < 256; ++split) {
        const std::size_t size = split == big ? 0 : sizeOf(split);
        if (taken + size > rest / 2)
            break;
        taken += size;
    }
    onTwoThreads([&] { sortParts(0, split); }, [&] { sortParts(split, 256); });
    return !stopped;
}

// A row's value beside its position, for values too wide to share 64 bits with it.
struct WideValue {
    std::uint64_t value;
    std::uint32_t position;
};

// Orders the rows by their values, direction +1 or -1, rows of equal values in their order, and leaves
// in values[i] the position of the row that comes i-th. Only the bits in which the values differ are
// sorted: the values less the least, shifted past the low bits that are zero in all of them. Where
// those and the position fit in 64 bits (ten million rows leave 40 for the value: a date's text of
// ten characters takes 40, an amount's spread rarely 30) each row is one number of the two, a third of
// the memory of a value and a position apart. False once cancelled() says so.
template <class Cancelled>
bool sortValues(Values &values, int direction, bool twoThreads, Cancelled &&cancelled)
{
    const std::size_t n = values.size();
    if (n < 2) {
        for (std::size_t i = 0; i < n; ++i)
            values[i] = i;
        return true;
    }
    const std::uint64_t flip = direction < 0 ? ~std::uint64_t{0} : 0; // descending: the complement
    std::uint64_t least = ~std::uint64_t{0};
    for (std::uint64_t &value : values) {
        value ^= flip;
        least = std::min(least, value);
    }
    std::uint64_t differ = 0;
    for (std::uint64_t &value : values) {
        value -= least;
        differ |= value;
    }
    const auto low = static_cast<unsigned>(differ == 0 ? 0 : std::countr_zero(differ));
    const auto bits = static_cast<unsigned>(std::bit_width(differ)) - low;
    const auto positionBits = static_cast<unsigned>(std::bit_width(n - 1));
    if (bits + positionBits <= 64) {
        for (std::size_t i = 0; i < n; ++i)
            values[i] = (values[i] >> low) << positionBits | i;
        if (!radixSort(
                values, [](std::uint64_t v) { return v; }, positionBits, bits, twoThreads, cancelled))
            return false;
        const std::uint64_t mask = (std::uint64_t{1} << positionBits) - 1;
        for (std::uint64_t &value : values)
            value &= mask;
        return true;
    }
    std::vector<WideValue, Tbcl_large_pages<WideValue>> wide(n);
    for (std::size_t i = 0; i < n; ++i)
        wide[i] = {values[i] >> low, static_cast<std::uint32_t>(i)};
    if (!radixSort(
            wide, [](const WideValue &w) { return w.value; }, 0, bits, twoThreads, cancelled))
        return false;
    for (std::size_t i = 0; i < n; ++i)
        values[i] = wide[i].position;
    return true;
}

// Fetches the text of the key ahead (always inlined, as fetchRow).
[[gnu::always_inline]] inline void fetchText(const SortKeys &keys, std::size_t i, std::size_t end)
{
    if (i + textAhead < end)
        __builtin_prefetch(keys[i + textAhead].text);
}

// Orders all keys stably by their prefixes and lengths, ascending or descending as flip says: parted
// first by the highest byte in which they differ (each thread moving half of them), then the parts,
// half of the keys on each thread, each sorted as a run. False once cancelled() says so.
template <class Cancelled>
bool firstSortByBytes(SortKeys &keys, SortKeys &scratch, std::uint64_t flip, bool twoThreads,
                      Cancelled &&cancelled)
{
    const std::size_t n = keys.size();
    const auto length = [flip](const SortKey &k) { return lengthOf(k, flip); };
    const auto prefix = [flip](const SortKey &k) { return prefixOf(k, flip); };
    // The bits in which the prefixes differ.
    const auto differing = [&](std::size_t begin, std::size_t end) {
        std::uint64_t any = 0;
        std::uint64_t all = ~std::uint64_t{0};
        for (std::size_t i = begin; i < end; ++i) {
            any |= keys[i].prefix;
            all &= keys[i].prefix;
        }
        return std::pair(any, all);
    };
    std::pair<std::uint64_t, std::uint64_t> seen;
    if (twoThreads) {
        std::pair<std::uint64_t, std::uint64_t> second;
        onTwoThreads([&] { seen = differing(0, n / 2); }, [&] { second = differing(n / 2, n); });
        seen = {seen.first | second.first, seen.second & second.second};
    } else {
        seen = differing(0, n);
    }
    const std::uint64_t bits = seen.first ^ seen.second;
    if (bits == 0) // the same prefix in all: their lengths order them
        return radixSort(keys, scratch, length, 0, 8, twoThreads, cancelled);
    const unsigned b = static_cast<unsigned>(63 - std::countl_zero(bits)) / 8;
    if (!radixSort(keys, scratch, prefix, 8 * b, 8, twoThreads, cancelled))
        return false;
    // The parts, each of one byte b, and the sort of those of [first, last).
    std::array<std::size_t, 257> starts{};
    const auto byteOf = [&](const SortKey &k) { return (prefix(k) >> (8 * b)) & 0xFF; };
    for (std::size_t d = 1; d <= 256; ++d)
        starts[d] = static_cast<std::size_t>(
            std::partition_point(keys.begin() + std::ptrdiff_t(starts[d - 1]), keys.end(),
                                 [&](const SortKey &k) { return byteOf(k) < d; }) -
            keys.begin());
    if (twoThreads)
        return sortPartsOnTwo(keys.data(), scratch.data(), starts, b, flip, cancelled);
    for (std::size_t d = 0; d < 256; ++d) {
        // Each part's room lies where the part lies.
        sortKeyRun(keys.data() + starts[d], scratch.data() + starts[d], starts[d + 1] - starts[d], b, flip);
        if (cancelled())
            return false;
    }
    return true;
}

} // namespace

void TRecordListModel::sortRows(int column, int direction)
{
    if (orderRows(column, direction))
        applyOrder(column, direction);
}

bool TRecordListModel::orderRows(int column, int direction, const std::atomic<bool> *cancel)
{
    if (column < 0 || column >= ColumnCount)
        return false;
    const auto cancelled = [cancel] { return cancel != nullptr && cancel->load(); };
    const std::size_t n = rows_.size();
    // Most of the time of what reads the rows' records, or the rows in a new order, goes into waiting on
    // memory: over a long list a second thread takes half of them.
    const auto onRows = [&](auto &&work) {
        if (n >= splitFrom_)
            onTwoThreads([&] { work(0, n / 2); }, [&] { work(n / 2, n); });
        else
            work(0, n);
    };
    // The new order from where each of its rows was.
    const auto takeOrder = [&](auto positionOf) {
        sorted_.resize(n);
        formerRows_.resize(n);
        onRows([&](std::size_t begin, std::size_t end) {
            for (std::size_t i = begin; i < end; ++i) {
                if (i + recordAhead < end)
                    __builtin_prefetch(&rows_[positionOf(i + recordAhead)]);
                const auto position = static_cast<std::uint32_t>(positionOf(i));
                sorted_[i] = rows_[position];
                formerRows_[i] = position;
            }
        });
        return true;
    };
    if (column == Date || column == Time || column == Gross || column == Fee || column == Balance) {
        // Each row's whole value orders it.
        Values values(n);
        onRows([&](std::size_t begin, std::size_t end) { wholeValues(rows_, values, begin, end, column); });
        if (cancelled() || !sortValues(values, direction, n >= splitFrom_, cancelled) || cancelled())
            return false;
        return takeOrder([&](std::size_t i) { return values[i]; });
    }
    SortKeys keys(n);
    SortKeys scratch; // room for the byte passes, made once for the whole sort: fresh memory is dear
    // A long list's room for the byte passes is made on a thread of its own while the keys are: the
    // first touch of its fresh memory can take as long as the keys (0.05 s to most of a second for ten
    // million rows, where the system's host has taken the memory back), and the keys mostly wait on the
    // records. For a million rows it took no time that a thread saves.
    std::future<void> roomMade;
    if (n >= radixFrom && n >= splitFrom_ * roomAheadFactor && column != TransId) {
        try {
            roomMade = std::async(std::launch::async, [&scratch, n] { scratch.resize(n); });
        } catch (const std::system_error &) {
            // No thread: the first byte pass makes the room.
        }
    }
    onRows([&](std::size_t begin, std::size_t end) { firstKeys(rows_, keys, begin, end, column); });
    if (roomMade.valid())
        roomMade.get();
    if (cancelled())
        return false;
    const auto before = [direction](const SortKey &a, const SortKey &b) {
        const int c = keyCompare(a, b) * direction;
        return c != 0 ? c < 0 : a.position < b.position;
    };
    // Eight bytes at a time: the rows that still agree after them are sorted again by the next eight,
    // so that a comparison never has to leave the keys. Rows whose texts are all the same
    // (item titles and addresses repeat) are in order once they agree: their positions decide. A text
    // that the store holds once for many records is the same text wherever it is met.
    const auto sameTexts = [&](std::size_t begin, std::size_t end) {
        const SortKey &first = keys[begin];
        for (std::size_t i = begin + 1; i < end; ++i) {
            if (keys[i].text == first.text && keys[i].size == first.size)
                continue;
            fetchText(keys, i, end);
            if (qv_list_text_compare(keyText(first), keyText(keys[i])) != 0)
                return false;
        }
        return true;
    };
    const auto sortWhole = [&](std::size_t begin, std::size_t end) {
        std::sort(keys.begin() + std::ptrdiff_t(begin), keys.begin() + std::ptrdiff_t(end),
                  [&](const SortKey &a, const SortKey &b) {
                      const int c = qv_list_text_compare(keyText(a), keyText(b)) * direction;
                      return c != 0 ? c < 0 : a.position < b.position;
                  });
    };
    using Ranges = std::vector<std::pair<std::size_t, std::size_t>>;
    // The groups of sorted keys [begin, end) that agree on their keys: a group of the same texts is in
    // order, a few rows are sorted by their whole texts, and more go into longer for the next round.
    const auto group = [&](std::size_t begin, std::size_t end, Ranges &longer) {
        for (std::size_t i = begin; i < end;) {
            std::size_t j = i + 1;
            while (j < end && keyCompare(keys[i], keys[j]) == 0)
                ++j;
            if (keys[i].length == 9 && j - i > 1 && !sameTexts(i, j)) {
                if (j - i <= 64)
                    sortWhole(i, j); // a few rows: their texts are at hand after sameTexts
                else
                    longer.emplace_back(i, j);
            }
            i = j;
        }
    };
    const std::uint64_t flip = direction < 0 ? ~std::uint64_t{0} : 0; // descending: the complement
    // The next round for ranges [first, last) of rows that agree on their texts' first offset bytes.
    // The rows of a range are in their order, so that a stable sort by the keys alone leaves rows of
    // equal keys in it: a long range goes byte by byte.
    const auto round = [&](const Ranges &ranges, std::size_t first, std::size_t last, std::size_t offset,
                           Ranges &longer) {
        for (std::size_t r = first; r < last && !cancelled(); ++r) {
            const auto [begin, end] = ranges[r];
            for (std::size_t i = begin; i < end; ++i) {
                fetchText(keys, i, end);
                textKey(keys[i], keyText(keys[i]), offset);
            }
            if (end - begin >= radixFrom) {
                sortKeyRun(keys.data() + begin, scratch.data() + begin, end - begin, 8, flip);
            } else {
                std::sort(keys.begin() + std::ptrdiff_t(begin), keys.begin() + std::ptrdiff_t(end), before);
            }
            group(begin, end, longer);
        }
    };

    // The first sort, of all rows by their keys.
    const bool twoThreads = n >= std::max<std::size_t>(splitFrom_, 2);
    if (n >= radixFrom && column != TransId) {
        // Byte by byte: stable, so that equal keys stay in the rows' order. These columns repeat their
        // texts, and comparisons would spend most of their time on the ties.
        if (!firstSortByBytes(keys, scratch, flip, twoThreads, cancelled))
            return false;
    } else if (twoThreads) {
        // IDs differ: comparisons sort them faster than the passes over all eight bytes. Each half on a
        // core of its own, then the halves merged.
        const auto middle = keys.begin() + std::ptrdiff_t(n / 2);
        onTwoThreads([&] { std::sort(keys.begin(), middle, before); },
                     [&] { std::sort(middle, keys.end(), before); });
        SortKeys merged(n);
        std::merge(keys.begin(), middle, middle, keys.end(), merged.begin(), before);
        keys.swap(merged);
    } else {
        std::sort(keys.begin(), keys.end(), before);
    }
    // Its groups, each half of them on a core of its own.
    Ranges longer;
    if (twoThreads) {
        std::size_t split = n / 2;
        while (split < n && keyCompare(keys[split - 1], keys[split]) == 0)
            ++split;
        Ranges secondLonger;
        onTwoThreads([&] { group(0, split, longer); }, [&] { group(split, n, secondLonger); });
        longer.insert(longer.end(), secondLonger.begin(), secondLonger.end());
    } else {
        group(0, n, longer);
    }
    // The rounds sort their long ranges where each range's room lies.
    if (!longer.empty() && scratch.size() != n)
        scratch.resize(n);
    for (std::size_t offset = 8; !longer.empty(); offset += 8) {
        if (cancelled())
            return false;
        const Ranges ranges = std::move(longer);
        longer.clear();
        std::size_t rows = 0;
        for (const auto &[begin, end] : ranges)
            rows += end - begin;
        if (rows < splitFrom_) {
            round(ranges, 0, ranges.size(), offset, longer);
            continue;
        }
        // Many rows left: half of them on another core.
        std::size_t split = 0;
        for (std::size_t taken = 0; taken < rows / 2; ++split)
            taken += ranges[split].second - ranges[split].first;
        Ranges secondLonger;
        onTwoThreads([&] { round(ranges, 0, split, offset, longer); },
                     [&] { round(ranges, split, ranges.size(), offset, secondLonger); });
        longer.insert(longer.end(), secondLonger.begin(), secondLonger.end());
    }
    if (cancelled())
        return false;
    return takeOrder([&](std::size_t i) { return keys[i].position; });
}

void TRecordListModel::applyOrder(int column, int direction)
{
    if (formerRows_.size() != rows_.size() || sorted_.size() != rows_.size())
        return; // no order worked out for these rows
    Q_EMIT layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    rows_.swap(sorted_);
    // The selection and the current row move with their rows.
    const QModelIndexList persistent = persistentIndexList();
    if (!persistent.isEmpty()) {
        std::vector<std::uint32_t> newRow(formerRows_.size());
        for (std::size_t i = 0; i < formerRows_.size(); ++i)
            newRow[formerRows_[i]] = static_cast<std::uint32_t>(i);
        QModelIndexList moved;
        for (const QModelIndex &index : persistent)
            moved << index.sibling(static_cast<int>(newRow[static_cast<std::size_t>(index.row())]),
                                   index.column());
        changePersistentIndexList(persistent, moved);
    }
    formerRows_.clear(); // its room stays for the next sort
    sortedBy_ = column;
    sortedDirection_ = direction;
    Q_EMIT layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}
