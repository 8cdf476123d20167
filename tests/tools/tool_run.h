// Runs the tools as programs in a temporary folder of the test and reads back what they wrote.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace tool_test {

namespace fs = std::filesystem;

struct Trun {
    int status = -1; // the exit status, -1 when the program did not exit normally
    std::string out;
    std::string err;
};

inline std::string read_file(const fs::path &p)
{
    std::ifstream in(p, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

inline void write_file(const fs::path &p, const std::string &bytes)
{
    std::ofstream(p, std::ios::binary) << bytes;
}

inline std::vector<std::string> split(const std::string &text, char sep)
{
    std::vector<std::string> parts;
    std::string::size_type from = 0;
    for (;;) {
        const auto at = text.find(sep, from);
        parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
        if (at == std::string::npos)
            return parts;
        from = at + 1;
    }
}

// The lines of a text that ends with a line end.
inline std::vector<std::string> lines_of(const std::string &text)
{
    std::vector<std::string> lines = split(text, '\n');
    if (!lines.empty() && lines.back().empty())
        lines.pop_back();
    return lines;
}

// A fresh folder per test, removed afterwards.
class Tool_test : public ::testing::Test {
protected:
    void SetUp() override
    {
        const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir = fs::temp_directory_path() /
              ("qv_tools_" + std::to_string(::getpid()) + "_" + info->test_suite_name() + "_" + info->name());
        fs::remove_all(dir);
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string &name) const { return (dir / name).string(); }

    // Runs program with the arguments (each single-quoted for the shell).
    Trun run(const std::string &program, const std::vector<std::string> &args) const
    {
        std::string command = "'" + program + "'";
        for (const std::string &a : args)
            command += " '" + a + "'";
        const fs::path out = dir / "run.out";
        const fs::path err = dir / "run.err";
        command += " >'" + out.string() + "' 2>'" + err.string() + "'";
        const int raw = std::system(command.c_str());
        Trun r;
        r.status = raw != -1 && WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        r.out = read_file(out);
        r.err = read_file(err);
        return r;
    }

    fs::path dir;
};

} // namespace tool_test
