// The listing of a folder's history files, and the load of all of them: the start-up folder's files
// and a folder given by name, listed by the same rules. Uses the load of several files and the key
// folding of the store (Qv_file_internal.h).
#include "Qv_load.h"

#include "Qv_file_internal.h"
#include "Qv_load_internal.h"

#include <algorithm>
#include <filesystem>
#include <system_error>
#include <utility>

using namespace qv_internal;

std::vector<std::string> qv_history_files(const std::string &folder, std::string *error)
{
    std::vector<bool> listed_regular;
    return list_history_files(folder, error, listed_regular);
}

std::vector<std::string> qv_internal::list_history_files(const std::string &folder, std::string *error,
                                                         std::vector<bool> &listed_regular)
{
    namespace fs = std::filesystem;
    std::vector<std::pair<std::string, bool>> listed;
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() < 4)
            continue;
        const std::string_view ext = std::string_view(name).substr(name.size() - 4);
        if (!key_equal(ext, ".csv"))
            continue;
        // What the name leads to: the listing's own type, looked up only for a link or where the
        // listing gives none (the entry's own tests; its status() would look every name up again).
        std::error_code type_ec;
        if (it->is_directory(type_ec))
            continue;
        listed.emplace_back(name, it->is_regular_file(type_ec));
    }
    if (ec && error != nullptr)
        *error = ec.message();
    std::sort(listed.begin(), listed.end());
    std::vector<std::string> names;
    names.reserve(listed.size());
    listed_regular.clear();
    for (auto &[name, regular] : listed) {
        names.push_back(std::move(name));
        listed_regular.push_back(regular);
    }
    return names;
}

void qv_load_history_folder(Tqv_records &store, const std::string &folder, qv_load_report &report,
                            const qv_load_progress &progress)
{
    std::string error;
    std::vector<bool> listed_regular;
    std::vector<std::string> paths = list_history_files(folder, &error, listed_regular);
    if (!error.empty())
        report.problems.push_back({folder.empty() ? std::string(".") : folder, 0, error});
    if (!folder.empty()) {
        for (std::string &path : paths)
            path = (std::filesystem::path(folder) / path).string();
    }
    load_listed_files(store, paths, listed_regular, report, progress);
}
