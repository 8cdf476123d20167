// qv-dump: loads history files as an import does and writes the merged store as text, one record a
// line in store order, the 42 fields separated by tabs, or as standard CSV. What the load reports goes to
// standard error.

#include "Qv_export.h"
#include "Qv_file.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <string_view>
#include <vector>

namespace {

const char *const usage_line = "usage: qv-dump [--count | --csv] [--threads N] FILE...\n";

const char *const help_text =
    "Loads the history files in the order given, into one store as an import does (the first copy of a\n"
    "transaction wins), and writes every stored record to standard output in store order (ascending\n"
    "transaction ID): one line per record, its 42 fields separated by tabs. Dates, times and amounts\n"
    "are written in their text forms, the quantity as a number, texts as their bytes with backslash,\n"
    "tab, CR and LF written as \\\\, \\t, \\r and \\n.\n"
    "\n"
    "  --count       write only the number of records stored\n"
    "  --csv         write the records as standard CSV (RFC 4180) in UTF-8 instead: a header line of\n"
    "                the history files' 42 column captions, then one line per record; dates as\n"
    "                YYYY-MM-DD, times as HH:MM:SS, amounts as -1234.56, Windows-1252 texts converted\n"
    "                to UTF-8. Such a file loads back (FILE may be one) into the same records\n"
    "  --threads N   parse the lines on N threads (default: one per core); the output is the same\n"
    "  --help        show this help\n"
    "  --version     show the version\n"
    "\n"
    "Every problem of the load goes to standard error as FILE:LINE: MESSAGE (FILE: MESSAGE for a file\n"
    "that could not be read; control characters of FILE escaped as in texts), at most 200 lines per file\n"
    "and then how many more there were. Exit status: 0 when nothing was reported, 1 when something\n"
    "was, 2 for a wrong command line.\n";

// Standard output through one large buffer.
class Tout {
public:
    Tout() { buf_.reserve(limit + 4096); }
    void put(char c) { buf_ += c; }
    void put(std::string_view s) { buf_ += s; }
    void escaped(std::string_view s)
    {
        std::size_t from = 0;
        for (std::size_t i = 0; i < s.size(); ++i) {
            const char c = s[i];
            const char code = c == '\\' ? '\\' : c == '\t' ? 't' : c == '\r' ? 'r' : c == '\n' ? 'n' : 0;
            if (code == 0)
                continue;
            buf_.append(s.data() + from, i - from);
            buf_ += '\\';
            buf_ += code;
            from = i + 1;
        }
        buf_.append(s.data() + from, s.size() - from);
    }
    void end_line()
    {
        buf_ += '\n';
        if (buf_.size() >= limit)
            flush();
    }
    void flush_when_full()
    {
        if (buf_.size() >= limit)
            flush();
    }
    void flush()
    {
        if (!buf_.empty() && std::fwrite(buf_.data(), 1, buf_.size(), stdout) != buf_.size())
            failed_ = true;
        buf_.clear();
    }
    bool finish()
    {
        flush();
        return !failed_ && std::fflush(stdout) == 0;
    }

private:
    static constexpr std::size_t limit = std::size_t{1} << 20;
    std::string buf_;
    bool failed_ = false;
};

// The record's fields in declared order.
void dump_record(Tout &out, const Tqv_record &r)
{
    bool first = true;
    const auto sep = [&] {
        if (!first)
            out.put('\t');
        first = false;
    };
    const auto text = [&](qv_text_field f) {
        sep();
        out.escaped(r.text(f));
    };
    const auto plain = [&](const std::string &s) {
        sep();
        out.put(s);
    };

    plain(qv_date_text(r.date));
    plain(qv_time_text(r.time));
    for (qv_text_field f : {qv_f_time_zone, qv_f_name, qv_f_status_note, qv_f_status})
        text(f);
    plain(qv_amount_text(r.gross));
    plain(qv_amount_text(r.fee));
    plain(qv_amount_text(r.net));
    for (qv_text_field f : {qv_f_from_email, qv_f_to_email, qv_f_trans_id, qv_f_name_note, qv_f_address_note,
                            qv_f_item_title, qv_f_item_id})
        text(f);
    plain(qv_amount_text(r.shipping));
    text(qv_f_column17);
    plain(qv_amount_text(r.sales_tax));
    for (qv_text_field f : {qv_f_column19, qv_f_column20, qv_f_column21, qv_f_column22, qv_f_column23,
                            qv_f_buyer_id, qv_f_column25, qv_f_column26, qv_f_column27, qv_f_column28,
                            qv_f_ref_trans_id, qv_f_column30, qv_f_column31})
        text(f);
    plain(std::to_string(r.quantity));
    text(qv_f_column33);
    plain(qv_amount_text(r.balance));
    for (qv_text_field f :
         {qv_f_address1, qv_f_address2, qv_f_city, qv_f_province, qv_f_zip_code, qv_f_country, qv_f_phone})
        text(f);
    out.end_line();
}

int usage_error(const char *message, const char *arg)
{
    std::fprintf(stderr, "qv-dump: %s%s%s\n%s", message, arg != nullptr ? ": " : "",
                 arg != nullptr ? arg : "", usage_line);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    bool count_only = false;
    bool csv = false;
    bool options_done = false;
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (!options_done && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--count") {
                count_only = true;
            } else if (arg == "--csv") {
                csv = true;
            } else if (arg == "--version") {
                std::fputs("qv-dump " QV_VERSION "\n"
                           "License GPL-3.0-or-later: GNU GPL version 3 or later "
                           "<https://gnu.org/licenses/gpl.html>.\n",
                           stdout);
                return 0;
            } else if (arg == "--threads" && i + 1 < argc) {
                char *end = nullptr;
                const unsigned long n = std::strtoul(argv[i + 1], &end, 10);
                if (end == argv[i + 1] || *end != '\0' || n == 0 || n > 1024)
                    return usage_error("not a number of threads", argv[i + 1]);
                qv_load_set_threads(n);
                ++i;
            } else if (arg == "--") {
                options_done = true;
            } else if (arg == "--help" || arg == "-h") {
                std::fputs(usage_line, stdout);
                std::fputs("\n", stdout);
                std::fputs(help_text, stdout);
                return 0;
            } else {
                return usage_error("unknown option", argv[i]);
            }
            continue;
        }
        if (arg.empty())
            return usage_error("empty file name", nullptr);
        files.emplace_back(arg);
    }
    if (files.empty())
        return usage_error("no history file given", nullptr);
    if (count_only && csv)
        return usage_error("--count and --csv exclude each other", nullptr);

    Tqv_records store;
    qv_load_report report;
    try {
        qv_load_history_files(store, files, report);
    } catch (const std::exception &e) {
        std::fprintf(stderr, "qv-dump: %s\n", e.what());
        return 1;
    }
    for (const qv_load_problem &p : report.problems)
        std::fprintf(stderr, "%s\n", qv_problem_text(p).c_str());
    for (const qv_load_unlisted &u : report.unlisted) {
        if (u.lines > 0)
            std::fprintf(
                stderr, "%s\n",
                qv_problem_text({u.file, 0, "and " + std::to_string(u.lines) + " more lines with problems"})
                    .c_str());
        if (u.values > 0)
            std::fprintf(stderr, "%s\n",
                         qv_problem_text({u.file, 0,
                                          "and " + std::to_string(u.values) +
                                              " more values left out of records that loaded"})
                             .c_str());
    }

    Tout out;
    if (count_only) {
        out.put(std::to_string(store.count()));
        out.end_line();
    } else if (csv) {
        std::string line;
        qv_csv_append_header(line);
        out.put(line);
        for (std::size_t pos = 0; pos < store.count(); ++pos) {
            line.clear();
            qv_csv_append_record(line, store.record_at(pos)->data);
            out.put(line);
            out.flush_when_full();
        }
    } else {
        for (std::size_t pos = 0; pos < store.count(); ++pos)
            dump_record(out, store.record_at(pos)->data);
    }
    if (!out.finish()) {
        std::fprintf(stderr, "qv-dump: cannot write the output: %s\n", std::strerror(errno));
        return 1;
    }
    return report.problems.empty() ? 0 : 1;
}
