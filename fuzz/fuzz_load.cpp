// Loads the input as a history file, then a second file cut from it that overlaps the first, into one
// store, and checks what every load must keep true: each line is accounted for, the store holds one
// record per ID in ascending ID order, and a file loaded again adds nothing. Read in blocks so small that
// most lines are longer than one, it loads the same records and reports the same problems.
#include "Qv_file.h"
#include "fuzz_common.h"

#include <algorithm>
#include <string>
#include <vector>

namespace {

void check_counts(const qv_load_report &report)
{
    const qv_load_counts &c = report.counts;
    QV_FUZZ_CHECK(c.lines == c.header + c.skipped + c.added + c.duplicates + c.reported);
    QV_FUZZ_CHECK(c.header <= c.files);
}

// The lines of the bytes as the whole-file reader cuts them, for comparison with the streaming load.
// Whether text begins with the header line of an exported history, which the load reads by the
// export's own rules: a record may then span lines, so that lines counted are records.
bool exported(std::string_view text)
{
    const std::size_t lf = text.find('\n');
    if (lf == std::string_view::npos)
        return false;
    std::string_view line = text.substr(0, lf);
    if (line.ends_with('\r'))
        line.remove_suffix(1);
    // The captions hold neither commas nor quotes: each may stand in quotes.
    std::vector<std::string_view> fields;
    for (std::size_t from = 0;;) {
        const std::size_t comma = std::min(line.find(',', from), line.size());
        std::string_view field = line.substr(from, comma - from);
        if (field.size() >= 2 && field.front() == '"' && field.back() == '"')
            field = field.substr(1, field.size() - 2);
        fields.push_back(field);
        if (comma == line.size())
            break;
        from = comma + 1;
    }
    for (const auto *names : {&qv_column_names, &qv_field_names}) {
        if (std::equal(fields.begin(), fields.end(), names->begin(), names->end()))
            return true;
    }
    return false;
}

std::size_t reader_lines(std::string_view bytes)
{
    qv_file_set_text(bytes);
    Tqv_lines lines;
    qv_file_split_lines(lines);
    const std::size_t n = lines.size();
    qv_file_free_lines(lines);
    qv_file_release();
    return n;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const Texact_bytes bytes(data, size);
    const std::string_view all = bytes.view();
    const std::string_view first = all.substr(0, size - size / 3);
    const std::string_view second = all.substr(size / 3);

    Tqv_records store;
    qv_load_report report;
    qv_load_history_text(store, first, "first.csv", report);
    const qv_load_counts after_first = report.counts;
    check_counts(report);
    const bool first_exported = exported(first);
    const bool second_exported = exported(second);
    QV_FUZZ_CHECK(first_exported ? after_first.lines <= reader_lines(first)
                                 : after_first.lines == reader_lines(first));
    QV_FUZZ_CHECK(store.count() == after_first.added);

    qv_load_history_text(store, second, "second.csv", report);
    check_counts(report);
    QV_FUZZ_CHECK(report.counts.files == 2);
    QV_FUZZ_CHECK(second_exported ? report.counts.lines - after_first.lines <= reader_lines(second)
                                  : report.counts.lines - after_first.lines == reader_lines(second));
    QV_FUZZ_CHECK(store.count() == report.counts.added);

    std::size_t values_left_out = 0;
    for (const qv_load_unlisted &u : report.unlisted)
        values_left_out += u.values;
    for (const qv_load_problem &p : report.problems) {
        QV_FUZZ_CHECK(p.file == "first.csv" || p.file == "second.csv");
        // A file's own problem: a zero byte in its first line means it is no text; a file without a line
        // of quoted fields is no history file; or a note on how the file writes its values, which stands
        // ahead of the file's line problems.
        QV_FUZZ_CHECK(
            p.line >= 1 || p.message == "not a text file" || p.message.rfind("UTF-16 text", 0) == 0 ||
            p.message == "not a Quorvex history file: no line holds quoted fields" ||
            (p.kind == qv_problem_kind::file_form && p.message.find(" are written ") != std::string::npos));
        QV_FUZZ_CHECK((p.kind == qv_problem_kind::file_form) ==
                      (p.line == 0 && p.message.find(" are written ") != std::string::npos));
        if (p.kind == qv_problem_kind::value_left_out)
            ++values_left_out;
        // A zero byte right after a line end stands on the line after the last one read.
        const bool in_first = p.file == "first.csv";
        const std::size_t lines = (in_first ? first_exported : second_exported)
                                      ? reader_lines(in_first ? first : second)
                                  : in_first ? after_first.lines
                                             : report.counts.lines - after_first.lines;
        QV_FUZZ_CHECK(p.line <= lines ||
                      (p.line == lines + 1 && p.message.find("zero byte") != std::string::npos));
        QV_FUZZ_CHECK(!p.message.empty());
    }
    QV_FUZZ_CHECK(values_left_out == report.counts.value_problems);
    for (std::size_t i = 1; i < report.problems.size(); ++i) {
        const qv_load_problem &p = report.problems[i];
        const qv_load_problem &before = report.problems[i - 1];
        QV_FUZZ_CHECK(p.kind != qv_problem_kind::file_form || before.file != p.file ||
                      before.kind == qv_problem_kind::file_form);
    }

    for (std::size_t pos = 0; pos < store.count(); ++pos) {
        Tqv_record_object *rec = store.record_at(pos);
        const std::string_view id = rec->data.trans_id();
        QV_FUZZ_CHECK(!id.empty() && id.size() <= static_cast<std::size_t>(qv_column_max));
        QV_FUZZ_CHECK(store.find(id) == rec);
        // IDs that differ only in letter case are one key.
        std::string upper(id);
        for (char &c : upper)
            c = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
        QV_FUZZ_CHECK(store.find(upper) == rec);
        if (pos > 0)
            QV_FUZZ_CHECK(qv_key_compare(store.record_at(pos - 1)->data.trans_id(), id) < 0);
    }

    // Lines longer than the read block take another path: the same store and the same report.
    qv_load_set_block_size(64);
    Tqv_records small_store;
    qv_load_report small;
    qv_load_history_text(small_store, first, "first.csv", small);
    qv_load_history_text(small_store, second, "second.csv", small);
    qv_load_set_block_size(0);
    QV_FUZZ_CHECK(small_store.count() == store.count());
    for (std::size_t pos = 0; pos < store.count(); ++pos) {
        const Tqv_record &a = store.record_at(pos)->data;
        const Tqv_record &b = small_store.record_at(pos)->data;
        for (int f = 0; f < qv_text_field_count; ++f)
            QV_FUZZ_CHECK(a.text(static_cast<qv_text_field>(f)) == b.text(static_cast<qv_text_field>(f)));
        QV_FUZZ_CHECK(a.gross == b.gross && a.quantity == b.quantity && a.date == b.date && a.time == b.time);
    }
    QV_FUZZ_CHECK(small.counts.lines == report.counts.lines && small.counts.added == report.counts.added);
    QV_FUZZ_CHECK(small.problems.size() == report.problems.size());
    for (std::size_t i = 0; i < small.problems.size(); ++i) {
        QV_FUZZ_CHECK(small.problems[i].line == report.problems[i].line);
        QV_FUZZ_CHECK(small.problems[i].message == report.problems[i].message);
    }

    // Loading a file again adds nothing and reads the same lines.
    qv_load_report again;
    qv_load_history_text(store, second, "second.csv", again);
    check_counts(again);
    QV_FUZZ_CHECK(again.counts.added == 0);
    QV_FUZZ_CHECK(again.counts.lines == report.counts.lines - after_first.lines);
    QV_FUZZ_CHECK(store.count() == report.counts.added);
    return 0;
}
