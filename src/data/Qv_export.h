// Writing history out: records as standard CSV (RFC 4180, UTF-8, CR LF line ends) and the safe write of
// a whole file. Standard library only, so that qv-dump and the windows share it.
//
// A record is written as its 42 fields in declared order, under the history files' own header line of
// column captions (qv_column_names, unquoted), so that the load knows the file again: dates as YYYY-MM-DD
// (empty for a record without a date), times as HH:MM:SS, amounts as -1234.56, the quantity as a whole number
// and texts converted to UTF-8. A field is quoted when it holds a comma, a quote, a CR or a LF, its quotes
// doubled.
//
// A file is written through a new temporary file in its own folder (a short name of its own, whatever
// the target's length), which takes the target's name only when every byte is written and closed: an
// error, a full disk included, leaves the target as it was and no temporary file behind. A file that is
// loaded is never written over. A write holds a lock on its temporary file, so that the temporary files
// a killed write left behind are told from those of a write going on, and removed by the next write
// into their folder.
#pragma once

#include "Qv_file.h"

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

// Record bytes as UTF-8: bytes that are valid UTF-8 stay as they are (a last character cut short is
// dropped), any other text is read as Windows-1252.
std::string qv_utf8_text(std::string_view bytes);

// Appends one CSV field, quoted when it must be.
void qv_csv_append_field(std::string &out, std::string_view utf8);
// Appends the header line, or one record's line, with its CR LF.
void qv_csv_append_header(std::string &out);
void qv_csv_append_record(std::string &out, const Tqv_record &rec);
// A number for a CSV file: at most three decimals, no trailing zeros, no group separators, '.' as the
// decimal point (1234.5, 7, -0.25).
std::string qv_csv_number(double value);

// Hands the text of a file out piece by piece: appends the next piece to chunk and returns true, or
// returns false when the text is complete.
using qv_text_source = std::function<bool(std::string &chunk)>;

// Why path may not be written, or empty when it may: it names no file, a folder, the same file as one
// of loaded (by name or by identity, links included), or something other than a regular file (a pipe,
// a socket, a device), which the write would replace by a file instead of writing to it. Links are
// followed.
std::string qv_write_refusal(const std::string &path, const std::vector<std::string> &loaded);

// Writes the text of source to path safely (see above). Refuses, writing nothing, whatever
// qv_write_refusal refuses. False with the reason in error when the file was not written.
bool qv_write_file_safely(const std::string &path, const qv_text_source &source,
                          const std::vector<std::string> &loaded, std::string &error);

// Told how many records were written so far, every thousand or so; returning false cancels the write.
using qv_export_progress = std::function<bool(std::size_t written)>;

// Writes records (in the order given) as an exported history, header first, through the safe write.
// A cancelled write leaves the target as it was and no temporary file behind; its error is
// "cancelled". Temporary files that a killed write left in the folder are removed first.
bool qv_export_records(const std::string &path, const std::vector<const Tqv_record *> &records,
                       const std::vector<std::string> &loaded, std::string &error,
                       const qv_export_progress &progress = {});
