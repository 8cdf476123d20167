// What a folder may hold besides history files, and files that change, flood or never end: only
// regular files are opened, a file that changes while it is read is reported and loses no record to a
// half line, problems are capped per file, a load can be cancelled, lines longer than the read block
// load exactly like short ones, and a folder is read by bare names.
#include "../unit/history_text.h"
#include "../unit/test_folder.h"
#include "Qv_file.h"
#include "Qv_load_export.h"
#include "Qv_load_internal.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using testing_history::header_line;
using testing_history::line;
using testing_history::sale;
using testing_history::Ttest_folder;

namespace {

// Every field of every record in store order, one record a line.
std::string store_text(const Tqv_records &store)
{
    std::string out;
    for (std::size_t pos = 0; pos < store.count(); ++pos) {
        const Tqv_record &r = store.record_at(pos)->data;
        out += qv_date_text(r.date) + ' ' + qv_time_text(r.time);
        for (const amount a : {r.gross, r.fee, r.net, r.shipping, r.sales_tax, r.balance})
            out += ' ' + qv_amount_text(a);
        out += ' ' + std::to_string(r.quantity);
        for (int f = 0; f < qv_text_field_count; ++f)
            out.append(1, '|').append(r.text(static_cast<qv_text_field>(f)));
        out += '\n';
    }
    return out;
}

std::string problems_text(const qv_load_report &report)
{
    std::string out;
    for (const qv_load_problem &p : report.problems)
        out += qv_problem_text(p) + '\n';
    for (const qv_load_unlisted &u : report.unlisted)
        out += u.file + " unlisted " + std::to_string(u.lines) + '\n';
    return out;
}

void expect_accounted(const qv_load_report &report)
{
    const qv_load_counts &c = report.counts;
    EXPECT_EQ(c.lines, c.header + c.skipped + c.added + c.duplicates + c.reported);
}

std::string records(int first, int count)
{
    std::string text;
    for (int i = first; i < first + count; ++i)
        text += sale("R" + std::to_string(100000 + i), "3/4/2021", std::to_string(i) + ".25", "2");
    return text;
}

// Runs work in a child process whose address space is what this process has now and extra bytes more;
// true when work returned true there. (Unused where the address sanitizer needs more room.)
[[maybe_unused]] bool with_address_space_limit(std::size_t extra, const std::function<bool()> &work)
{
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        rlimit limit{};
        ::getrlimit(RLIMIT_AS, &limit);
        std::ifstream status("/proc/self/status");
        std::string word;
        std::size_t vm_kib = 0;
        while (status >> word) {
            if (word == "VmSize:") {
                status >> vm_kib;
                break;
            }
        }
        limit.rlim_cur = (vm_kib << 10) + extra;
        ::setrlimit(RLIMIT_AS, &limit);
        ::_exit(work() ? 0 : 1);
    }
    int status = 0;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Waits until the file system's clock has moved past the change time of path, so that a write now
// gives it another one even where that clock ticks coarsely.
void wait_for_change_clock(const std::string &path)
{
    struct stat target {};
    ASSERT_EQ(::stat(path.c_str(), &target), 0);
    const std::string probe = path + ".clock";
    for (int i = 0; i < 100000; ++i) {
        std::ofstream(probe) << i;
        struct stat now {};
        ASSERT_EQ(::stat(probe.c_str(), &now), 0);
        if (now.st_ctim.tv_sec != target.st_ctim.tv_sec || now.st_ctim.tv_nsec != target.st_ctim.tv_nsec) {
            fs::remove(probe);
            return;
        }
    }
    FAIL() << "the file system's clock did not move";
}

class Hostile : public ::testing::Test {
protected:
    void TearDown() override { qv_load_set_block_size(0); }

    Ttest_folder dir{"qv_hostile_"};
    Tqv_records store;
    qv_load_report report;
};

// Sockets, pipes, devices and links that lead nowhere are named and skipped, and opening them never
// blocks (a pipe without a writer would block an ordinary open for ever).
TEST_F(Hostile, OnlyRegularFilesAreReadAndNothingBlocks)
{
    const std::string good = dir.write("good.csv", header_line + sale("G1", "1/2/2020", "1.00"));
    const fs::path d = dir.path();
    ASSERT_EQ(::mkfifo((d / "fifo.csv").c_str(), 0600), 0);
    fs::create_symlink(d / "nowhere", d / "dangling.csv");
    fs::create_symlink("/dev/zero", d / "zero.csv");
    fs::create_symlink(good, d / "link.csv");
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(sock, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    const std::string sock_path = (d / "sock.csv").string();
    ASSERT_LT(sock_path.size(), sizeof addr.sun_path);
    std::strcpy(addr.sun_path, sock_path.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
    fs::create_directory(d / "folder.csv");

    qv_load_history_folder(store, d.string(), report);
    ::close(sock);

    struct Texpected {
        const char *file;
        std::string message;
    };
    const Texpected expected[] = {
        {"dangling.csv", std::strerror(ENOENT)},
        {"fifo.csv", "not a regular file"},
        {"sock.csv", "not a regular file"},
        {"zero.csv", "not a regular file"},
    };
    ASSERT_EQ(report.problems.size(), std::size(expected)) << problems_text(report);
    for (std::size_t i = 0; i < std::size(expected); ++i) {
        EXPECT_EQ(report.problems[i].file, (d / expected[i].file).string());
        EXPECT_EQ(report.problems[i].line, 0u);
        EXPECT_EQ(report.problems[i].message, expected[i].message);
    }
    // The good file and the link to it: one record, the second copy a duplicate.
    EXPECT_EQ(store.count(), 1u);
    EXPECT_EQ(report.counts.duplicates, 1u);

    // Imported by name, a folder is no regular file either.
    qv_load_report import;
    qv_load_history_file(store, (d / "folder.csv").string(), import);
    ASSERT_EQ(import.problems.size(), 1u);
    EXPECT_EQ(import.problems[0].message, "not a regular file");
}

// The listing tells which names were regular files, and a load of those opens them without a look
// first; a name that has become a pipe, a folder or a link to a device by then is still refused once
// opened, and nothing blocks, on one thread or with files opened ahead.
TEST_F(Hostile, ANameListedAsARegularFileIsStillLookedAtOnceOpened)
{
    const std::string good = dir.write("good.csv", header_line + sale("G1", "1/2/2020", "1.00"));
    const fs::path d = dir.path();
    dir.write("pipe.csv", "");
    dir.write("zero.csv", "");
    dir.write("folder.csv", "");
    ASSERT_EQ(::mkfifo((d / "fifo.csv").c_str(), 0600), 0);
    fs::create_symlink(good, d / "link.csv");

    std::vector<bool> regular;
    const std::vector<std::string> names = qv_internal::list_history_files(d.string(), nullptr, regular);
    ASSERT_EQ(names, (std::vector<std::string>{"fifo.csv", "folder.csv", "good.csv", "link.csv", "pipe.csv",
                                               "zero.csv"}));
    EXPECT_EQ(regular, (std::vector<bool>{false, true, true, true, true, true}));

    // Meanwhile three of the listed files become what may not be read.
    fs::remove(d / "pipe.csv");
    ASSERT_EQ(::mkfifo((d / "pipe.csv").c_str(), 0600), 0);
    fs::remove(d / "zero.csv");
    fs::create_symlink("/dev/zero", d / "zero.csv");
    fs::remove(d / "folder.csv");
    fs::create_directory(d / "folder.csv");
    std::vector<std::string> paths;
    for (const std::string &name : names)
        paths.push_back((d / name).string());

    for (const std::size_t threads : {1u, 2u}) {
        SCOPED_TRACE(threads);
        qv_load_set_threads(threads);
        Tqv_records loaded;
        qv_load_report got;
        qv_internal::load_listed_files(loaded, paths, regular, got, {});
        std::vector<std::string> refused;
        for (const qv_load_problem &problem : got.problems) {
            EXPECT_EQ(problem.message, "not a regular file") << problem.file;
            refused.push_back(fs::path(problem.file).filename().string());
        }
        EXPECT_EQ(refused, (std::vector<std::string>{"fifo.csv", "folder.csv", "pipe.csv", "zero.csv"}));
        EXPECT_EQ(loaded.count(), 1u);
        EXPECT_EQ(got.counts.duplicates, 1u);
    }
    qv_load_set_threads(0);
}

// What a file holds when it is no text: said in words, not as a zero byte on line 1.
TEST_F(Hostile, FilesThatAreNoTextAreToldForWhatTheyAre)
{
    const std::string utf16 = "UTF-16 text: save the file as UTF-8 or ANSI";
    const auto wide = [](std::string_view text, bool big) {
        std::string out;
        for (const char c : text) {
            out += big ? std::string{'\0', c} : std::string{c, '\0'};
        }
        return out;
    };
    const std::string text = std::string(header_line) + sale("W1", "1/2/2020", "1.00");
    struct Tcase {
        const char *name;
        std::string bytes;
        std::string message;
    };
    const Tcase cases[] = {
        {"le_mark.csv", "\xFF\xFE" + wide(text, false), utf16},
        {"be_mark.csv", "\xFE\xFF" + wide(text, true), utf16},
        {"le.csv", wide(text, false), utf16},
        {"be.csv", wide(text, true), utf16},
        {"gzip.csv", std::string("\x1F\x8B\x08\x00\x00\x00\x00\x00\x00\x03\xAB\xCD\n\x01\x02", 15),
         "not a text file"},
        {"zip.csv", std::string("PK\x03\x04\x14\x00\x00\x00\x08\x00xl/workbook.xml", 25), "not a text file"},
    };
    for (const Tcase &c : cases) {
        SCOPED_TRACE(c.name);
        Tqv_records one;
        qv_load_report r;
        qv_load_history_file(one, dir.write(c.name, c.bytes), r);
        ASSERT_EQ(r.problems.size(), 1u) << problems_text(r);
        EXPECT_EQ(r.problems[0].line, 0u);
        EXPECT_EQ(r.problems[0].message, c.message);
        EXPECT_EQ(one.count(), 0u);
    }
}

// A download still being written, or a file cut short, while it is read: the lines that ended stay,
// the half line at the end adds nothing, and the file is named.
TEST_F(Hostile, AFileThatChangesWhileItIsReadKeepsOnlyWholeLines)
{
    qv_load_set_block_size(4096);
    const std::string text = std::string(header_line) + records(0, 200);
    ASSERT_GT(text.size(), 3 * 4096u);
    const std::size_t cut = text.size() / 2 + 7; // inside a line
    ASSERT_NE(text[cut - 1], '\n');
    const std::string whole_lines = text.substr(0, text.rfind('\n', cut - 1) + 1);

    struct Tcase {
        const char *what;
        std::function<void(const std::string &path)> change;
        std::string expected_text; // what loads
        bool reported;
    };
    const Tcase cases[] = {
        {"cut short", [&](const std::string &p) { fs::resize_file(p, cut); }, whole_lines, true},
        {"appended to",
         [&](const std::string &p) { std::ofstream(p, std::ios::app | std::ios::binary) << records(500, 5); },
         text, true},
        {"rewritten in place, same size",
         [&](const std::string &p) {
             std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
             f.seekp(static_cast<std::streamoff>(text.size() - 1));
             f.put('\n');
         },
         text, true},
        {"rewritten in place, size and modification time kept",
         [&](const std::string &p) {
             const fs::file_time_type before = fs::last_write_time(p);
             wait_for_change_clock(p);
             {
                 std::fstream f(p, std::ios::in | std::ios::out | std::ios::binary);
                 f.seekp(static_cast<std::streamoff>(text.size() - 1));
                 f.put('\n');
             }
             fs::last_write_time(p, before);
         },
         text, true},
        {"left alone", [](const std::string &) {}, text, false},
    };
    for (const Tcase &c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = dir.write("changing.csv", text);
        // Make the modification time differ for certain even where the clock is coarse.
        fs::last_write_time(path, fs::last_write_time(path) - std::chrono::hours(1));
        Tqv_records changed;
        qv_load_report r;
        bool done = false;
        qv_load_history_file(changed, path, r, [&](const qv_load_state &state) {
            if (!done && state.bytes_read > 0) {
                c.change(path);
                done = true;
            }
            return true;
        });
        Tqv_records expected;
        qv_load_report expected_report;
        qv_load_history_text(expected, c.expected_text, path, expected_report);
        EXPECT_EQ(store_text(changed), store_text(expected));
        if (c.reported) {
            ASSERT_EQ(r.problems.size(), 1u) << problems_text(r);
            EXPECT_EQ(qv_problem_text(r.problems[0]), path + ": changed while it was being read");
        } else {
            EXPECT_TRUE(r.problems.empty()) << problems_text(r);
        }
        expect_accounted(r);
    }
}

// A flood of bad lines keeps a few hundred problems and counts the rest.
TEST_F(Hostile, ProblemsAreCappedPerFileAndTheRestCounted)
{
    std::string bad = header_line;
    for (int i = 0; i < 1000; ++i)
        bad += sale("B" + std::to_string(i), "1/1/2020", "x");
    std::string crs = header_line;
    for (int i = 0; i < 700; ++i)
        crs += "\rx\n";
    const std::string one = dir.write("one.csv", bad);
    const std::string two = dir.write("two.csv", crs);
    const std::string three = dir.write("three.csv", header_line + sale("C", "1/1/2020", "?"));
    qv_load_history_files(store, {one, two, three}, report);

    ASSERT_EQ(report.problems.size(), 2 * qv_problems_per_file + 1);
    EXPECT_EQ(report.problems.back().file, three);
    EXPECT_EQ(report.problems[qv_problems_per_file - 1].line, qv_problems_per_file + 1);
    ASSERT_EQ(report.unlisted.size(), 2u);
    EXPECT_EQ(report.unlisted[0].file, one);
    EXPECT_EQ(report.unlisted[0].lines, 1000 - qv_problems_per_file);
    EXPECT_EQ(report.unlisted[1].file, two);
    EXPECT_EQ(report.unlisted[1].lines, 700 - qv_problems_per_file);
    EXPECT_EQ(report.counts.reported, 1001u);
    expect_accounted(report);
}

// CR CR LF, a common double conversion, loses nothing and says nothing; text after a CR is reported.
TEST_F(Hostile, CarriageReturnsOnlyAreReportedWhenTheyHideText)
{
    std::string doubled = sale("D1", "1/1/2020", "1.00") + sale("D2", "1/1/2020", "2.00");
    for (std::size_t at = 0; (at = doubled.find("\r\n", at)) != std::string::npos; at += 3)
        doubled.insert(at, "\r");
    qv_load_history_text(store, header_line + doubled + "\"x\",\r\r\r\n\"y\",\r\rhidden\r\n", "d.csv",
                         report);
    EXPECT_EQ(store.count(), 2u);
    // The last two lines hold no transaction ID either.
    EXPECT_EQ(problems_text(report),
              "d.csv:4: no transaction ID\n"
              "d.csv:5: a carriage return ends this line early; the text after it was not read\n"
              "d.csv:5: no transaction ID\n");
}

// Cancelling keeps what loaded, and names the file cut short and the files never opened.
TEST_F(Hostile, ACancelledLoadKeepsWhatLoadedAndNamesWhatWasNotRead)
{
    qv_load_set_block_size(4096);
    const std::string first = dir.write("1.csv", header_line + records(0, 10));
    const std::string second = dir.write("2.csv", header_line + records(100, 200));
    const std::string third = dir.write("3.csv", header_line + records(400, 10));
    qv_load_history_files(store, {first, second, third}, report, [&](const qv_load_state &state) {
        return !(state.file == second && state.bytes_read >= 8192);
    });
    EXPECT_TRUE(report.cancelled);
    ASSERT_EQ(report.problems.size(), 2u) << problems_text(report);
    EXPECT_EQ(report.problems[0].file, second);
    EXPECT_EQ(report.problems[0].message, "not fully read: the load was cancelled after line " +
                                              std::to_string(report.counts.lines - 11));
    EXPECT_EQ(qv_problem_text(report.problems[1]), third + ": not read: the load was cancelled");
    // The first file whole, and the lines of the second file read before the cancel.
    EXPECT_GT(store.count(), 10u);
    EXPECT_LT(store.count(), 210u);
    EXPECT_NE(store.find("R100000"), nullptr);
    EXPECT_EQ(store.find("R100400"), nullptr);
    expect_accounted(report);

    // The store takes further loads as usual.
    qv_load_report again;
    qv_load_history_file(store, third, again);
    EXPECT_NE(store.find("R100400"), nullptr);
}

// Lines longer than the read block go through the splitter: the same records, counts and problems as
// when every line fits, whatever the line ends, quotes and zero bytes. The block is 64 bytes here.
TEST_F(Hostile, LinesLongerThanABlockLoadExactlyLikeShortOnes)
{
    const std::string long_field(300, 'L');
    const std::string header_line = testing_history::header_line;
    std::vector<std::string> texts = {
        header_line + records(0, 5),
        std::string(5000, 'H') + "\n" + sale("A", "1/1/2020", "1.00"),
        header_line + line({{3, long_field}, {11, "LONG1"}, {14, long_field + "\"" + long_field}}),
        header_line + line({{11, "CR"}, {6, "2.00"}}) + "\r\r\r\r\n" + "\"a\",\"b\",\r" + long_field + "\n",
        header_line + "\"" + long_field + "\",\"" + long_field + "\"\n\"" + long_field + "\"\"\",\"x\"",
        header_line + line({{11, "Z1"}}) + long_field + std::string(1, '\0') + "after",
        header_line + line({{11, "Q"}, {6, long_field}}),
        header_line + std::string(100, '"') + ",\"" + long_field + "\",\n" + "\"" + long_field,
        std::string(63, 'x') + "\n" + std::string(1, '\0') + "zero right after the block's last line end\n",
    };
    // Lines of random pieces: quotes, commas, CRs, LFs and letters.
    std::mt19937 random(7);
    for (int t = 0; t < 40; ++t) {
        std::string s = header_line;
        const char pieces[][4] = {"\"", "\",", "\",\"", "a", "\r", "\n", "\"\"", ",", "7"};
        for (int i = 0; i < 600; ++i)
            s += pieces[random() % std::size(pieces)];
        s += line({{11, "T" + std::to_string(t)}, {6, "1,234.5"}});
        texts.push_back(s);
    }
    for (std::size_t i = 0; i < texts.size(); ++i) {
        SCOPED_TRACE("text " + std::to_string(i));
        Tqv_records whole;
        qv_load_report whole_report;
        qv_load_history_text(whole, texts[i], "t.csv", whole_report);
        qv_load_set_block_size(64);
        Tqv_records pieces;
        qv_load_report pieces_report;
        qv_load_history_text(pieces, texts[i], "t.csv", pieces_report);
        qv_load_set_block_size(0);
        EXPECT_EQ(store_text(pieces), store_text(whole));
        EXPECT_EQ(problems_text(pieces_report), problems_text(whole_report));
        EXPECT_EQ(pieces_report.counts.lines, whole_report.counts.lines);
        EXPECT_EQ(pieces_report.counts.added, whole_report.counts.added);
        expect_accounted(pieces_report);
    }
}

// A zero byte that starts a block, right after a line end, stands on the line after it.
TEST_F(Hostile, AZeroByteAtABlockStartIsReportedOnItsOwnLine)
{
    const std::string first = std::string(header_line) + sale("A", "1/1/2020", "1.00");
    for (const std::size_t block : {first.size(), std::size_t{0}}) {
        qv_load_set_block_size(block);
        Tqv_records one;
        qv_load_report r;
        qv_load_history_text(one, first + std::string(1, '\0') + "rest", "z.csv", r);
        ASSERT_EQ(r.problems.size(), 1u) << problems_text(r);
        EXPECT_EQ(r.problems[0].line, 3u);
        EXPECT_EQ(one.count(), 1u);
    }
}

// A text in memory is offered where it lies only while nothing of it waits elsewhere: a file's first bytes
// read ahead and given again hide it until they are passed over, and passing over bytes reads past them
// as a read would, head and text alike.
TEST(Sources, ATextInMemoryIsOfferedOnlyWhenNothingIsHeldBeforeIt)
{
    const std::string text = "0123456789abcdef";
    for (const std::size_t head : {0, 1, 5, 16}) {
        for (const std::size_t skipped : {0, 1, 4, 5, 6, 16, 20}) {
            SCOPED_TRACE("head " + std::to_string(head) + ", skipped " + std::to_string(skipped));
            qv_internal::Tmemory_source memory(std::string_view(text).substr(head));
            qv_internal::Treplay_source replay(memory, std::string_view(text).substr(0, head));
            EXPECT_EQ(replay.in_memory().has_value(), head == 0);
            replay.skip(skipped);
            const std::string_view rest = std::string_view(text).substr(std::min(skipped, text.size()));
            const std::optional<std::string_view> offered = replay.in_memory();
            if (skipped >= head) {
                ASSERT_TRUE(offered.has_value());
                EXPECT_EQ(*offered, rest);
            } else {
                EXPECT_FALSE(offered.has_value());
            }
            std::string read;
            char piece[3];
            while (const std::size_t n = replay.read(piece, sizeof piece))
                read.append(piece, n);
            EXPECT_EQ(read, rest);
        }
    }
}

// The splitter takes a line in pieces of any size and fills the slots as the whole-line split does.
TEST(LineSplitter, SplitsLinesGivenInPiecesLikeTheWholeLineSplit)
{
    const std::string f127(127, 'a'), f200(200, 'b');
    std::vector<std::string> lines = {
        "",
        "x",
        "\"",
        "\"\"",
        "\"a\",\"b\",",
        "\"a\",\"b\"",
        "\"a\",b,\"c\",",
        "\"a,b\",\"c\",",
        "\"x\"\"y\"\"\",\"z\",",
        " \"a\",",
        "\"" + f127 + "\",",
        "\"" + f200 + "\",\"" + f200 + "\"",
        "\"a\"\",\"b\",",
        "\"a\",\"\",\"\",",
        "\"\",",
    };
    std::string fifty;
    for (int i = 0; i < 50; ++i)
        fifty += "\"f" + std::to_string(i) + "\",";
    lines.push_back(fifty);
    std::mt19937 random(11);
    for (int t = 0; t < 300; ++t) {
        std::string s = "\"";
        for (int i = 0, n = static_cast<int>(random() % 60); i < n; ++i)
            s += "\",a"[random() % 4];
        lines.push_back(s);
    }
    for (const std::string &text : lines) {
        qv_line_fields whole;
        const int whole_result = qv_line_split(text, whole);
        for (const std::size_t piece : {std::size_t{1}, std::size_t{3}, std::size_t{64}}) {
            Tqv_line_splitter splitter;
            splitter.begin();
            for (std::size_t at = 0; at < text.size(); at += piece)
                splitter.feed(std::string_view(text).substr(at, piece));
            qv_line_fields fields;
            ASSERT_EQ(splitter.finish(fields), whole_result) << text;
            for (int k = 0; k < qv_column_count; ++k)
                ASSERT_EQ(fields.field(k), whole.field(k)) << text << " slot " << k;
        }
    }
}

// Problems name a file on one line whatever its name holds.
TEST(ProblemText, EscapesControlCharactersInFileNames)
{
    EXPECT_EQ(qv_problem_text({"a\nb\t\\c\x1b.csv", 3, "m"}), "a\\nb\\t\\\\c\\x1B.csv:3: m");
    EXPECT_EQ(qv_problem_text({"plain.csv", 0, "gone"}), "plain.csv: gone");
}

// The current folder is listed and read by bare names, so that a path longer than the system takes
// still loads.
TEST_F(Hostile, TheCurrentFolderLoadsWhateverTheLengthOfItsPath)
{
    const int back = ::open(".", O_RDONLY | O_DIRECTORY);
    ASSERT_GE(back, 0);
    ASSERT_EQ(::chdir(dir.path().c_str()), 0);
    const std::string part(200, 'd');
    std::size_t depth = dir.path().string().size();
    while (depth < PATH_MAX + 200u) {
        ASSERT_EQ(::mkdir(part.c_str(), 0700), 0);
        ASSERT_EQ(::chdir(part.c_str()), 0);
        depth += part.size() + 1;
    }
    std::ofstream("deep.csv", std::ios::binary) << header_line << sale("DEEP", "1/1/2020", "1.00");
    qv_load_history_folder(store, std::string(), report);
    ASSERT_EQ(::fchdir(back), 0);
    ::close(back);
    EXPECT_TRUE(report.problems.empty()) << problems_text(report);
    EXPECT_NE(store.find("DEEP"), nullptr);
}

#if defined(__SANITIZE_ADDRESS__)
#define QV_ADDRESS_SANITIZER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QV_ADDRESS_SANITIZER 1
#endif
#endif

// Running out of memory names the file and keeps what loaded. A child process with little address
// space loads more than fits (not under the address sanitizer, which reserves address space).
TEST_F(Hostile, RunningOutOfMemoryNamesTheFileAndKeepsWhatLoaded)
{
#ifdef QV_ADDRESS_SANITIZER
    GTEST_SKIP() << "the address sanitizer needs more address space than this test allows";
#else
    const std::string small = dir.write("small.csv", header_line + records(0, 100));
    std::string big = header_line;
    for (int i = 0; i < 200000; ++i)
        big += sale(std::to_string(1000000 + i) + std::string(100, 'i'), "1/1/2020", "1.00");
    const std::string path = dir.write("big.csv", big);
    big.clear();
    big.shrink_to_fit();
    EXPECT_TRUE(with_address_space_limit(std::size_t{32} << 20, [&] {
        Tqv_records s;
        qv_load_report r;
        qv_load_history_files(s, {small, path}, r);
        return r.problems.size() == 1 && r.problems[0].file == path && r.problems[0].line == 0 &&
               r.problems[0].message.rfind("not enough memory to load this file", 0) == 0 &&
               s.count() == r.counts.added && s.count() > 100 && s.find("R100000") != nullptr;
    }));
#endif
}

// A file whose size lies about what it holds (a few records, then a hole of zeros the file system does
// not even store) loads in the memory of what it holds: nothing is sized from the file's size.
TEST_F(Hostile, ASparseHoleDoesNotRunTheLoadOutOfMemory)
{
#ifdef QV_ADDRESS_SANITIZER
    GTEST_SKIP() << "the address sanitizer needs more address space than this test allows";
#else
    const std::string path = dir.write("sparse.csv", header_line + records(0, 1000));
    fs::resize_file(path, std::uintmax_t{100} << 30);
    // 64 MiB more than the process has: the records need less than a tenth of it.
    EXPECT_TRUE(with_address_space_limit(std::size_t{64} << 20, [&] {
        Tqv_records s;
        qv_load_report r;
        qv_load_history_file(s, path, r);
        return s.count() == 1000 && r.problems.size() == 1 && r.problems[0].line == 1002 &&
               r.problems[0].message.rfind("the file holds a zero byte here", 0) == 0;
    }));
#endif
}

} // namespace
