// Times the main window on the history files of one folder, offscreen: start-up to the window shown with
// the list filled, a refill of the whole list, header-click sorts, a search that matches about one
// record in a hundred, the detail pane, and the resident memory with the list filled and after the
// sorts. Prints one "name value unit" line per figure, for run-gui-bench to check against the targets.
//
//   qv-bench-gui FOLDER
//   qv-bench-gui --baseline FILE   # the time to read FILE into a fresh buffer of its size with read()
//   qv-bench-gui --load FOLDER     # the time the data layer takes to load FOLDER's files, no window
#include "Frm_main.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QMessageBox>
#include <QTableView>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Seconds since the process started, from the kernel's clock ticks (10 ms resolution).
double secondsSinceProcessStart()
{
    std::ifstream stat("/proc/self/stat");
    std::string field;
    for (int i = 0; i < 22 && stat >> field; ++i) {
    }
    std::ifstream uptime("/proc/uptime");
    double up = 0;
    uptime >> up;
    return up - std::stod(field) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

long residentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    }
    return -1;
}

void figure(const char *name, double value, const char *unit)
{
    std::printf("%-28s %12.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

// Waits until the window has painted what the last change gave it.
void settle()
{
    QApplication::processEvents();
    QApplication::processEvents();
}

template <class Work> double millis(Work &&work)
{
    QElapsedTimer clock;
    clock.start();
    work();
    settle();
    return static_cast<double>(clock.nsecsElapsed()) / 1e6;
}

// What every figure is measured against: the file read into a fresh buffer of its size by read() (one
// call, or as many as a file beyond the system's limit for one takes).
int baseline(const char *path)
{
    const int fd = open(path, O_RDONLY);
    struct stat st {};
    if (fd < 0 || fstat(fd, &st) != 0) {
        std::perror(path);
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    const auto size = static_cast<std::size_t>(st.st_size);
    const std::unique_ptr<char[]> buffer(new char[size]);
    // One call reads at most about 2 GiB: a bigger file takes as many as it needs.
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = read(fd, buffer.get() + done, size - done);
        if (got <= 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    const double seconds = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    close(fd);
    if (done != size) {
        std::fprintf(stderr, "qv-bench-gui: %s: read() gave %zu of %zu bytes\n", path, done, size);
        return 1;
    }
    figure("baseline", seconds, "s");
    return 0;
}

// The start-up's load alone, as the window makes it.
int loadOnly(const char *folder)
{
    if (chdir(folder) != 0) {
        std::perror(folder);
        return 1;
    }
    QElapsedTimer clock;
    clock.start();
    Tqv_records store;
    qv_load_report report;
    qv_load_history_folder(store, std::string(), report);
    if (store.count() > 0)
        store.record_at(0); // the store sorts itself on its first positional read, as the refill makes it
    figure("load", static_cast<double>(clock.nsecsElapsed()) / 1e9, "s");
    figure("load-resident", static_cast<double>(residentKiB()) / 1024.0, "MiB");
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && std::string(argv[1]) == "--baseline")
        return baseline(argv[2]);
    if (argc == 3 && std::string(argv[1]) == "--load")
        return loadOnly(argv[2]);
    if (argc != 2) {
        std::fprintf(stderr, "usage: qv-bench-gui FOLDER | --baseline FILE | --load FOLDER\n");
        return 2;
    }
    QElapsedTimer clock;
    clock.start();
    if (!QDir::setCurrent(QString::fromLocal8Bit(argv[1]))) {
        std::fprintf(stderr, "qv-bench-gui: no folder %s\n", argv[1]);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(QStringLiteral("Quorvex history tool"));
    // A message box would wait for a click forever: note it and close it.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, &app, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            std::fprintf(stderr, "qv-bench-gui: message box: %s\n", qPrintable(box->text()));
            box->accept();
        }
    });
    closer.start(100);

    TFrmMain window;
    window.show();
    settle();
    const double startup = static_cast<double>(clock.nsecsElapsed()) / 1e9;
    const long rss = residentKiB();
    TRecordListModel *model = window.listModel();
    const int rows = model->rowCount();
    figure("records", rows, "rows");
    figure("startup", startup, "s");
    figure("startup-since-exec", secondsSinceProcessStart(), "s");
    figure("resident", static_cast<double>(rss) / 1024.0, "MiB");
    if (rows == 0)
        return 0;

    figure("show-all-records", millis([&] { window.ShowAllRecords(); }) / 1e3, "s");
    {
        // Where a refill's time goes: copying the rows, the view's reset, the first paint.
        QElapsedTimer part;
        part.start();
        model->beginRefill();
        model->clearRows();
        model->reserveRows(window.records->count());
        for (std::size_t i = 0; i < window.records->count(); ++i)
            window.AddRecordItem(*window.records->record_at(i));
        figure("  refill-copy", static_cast<double>(part.nsecsElapsed()) / 1e9, "s");
        part.restart();
        model->endRefill();
        figure("  refill-reset", static_cast<double>(part.nsecsElapsed()) / 1e9, "s");
        part.restart();
        settle();
        figure("  refill-paint", static_cast<double>(part.nsecsElapsed()) / 1e9, "s");
    }

    QHeaderView *header = window.findChild<QTableView *>(QStringLiteral("ListView"))->horizontalHeader();
    const char *const names[TRecordListModel::ColumnCount] = {
        "sort-trans-id", "sort-date", "sort-time",    "sort-status",    "sort-item-title",
        "sort-gross",    "sort-fee",  "sort-balance", "sort-from-email"};
    for (int c = 0; c < TRecordListModel::ColumnCount; ++c)
        figure(names[c], millis([&] { Q_EMIT header->sectionClicked(c); }) / 1e3, "s");
    // What the sorts keep for the next one: the rows' former order.
    figure("resident-after-sorts", static_cast<double>(residentKiB()) / 1024.0, "MiB");

    // A From address domain or trans ID piece that about 1% of the records hold, found untimed.
    const std::size_t count = window.records->count();
    std::string typed;
    std::size_t best = 0;
    for (std::size_t i = 0; i < 200 && i < count; ++i) {
        const std::string id(window.records->record_at(i * (count / 200))->data.trans_id());
        for (std::size_t len = 2; len <= 4 && len <= id.size(); ++len) {
            const std::string piece = id.substr(id.size() - len);
            const std::size_t n =
                qv_search_records(*window.records, qv_search_field::trans_id, piece, {}).size();
            const auto off = [count](std::size_t k) {
                const double share = static_cast<double>(k) / static_cast<double>(count);
                return share > 0.01 ? share / 0.01 : 0.01 / std::max(share, 1e-9);
            };
            if (best == 0 || off(n) < off(best)) {
                best = n;
                typed = piece;
            }
        }
        if (best != 0 && static_cast<double>(best) / static_cast<double>(count) > 0.007 &&
            static_cast<double>(best) / static_cast<double>(count) < 0.013)
            break;
    }
    const double dataSearch =
        millis([&] { (void)qv_search_records(*window.records, qv_search_field::trans_id, typed, {}); });
    figure("search-data-layer", dataSearch / 1e3, "s");
    const double search =
        millis([&] { window.SearchRecords(qv_search_field::trans_id, QString::fromStdString(typed)); });
    figure("search-match-share", 100.0 * model->rowCount() / static_cast<double>(count), "%");
    figure("search", search / 1e3, "s");

    window.ShowAllRecords();
    settle();
    QTableView *list = window.findChild<QTableView *>(QStringLiteral("ListView"));
    double worst = 0;
    for (int i = 0; i < 50; ++i) {
        list->selectRow(static_cast<int>(static_cast<long long>(rows) * i / 50));
        worst = std::max(worst, millis([&] { window.ShowDetail(); }));
    }
    figure("show-detail-worst-of-50", worst / 1e3, "s");
    return 0;
}
