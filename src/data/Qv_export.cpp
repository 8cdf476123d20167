#include "Qv_export.h"

#include "Qv_load_internal.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <future>
#include <random>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// Windows-1252 for the bytes 0x80 to 0x9F; the rest of the upper half is Latin-1.
constexpr char16_t cp1252[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                 0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

// The length of the valid UTF-8 at the start of bytes; cut is set when the rest is one character cut
// short by the end of the text.
std::size_t validUtf8(std::string_view bytes, bool &cut)
{
    cut = false;
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto c = static_cast<unsigned char>(bytes[i]);
        std::size_t n = 0;
        std::uint32_t min = 0;
        if (c < 0x80) {
            ++i;
            continue;
        }
        if (c >= 0xC2 && c <= 0xDF) {
            n = 1;
            min = 0x80;
        } else if (c >= 0xE0 && c <= 0xEF) {
            n = 2;
            min = 0x800;
        } else if (c >= 0xF0 && c <= 0xF4) {
            n = 3;
            min = 0x10000;
        } else {
            return i;
        }
        std::uint32_t code = c & (0x3F >> n);
        std::size_t k = 1;
        for (; k <= n && i + k < bytes.size(); ++k) {
            const auto d = static_cast<unsigned char>(bytes[i + k]);
            if ((d & 0xC0) != 0x80)
                return i;
            code = code << 6 | (d & 0x3F);
        }
        if (k <= n) {
            cut = true;
            return i;
        }
        if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
            return i;
        i += n + 1;
    }
    return i;
}

// The bytes that a CSV field must be quoted for, and every byte from 0x80 on, which may need converting:
// a text without any of them goes out as it is.
constexpr std::array<bool, 256> make_special()
{
    std::array<bool, 256> special{};
    for (int c = 0x80; c < 256; ++c)
        special[static_cast<std::size_t>(c)] = true;
    for (const char c : {',', '"', '\r', '\n'})
        special[static_cast<unsigned char>(c)] = true;
    return special;
}
constexpr std::array<bool, 256> special = make_special();

bool needsQuotes(std::string_view utf8)
{
    for (const char c : utf8) {
        if (c == ',' || c == '"' || c == '\r' || c == '\n')
            return true;
    }
    return false;
}

void appendUtf8(std::string &out, char32_t code)
{
    if (code < 0x80) {
        out += static_cast<char>(code);
    } else if (code < 0x800) {
        out += static_cast<char>(0xC0 | code >> 6);
        out += static_cast<char>(0x80 | (code & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | code >> 12);
        out += static_cast<char>(0x80 | (code >> 6 & 0x3F));
        out += static_cast<char>(0x80 | (code & 0x3F));
    }
}

// How each of the 42 fields is written, in declared order.
enum class Kind { date, time, amount, quantity, text };
struct Field {
    Kind kind;
    amount Tqv_record::*money = nullptr;
    qv_text_field text = qv_f_time_zone;
};
constexpr Field money(amount Tqv_record::*member)
{
    return {Kind::amount, member};
}
constexpr Field text(qv_text_field f)
{
    return {Kind::text, nullptr, f};
}
constexpr Field fields[qv_column_count] = {{Kind::date},
                                           {Kind::time},
                                           text(qv_f_time_zone),
                                           text(qv_f_name),
                                           text(qv_f_status_note),
                                           text(qv_f_status),
                                           money(&Tqv_record::gross),
                                           money(&Tqv_record::fee),
                                           money(&Tqv_record::net),
                                           text(qv_f_from_email),
                                           text(qv_f_to_email),
                                           text(qv_f_trans_id),
                                           text(qv_f_name_note),
                                           text(qv_f_address_note),
                                           text(qv_f_item_title),
                                           text(qv_f_item_id),
                                           money(&Tqv_record::shipping),
                                           text(qv_f_column17),
                                           money(&Tqv_record::sales_tax),
                                           text(qv_f_column19),
                                           text(qv_f_column20),
                                           text(qv_f_column21),
                                           text(qv_f_column22),
                                           text(qv_f_column23),
                                           text(qv_f_buyer_id),
                                           text(qv_f_column25),
                                           text(qv_f_column26),
                                           text(qv_f_column27),
                                           text(qv_f_column28),
                                           text(qv_f_ref_trans_id),
                                           text(qv_f_column30),
                                           text(qv_f_column31),
                                           {Kind::quantity},
                                           text(qv_f_column33),
                                           money(&Tqv_record::balance),
                                           text(qv_f_address1),
                                           text(qv_f_address2),
                                           text(qv_f_city),
                                           text(qv_f_province),
                                           text(qv_f_zip_code),
                                           text(qv_f_country),
                                           text(qv_f_phone)};

std::string systemReason(int code)
{
    return std::strerror(code != 0 ? code : EIO);
}

// The same file: the same name once made absolute and normal, or the same file on disk.
bool sameFile(const fs::path &a, const fs::path &b)
{
    std::error_code ec;
    if (fs::absolute(a, ec).lexically_normal() == fs::absolute(b, ec).lexically_normal())
        return true;
    return fs::equivalent(a, b, ec) && !ec;
}

// A temporary file beside target, created anew (never one that exists). Its name is short and
// of its own, not the target's with more letters, so that a target whose name has the longest length
// the folder takes can still be written. Null when none can be made.
std::FILE *createTemporary(const fs::path &target, fs::path &made, int &code)
{
    static std::mt19937_64 random{std::random_device{}()};
    for (int attempt = 0; attempt < 100; ++attempt) {
        char name[24];
        std::snprintf(name, sizeof name, ".qv-%08llx.tmp",
                      static_cast<unsigned long long>(random() & 0xFFFFFFFFu));
        made = target.parent_path() / name;
        errno = 0;
        if (std::FILE *file = std::fopen(made.c_str(), "wbx")) {
            // Held while the file is written: a later write in the folder knows it is not left over.
            ::flock(fileno(file), LOCK_EX | LOCK_NB);
            return file;
        }
        code = errno;
        if (code != EEXIST)
            return nullptr;
    }
    return nullptr;
}

// Removes the temporary files that writes into folder left when they were killed: those of our names
// that no write holds any more.
void removeLeftovers(const fs::path &folder)
{
    std::error_code ec;
    for (fs::directory_iterator it(folder.empty() ? fs::path(".") : folder, ec), end; !ec && it != end;
         it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() != 16 || !name.starts_with(".qv-") || !name.ends_with(".tmp") ||
            name.find_first_not_of("0123456789abcdef", 4) != 12 || !it->is_regular_file(ec))
            continue;
        const int fd = ::open(it->path().c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0)
            fs::remove(it->path(), ec);
        ::close(fd);
    }
}

// The target through a link to the file it names, so that the temporary file lies beside that file.
// Any other name is kept as it is given, a relative one too: a bare name reaches a file in the current
// folder also when that folder's path is longer than the system takes.
fs::path resolvedTarget(const std::string &path)
{
    std::error_code ec;
    if (!fs::is_symlink(path, ec))
        return path;
    fs::path target = fs::weakly_canonical(fs::absolute(path, ec), ec);
    if (ec)
        target = fs::absolute(path, ec);
    return target;
}

} // namespace

std::string qv_utf8_text(std::string_view bytes)
{
    bool cut = false;
    const std::size_t valid = validUtf8(bytes, cut);
    if (valid == bytes.size() || cut)
        return std::string(bytes.substr(0, valid));
    std::string out;
    out.reserve(bytes.size() * 2);
    for (const char ch : bytes) {
        const auto c = static_cast<unsigned char>(ch);
        appendUtf8(out, c >= 0x80 && c < 0xA0 ? cp1252[c - 0x80] : c);
    }
    return out;
}

void qv_csv_append_field(std::string &out, std::string_view utf8)
{
    if (!needsQuotes(utf8)) {
        out += utf8;
        return;
    }
    out += '"';
    for (const char c : utf8) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
}

void qv_csv_append_header(std::string &out)
{
    for (std::size_t i = 0; i < qv_column_names.size(); ++i) {
        if (i != 0)
            out += ',';
        out += qv_column_names[i];
    }
    out += "\r\n";
}

void qv_csv_append_record(std::string &out, const Tqv_record &rec)
{
    std::array<std::string_view, qv_text_field_count> texts;
    rec.texts(texts);
    char room[32];
    for (int i = 0; i < qv_column_count; ++i) {
        if (i != 0)
            out += ',';
        const Field &f = fields[i];
        switch (f.kind) {
        case Kind::date:
            // YYYY-MM-DD for every year (the list pads the year with blanks).
            if (rec.date != qv_date{})
                out.append(room, qv_date_put(room, rec.date, '0'));
            break;
        case Kind::time:
            out.append(room, qv_time_put(room, rec.time));
            break;
        case Kind::amount:
            out.append(room, qv_amount_put(room, rec.*f.money));
            break;
        case Kind::quantity:
            out.append(room, std::to_chars(room, room + sizeof room, rec.quantity).ptr);
            break;
        case Kind::text: {
            const std::string_view bytes = texts[f.text];
            if (std::none_of(bytes.begin(), bytes.end(),
                             [](char c) { return special[static_cast<unsigned char>(c)]; }))
                out += bytes; // ASCII that needs no quotes: most texts
            else
                qv_csv_append_field(out, qv_utf8_text(bytes));
            break;
        }
        }
    }
    out += "\r\n";
}

std::string qv_csv_number(double value)
{
    if (!std::isfinite(value))
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%.3f", value);
    std::string out = text;
    while (out.back() == '0')
        out.pop_back();
    if (out.back() == '.')
        out.pop_back();
    if (out == "-0")
        out = "0";
    return out;
}

std::string qv_write_refusal(const std::string &path, const std::vector<std::string> &loaded)
{
    if (path.empty())
        return "no file name";
    const fs::path target = resolvedTarget(path);
    std::error_code ec;
    const fs::file_status status = fs::status(target, ec);
    if (fs::is_directory(status))
        return "it is a folder";
    for (const std::string &file : loaded) {
        if (!file.empty() && (sameFile(path, file) || sameFile(target, file)))
            return "it is one of the loaded history files";
    }
    // A pipe or a device would be replaced by a file holding the text, not written to.
    if (fs::exists(status) && !fs::is_regular_file(status))
        return "not a regular file";
    return {};
}

bool qv_write_file_safely(const std::string &path, const qv_text_source &source,
                          const std::vector<std::string> &loaded, std::string &error)
{
    error = qv_write_refusal(path, loaded);
    if (!error.empty())
        return false;
    std::error_code ec;
    const fs::path target = resolvedTarget(path);
    const fs::file_status status = fs::status(target, ec);

    removeLeftovers(target.parent_path());
    fs::path temporary;
    int code = 0;
    std::FILE *file = createTemporary(target, temporary, code);
    if (file == nullptr) {
        error = systemReason(code);
        return false;
    }
    // The temporary file goes unless it has become the target. Its lock is held until then, through a
    // descriptor of its own that outlives the file's.
    struct Remove {
        const fs::path &path;
        std::FILE *&file;
        int lock;
        bool keep = false;
        ~Remove()
        {
            if (file != nullptr)
                std::fclose(file);
            if (!keep) {
                std::error_code ignored;
                fs::remove(path, ignored);
            }
            if (lock >= 0)
                ::close(lock);
        }
    } remove{temporary, file, ::fcntl(fileno(file), F_DUPFD_CLOEXEC, 0)};

    if (fs::exists(status))
        fs::permissions(temporary, status.permissions(), ec);

    // The text is made a piece at a time, and each piece is written by another thread while the next
    // one is made here: the writes (the system's copy into fresh pages of the file) take a third of
    // the time. Without a thread the pieces are written here.
    constexpr std::size_t piece = std::size_t{1} << 20;
    struct Twritten {
        bool ok = true;
        int code = 0;
    };
    const auto write_piece = [file](const std::string *chunk) {
        errno = 0;
        if (!chunk->empty() && std::fwrite(chunk->data(), 1, chunk->size(), file) != chunk->size())
            return Twritten{false, errno};
        return Twritten{};
    };
    std::string chunks[2];
    for (std::string &chunk : chunks)
        chunk.reserve(piece + 65536);
    std::future<Twritten> writing; // waited for on any way out, before the pieces and the file go
    const auto written = [&] {
        if (!writing.valid())
            return true;
        const Twritten done = writing.get();
        if (!done.ok)
            error = systemReason(done.code);
        return done.ok;
    };
    std::size_t current = 0;
    bool more = true;
    while (more) {
        std::string &chunk = chunks[current];
        more = source(chunk);
        if (chunk.size() < piece && more)
            continue;
        if (!written())
            return false;
        try {
            writing = std::async(std::launch::async, write_piece, &chunk);
        } catch (const std::system_error &) {
            const Twritten done = write_piece(&chunk);
            if (!done.ok) {
                error = systemReason(done.code);
                return false;
            }
        }
        current = 1 - current;
        chunks[current].clear(); // its write was waited for above
    }
    if (!written())
        return false;
    errno = 0;
    const int flushed = std::fflush(file);
    const int flushCode = errno;
    errno = 0;
    const int closed = std::fclose(file);
    file = nullptr;
    if (flushed != 0 || closed != 0) {
        error = systemReason(flushed != 0 ? flushCode : errno);
        return false;
    }
    fs::rename(temporary, target, ec);
    if (ec) {
        error = ec.message();
        return false;
    }
    remove.keep = true;
    return true;
}

bool qv_export_records(const std::string &path, const std::vector<const Tqv_record *> &records,
                       const std::vector<std::string> &loaded, std::string &error,
                       const qv_export_progress &progress)
{
    struct Tcancelled {};
    // The records' lines are made on the load's threads, a run of records each, and joined here in
    // their order; the progress is told after every 1,024 records.
    constexpr std::size_t run_records = 128;
    constexpr std::size_t runs_per_call = 8;
    qv_internal::Tparse_team team(qv_load_threads());
    // Each run's text on a cache line of its own: its size changes with every piece of a line, and two
    // threads writing beside each other would hand the line to and fro.
    struct alignas(64) Trun {
        std::string text;
    };
    std::array<Trun, runs_per_call> runs;
    std::size_t next = 0;
    bool header = true;
    try {
        return qv_write_file_safely(
            path,
            [&](std::string &chunk) {
                if (header) {
                    qv_csv_append_header(chunk);
                    header = false;
                }
                const std::size_t from = next;
                const std::size_t count = std::min(records.size() - from, run_records * runs_per_call);
                team.run((count + run_records - 1) / run_records,
                         [&](std::size_t run) {
                             std::string &text = runs[run].text;
                             text.clear();
                             const std::size_t begin = from + run * run_records;
                             const std::size_t end = std::min(begin + run_records, from + count);
                             // Records in an order other than the load's lie all over memory: each is asked
                             // for some records ahead.
                             constexpr std::size_t ahead = 8;
                             for (std::size_t k = begin; k < end; ++k) {
                                 if (k + ahead < end)
                                     qv_record_fetch(*records[k + ahead]);
                                 qv_csv_append_record(text, *records[k]);
                             }
                         },
                         [&](std::size_t run) { chunk += runs[run].text; }, {});
                next = from + count;
                if (progress && !progress(next))
                    throw Tcancelled(); // the temporary file goes on the way out
                return next < records.size();
            },
            loaded, error);
    } catch (const Tcancelled &) {
        error = "cancelled";
        return false;
    }
}
