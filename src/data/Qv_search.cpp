// The plain computations behind the windows' search and reports: the records whose transaction ID,
// e-mail address or name holds a typed text, and the points of the month and day reports. Uses the
// store's walk in ID order and the key folding (Qv_file_internal.h).
#include "Qv_search.h"

#include "Qv_file_internal.h"

#include <algorithm>
#include <cstdint>
#include <unordered_map>

using namespace qv_internal;

namespace {

// Whether a walk at pos is to stop: asked at every qv_walk_step records after the first.
bool stop_here(const qv_go_on_fn &go_on, std::size_t pos)
{
    return go_on && pos > 0 && pos % qv_walk_step == 0 && !go_on(pos);
}

} // namespace

std::vector<std::size_t> qv_search_records(const Tqv_records &store, qv_search_field field,
                                           std::string_view text, const qv_lower_fn &lower,
                                           const qv_lower_fn &shown, const qv_go_on_fn &go_on)
{
    std::vector<std::size_t> found;
    if (text.empty())
        return found;
    std::string typed(text);
    if (field == qv_search_field::name) {
        for (char &c : typed)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    }
    char ascii_lower[qv_column_max + 1];
    const auto is_ascii = [](std::string_view t) {
        return std::all_of(t.begin(), t.end(), [](char c) { return (c & 0x80) == 0; });
    };
    // A field that is not ASCII is searched as it is shown, so that the typed text finds it whichever
    // encoding the file used.
    const auto contains = [&](std::string_view f) {
        if (!shown || is_ascii(f))
            return f.find(typed) != std::string_view::npos;
        return shown(f).find(typed) != std::string::npos;
    };
    const std::size_t count = store.count();
    for (std::size_t pos = 0; pos < count; ++pos) {
        if (stop_here(go_on, pos))
            break;
        // The store's order is by ID; the records lie in memory in the order they were loaded.
        if (pos + 16 < count)
            qv_record_fetch(store.record_at(pos + 16)->data);
        const Tqv_record &rec = store.record_at(pos)->data;
        bool match = false;
        switch (field) {
        case qv_search_field::trans_id:
            match = contains(rec.trans_id());
            break;
        case qv_search_field::from_email:
            match = contains(rec.from_email());
            break;
        case qv_search_field::name: {
            const std::string_view name = rec.name();
            const bool ascii = is_ascii(name);
            if (ascii || !lower) {
                for (std::size_t i = 0; i < name.size(); ++i)
                    ascii_lower[i] = static_cast<char>(fold(name[i]));
                match = std::string_view(ascii_lower, name.size()).find(typed) != std::string_view::npos;
            } else {
                match = lower(name).find(typed) != std::string::npos;
            }
            break;
        }
        }
        if (match)
            found.push_back(pos);
    }
    return found;
}

std::vector<qv_report_point> qv_report_month(Tqv_records &store, const qv_date &from, const qv_date &to,
                                             qv_report_value value, const qv_go_on_fn &go_on)
{
    std::vector<qv_report_point> points;
    std::vector<std::int64_t> totals; // hundredths or pieces, per point
    std::unordered_map<std::uint32_t, std::size_t> point_of_month;
    store.clear_marks();
    for (std::size_t pos = 0; pos < store.count(); ++pos) {
        if (stop_here(go_on, pos))
            break;
        Tqv_record_object *rec = store.record_at(pos);
        rec->report_mark = 1;
        const qv_date &date = rec->data.date;
        if (!qv_date_in_range(date, from, to))
            continue;
        const std::uint32_t month = std::uint32_t{date.year} << 16 | date.month;
        const auto [it, added] = point_of_month.try_emplace(month, points.size());
        if (added) {
            points.push_back({date, 0});
            totals.push_back(0);
        }
        totals[it->second] += value == qv_report_value::quantity ? rec->data.quantity : rec->data.gross;
    }
    for (std::size_t i = 0; i < points.size(); ++i) {
        points[i].value = value == qv_report_value::quantity ? static_cast<double>(totals[i])
                                                             : static_cast<double>(totals[i]) * 0.01;
    }
    return points;
}

std::vector<qv_report_point> qv_report_day(const Tqv_records &store, const qv_date &from, const qv_date &to,
                                           qv_report_value value, const qv_go_on_fn &go_on)
{
    std::vector<qv_report_point> points;
    for (std::size_t pos = 0; pos < store.count(); ++pos) {
        if (stop_here(go_on, pos))
            break;
        const Tqv_record &rec = store.record_at(pos)->data;
        if (!qv_date_in_range(rec.date, from, to))
            continue;
        points.push_back({rec.date, value == qv_report_value::quantity
                                        ? static_cast<double>(rec.quantity)
                                        : static_cast<double>(rec.gross) * 0.01});
    }
    return points;
}
