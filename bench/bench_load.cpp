// qv-bench-load: loads one history file into an empty store and times the load and the walks that the
// windows make over the store afterwards. Run it in a fresh process per file so that the peak memory
// figure is that file's own (bench/run-data-bench does). With --baseline it only reads the file into a
// fresh buffer of its size with one read(), the yardstick of the load's targets; with --floor, the least
// any load of the file must do (one pass over its bytes, the first touch of the store's memory); with
// --export OUT, the load and then the export of every record to OUT; with --folder, FILE is a folder
// whose history files are loaded together (bench/run-export-folder-bench runs these two).
//
// Writes one line of tab-separated figures to standard output (the header with --header), and a
// readable account to standard error.

#include "Qv_export.h"
#include "Qv_file.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

using Tclock = std::chrono::steady_clock;

double seconds_since(Tclock::time_point start)
{
    return std::chrono::duration<double>(Tclock::now() - start).count();
}

// A "VmRSS:" or "VmHWM:" figure of /proc/self/status, in bytes; 0 when it cannot be read.
double status_bytes(const char *key)
{
    std::FILE *f = std::fopen("/proc/self/status", "r");
    if (f == nullptr)
        return 0;
    char line[256];
    double kb = 0;
    const std::size_t n = std::strlen(key);
    while (std::fgets(line, sizeof line, f) != nullptr) {
        if (std::strncmp(line, key, n) == 0) {
            kb = std::strtod(line + n, nullptr);
            break;
        }
    }
    std::fclose(f);
    return kb * 1024;
}

// Reads the file once through a small buffer, so that the timed load finds it in the page cache without
// the bench holding its bytes. Returns the file's size, or -1.
long long warm(const std::string &path)
{
    std::FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr)
        return -1;
    static std::vector<char> buf(std::size_t{1} << 20); // once: a folder's files are warmed one by one
    long long total = 0;
    std::size_t got;
    while ((got = std::fread(buf.data(), 1, buf.size(), f)) > 0)
        total += static_cast<long long>(got);
    std::fclose(f);
    return total;
}

const char *const usage =
    "usage: qv-bench-load [--header | --breakdown-header] [--breakdown | --baseline | "
    "--floor BYTES | --export OUT | --folder] [--threads N] [--id-text T] [--name-text T] "
    "FILE\n";

// The file opened for reading, and its size; -1, told, when it cannot be read or is empty.
int open_whole(const std::string &path, std::size_t &size)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st {};
    if (fd < 0 || ::fstat(fd, &st) != 0 || st.st_size <= 0) {
        std::fprintf(stderr, "qv-bench-load: %s: cannot read it\n", path.c_str());
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    size = static_cast<std::size_t>(st.st_size);
    return fd;
}

// The time to read the whole file into a fresh buffer of its size with one read() (more only if the
// system returns less), the buffer's allocation included; the file is in the page cache.
int baseline(const std::string &path)
{
    std::size_t size = 0;
    const int fd = open_whole(path, size);
    if (fd < 0)
        return 1;
    const auto start = Tclock::now();
    char *const buffer = static_cast<char *>(std::malloc(size));
    std::size_t done = 0;
    while (buffer != nullptr && done < size) {
        const ssize_t n = ::read(fd, buffer + done, size - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    const double read_s = seconds_since(start);
    ::close(fd);
    if (done != size) {
        std::fprintf(stderr, "qv-bench-load: %s: read %zu of %zu bytes\n", path.c_str(), done, size);
        return 1;
    }
    std::printf("%.3f\n", read_s);
    std::fprintf(stderr, "%s: read into a fresh buffer in %.3f s (%.0f MB/s); resident %.1f MB\n",
                 path.c_str(), read_s, static_cast<double>(size) / 1e6 / read_s,
                 status_bytes("VmRSS:") / 1e6);
    std::free(buffer);
    return 0;
}

// The floor of a load's work: one pass over the file's bytes as the system maps them (a search for
// every line end), then the first touch of as much fresh memory as the loaded store took (one write per
// page). No load can do less than read its bytes once and fill its memory once. Prints the floor, the
// touch alone, and the touch of the same room in large pages (not part of the floor).
int floor_pass(const std::string &path, std::size_t store_bytes)
{
    std::size_t size = 0;
    const int fd = open_whole(path, size);
    if (fd < 0)
        return 1;
    const auto start = Tclock::now();
    void *const mapped = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
    if (mapped == MAP_FAILED) {
        std::fprintf(stderr, "qv-bench-load: %s: cannot map it\n", path.c_str());
        return 1;
    }
    ::madvise(mapped, size, MADV_SEQUENTIAL);
    const char *at = static_cast<const char *>(mapped);
    const char *const end = at + size;
    std::size_t lines = 0;
    while (at < end) {
        const void *lf = std::memchr(at, '\n', static_cast<std::size_t>(end - at));
        if (lf == nullptr)
            break;
        ++lines;
        at = static_cast<const char *>(lf) + 1;
    }
    const double pass_s = seconds_since(start);
    const auto touch = Tclock::now();
    const std::size_t room = std::max<std::size_t>(store_bytes, 4096);
    auto *const memory = static_cast<unsigned char *>(
        ::mmap(nullptr, room, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (memory == MAP_FAILED) {
        std::fprintf(stderr, "qv-bench-load: no room for %zu bytes\n", room);
        return 1;
    }
    for (std::size_t i = 0; i < room; i += 4096)
        memory[i] = static_cast<unsigned char>(i >> 12);
    const double touch_s = seconds_since(touch);
    // The same room again in large pages, as the store asks for its own: on a virtual machine whose
    // host takes back the guest's free memory, this is what swings from run to run.
    double large_s = 0;
#ifdef MADV_HUGEPAGE
    const auto large_touch = Tclock::now();
    auto *const large = static_cast<unsigned char *>(
        ::mmap(nullptr, room, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    if (large != MAP_FAILED) {
        ::madvise(large, room, MADV_HUGEPAGE);
        for (std::size_t i = 0; i < room; i += 4096)
            large[i] = static_cast<unsigned char>(i >> 12);
        large_s = seconds_since(large_touch);
        ::munmap(large, room);
    }
#endif
    std::printf("%.3f\t%.3f\t%.3f\n", pass_s + touch_s, touch_s, large_s);
    std::fprintf(stderr,
                 "%s: %zu lines found in %.3f s, %zu MB of fresh memory touched in %.3f s (in large pages "
                 "%.3f s)\n",
                 path.c_str(), lines, pass_s, room >> 20, touch_s, large_s);
    ::munmap(memory, room);
    ::munmap(mapped, size);
    ::close(fd);
    return 0;
}

const char *const columns = "records\tfile_MB\tload_s\trecords_per_s\tMB_per_s\trss_MB\thwm_MB\trss_ratio\t"
                            "hwm_ratio\tsort_walk_s\twalk_s\tsearch_id_s\tsearch_id_pct\tsearch_name_s\t"
                            "search_name_pct\treport_month_s\thwm_end_MB\tstore_ratio";

// Where the time of a load goes: the same work as qv_load_history_file, phase by phase, on the whole
// file read into memory first. Each phase adds one step to the one before it.
int breakdown(const std::string &path)
{
    auto start = Tclock::now();
    std::string error;
    if (!qv_file_read(path, &error)) {
        std::fprintf(stderr, "qv-bench-load: %s: %s\n", path.c_str(), error.c_str());
        return 1;
    }
    const double read_s = seconds_since(start);
    start = Tclock::now();
    Tqv_lines lines;
    qv_file_split_lines(lines);
    const double lines_s = seconds_since(start);

    qv_line_fields fields;
    start = Tclock::now();
    std::size_t filled = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        fields.clear();
        qv_line_split(lines[i].text, fields);
        filled += fields.field(41).size();
    }
    const double split_s = seconds_since(start);

    start = Tclock::now();
    Tqv_record rec;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        fields.clear();
        qv_line_split(lines[i].text, fields);
        qv_record_parse(rec, &fields);
    }
    const double parse_s = seconds_since(start);

    start = Tclock::now();
    Tqv_records store;
    for (std::size_t i = 1; i < lines.size(); ++i) {
        fields.clear();
        qv_line_split(lines[i].text, fields);
        if (store.find(fields.field(11)) != nullptr)
            continue;
        auto obj = std::make_unique<Tqv_record_object>();
        qv_record_parse(obj->data, &fields);
        store.add(std::move(obj));
    }
    const double store_s = seconds_since(start);
    qv_file_free_lines(lines);
    qv_file_release();

    std::printf("%zu\t%.3f\t%.3f\t%.3f\t%.3f\t%.3f\n", store.count(), read_s, lines_s, split_s,
                parse_s - split_s, store_s - parse_s);
    std::fprintf(stderr,
                 "%s: read %.3f s, cut into lines %.3f s, fields %.3f s, records %.3f s, store %.3f s "
                 "(%zu bytes in the last columns)\n",
                 path.c_str(), read_s, lines_s, split_s, parse_s - split_s, store_s - parse_s, filled);
    return 0;
}

// The load of a file and then the export of every record in store order to out, as the window's
// File > Export list... writes them. Prints the load's and the export's seconds and the bytes written.
int load_and_export(const std::string &path, const std::string &out)
{
    if (warm(path) <= 0) {
        std::fprintf(stderr, "qv-bench-load: %s: cannot read it\n", path.c_str());
        return 1;
    }
    Tqv_records store;
    qv_load_report report;
    auto start = Tclock::now();
    qv_load_history_file(store, path, report);
    const double load_s = seconds_since(start);
    start = Tclock::now();
    std::vector<const Tqv_record *> records;
    records.reserve(store.count());
    for (std::size_t pos = 0; pos < store.count(); ++pos)
        records.push_back(&store.record_at(pos)->data);
    std::string error;
    const bool written = qv_export_records(out, records, {path}, error);
    const double export_s = seconds_since(start);
    if (!written) {
        std::fprintf(stderr, "qv-bench-load: %s: %s\n", out.c_str(), error.c_str());
        return 1;
    }
    struct stat st {};
    const double bytes = ::stat(out.c_str(), &st) == 0 ? static_cast<double>(st.st_size) : 0;
    std::printf("%zu\t%.3f\t%.3f\t%.0f\n", records.size(), load_s, export_s, bytes);
    std::fprintf(stderr, "%s: %zu records loaded in %.3f s, exported to %s in %.3f s (%.0f MB/s)\n",
                 path.c_str(), records.size(), load_s, out.c_str(), export_s, bytes / 1e6 / export_s);
    return 0;
}

// The load of every history file of a folder as the window loads its folder: made the current one, its
// files by their bare names, read once before so that they come from the page cache. Prints the records
// stored and the load's seconds.
int load_folder(const std::string &folder)
{
    if (::chdir(folder.c_str()) != 0) {
        std::fprintf(stderr, "qv-bench-load: %s: %s\n", folder.c_str(), std::strerror(errno));
        return 1;
    }
    std::string error;
    const std::vector<std::string> names = qv_history_files(std::string(), &error);
    if (!error.empty()) {
        std::fprintf(stderr, "qv-bench-load: %s: %s\n", folder.c_str(), error.c_str());
        return 1;
    }
    for (const std::string &name : names)
        warm(name);
    Tqv_records store;
    qv_load_report report;
    const auto start = Tclock::now();
    qv_load_history_folder(store, std::string(), report);
    const double load_s = seconds_since(start);
    std::printf("%zu\t%.3f\n", store.count(), load_s);
    std::fprintf(stderr, "%s: %zu records from %zu files in %.3f s, %zu problems\n", folder.c_str(),
                 store.count(), names.size(), load_s, report.problems.size());
    return report.problems.empty() ? 0 : 1;
}

} // namespace

int main(int argc, char **argv)
{
    std::string path;
    bool breakdown_only = false;
    bool baseline_only = false;
    bool floor_only = false;
    bool folder = false;
    std::string export_to;
    std::size_t floor_bytes = 0;
    std::string id_text = "7Q";    // two characters of a random 17-character ID: about 1.2 %
    std::string name_text = "a n"; // a first name ending in a, a last name beginning with n: about 0.8 %
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (arg == "--header") {
            std::printf("%s\n", columns);
            return 0;
        }
        if (arg == "--breakdown-header") {
            std::printf("records\tread_s\tlines_s\tfields_s\trecords_s\tstore_s\n");
            return 0;
        }
        if (arg == "--breakdown") {
            breakdown_only = true;
            continue;
        }
        if (arg == "--baseline") {
            baseline_only = true;
            continue;
        }
        if (arg == "--floor" && i + 1 < argc) {
            floor_bytes = std::strtoull(argv[++i], nullptr, 10);
            floor_only = true;
            continue;
        }
        if (arg == "--export" && i + 1 < argc) {
            export_to = argv[++i];
            continue;
        }
        if (arg == "--folder") {
            folder = true;
            continue;
        }
        if (arg == "--threads" && i + 1 < argc) {
            qv_load_set_threads(std::strtoul(argv[++i], nullptr, 10));
            continue;
        }
        if (arg == "--id-text" && i + 1 < argc) {
            id_text = argv[++i];
        } else if (arg == "--name-text" && i + 1 < argc) {
            name_text = argv[++i];
        } else if (!arg.empty() && arg[0] != '-' && path.empty()) {
            path = arg;
        } else {
            std::fputs(usage, stderr);
            return 2;
        }
    }
    if (path.empty()) {
        std::fputs(usage, stderr);
        return 2;
    }
    if (baseline_only)
        return baseline(path);
    if (floor_only)
        return floor_pass(path, floor_bytes);
    if (breakdown_only)
        return breakdown(path);
    if (!export_to.empty())
        return load_and_export(path, export_to);
    if (folder)
        return load_folder(path);
    const long long size = warm(path);
    if (size <= 0) {
        std::fprintf(stderr, "qv-bench-load: %s: cannot read it\n", path.c_str());
        return 1;
    }
    const double mb = static_cast<double>(size) / 1e6;

    Tqv_records store;
    qv_load_report report;
    const double rss_before = status_bytes("VmRSS:");
    auto start = Tclock::now();
    qv_load_history_file(store, path, report);
    const double load_s = seconds_since(start);
    const double rss = status_bytes("VmRSS:");
    const double hwm = status_bytes("VmHWM:");
    if (!report.problems.empty()) {
        std::fprintf(stderr, "qv-bench-load: %s: %zu problems, the first: line %zu: %s\n", path.c_str(),
                     report.problems.size(), report.problems.front().line,
                     report.problems.front().message.c_str());
    }
    const std::size_t count = store.count();

    // The first walk sorts what the load added; the second is the walk alone.
    start = Tclock::now();
    std::int64_t quantity = 0;
    for (std::size_t pos = 0; pos < count; ++pos)
        quantity += store.record_at(pos)->data.quantity;
    const double sort_walk_s = seconds_since(start);
    start = Tclock::now();
    qv_date from{0xFFFF, 12, 31};
    qv_date to{};
    for (std::size_t pos = 0; pos < count; ++pos) {
        const qv_date &d = store.record_at(pos)->data.date;
        if (!qv_date_is_valid(d))
            continue;
        if (qv_date_key(d) < qv_date_key(from))
            from = d;
        if (qv_date_key(d) > qv_date_key(to))
            to = d;
    }
    const double walk_s = seconds_since(start);

    start = Tclock::now();
    const std::size_t id_found = qv_search_records(store, qv_search_field::trans_id, id_text).size();
    const double search_id_s = seconds_since(start);
    start = Tclock::now();
    const std::size_t name_found = qv_search_records(store, qv_search_field::name, name_text).size();
    const double search_name_s = seconds_since(start);

    start = Tclock::now();
    const std::vector<qv_report_point> months = qv_report_month(store, from, to, qv_report_value::gross);
    const double report_s = seconds_since(start);
    const double hwm_end = status_bytes("VmHWM:");

    const double load_rss = rss - rss_before;
    const auto pct = [count](std::size_t n) {
        return count > 0 ? 100.0 * static_cast<double>(n) / count : 0.0;
    };
    std::printf("%zu\t%.1f\t%.3f\t%.0f\t%.0f\t%.1f\t%.1f\t%.3f\t%.3f\t%.3f\t%.3f\t%.3f\t%.2f\t%.3f\t%.2f\t%."
                "3f\t%.1f\t%.3f\n",
                count, mb, load_s, static_cast<double>(count) / load_s, mb / load_s, rss / 1e6, hwm / 1e6,
                rss / static_cast<double>(size), hwm / static_cast<double>(size), sort_walk_s, walk_s,
                search_id_s, pct(id_found), search_name_s, pct(name_found), report_s, hwm_end / 1e6,
                load_rss / static_cast<double>(size));
    std::fprintf(stderr,
                 "%s: %zu records from %.1f MB in %.3f s (%.0f MB/s, %zu threads); resident %.1f MB (%.1f MB "
                 "of it for the "
                 "store), peak %.1f MB; %zu months, quantity %lld\n",
                 path.c_str(), count, mb, load_s, mb / load_s, qv_load_threads(), rss / 1e6, load_rss / 1e6,
                 hwm / 1e6, months.size(), static_cast<long long>(quantity));
    return report.problems.empty() ? 0 : 1;
}
