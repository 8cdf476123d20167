// The one-thread sort of a run of text keys, which the two-thread sorts and the list's rounds share.
#include "Record_list_bytes.h"

namespace list_sort {

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

} // namespace list_sort
