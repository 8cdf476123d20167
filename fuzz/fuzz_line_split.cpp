// Splits one line into its column texts and compares the result with a plain reading of the format:
// every field opens with a double quote and is closed by the next quote-comma pair; the split ends at
// a field that does not open with a quote, and the last field may be closed by a quote and the line end.
// The splitter that takes a line in pieces must fill the same slots, whatever the pieces.
#include "Qv_file.h"
#include "fuzz_common.h"

namespace {

// The column texts by the rule above, each cut to the kept length.
int reference_split(std::string_view line, std::string_view (&slot)[qv_column_count])
{
    if (line.empty())
        return -1;
    if (line[0] != '"')
        return -2;
    std::size_t pos = 1;
    for (auto &s : slot) {
        const std::size_t close = line.find("\",", pos);
        if (close == std::string_view::npos) {
            if (line.size() > pos && line.back() == '"')
                s = line.substr(pos, line.size() - 1 - pos).substr(0, qv_column_max);
            return 1;
        }
        s = line.substr(pos, close - pos).substr(0, qv_column_max);
        pos = close + 2;
        if (pos >= line.size() || line[pos] != '"')
            return 1;
        ++pos;
    }
    return 1;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const Texact_bytes bytes(data, size);
    const std::string_view line = bytes.view();

    qv_line_fields fields;
    const int result = qv_line_split(line, fields);
    std::string_view expected[qv_column_count];
    const int expected_result = reference_split(line, expected);
    QV_FUZZ_CHECK(result == expected_result);
    for (int c = 0; c < qv_column_count; ++c) {
        const std::string_view got = fields.field(c);
        QV_FUZZ_CHECK(got.size() <= static_cast<std::size_t>(qv_column_max));
        QV_FUZZ_CHECK(got == expected[c]);
        // Every column text views the line itself.
        if (!got.empty())
            QV_FUZZ_CHECK(got.data() >= line.data() && got.data() + got.size() <= line.data() + line.size());
    }

    // The same line in pieces of a size that the first byte gives.
    const std::size_t piece = size > 0 ? data[0] % 17 + 1 : 1;
    Tqv_line_splitter splitter;
    splitter.begin();
    for (std::size_t at = 0; at < line.size(); at += piece)
        splitter.feed(line.substr(at, piece));
    qv_line_fields pieces;
    QV_FUZZ_CHECK(splitter.finish(pieces) == result);
    for (int c = 0; c < qv_column_count; ++c)
        QV_FUZZ_CHECK(pieces.field(c) == fields.field(c));
    return 0;
}
