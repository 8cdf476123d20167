// A folder of the running test's own under the system's temporary folder, named after the test and
// removed with all it holds when the test ends.
#pragma once

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

namespace testing_history {

class Ttest_folder {
public:
    explicit Ttest_folder(const std::string &prefix)
        : path_(std::filesystem::temp_directory_path() /
                (prefix + std::to_string(::getpid()) + "_" +
                 ::testing::UnitTest::GetInstance()->current_test_info()->name()))
    {
        std::filesystem::remove_all(path_);
        std::filesystem::create_directories(path_);
    }
    ~Ttest_folder()
    {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    Ttest_folder(const Ttest_folder &) = delete;
    Ttest_folder &operator=(const Ttest_folder &) = delete;

    const std::filesystem::path &path() const { return path_; }

    // Writes bytes as the file name (a path relative to the folder) and returns the file's path.
    std::string write(const std::string &name, const std::string &bytes) const
    {
        const std::filesystem::path p = path_ / name;
        std::ofstream(p, std::ios::binary) << bytes;
        return p.string();
    }

private:
    std::filesystem::path path_;
};

} // namespace testing_history
