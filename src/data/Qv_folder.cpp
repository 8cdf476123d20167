// The listing of a folder's history files, and the load of all of them: the start-up folder's files
// and a folder given by name, listed by the same rules. Uses the load of several files, the key folding
// of the store (Qv_file_internal.h) and the system's directory calls.
#include "Qv_load.h"

#include "Qv_file_internal.h"
#include "Qv_load_internal.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string_view>

#include <dirent.h>
#include <sys/stat.h>

using namespace qv_internal;

std::vector<std::string> qv_history_files(const std::string &folder, std::string *error)
{
    std::vector<bool> listed_regular;
    return list_history_files(folder, error, listed_regular);
}

std::vector<std::string> qv_internal::list_history_files(const std::string &folder, std::string *error,
                                                         std::vector<bool> &listed_regular)
{
    // The names are kept end to end in one text and sorted by their first eight bytes as a number
    // (most names of a folder differ there), the rest compared only between names that share those:
    // a folder of a hundred thousand files is listed in a fraction of what a string apiece took.
    struct Tlisted {
        std::uint64_t key; // the first eight bytes, the first the highest, zeros past the name's end
        std::size_t at;    // in texts
        std::size_t size;
        bool regular;
    };
    std::string texts;
    std::vector<Tlisted> listed;
    listed_regular.clear();
    DIR *const dir = ::opendir(folder.empty() ? "." : folder.c_str());
    if (dir == nullptr) {
        if (error != nullptr)
            *error = std::strerror(errno);
        return {};
    }
    for (;;) {
        errno = 0;
        const dirent *const entry = ::readdir(dir);
        if (entry == nullptr) {
            if (errno != 0 && error != nullptr)
                *error = std::strerror(errno);
            break;
        }
        const std::string_view name(entry->d_name);
        if (name.size() < 4 || !key_equal(name.substr(name.size() - 4), ".csv"))
            continue;
        // What the name leads to: the listing's own type, looked up only for a link or where the
        // listing gives none.
        bool regular = entry->d_type == DT_REG;
        if (entry->d_type == DT_DIR)
            continue;
        if (entry->d_type == DT_LNK || entry->d_type == DT_UNKNOWN) {
            struct stat st {};
            const bool looked = ::fstatat(::dirfd(dir), entry->d_name, &st, 0) == 0;
            if (looked && S_ISDIR(st.st_mode))
                continue;
            regular = looked && S_ISREG(st.st_mode);
        }
        std::uint64_t key = 0;
        for (std::size_t i = 0; i < 8; ++i)
            key = key << 8 | (i < name.size() ? static_cast<unsigned char>(name[i]) : 0u);
        listed.push_back({key, texts.size(), name.size(), regular});
        texts.append(name);
    }
    ::closedir(dir);
    const auto text = [&texts](const Tlisted &l) { return std::string_view(texts).substr(l.at, l.size); };
    std::sort(listed.begin(), listed.end(), [&text](const Tlisted &a, const Tlisted &b) {
        return a.key != b.key ? a.key < b.key : text(a) < text(b);
    });
    std::vector<std::string> names;
    names.reserve(listed.size());
    listed_regular.reserve(listed.size());
    for (const Tlisted &l : listed) {
        names.emplace_back(text(l));
        listed_regular.push_back(l.regular);
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
        const std::string prefix = folder.back() == '/' ? folder : folder + '/';
        for (std::string &path : paths)
            path.insert(0, prefix);
    }
    load_listed_files(store, paths, listed_regular, report, progress);
}
