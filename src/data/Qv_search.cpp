// The plain computations behind the windows' search and reports: the records whose transaction ID,
// e-mail address or name holds a typed text, and the points of the month and day reports. Uses the
// store's walk in ID order and the key folding (Qv_file_internal.h).
#include "Qv_search.h"

#include "Qv_file_internal.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <future>
#include <mutex>
#include <unordered_map>

using namespace qv_internal;

namespace {

// Whether a walk asks whether to go on once it has walked so many records: at every qv_walk_step
// records after the first.
bool asks_at(std::size_t walked)
{
    return walked > 0 && walked % qv_walk_step == 0;
}

// Whether a walk at pos is to stop.
bool stop_here(const qv_go_on_fn &go_on, std::size_t pos)
{
    return go_on && asks_at(pos) && !go_on(pos);
}

constexpr std::size_t default_search_split_from = std::size_t{1} << 17;
std::atomic<std::size_t> search_split_from{default_search_split_from};

} // namespace

void qv_search_set_split_from(std::size_t records)
{
    search_split_from = records == 0 ? default_search_split_from : records;
}

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
    const auto matches = [&](const Tqv_record &rec) {
        switch (field) {
        case qv_search_field::trans_id:
            return contains(rec.trans_id());
        case qv_search_field::from_email:
            return contains(rec.from_email());
        case qv_search_field::name: {
            const std::string_view name = rec.name();
            if (is_ascii(name) || !lower) {
                char ascii_lower[qv_column_max + 1];
                for (std::size_t i = 0; i < name.size(); ++i)
                    ascii_lower[i] = static_cast<char>(fold(name[i]));
                return std::string_view(ascii_lower, name.size()).find(typed) != std::string_view::npos;
            }
            return lower(name).find(typed) != std::string::npos;
        }
        }
        return false;
    };
    const std::size_t count = store.count();
    if (count == 0)
        return found;
    store.record_at(0); // the store's order in ID order is made once, before any thread reads it
    // The positions of [begin, end) that match, into out; stopped() is asked as stop_here asks, with
    // how many this walk has taken.
    const auto walk = [&](std::size_t begin, std::size_t end, std::vector<std::size_t> &out, auto &&stopped) {
        for (std::size_t pos = begin; pos < end; ++pos) {
            if (asks_at(pos - begin) && stopped(pos - begin))
                return;
            // The store's order is by ID; the records lie in memory in the order they were loaded.
            if (pos + 16 < end)
                qv_record_fetch(store.record_at(pos + 16)->data);
            if (matches(store.record_at(pos)->data))
                out.push_back(pos);
        }
    };
    if (count < search_split_from) {
        walk(0, count, found, [&](std::size_t walked) { return go_on && !go_on(walked); });
        return found;
    }
    // Most of a walk's time goes into waiting on the records' memory: over many records a second thread
    // walks the second half. go_on is asked by one thread at a time, with what both have walked.
    const std::size_t middle = count / 2;
    std::array<std::atomic<std::size_t>, 2> walked{};
    std::atomic<bool> stop{false};
    std::mutex asking;
    const auto stopped = [&](int half, std::size_t taken) {
        walked[half] = taken;
        if (stop || !go_on)
            return stop.load();
        const std::lock_guard<std::mutex> lock(asking);
        if (!stop && !go_on(walked[0] + walked[1]))
            stop = true;
        return stop.load();
    };
    std::vector<std::size_t> second;
    std::future<void> other = std::async(std::launch::async, [&] {
        try {
            walk(middle, count, second, [&](std::size_t taken) { return stopped(1, taken); });
        } catch (...) {
            stop = true; // the first half need not go on
            throw;
        }
    });
    try {
        walk(0, middle, found, [&](std::size_t taken) { return stopped(0, taken); });
    } catch (...) {
        stop = true;
        other.wait();
        throw;
    }
    other.get();
    found.insert(found.end(), second.begin(), second.end());
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
