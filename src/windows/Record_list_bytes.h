// The byte by byte sorts that the transaction list's sort (Record_list_sort.cpp) is made of: of the
// rows' whole values (amounts, dates, times) and of their texts' keys of eight bytes, stable, on one
// thread or shared by two.
#pragma once

#include "Bcl.h"
#include "Record_list_model.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <future>
#include <utility>
#include <vector>

namespace list_sort {

using SortKey = TListSortKey;

// The sort's arrays, in the room of TListRoom (Record_list_model.h).
template <class T> using ListArray = std::vector<T, TListRoom<T>>;

// Writes a byte in every page of items, so that the passes that fill them later find them mapped.
template <class T> void touchPages(ListArray<T> &items)
{
    auto *const bytes = reinterpret_cast<unsigned char *>(items.data());
    const std::size_t size = items.size() * sizeof(T);
    for (std::size_t at = 0; at < size; at += 4096)
        bytes[at] = 0;
}

using SortKeys = ListArray<SortKey>;

// The rows' whole numbers, for the columns that sort by one (sortValues).
using Values = ListArray<std::uint64_t>;

// Whether all n items counted have the same byte: a pass over that byte would move nothing.
inline bool allAgree(const std::array<std::size_t, 256> &counts, std::size_t n)
{
    return std::find(counts.begin(), counts.end(), n) != counts.end();
}

// A key's length and prefix as the byte passes order them, ascending or descending as flip says (the
// complement for descending).
inline std::uint64_t lengthOf(const SortKey &key, std::uint64_t flip)
{
    return (key.length ^ flip) & 0xFF;
}
inline std::uint64_t prefixOf(const SortKey &key, std::uint64_t flip)
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

// Sorts items [0, n) as std::sort does, on two threads: they are first parted around one of them,
// the middle of a sorted sample, each half of the items on a core of its own, and each part is then
// sorted on a core of its own. It needs no room of its own, where sorting halves and merging them
// needed the items' size again in fresh memory, which on some machines costs more than the sort.
// before must order no two items alike (the list's keys differ in their positions).
template <class Item, class Before> void sortOnTwo(Item *items, std::size_t n, Before before)
{
    if (n < 2)
        return;
    // The sample's items are spread evenly over the whole, so that in any order of items the middle's
    // parts are near halves unless the items lie in a pattern of that spacing (the parts are then
    // shared less evenly, and sorted as well).
    constexpr std::size_t samples = 255;
    std::vector<Item> sample;
    sample.reserve(samples);
    for (std::size_t s = 0; s < samples; ++s)
        sample.push_back(items[(n - 1) * s / (samples - 1)]);
    std::nth_element(sample.begin(), sample.begin() + samples / 2, sample.end(), before);
    const Item middle = sample[samples / 2];
    const auto less = [&](const Item &item) { return before(item, middle); };
    // Each half parted on a core, then the second half's lesser items and the first half's others
    // swapped, so that [0, lesser) holds all the lesser items.
    const std::size_t half = n / 2;
    const auto lesserOf = [&](std::size_t begin, std::size_t end) {
        return std::size_t(std::partition(items + begin, items + end, less) - (items + begin));
    };
    std::size_t firstLesser = 0;
    std::size_t secondLesser = 0;
    onTwoThreads([&] { firstLesser = lesserOf(0, half); }, [&] { secondLesser = lesserOf(half, n); });
    const std::size_t swapped = std::min(half - firstLesser, secondLesser);
    std::swap_ranges(items + firstLesser, items + firstLesser + swapped,
                     items + half + secondLesser - swapped);
    const std::size_t lesser = firstLesser + secondLesser;
    onTwoThreads([&] { std::sort(items, items + lesser, before); },
                 [&] { std::sort(items + lesser, items + n, before); });
}

// Orders items stably by the bits [low, low + bits) of their values, a pass per byte from the lowest,
// passing over the bytes in which all items agree. It takes time in proportion to the items, where
// comparing them takes more the more there are. With twoThreads each pass is shared: each thread
// counts and moves one half of the items, the first half's before the second's among equal bytes.
// Other is room for the passes, made the size of items when it is not (what it holds after is of no
// use). False once cancelled() says so.
template <class Item, class ValueOf, class Cancelled>
bool radixSort(ListArray<Item> &items, ListArray<Item> &other, ValueOf valueOf, unsigned low, unsigned bits,
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
bool radixSort(ListArray<Item> &items, ValueOf valueOf, unsigned low, unsigned bits, bool twoThreads,
               Cancelled &&cancelled)
{
    ListArray<Item> other;
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

// How many of the keys [begin, end) have each value of each of the low left bytes of their prefixes,
// and (the last) of their lengths, as flip orders them.
using KeyCounts = std::array<std::array<std::size_t, 256>, 9>;
constexpr unsigned lengthCounts = 8;
void countKeys(const SortKey *keys, std::size_t begin, std::size_t end, unsigned left, std::uint64_t flip,
               KeyCounts &counts);

// Orders the n keys at keys stably by the low left bytes of their prefixes (all agree on the bytes
// above), then by their lengths, ascending or descending as flip says, through scratch (room for n
// keys). A run too long for the cache is first parted by the highest byte in which its keys differ,
// each part then sorted the same way: the passes over the bytes below go over parts in the cache,
// not over the whole run in memory.
void sortKeyRun(SortKey *keys, SortKey *scratch, std::size_t n, unsigned left, std::uint64_t flip);

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
    ListArray<WideValue> wide(n);
    for (std::size_t i = 0; i < n; ++i)
        wide[i] = {values[i] >> low, static_cast<std::uint32_t>(i)};
    if (!radixSort(
            wide, [](const WideValue &w) { return w.value; }, 0, bits, twoThreads, cancelled))
        return false;
    for (std::size_t i = 0; i < n; ++i)
        values[i] = wide[i].position;
    return true;
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

} // namespace list_sort
