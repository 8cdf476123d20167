// The record store: one record per transaction ID, ignoring letter case, the first copy winning, in
// ascending ID order. Uses the record.
#pragma once

#include "Qv_record.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

// Compares two transaction IDs ignoring the case of ASCII letters (byte order otherwise).
int qv_key_compare(std::string_view a, std::string_view b);
// A hash of a transaction ID that ignores the case of ASCII letters.
std::uint64_t qv_key_hash(std::string_view key);

// One record per transaction ID, ignoring case; the first record added under an ID stays. Lookups and
// insertions are hashed; positions are in ascending ID order, sorted once after a run of insertions.
// The store holds its records in large blocks of its own; a record added from outside is copied there.
class Tqv_records {
public:
    Tqv_records();
    ~Tqv_records();
    Tqv_records(const Tqv_records &) = delete;
    Tqv_records &operator=(const Tqv_records &) = delete;

    // The record stored under key, ignoring case; null for an empty key or an unknown one.
    Tqv_record_object *find(std::string_view key) const { return find(key, qv_key_hash(key)); }
    // Stores a copy of rec under its trans_id. Returns false, storing nothing, when rec is null, its ID
    // is empty or an equal ID is stored already. rec is discarded either way.
    bool add(std::unique_ptr<Tqv_record_object> rec);
    // The same with the key's qv_key_hash already at hand (a load hashes each ID once).
    Tqv_record_object *find(std::string_view key, std::uint64_t hash) const;
    bool add(std::unique_ptr<Tqv_record_object> rec, std::uint64_t hash);
    std::size_t count() const { return order_.size(); }
    // The record at pos (0 .. count - 1) in ascending ID order.
    Tqv_record_object *record_at(std::size_t pos) const
    {
        if (sorted_ != order_.size())
            sort();
        return order_[pos];
    }
    void clear_marks();

private:
    friend class Tstore_access;
    struct Timpl;
    void sort() const;

    mutable std::vector<Tqv_record_object *> order_;
    mutable std::size_t sorted_ = 0; // order_[0, sorted_) is in ID order
    std::unique_ptr<Timpl> impl_;    // the records' memory, the hash index, the shared texts
};
