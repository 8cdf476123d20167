// The load's reading of an exported history, the program's own standard CSV: whether a text begins with
// the export's header line (export_header, after the first bytes were read ahead: Treplay_source), and
// the cutting of its text into records block by block (stream_export), which hands each record to the
// loader as a split line. Qv_load.cpp uses it beside its reading of history files. Standard library only.
#pragma once

#include "Qv_file_internal.h"
#include "Qv_load_internal.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <optional>
#include <string_view>
#include <vector>

namespace qv_internal {

// Hands out the first bytes of a source, read ahead to tell its form, and then the rest of it.
class Treplay_source : public Tsource {
public:
    Treplay_source(Tsource &source, std::string_view head) : source_(source), head_(head) {}
    std::size_t read(char *dest, std::size_t room) override
    {
        if (head_.empty())
            return source_.read(dest, room);
        const std::size_t n = std::min(room, head_.size());
        std::memcpy(dest, head_.data(), n);
        head_.remove_prefix(n);
        return n;
    }
    std::uint64_t size() const override { return source_.size(); }
    bool intact() override { return source_.intact(); }
    std::string failure() const override { return source_.failure(); }
    std::optional<std::string_view> in_memory() const override
    {
        return head_.empty() ? source_.in_memory() : std::nullopt;
    }
    void skip(std::size_t n) override
    {
        if (head_.empty())
            source_.skip(n);
        else
            Tsource::skip(n);
    }

private:
    Tsource &source_;
    std::string_view head_;
};

// Whether the first line of head is the header line of an exported history: the column captions the
// export writes, or the field names that earlier versions of it wrote, each quoted or not (a
// spreadsheet may quote them all). A history file's header has a 43rd, empty field.
inline bool export_header(std::string_view head)
{
    const std::size_t lf = head.find('\n');
    if (lf == std::string_view::npos)
        return false;
    std::string_view line = head.substr(0, lf);
    if (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    // An empty last field, as a history file's header line has, is neither a caption nor a name.
    if (line.ends_with(','))
        return false;
    // Each field is held against both lists as it is cut: a history file's first line is looked at
    // this way in every file of a folder.
    std::size_t count = 0;
    bool captions = true;
    bool names = true;
    while (count <= qv_column_count) {
        std::size_t end = 0;
        std::string_view field;
        if (line.starts_with('"')) {
            end = line.find('"', 1); // the captions hold no quotes
            if (end == std::string_view::npos)
                return false;
            field = line.substr(1, end - 1);
            ++end;
        } else {
            end = std::min(line.find(','), line.size());
            field = line.substr(0, end);
        }
        captions = captions && count < qv_column_count && field == qv_column_names[count];
        names = names && count < qv_column_count && field == qv_field_names[count];
        if (!captions && !names)
            return false;
        ++count;
        if (end == line.size())
            break;
        if (line[end] != ',')
            return false;
        line.remove_prefix(end + 1);
    }
    return count == qv_column_count;
}

// Cuts the text of an exported history (RFC 4180: fields quoted or not, a quoted field's quotes
// doubled, any character within quotes, a record ended by LF or CR LF) into records, block by block,
// and hands each to on_line as a split line: its 42 fields (each cut to qv_column_max bytes), or, as
// the split result, why it is not a record of an export (-3: not 42 fields, -4: a quote within a field,
// -5: a quoted field open at the end of the text; -1: an empty line), and the further lines of the
// text that it spans. A record left unfinished at the end counts only when the text is whole; a zero
// byte ends the text.
template <class OnLine, class Progress>
Tstream_end stream_export(Tsource &source, OnLine &&on_line, Progress &&progress)
{
    Tstream_end result;
    const std::size_t block_size = stream_block_size(source);
    std::vector<char> block(block_size);
    struct Trecord {
        char text[qv_column_count][qv_column_max];
        qv_line_fields fields;
    };
    const auto record = std::make_unique<Trecord>();
    std::array<std::size_t, qv_column_count> length{};
    int field = 0;       // the field being read; qv_column_count and more: too many
    bool begun = false;  // a character of the record was read
    bool quoted = false; // within a quoted field
    bool closed = false; // just after a quote within a quoted field: a quote again, or the field's end
    bool cr = false;     // a CR outside quotes, not yet known to end the record
    bool stray_quote = false;
    std::uint32_t more = 0; // line ends within the record's quoted fields
    std::size_t records = 0;
    std::size_t lines = 0; // line ends read
    std::uint64_t bytes = 0;

    const auto put = [&](char c) {
        if (field < qv_column_count && length[field] < qv_column_max)
            record->text[field][length[field]++] = c;
    };
    const auto end_record = [&](bool at_text_end) {
        record->fields.clear();
        for (int c = 0; c < qv_column_count; ++c)
            record->fields.slot[c] = std::string_view(record->text[c], length[c]);
        int split = 1;
        if (!begun)
            split = -1;
        else if (at_text_end && quoted)
            split = -5;
        else if (stray_quote)
            split = -4;
        else if (field != qv_column_count - 1)
            split = -3;
        on_line(std::string_view(), &record->fields, false, split, more);
        if (++records % 1024 == 0)
            on_line.flush(); // what the loader holds per record stays small
        length.fill(0);
        field = 0;
        begun = quoted = closed = stray_quote = false;
        more = 0;
    };
    const auto take = [&](char c) {
        if (quoted) {
            if (c == '"') {
                quoted = false;
                closed = true;
                return;
            }
            if (c == '\n') {
                ++more;
                ++lines;
            }
            put(c);
            return;
        }
        if (cr) {
            cr = false;
            if (c == '\n') {
                ++lines;
                end_record(false);
                return;
            }
            put('\r');
        }
        if (closed) {
            closed = false;
            if (c == '"') { // a doubled quote
                quoted = true;
                put('"');
                return;
            }
            if (c != ',' && c != '\r' && c != '\n')
                stray_quote = true;
        }
        switch (c) {
        case ',':
            ++field;
            begun = true;
            break;
        case '\r':
            cr = true;
            break;
        case '\n':
            ++lines;
            end_record(false);
            break;
        case '"':
            if (length[std::min(field, qv_column_count - 1)] == 0)
                quoted = true;
            else
                stray_quote = true;
            begun = true;
            break;
        default:
            put(c);
            begun = true;
            break;
        }
    };

    for (;;) {
        const std::size_t got = source.read(block.data(), block_size);
        bytes += got;
        const char *const end = block.data() + got;
        const char *const zero = static_cast<const char *>(std::memchr(block.data(), '\0', got));
        for (const char *c = block.data(); c != (zero != nullptr ? zero : end); ++c)
            take(*c);
        if (got == 0 || zero != nullptr) {
            if (cr)
                take('\n'); // a CR that ends the text ends its last record
            if (begun && (zero != nullptr || source.intact()))
                end_record(true);
            // A zero byte with nothing after it loses nothing.
            char probe;
            if (zero != nullptr && (zero + 1 < end || source.read(&probe, 1) != 0))
                result.zero_line = lines;
            on_line.flush();
            return result;
        }
        if (!progress(bytes)) {
            on_line.flush();
            result.cancelled = true;
            return result;
        }
    }
}

} // namespace qv_internal
