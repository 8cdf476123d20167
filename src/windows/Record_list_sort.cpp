// The transaction list's sort (TRecordListModel::orderRows, then applyOrder): amounts, dates and times
// by one number per row that holds the whole value, sorted byte by byte; texts by a key of eight bytes
// of them per row, TListSortKey, sorted round by round, a long list's parted first by its keys'
// highest bytes so that the passes over the others go over parts in the cache; on two threads for a
// long list. The byte by byte sorts are in Record_list_bytes.h.
#include "Record_list_model.h"

#include "Bcl.h"
#include "Record_list_bytes.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <future>
#include <system_error>
#include <type_traits>
#include <utility>

using namespace list_sort;

namespace {

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

// From how many times the rows from which a sort is shared a text sort's room is made beside its keys
// (by default 4,194,304 rows, 96 MB of keys).
constexpr std::size_t roomAheadFactor = 64;

// Fetches the text of the key ahead (always inlined, as fetchRow).
[[gnu::always_inline]] inline void fetchText(const SortKeys &keys, std::size_t i, std::size_t end)
{
    if (i + textAhead < end)
        __builtin_prefetch(keys[i + textAhead].text);
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
            roomMade = std::async(std::launch::async, [&scratch, n] {
                scratch.resize(n);
                touchPages(scratch);
            });
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
        // IDs differ: comparisons sort them faster than the passes over all eight bytes.
        sortOnTwo(keys.data(), n, before);
    } else {
        std::sort(keys.begin(), keys.end(), before);
    }
    // Its groups, each half of them on a core of its own. The group of the middle row (a status that
    // most rows have) is looked through by both, each up to or from that row.
    Ranges longer;
    if (twoThreads) {
        const std::size_t middle = n / 2;
        const SortKey &middleKey = keys[middle];
        const auto from = keys.begin();
        const auto first = static_cast<std::size_t>(
            std::partition_point(from, from + std::ptrdiff_t(middle),
                                 [&](const SortKey &k) { return keyCompare(k, middleKey) != 0; }) -
            from);
        const auto last = static_cast<std::size_t>(
            std::partition_point(from + std::ptrdiff_t(middle), keys.end(),
                                 [&](const SortKey &k) { return keyCompare(k, middleKey) == 0; }) -
            from);
        const bool lookThrough = middleKey.length == 9 && last - first > 1;
        bool firstSame = true;
        bool secondSame = true;
        Ranges secondLonger;
        onTwoThreads(
            [&] {
                group(0, first, longer);
                firstSame = !lookThrough || sameTexts(first, middle + 1);
            },
            [&] {
                secondSame = !lookThrough || sameTexts(middle, last);
                group(last, n, secondLonger);
            });
        if (!firstSame || !secondSame) {
            if (last - first <= 64)
                sortWhole(first, last);
            else
                longer.emplace_back(first, last);
        }
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
