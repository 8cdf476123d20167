// Without libFuzzer: feeds every file named on the command line, and every file of every folder named
// there, to LLVMFuzzerTestOneInput once. Used to replay the seed and regression inputs in every build.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size);

namespace fs = std::filesystem;

namespace {

bool replay(const fs::path &file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "cannot read %s\n", file.c_str());
        return false;
    }
    const std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::uint8_t> data(bytes.begin(), bytes.end());
    LLVMFuzzerTestOneInput(data.data(), data.size());
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    int inputs = 0;
    bool ok = true;
    for (int a = 1; a < argc; ++a) {
        const fs::path arg(argv[a]);
        std::error_code ec;
        if (fs::is_directory(arg, ec)) {
            std::vector<fs::path> files;
            for (const auto &entry : fs::directory_iterator(arg)) {
                if (entry.is_regular_file())
                    files.push_back(entry.path());
            }
            std::sort(files.begin(), files.end());
            for (const fs::path &f : files) {
                ok = replay(f) && ok;
                ++inputs;
            }
        } else {
            ok = replay(arg) && ok;
            ++inputs;
        }
    }
    std::printf("replayed %d inputs\n", inputs);
    return ok ? 0 : 1;
}
