// qv-bench-reports: figures of the reports over a store of records spread over 2010 to 2019, loaded from
// a history file or built in memory: a month report over the whole range, a day report over 2015, and
// the report window's resize, repaint and zoom afterwards. Runs offscreen (bench/reports/run-reports-bench).
//
//   qv-bench-reports --file history.csv     the records of a history file (qv-gen --years 2010-2019)
//   qv-bench-reports [--records N]          N records built in memory (default 1,000,000)
#include "Frm_report.h"

#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDate>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

double seconds(const std::function<void()> &work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void fillStore(Tqv_records &store, int count)
{
    std::mt19937 random(20240601);
    const QDate first(2010, 1, 1);
    const int days = static_cast<int>(first.daysTo(QDate(2019, 12, 31))) + 1;
    std::uniform_int_distribution<int> day(0, days - 1);
    std::uniform_int_distribution<int> quantity(1, 5);
    std::uniform_int_distribution<int> gross(-5000, 100000);
    std::vector<int> ids(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i)
        ids[static_cast<std::size_t>(i)] = i;
    std::shuffle(ids.begin(), ids.end(), random);
    std::array<std::string_view, qv_text_field_count> texts{};
    char id[32];
    for (int i = 0; i < count; ++i) {
        std::snprintf(id, sizeof id, "%017dX", ids[static_cast<std::size_t>(i)]);
        texts[qv_f_trans_id] = id;
        auto rec = std::make_unique<Tqv_record_object>();
        rec->data.set_texts(texts);
        const QDate d = first.addDays(day(random));
        rec->data.date = {std::uint16_t(d.year()), std::uint16_t(d.month()), std::uint16_t(d.day())};
        rec->data.quantity = quantity(random);
        rec->data.gross = gross(random);
        store.add(std::move(rec));
    }
    store.record_at(0); // sorted once, as after a load
}

void settle()
{
    for (int i = 0; i < 3; ++i)
        QCoreApplication::processEvents();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    std::string file;
    int count = 1'000'000;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--file") == 0) {
            file = argv[i + 1];
        } else if (std::strcmp(argv[i], "--records") == 0) {
            count = std::atoi(argv[i + 1]);
        } else {
            std::fprintf(stderr, "usage: qv-bench-reports [--file HISTORY.csv | --records N]\n");
            return 2;
        }
    }

    Tqv_records store;
    if (file.empty()) {
        const double built = seconds([&] { fillStore(store, count); });
        std::printf("store of %zu records over 2010-2019 built in memory in %.2f s\n\n", store.count(),
                    built);
    } else {
        qv_load_report problems;
        const double loaded = seconds([&] { qv_load_history_file(store, file, problems); });
        std::printf("store of %zu records loaded from %s in %.2f s (%zu lines reported)\n\n", store.count(),
                    file.c_str(), loaded, problems.problems.size());
        if (store.count() == 0)
            return 1;
    }

    TFrmReport window;
    window.resize(766, 461);
    const auto repaint = [&] {
        settle();
        window.chartView()->viewport()->repaint();
    };
    // Runs work runs times and prints the slowest and the fastest run against limit.
    const auto measure = [](const char *what, int runs, double limit, const std::function<void()> &work) {
        double slowest = 0;
        double fastest = 1e9;
        for (int i = 0; i < runs; ++i) {
            const double t = seconds(work);
            slowest = std::max(slowest, t);
            fastest = std::min(fastest, t);
        }
        std::printf("%-50s %7.3f s  (fastest %.3f, %d runs)  limit %.1f s  %s\n", what, slowest, fastest,
                    runs, limit, slowest <= limit ? "ok" : "OVER");
        return slowest;
    };

    std::printf("Month reports, 2010-01-01 to 2019-12-31:\n");
    measure("gross per month: walk + chart filled", 3, 0.5, [&] {
        FillReport(window, store, qv_report_kind::gross_month, {2010, 1, 1}, {2019, 12, 31});
        window.points();
    });
    measure("quantity per month: walk + chart filled", 3, 0.5, [&] {
        FillReport(window, store, qv_report_kind::quantity_month, {2010, 1, 1}, {2019, 12, 31});
        window.points();
    });
    std::printf("  (%lld points)\n", static_cast<long long>(window.points().size()));
    window.show();
    measure("first paint of the window", 1, 0.5, repaint);

    std::printf("\nDay reports, 2015-01-01 to 2015-12-31:\n");
    const double day = measure("gross per day: walk + chart filled", 3, 1.5, [&] {
        FillReport(window, store, qv_report_kind::gross_day, {2015, 1, 1}, {2015, 12, 31});
        window.points();
    });
    std::printf("  (%lld points)\n", static_cast<long long>(window.points().size()));
    const double paint = measure("first paint of the window", 1, 1.5, repaint);
    std::printf("%-50s %7.3f s  limit 1.5 s  %s\n", "walk, fill and first paint", day + paint,
                day + paint <= 1.5 ? "ok" : "OVER");
    measure("resize 766x461 <-> 1200x800 + repaint", 6, 0.2, [&, wide = false]() mutable {
        wide = !wide;
        window.resize(wide ? 1200 : 766, wide ? 800 : 461);
        repaint();
    });
    measure("zoom in x2 + repaint", 5, 0.2, [&] {
        window.chart()->zoomIn();
        repaint();
    });
    measure("zoom out x2 + repaint", 5, 0.2, [&] {
        window.chart()->zoomOut();
        repaint();
    });
    measure("reset zoom + repaint", 1, 0.2, [&] {
        window.actionZoomReset()->trigger();
        repaint();
    });
    return 0;
}
