// Sample history files: realistic, reproducible transaction lines in the layout that the Quorvex
// payment service exports (a header line, 42 quoted columns each followed by a comma, CR LF line ends).
//
// Everything is derived from the options with a small PRNG of our own, so the same options give the
// same bytes on every platform and library version.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace gen {

inline constexpr int column_count = 42;

// The header line's column names, in column order.
extern const std::array<const char *, column_count> column_names;

struct Toptions {
    std::uint64_t seed = 1;
    std::uint64_t records = 1000; // record lines, the header not counted
    std::uint64_t first_id = 0;   // ID number of the first new transaction
    int first_year = 2019;        // the lines are dated from 1 January of first_year ...
    int last_year = 2025;         // ... to 31 December of last_year, in ascending order
    unsigned repeat_percent = 0;  // share of lines that repeat an ID met earlier in the same file
    bool header = true;
};

struct Tsummary {
    std::uint64_t lines = 0;    // record lines written
    std::uint64_t distinct = 0; // distinct transaction IDs: numbers first_id .. first_id + distinct - 1
    std::uint64_t bytes = 0;    // everything written, the header included
};

// The transaction ID of an ID number: 17 capital letters and digits. Distinct numbers give distinct IDs.
std::string trans_id(std::uint64_t number);

// Writes the file's bytes through sink, in pieces of about a megabyte.
Tsummary write_history(const Toptions &options, const std::function<void(std::string_view)> &sink);

// The same, to a file ("-" is standard output). Returns false with error set when the file cannot be
// written.
bool write_history_file(const Toptions &options, const std::string &path, Tsummary &summary,
                        std::string &error);

} // namespace gen
