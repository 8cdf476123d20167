#include "Qv_file.h"
#include "Qv_file_internal.h"
#include "history_text.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <unordered_map>
#include <vector>

namespace {

std::unique_ptr<Tqv_record_object> record(std::string_view id, amount gross = 0)
{
    auto rec = std::make_unique<Tqv_record_object>();
    std::array<std::string_view, qv_text_field_count> texts{};
    texts[qv_f_trans_id] = id;
    rec->data.set_texts(texts);
    rec->data.gross = gross;
    return rec;
}

// Loads the history text file into store in blocks of 4 KiB, so that the texts that repeat are shared
// from the second run of lines on; returns the load's report.
qv_load_report load_in_small_blocks(Tqv_records &store, const std::string &file, const std::string &name)
{
    qv_load_report report;
    qv_load_set_block_size(4096);
    qv_load_history_text(store, file, name, report);
    qv_load_set_block_size(0);
    return report;
}

std::vector<std::string> ids(const Tqv_records &store)
{
    std::vector<std::string> out;
    for (std::size_t i = 0; i < store.count(); ++i)
        out.emplace_back(store.record_at(i)->data.trans_id());
    return out;
}

TEST(Store, KeepsTheFirstRecordOfAnIdIgnoringCase)
{
    Tqv_records store;
    EXPECT_TRUE(store.add(record("abc", 1)));
    EXPECT_FALSE(store.add(record("ABC", 2)));
    EXPECT_FALSE(store.add(record("abc", 3)));
    EXPECT_FALSE(store.add(record("")));
    EXPECT_FALSE(store.add(nullptr));
    ASSERT_EQ(store.count(), 1u);
    ASSERT_NE(store.find("aBc"), nullptr);
    EXPECT_EQ(store.find("aBc")->data.gross, 1);
    EXPECT_EQ(store.find(""), nullptr);
    EXPECT_EQ(store.find("abcd"), nullptr);
}

TEST(Store, PositionsFollowTheIdOrderIgnoringCaseWithDigitsFirst)
{
    Tqv_records store;
    for (const char *id : {"b2", "A1", "a0", "9Z", "B10", "b"})
        store.add(record(id));
    EXPECT_EQ(ids(store), (std::vector<std::string>{"9Z", "a0", "A1", "b", "B10", "b2"}));
    // Adding after a walk keeps the order.
    store.add(record("a05"));
    store.add(record("0"));
    EXPECT_EQ(ids(store), (std::vector<std::string>{"0", "9Z", "a0", "a05", "A1", "b", "B10", "b2"}));
}

TEST(Store, ManyRecordsInAnyOrderGiveTheSameStore)
{
    std::vector<std::string> keys;
    for (int i = 0; i < 20000; ++i)
        keys.push_back("ID" + std::to_string(i * 7919 % 100003));
    std::vector<std::string> shuffled = keys;
    std::mt19937 rng(5);
    std::shuffle(shuffled.begin(), shuffled.end(), rng);

    Tqv_records a;
    Tqv_records b;
    for (const std::string &k : keys)
        a.add(record(k));
    for (const std::string &k : shuffled)
        b.add(record(k));
    ASSERT_EQ(a.count(), keys.size());
    EXPECT_EQ(ids(a), ids(b));
    const std::vector<std::string> order = ids(a);
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end(), [](const std::string &x, const std::string &y) {
        return qv_key_compare(x, y) < 0;
    }));
    for (const std::string &k : keys)
        ASSERT_NE(a.find(k), nullptr) << k;
}

// Runs long enough to be sorted in halves on two threads give the ID order, with IDs that agree on
// their first eight bytes and differ in case, a second run merged into the first.
TEST(Store, LongRunsOfInsertionsSortIntoIdOrder)
{
    std::vector<std::string> keys;
    for (int i = 0; i < 36000; ++i) // two runs of more than the 16,384 that are sorted in halves
        keys.push_back((i % 3 == 0   ? "Prefixed-"
                        : i % 3 == 1 ? "pREFIXED-"
                                     : "P") +
                       std::to_string(i * 7919 % 100003));
    std::vector<std::string> shuffled = keys;
    std::mt19937 rng(7);
    std::shuffle(shuffled.begin(), shuffled.end(), rng);

    Tqv_records whole;
    for (const std::string &k : shuffled)
        whole.add(record(k));
    Tqv_records in_runs;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        in_runs.add(record(keys[i]));
        if (i == 18000)
            in_runs.record_at(0); // the first run is sorted here, the rest merged into it
    }
    const std::vector<std::string> order = ids(whole);
    ASSERT_EQ(order.size(), keys.size());
    EXPECT_TRUE(std::is_sorted(order.begin(), order.end(), [](const std::string &x, const std::string &y) {
        return qv_key_compare(x, y) < 0;
    }));
    EXPECT_EQ(ids(in_runs), order);
}

TEST(Store, ClearMarksResetsEveryRecord)
{
    Tqv_records store;
    store.add(record("a"));
    store.add(record("b"));
    store.record_at(0)->report_mark = 1;
    store.record_at(1)->report_mark = 1;
    store.clear_marks();
    EXPECT_EQ(store.record_at(0)->report_mark, 0);
    EXPECT_EQ(store.record_at(1)->report_mark, 0);
}

// A record of the store can be given new texts; a copy of it owns its texts and outlives the store.
TEST(Store, RecordsOfTheStoreTakeNewTextsAndCopiesKeepTheirs)
{
    auto store = std::make_unique<Tqv_records>();
    std::string text = "\"1/2/2020\",";
    for (int c = 1; c < 42; ++c)
        text += "\"" + std::string(c == 11 ? "K" : c == 3 ? "Ann Lee" : c == 5 ? "Completed" : "") + "\",";
    std::string file = text + "\n";
    for (int i = 0; i < 3000; ++i) {
        std::string line = text;
        line.replace(line.find("\"K\""), 3, "\"K" + std::to_string(i) + "\"");
        file += line + "\n";
    }
    load_in_small_blocks(*store, file, "shared.csv");
    ASSERT_EQ(store->count(), 3000u);
    // A name met on every line is held once.
    EXPECT_EQ(store->find("K2000")->data.name().data(), store->find("K2999")->data.name().data());
    EXPECT_EQ(store->find("K2999")->data.name(), "Ann Lee");

    const Tqv_record copy = store->find("K7")->data;
    std::array<std::string_view, qv_text_field_count> texts{};
    texts[qv_f_trans_id] = "K7";
    texts[qv_f_name] = "Other";
    store->find("K7")->data.set_texts(texts);
    EXPECT_EQ(store->find("k7")->data.name(), "Other");
    EXPECT_EQ(store->find("K7")->data.status(), "");
    store.reset();
    EXPECT_EQ(copy.trans_id(), "K7");
    EXPECT_EQ(copy.name(), "Ann Lee");
    EXPECT_EQ(copy.status(), "Completed");
    EXPECT_EQ(copy.date, (qv_date{2020, 1, 2}));
}

// Texts that differ only late, or only in length, are told apart when they are shared: short ones are
// compared in the lookup's own copy, long ones in full. Every record gets its own text back, and the
// copies of one text share one place.
TEST(Store, SharedTextsAlikeToTheLastByteAreToldApart)
{
    const std::string base(127, 'x');
    std::vector<std::string> titles;
    for (const std::size_t size : {1, 8, 30, 31, 32, 33, 64, 126, 127}) {
        std::string t = base.substr(0, size);
        titles.push_back(t);
        t.back() = 'y'; // the same length, the last byte other
        titles.push_back(t);
    }
    titles.push_back(base.substr(0, 31) + "z"); // the first 31 bytes of a text of 32
    titles.push_back(base.substr(0, 31) + "zz");
    std::string file = testing_history::header_line;
    std::vector<std::string> wanted;
    std::mt19937 rng(7);
    for (int i = 0; i < 4000; ++i) {
        const std::string &title = titles[rng() % titles.size()];
        wanted.push_back(title);
        file += testing_history::line({{0, "1/2/2020"}, {11, "K" + std::to_string(i)}, {14, title}});
    }
    Tqv_records store;
    load_in_small_blocks(store, file, "alike.csv");
    ASSERT_EQ(store.count(), wanted.size());
    // By the second half of the file every title has been met and shared: one place each.
    std::map<std::string, std::set<const char *>> places;
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const std::string_view title = store.find("K" + std::to_string(i))->data.item_title();
        ASSERT_EQ(title, wanted[i]) << "record " << i;
        if (i >= wanted.size() / 2)
            places[wanted[i]].insert(title.data());
    }
    ASSERT_EQ(places.size(), titles.size());
    for (const auto &[title, at] : places)
        EXPECT_EQ(at.size(), 1u) << title.size() << " bytes, ending in " << title.back();
}

// Two texts of the same length, prefix and a number of seven digits, whose hashes give the same
// key_of, found by drawing numbers until two meet (a key of 32 bits meets within some 100,000 draws).
template <class KeyOf>
std::pair<std::string, std::string> meeting_texts(const std::string &prefix, KeyOf key_of)
{
    std::unordered_map<std::uint64_t, std::string> drawn;
    for (int n = 0; n < 5'000'000; ++n) {
        std::string text = prefix + std::to_string(1'000'000 + n);
        const auto [at, fresh] = drawn.try_emplace(key_of(text), text);
        if (!fresh)
            return {at->second, text};
    }
    ADD_FAILURE() << "no two texts met";
    return {};
}

// The hash key is drawn anew in every run, so texts whose hashes meet are searched for at run time:
// shared texts whose lookups meet the same tag in the same place of the table, short ones (compared
// in the lookup's copy) and long ones (compared in the field's list), are told apart by their bytes,
// and so are IDs whose index tags are equal.
TEST(Store, TextsWhoseHashesMeetAreToldApart)
{
    const auto shared_meeting = [](const std::string &prefix) {
        return meeting_texts(prefix, [](const std::string &text) {
            const std::uint64_t hash = qv_internal::text_hash(text);
            return hash >> 48 << 16 | (hash & 0xFFFF); // the tag and the place in a table of up to 65,536
        });
    };
    const auto [short_a, short_b] = shared_meeting("t");
    const auto [long_a, long_b] = shared_meeting("An item title longer than a lookup's copy, number ");
    ASSERT_LE(short_b.size(), qv_internal::Tshared_probe::probe_max);
    ASSERT_GT(long_a.size(), qv_internal::Tshared_probe::probe_max);
    const auto [id_a, id_b] =
        meeting_texts("ID", [](const std::string &text) { return qv_key_hash(text) >> 32; });

    // The first of each pair is shared before the second is met; then both come in turns.
    std::string file = testing_history::header_line;
    std::vector<std::pair<std::string, std::string>> wanted; // item title, name
    for (int i = 0; i < 600; ++i) {
        const bool later = i >= 200 && i % 2 == 1;
        wanted.emplace_back(later ? long_b : long_a, later ? short_b : short_a);
        file += testing_history::line({{0, "1/2/2020"},
                                       {11, "K" + std::to_string(i)},
                                       {14, wanted.back().first},
                                       {3, wanted.back().second}});
    }
    file += testing_history::line({{0, "1/2/2020"}, {11, id_a}, {14, "first"}});
    file += testing_history::line({{0, "1/2/2020"}, {11, id_b}, {14, "second"}});
    file += testing_history::line({{0, "1/2/2020"}, {11, id_a}, {14, "a copy"}});
    Tqv_records store;
    const qv_load_report report = load_in_small_blocks(store, file, "meeting.csv");

    ASSERT_EQ(store.count(), wanted.size() + 2);
    EXPECT_EQ(report.counts.duplicates, 1u);
    for (std::size_t i = 0; i < wanted.size(); ++i) {
        const Tqv_record &rec = store.find("K" + std::to_string(i))->data;
        ASSERT_EQ(rec.item_title(), wanted[i].first) << "record " << i;
        ASSERT_EQ(rec.name(), wanted[i].second) << "record " << i;
    }
    ASSERT_NE(store.find(id_a), nullptr);
    ASSERT_NE(store.find(id_b), nullptr);
    EXPECT_EQ(store.find(id_a)->data.item_title(), "first");
    EXPECT_EQ(store.find(id_b)->data.item_title(), "second");
}

// texts() gives in one pass what text() gives field by field: shared texts (one or two bytes of number),
// texts held in the record, empty ones, for records of a store and records of their own.
TEST(Store, AllTextsAtOnceAreTheTextsOneByOne)
{
    std::string file = testing_history::header_line;
    for (int i = 0; i < 3000; ++i) {
        std::string line;
        for (int c = 0; c < 42; ++c) {
            std::string text;
            if (c == 11)
                text = "K" + std::to_string(i);
            else if (c == 0)
                text = "1/2/2020";
            else if (c == 1 || c == 6 || c == 7 || c == 8 || c == 16 || c == 18 || c == 32 || c == 34)
                text = "";             // the time, amounts and quantity are numbers
            else if ((i + c) % 5 != 0) // empty here and there
                text =
                    "c" + std::to_string(c) + "-" + std::to_string(c % 3 == 0 ? i : (i * 7) % (c * 20 + 1));
            line += "\"" + text + "\",";
        }
        file += line + "\n";
    }
    Tqv_records store;
    load_in_small_blocks(store, file, "texts.csv");
    ASSERT_EQ(store.count(), 3000u);

    std::vector<Tqv_record> records;
    for (std::size_t i = 0; i < store.count(); ++i)
        records.push_back(store.record_at(i)->data);
    records.emplace_back(); // no texts at all
    records.push_back(store.record_at(0)->data);
    records.back().set_texts({});
    std::array<std::string_view, qv_text_field_count> one{};
    one[qv_f_phone] = "555";
    records.back().set_texts(one);

    std::set<const char *> places;
    std::size_t filled = 0;
    const auto check = [&](const Tqv_record &rec, const char *what, std::size_t i) {
        std::array<std::string_view, qv_text_field_count> all;
        all.fill("stale");
        rec.texts(all);
        for (int f = 0; f < qv_text_field_count; ++f) {
            const std::string_view want = rec.text(static_cast<qv_text_field>(f));
            ASSERT_EQ(all[f], want) << what << " " << i << ", field " << f;
            ASSERT_EQ(all[f].data(), want.data()) << what << " " << i << ", field " << f;
        }
    };
    for (std::size_t i = 0; i < store.count(); ++i) {
        const Tqv_record &rec = store.record_at(i)->data;
        check(rec, "stored record", i);
        if (!rec.text(qv_f_column20).empty())
            places.insert(rec.text(qv_f_column20).data());
        filled += !rec.text(qv_f_column20).empty();
    }
    for (std::size_t i = 0; i < records.size(); ++i)
        check(records[i], "own record", i);
    EXPECT_LT(places.size(), filled / 2); // most texts of the field are shared: both kinds were met
}

TEST(Store, EveryRegionOfMemoryHoldsWholeChunksUpToTheCap)
{
    // A store of several GiB maps many hundreds of regions; 64 MiB ones for ten million records.
    using qv_internal::chunk_size;
    using qv_internal::region_size;
    std::size_t before = 0;
    for (std::size_t n = 0; n < 100000; n += n < 64 ? 1 : 997) {
        const std::size_t size = region_size(n);
        ASSERT_GE(size, chunk_size) << "region " << n;
        ASSERT_EQ(size % chunk_size, 0u) << "region " << n;
        ASSERT_LE(size, qv_internal::region_size_max) << "region " << n;
        ASSERT_GE(size, before) << "region " << n;
        before = size;
    }
    EXPECT_EQ(region_size(0), chunk_size);
    EXPECT_EQ(region_size(1), 2 * chunk_size);
    EXPECT_EQ(region_size(64), qv_internal::region_size_max);
}

// The copies and compares of texts in words that may overlap: at every length a text can have and at
// any alignment, the copy is the text and writes nothing past it, and two texts that differ in any one
// byte are told apart.
TEST(ShortTexts, CopiedAndComparedWholeAtEveryLength)
{
    std::mt19937 random(11);
    char text[160];
    char other[160];
    for (std::size_t length = 0; length <= qv_column_max; ++length) {
        for (std::size_t at = 0; at < 8; ++at) {
            SCOPED_TRACE("length " + std::to_string(length) + ", at " + std::to_string(at));
            for (char &c : text)
                c = static_cast<char>('a' + random() % 26);
            std::memcpy(other, text, sizeof text);
            unsigned char out[160];
            std::memset(out, '#', sizeof out);
            qv_internal::copy_short(out + at, text + at, length);
            ASSERT_EQ(std::string_view(reinterpret_cast<const char *>(out + at), length),
                      std::string_view(text + at, length));
            ASSERT_EQ(std::count(out, out + sizeof out, '#'),
                      static_cast<std::ptrdiff_t>(sizeof out - length));

            const std::string_view a(text + at, length);
            const std::string_view b(other + at, length);
            ASSERT_TRUE(qv_internal::same_text(a, b));
            if (length > 0) {
                ASSERT_FALSE(qv_internal::same_text(a, b.substr(1)));
            }
            for (std::size_t i = 0; i < length; ++i) {
                other[at + i] = static_cast<char>(text[at + i] ^ 0x20);
                ASSERT_FALSE(qv_internal::same_text(a, b)) << "byte " << i;
                other[at + i] = text[at + i];
            }
        }
    }
}

TEST(KeyHash, TheLastBytesOfAKeyCountWhereverTheyLie)
{
    // A key's last bytes short of eight are read as a copy into a word of zeros would give them, each
    // at its own place: at any length and alignment, a key differing in any one byte hashes otherwise,
    // and keys that differ in case only hash alike.
    std::mt19937 random(7);
    char buffer[96];
    for (std::size_t length = 1; length <= 80; ++length) {
        for (std::size_t at = 0; at < 8; ++at) {
            for (std::size_t i = 0; i < length; ++i)
                buffer[at + i] = static_cast<char>('a' + random() % 26);
            const std::string_view key(buffer + at, length);
            const std::uint64_t hash = qv_key_hash(key);
            const std::uint64_t text = qv_internal::text_hash(key);
            for (std::size_t i = 0; i < length; ++i) {
                SCOPED_TRACE("length " + std::to_string(length) + ", byte " + std::to_string(i));
                const char was = buffer[at + i];
                buffer[at + i] = static_cast<char>(was - 'a' + 'A');
                EXPECT_EQ(qv_key_hash(key), hash);
                EXPECT_NE(qv_internal::text_hash(key), text);
                buffer[at + i] = was == 'z' ? 'a' : static_cast<char>(was + 1);
                EXPECT_NE(qv_key_hash(key), hash);
                EXPECT_NE(qv_internal::text_hash(key), text);
                buffer[at + i] = was;
            }
            if constexpr (std::endian::native == std::endian::little) {
                const std::size_t n = length % 8;
                if (n > 0) {
                    std::uint64_t copied = 0;
                    std::memcpy(&copied, buffer + at + length - n, n);
                    EXPECT_EQ(qv_internal::short_word(buffer + at + length - n, n), copied) << length;
                }
            }
        }
    }
}

TEST(KeyCompare, CaseInsensitiveShorterFirst)
{
    EXPECT_EQ(qv_key_compare("abc", "ABC"), 0);
    EXPECT_LT(qv_key_compare("ab", "abc"), 0);
    EXPECT_LT(qv_key_compare("9", "a"), 0);
    EXPECT_GT(qv_key_compare("Z", "a"), 0);
}

} // namespace
