// Loads a folder of history files and imports more, then runs every search and report over the store:
// all that the program does with history files, for a test that watches the files under strace.
//   read_all FOLDER [FILE...]
#include "Qv_file.h"

#include <cstdio>

int main(int argc, char **argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: read_all FOLDER [FILE...]\n");
        return 2;
    }
    Tqv_records store;
    qv_load_report report;
    qv_load_history_folder(store, argv[1], report);
    for (int a = 2; a < argc; ++a)
        qv_load_history_file(store, argv[a], report);
    std::size_t found = 0;
    for (const qv_search_field field :
         {qv_search_field::trans_id, qv_search_field::from_email, qv_search_field::name})
        found += qv_search_records(store, field, "a").size();
    const qv_date from{2000, 1, 1};
    const qv_date to{2100, 12, 31};
    std::size_t points = 0;
    for (const qv_report_value value : {qv_report_value::quantity, qv_report_value::gross}) {
        points += qv_report_month(store, from, to, value).size();
        points += qv_report_day(store, from, to, value).size();
    }
    std::printf("records %zu, problems %zu, found %zu, points %zu\n", store.count(), report.problems.size(),
                found, points);
    return 0;
}
