// The record store: the keys' folding and hash, the store's memory in chunks of its own, its hash
// index, the texts its records share, and the order by ID that it sorts into after a run of
// insertions. Uses the record and its packed texts (Qv_file_internal.h).
#include "Qv_store.h"

#include "Qv_file_internal.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include <sys/mman.h>

using namespace qv_internal;

std::uint64_t qv_key_hash(std::string_view key)
{
    const Thash_key &k = hash_key();
    const char *p = key.data();
    std::size_t n = key.size();
    std::uint64_t h = k.k0 ^ n;
    for (; n >= 8; n -= 8, p += 8)
        h = mix(fold8(word8(p)) ^ k.k1, h ^ k.k2);
    if (n > 0)
        h = mix(fold8(short_word(p, n)) ^ k.k1, h ^ k.k2);
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

Tqv_records::Timpl::~Timpl()
{
    for (const auto &[begin, size] : regions)
        ::munmap(begin, size);
}

unsigned char *Tqv_records::Timpl::allocate(std::size_t bytes, std::uint32_t &ref)
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

void Tqv_records::Timpl::next_chunk()
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

unsigned char *Tqv_records::Timpl::map_region()
{
    const std::size_t size = region_size(regions.size());
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

std::pair<unsigned char *, std::size_t> Tqv_records::Timpl::next_pages(std::size_t bytes) const
{
    if (at == nullptr)
        return {nullptr, 0};
    unsigned char *const limit = region_left != nullptr ? region_end : end;
    const std::size_t size = std::min(bytes, static_cast<std::size_t>(limit - at));
    return {at, size};
}

std::string_view Tqv_records::Timpl::keep(std::string_view text)
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

void Tqv_records::Timpl::learn(qv_text_field f, std::string_view text)
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
        std::vector<std::uint32_t> bigger(std::max<std::size_t>(256, ix.table.size() * 2));
        const std::size_t mask = bigger.size() - 1;
        for (std::size_t n = 0; n < texts.size(); ++n) {
            const std::uint64_t h = text_hash(texts[n]);
            std::size_t i = h & mask;
            while (bigger[i] != 0)
                i = (i + 1) & mask;
            bigger[i] = shared_tag(h) << 16 | static_cast<std::uint32_t>(n + 1);
        }
        ix.table.swap(bigger);
    }
    reserve_one(texts);
    reserve_one(ix.probes);
    const std::string_view kept = keep(text);
    texts.push_back(kept);
    Tshared_probe &probe = ix.probes.emplace_back();
    if (text.size() <= Tshared_probe::probe_max) {
        probe.size = static_cast<std::uint8_t>(text.size());
        std::memcpy(probe.bytes, text.data(), text.size());
    } else {
        probe.size = Tshared_probe::longer;
    }
    const std::size_t mask = ix.table.size() - 1;
    std::size_t i = hash & mask;
    while (ix.table[i] != 0)
        i = (i + 1) & mask;
    ix.table[i] = shared_tag(hash) << 16 | static_cast<std::uint32_t>(texts.size());
}

Tqv_record_object *Tstore_access::insert(Tqv_records &store, std::string_view key, std::uint64_t hash,
                                         const Tqv_numbers &numbers, const unsigned char *block,
                                         std::size_t size, std::uint8_t mark)
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

void Tstore_access::grow(Tqv_records::Timpl &d)
{
    decltype(d.slots) bigger(d.slots.size() * 2);
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

// From how many records a run of insertions is sorted on two threads.
constexpr std::size_t sort_halves_from = 16384;

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
    const auto by_key = [](const auto &a, const auto &b) {
        if (a.first != b.first)
            return a.first < b.first;
        return qv_key_compare(a.second->data.trans_id(), b.second->data.trans_id()) < 0;
    };
    // A long run is sorted on two cores, each half apart, then the halves are merged.
    bool halves = false;
    if (keys.size() >= sort_halves_from && std::thread::hardware_concurrency() > 1) {
        const auto middle = keys.begin() + static_cast<std::ptrdiff_t>(keys.size() / 2);
        try {
            std::thread other([&] { std::sort(middle, keys.end(), by_key); });
            std::sort(keys.begin(), middle, by_key);
            other.join();
            halves = true;
        } catch (const std::system_error &) {
            // No second thread: the run is sorted whole below.
        }
        if (halves)
            std::inplace_merge(keys.begin(), middle, keys.end(), by_key);
    }
    if (!halves)
        std::sort(keys.begin(), keys.end(), by_key);
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
