// History files are only ever read: loading a folder, importing more files, every search and every
// report leave each file's bytes, size and modification time as they were, and no history file is
// opened for writing (watched with strace where it can trace here).
#include "../unit/history_text.h"
#include "../unit/test_folder.h"
#include "Qv_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testing_history::Ttest_folder;

namespace {

std::string history_line(const std::string &id, const std::string &name, const std::string &date)
{
    return testing_history::line(
        {{0, date}, {3, name}, {6, "10.00"}, {9, name + "@example.com"}, {11, id}, {32, "2"}});
}

struct Tfile_state {
    std::string bytes;
    std::uintmax_t size = 0;
    struct timespec modified {};
};

Tfile_state state_of(const fs::path &p)
{
    Tfile_state s;
    std::ifstream in(p, std::ios::binary);
    std::ostringstream all;
    all << in.rdbuf();
    s.bytes = all.str();
    struct stat st {};
    if (::stat(p.c_str(), &st) == 0) {
        s.size = static_cast<std::uintmax_t>(st.st_size);
        s.modified = st.st_mtim;
    }
    return s;
}

class NoWrites : public ::testing::Test {
protected:
    void SetUp() override
    {
        fs::create_directories(dir / "start");
        fs::create_directories(dir / "other");
        const std::string header = "\"Date\",\"Time\",\"Transaction ID\"\r\n";
        write(dir / "start" / "2023.csv",
              header + history_line("A1", "ann", "1/5/2023") + history_line("A2", "bob", "2/5/2023"));
        write(dir / "start" / "2024.CSV", header + history_line("B1", "cy", "3/5/2024") + "\"bad\",1.5\n");
        write(dir / "start" / "bad.csv", header + history_line("C1", "dee", "x") + std::string("\0tail", 5));
        write(dir / "other" / "import.csv",
              header + history_line("A1", "eve", "4/5/2024") + history_line("D1", "flo", "5/5/2024"));
        // Old times, so that any write would show as a new modification time.
        for (const fs::path &p : history_files())
            fs::last_write_time(p, fs::file_time_type::clock::now() - std::chrono::hours(48));
    }

    static void write(const fs::path &p, const std::string &bytes)
    {
        std::ofstream(p, std::ios::binary) << bytes;
    }
    std::vector<fs::path> history_files() const
    {
        return {dir / "start" / "2023.csv", dir / "start" / "2024.CSV", dir / "start" / "bad.csv",
                dir / "other" / "import.csv"};
    }
    std::map<std::string, Tfile_state> snapshot() const
    {
        std::map<std::string, Tfile_state> all;
        for (const fs::path &p : history_files())
            all[p.string()] = state_of(p);
        return all;
    }
    void expect_unchanged(const std::map<std::string, Tfile_state> &before) const
    {
        for (const auto &[path, was] : before) {
            const Tfile_state now = state_of(path);
            EXPECT_EQ(now.bytes, was.bytes) << path;
            EXPECT_EQ(now.size, was.size) << path;
            EXPECT_EQ(now.modified.tv_sec, was.modified.tv_sec) << path;
            EXPECT_EQ(now.modified.tv_nsec, was.modified.tv_nsec) << path;
        }
        EXPECT_EQ(std::distance(fs::directory_iterator(dir / "start"), fs::directory_iterator()), 3)
            << "a file appeared in the start folder";
    }

    Ttest_folder folder{"qv_nowrite_"};
    const fs::path &dir = folder.path();
};

TEST_F(NoWrites, LoadingSearchingAndReportingLeaveEveryFileAsItWas)
{
    const auto before = snapshot();
    Tqv_records store;
    qv_load_report report;
    qv_load_history_folder(store, (dir / "start").string(), report);
    qv_load_history_file(store, (dir / "other" / "import.csv").string(), report);
    ASSERT_EQ(store.count(), 5u); // A1 A2 B1 C1 D1; the imported A1 is a duplicate
    EXPECT_FALSE(report.problems.empty());
    for (const qv_search_field field :
         {qv_search_field::trans_id, qv_search_field::from_email, qv_search_field::name})
        EXPECT_FALSE(qv_search_records(store, field, "1").empty() &&
                     qv_search_records(store, field, "e").empty());
    for (const qv_report_value value : {qv_report_value::quantity, qv_report_value::gross}) {
        EXPECT_FALSE(qv_report_month(store, {2023, 1, 1}, {2024, 12, 31}, value).empty());
        EXPECT_FALSE(qv_report_day(store, {2023, 1, 1}, {2024, 12, 31}, value).empty());
    }
    expect_unchanged(before);
}

bool strace_works()
{
    return std::system("strace -f -o /dev/null true >/dev/null 2>&1") == 0;
}

TEST_F(NoWrites, NoHistoryFileIsOpenedForWriting)
{
    if (!strace_works())
        GTEST_SKIP() << "strace cannot trace here (not installed, or ptrace is not allowed)";
    const auto before = snapshot();
    const fs::path log = dir / "trace.log";
    // LeakSanitizer cannot run under ptrace: a sanitizer build leaves leak checks to the other tests.
    const std::string command = "ASAN_OPTIONS=\"${ASAN_OPTIONS:-}:detect_leaks=0\" strace -f -e "
                                "trace=open,openat,creat,truncate,ftruncate -o '" +
                                log.string() + "' '" QV_READ_ALL "' '" + (dir / "start").string() + "' '" +
                                (dir / "other" / "import.csv").string() + "' >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;

    std::ifstream in(log);
    std::string line;
    std::map<std::string, int> opened; // history file -> read-only opens seen
    for (const fs::path &p : history_files())
        opened[p.string()] = 0;
    while (std::getline(in, line)) {
        for (auto &[path, count] : opened) {
            if (line.find('"' + path + '"') == std::string::npos)
                continue;
            const bool writes =
                line.find("O_WRONLY") != std::string::npos || line.find("O_RDWR") != std::string::npos ||
                line.find("O_CREAT") != std::string::npos || line.find("O_TRUNC") != std::string::npos ||
                line.find("creat(") != std::string::npos || line.find("truncate(") != std::string::npos;
            EXPECT_FALSE(writes) << line;
            if (line.find("O_RDONLY") != std::string::npos)
                ++count;
        }
        // ftruncate names no path: none may happen at all.
        EXPECT_EQ(line.find("ftruncate("), std::string::npos) << line;
    }
    // The trace saw the files being read, so the check above looked at the right calls.
    for (const auto &[path, count] : opened)
        EXPECT_GE(count, 1) << path << " was not seen being opened";
    expect_unchanged(before);
}

} // namespace
