// The listing of a folder's history files, and the load of all of them: the start-up folder's files
// and a folder given by name, listed by the same rules. Uses the load of several files and the key
// folding of the store (Qv_file_internal.h).
#include "Qv_load.h"

#include "Qv_file_internal.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

using namespace qv_internal;

std::vector<std::string> qv_history_files(const std::string &folder, std::string *error)
{
    namespace fs = std::filesystem;
    std::vector<std::string> names;
    std::error_code ec;
    fs::directory_iterator it(folder.empty() ? fs::path(".") : fs::path(folder), ec);
    for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (name.size() < 4)
            continue;
        const std::string_view ext = std::string_view(name).substr(name.size() - 4);
        if (!key_equal(ext, ".csv"))
            continue;
        std::error_code type_ec;
        if (it->is_directory(type_ec))
            continue;
        names.push_back(name);
    }
    if (ec && error != nullptr)
        *error = ec.message();
    std::sort(names.begin(), names.end());
    return names;
}

void qv_load_history_folder(Tqv_records &store, const std::string &folder, qv_load_report &report,
                            const qv_load_progress &progress)
{
    std::string error;
    std::vector<std::string> paths = qv_history_files(folder, &error);
    if (!error.empty())
        report.problems.push_back({folder.empty() ? std::string(".") : folder, 0, error});
    if (!folder.empty()) {
        for (std::string &path : paths)
            path = (std::filesystem::path(folder) / path).string();
    }
    qv_load_history_files(store, paths, report, progress);
}
