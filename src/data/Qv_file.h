// Transaction data: the history file reader, the transaction record, the record store, the loads and
// the plain computations behind search and reports. Standard library only: the windows use this unit,
// it never uses them. The windows, the tools, the tests and the fuzzers include this header.
//
// Each part has a header and files of its own, and uses only the parts before it:
// - the reader (Qv_reader.h, Qv_reader.cpp): a file's text cut into lines, a line cut into 42 column
//   texts (qv_line_split), and the splitter that does the same for a line that comes in pieces;
// - the record (Qv_record.h, Qv_record.cpp): dates, times and amounts with their parse and text forms,
//   and Tqv_record, its numbers and its packed texts, made from a line's columns (qv_record_parse);
// - the store (Qv_store.h, Qv_store.cpp): Tqv_records, one record per transaction ID, ignoring letter
//   case, the first copy winning, handed out in ascending ID order;
// - the loads (Qv_load.h; Qv_load.cpp with Qv_source.cpp, Qv_parse_team.cpp, Qv_problems.cpp and
//   Qv_folder.cpp): files and texts read block by block, their lines parsed on several threads and
//   added to the store in the order of the file, and what the load reports;
// - the search and report sums (Qv_search.h, Qv_search.cpp).
// What the files share beyond these headers is in Qv_file_internal.h (packed texts, hashes, the store's
// insides) and Qv_load_internal.h (the load's pieces), which nothing outside the data layer includes.
#pragma once

#include "Qv_load.h"
#include "Qv_reader.h"
#include "Qv_record.h"
#include "Qv_search.h"
#include "Qv_store.h"
