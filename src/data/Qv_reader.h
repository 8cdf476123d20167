// The history file reader: the file text buffer and its lines, the split of one line into its 42
// column texts, and the splitter that does the same for a line that comes in pieces. Standard library
// only; uses nothing else of the data layer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

constexpr int qv_column_count = 42;
constexpr int qv_column_max = 127; // characters kept of one column text

// The column texts of one line: 42 slots of at most 127 characters, viewing the line's text (which
// must outlive them).
struct qv_line_fields {
    std::string_view slot[qv_column_count];

    // Empties every slot.
    void clear()
    {
        for (std::string_view &s : slot)
            s = {};
    }
    std::string_view field(int column) const { return slot[column]; }
};

// One line of the file text buffer: its text without the line end.
struct Tqv_line {
    std::string_view text;
};
using Tqv_lines = std::vector<Tqv_line>;

// Reads the whole file into the module-wide file text buffer. Returns false, leaving the buffer absent,
// when the file cannot be opened or read; error then holds the system's reason. An empty file gives
// true and an absent buffer. The file is opened read-only.
bool qv_file_read(const std::string &path, std::string *error = nullptr);
// Fills the file text buffer from memory, as qv_file_read would from a file of these bytes.
void qv_file_set_text(std::string_view bytes);
// Appends every line of the file text buffer. The text ends at the first zero byte; a LF ends a line;
// a CR ends the line's text (the rest up to the LF is not part of it).
void qv_file_split_lines(Tqv_lines &lines);
// Splits one line into the slots, emptying those it does not fill, so that one set of slots serves line
// after line. 1 when split, -1 for an empty line, -2 when it does not begin with a double quote (every
// slot empty).
int qv_line_split(std::string_view line, qv_line_fields &fields);

// Splits a line that comes in pieces exactly as qv_line_split splits it whole, keeping no more of it
// than the slots hold, so that a line of any length costs the same memory: begin(), feed() the pieces
// of the line's text in order, then finish(), which fills the slots as qv_line_split would and returns
// its result. The slots view the splitter, which must outlive them.
class Tqv_line_splitter {
public:
    void begin();
    void feed(std::string_view piece);
    int finish(qv_line_fields &fields) const;

private:
    enum class Tstate : std::uint8_t { start, field, after_comma, done };
    void append(char c);

    char text_[qv_column_count][qv_column_max];
    std::uint8_t length_[qv_column_count] = {};
    int slot_ = 0;   // the field being read
    int closed_ = 0; // fields closed by a quote-comma pair
    Tstate state_ = Tstate::start;
    bool quote_ = false; // the field's last byte so far is a quote, which may close it
    int result_ = -1;
};
void qv_file_free_lines(Tqv_lines &lines);
void qv_file_release();

// Where the text of the buffer was cut short, for the loader's report: the 0-based line index and what
// was lost. A zero byte ends the whole text; a CR not followed by LF ends its line's text early.
struct qv_text_cut {
    std::size_t line;
    bool zero_byte; // else a stray CR
};
// The cuts found by the last qv_file_split_lines.
const std::vector<qv_text_cut> &qv_file_cuts();
