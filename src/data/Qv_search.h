// The plain computations behind the windows' search and reports: which records match a typed text,
// and the points of a report. Uses the store.
#pragma once

#include "Qv_store.h"

#include <cstddef>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

enum class qv_search_field { trans_id, from_email, name };

// Lower-cases a name for the name search; the default makes ASCII capitals small only.
using qv_lower_fn = std::function<std::string(std::string_view)>;
// Asked now and then during a walk of the store with the records walked so far, whether to go on: a
// walk told to stop returns at once with what it has found (the caller then knows it is partial).
using qv_go_on_fn = std::function<bool(std::size_t walked)>;
// How many records a walk takes between two questions.
constexpr std::size_t qv_walk_step = 65536;

// Positions (store order) of the records whose field contains text, byte for byte. For the name search
// the typed text has its ASCII capitals made small and each name is lowered by lower (ASCII names are
// lowered without calling it). A transaction ID or e-mail address that is not ASCII is searched in the
// text that shown makes of it (the text as the user reads it, in the encoding of text) when shown is
// given. From 131,072 records on, the second half of the store is searched on a thread of its own:
// lower and shown are then called on either thread, and go_on on either but by one at a time, with
// what both have walked. An exception of any of them is thrown again here.
std::vector<std::size_t> qv_search_records(const Tqv_records &store, qv_search_field field,
                                           std::string_view text, const qv_lower_fn &lower = {},
                                           const qv_lower_fn &shown = {}, const qv_go_on_fn &go_on = {});
// From how many records a search is shared by two threads (131,072); tests set fewer. 0 restores it.
void qv_search_set_split_from(std::size_t records);

enum class qv_report_value { quantity, gross };

struct qv_report_point {
    qv_date date;
    double value = 0;
    friend bool operator==(const qv_report_point &, const qv_report_point &) = default;
};

// One point per calendar month that holds a record dated in [from, to], dated as that record and
// totalling the month's records dated in the range; in the order in which each month's first record
// in range comes in store order. Resets and sets report_mark.
std::vector<qv_report_point> qv_report_month(Tqv_records &store, const qv_date &from, const qv_date &to,
                                             qv_report_value value, const qv_go_on_fn &go_on = {});
// One point per record dated in [from, to], in store order.
std::vector<qv_report_point> qv_report_day(const Tqv_records &store, const qv_date &from, const qv_date &to,
                                           qv_report_value value, const qv_go_on_fn &go_on = {});
