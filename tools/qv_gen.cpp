// qv-gen: writes a sample history file, the same bytes for the same options.

#include "Gen_history.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

const char *const usage_line = "usage: qv-gen [--seed N] [--records N] [--first-id N] [--repeat-percent P]\n"
                               "              [--years FIRST-LAST] [--no-header] [--print-id N] --out FILE\n";

const char *const help_text =
    "Writes a sample Quorvex history file: a header line of 42 column names, then one line per\n"
    "transaction, every field quoted and followed by a comma, CR LF line ends. The same options always\n"
    "give the same bytes.\n"
    "\n"
    "  --seed N            the seed of everything random in the file (default 1)\n"
    "  --records N         record lines to write, the header not counted (default 1000, at most 10^9)\n"
    "  --first-id N        ID number of the first new transaction (default 0); the file's transactions\n"
    "                      get the numbers N, N+1, ... in order\n"
    "  --repeat-percent P  about P percent of the lines repeat a transaction ID met earlier in the same\n"
    "                      file, with other data (default 0)\n"
    "  --years FIRST-LAST  the lines are dated from 1 January of FIRST to 31 December of LAST, in\n"
    "                      ascending order (default 2019-2025)\n"
    "  --no-header         leave out the header line\n"
    "  --print-id N        print the transaction ID of ID number N and exit\n"
    "  --out FILE          the file to write, - for standard output\n"
    "\n"
    "A transaction ID depends on its ID number alone, so files whose number ranges meet share those\n"
    "transactions; give them different seeds to make the shared copies differ. For example\n"
    "  qv-gen --seed 1 --records 200 --first-id 0   --out a.csv\n"
    "  qv-gen --seed 2 --records 200 --first-id 150 --out b.csv\n"
    "share the 50 transactions numbered 150 to 199.\n"
    "\n"
    "A summary goes to standard error: lines written, distinct transaction IDs and their numbers.\n";

bool parse_number(const char *text, std::uint64_t max, std::uint64_t &value)
{
    if (text == nullptr || *text < '0' || *text > '9')
        return false;
    char *end = nullptr;
    errno = 0;
    const unsigned long long v = std::strtoull(text, &end, 10);
    if (errno != 0 || *end != '\0' || v > max)
        return false;
    value = v;
    return true;
}

int usage_error(const char *message, const char *arg)
{
    std::fprintf(stderr, "qv-gen: %s%s%s\n%s", message, arg != nullptr ? ": " : "", arg != nullptr ? arg : "",
                 usage_line);
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    gen::Toptions options;
    std::string out;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        const char *value = i + 1 < argc ? argv[i + 1] : nullptr;
        std::uint64_t n = 0;
        if (arg == "--help" || arg == "-h") {
            std::fputs(usage_line, stdout);
            std::fputs("\n", stdout);
            std::fputs(help_text, stdout);
            return 0;
        }
        if (arg == "--no-header") {
            options.header = false;
            continue;
        }
        if (value == nullptr)
            return usage_error("unknown option or missing value", argv[i]);
        if (arg == "--seed") {
            if (!parse_number(value, UINT64_MAX, options.seed))
                return usage_error("bad seed", value);
        } else if (arg == "--records") {
            if (!parse_number(value, 1000000000, options.records))
                return usage_error("bad record count", value);
        } else if (arg == "--first-id") {
            if (!parse_number(value, UINT64_MAX / 2, options.first_id))
                return usage_error("bad ID number", value);
        } else if (arg == "--repeat-percent") {
            if (!parse_number(value, 100, n))
                return usage_error("bad percentage", value);
            options.repeat_percent = static_cast<unsigned>(n);
        } else if (arg == "--years") {
            int first = 0;
            int last = 0;
            char extra = 0;
            if (std::sscanf(value, "%d-%d%c", &first, &last, &extra) != 2 || first < 1 || last < first ||
                last > 9999 || last - first > 300)
                return usage_error("bad years (FIRST-LAST, like 2019-2025)", value);
            options.first_year = first;
            options.last_year = last;
        } else if (arg == "--print-id") {
            if (!parse_number(value, UINT64_MAX, n))
                return usage_error("bad ID number", value);
            std::printf("%s\n", gen::trans_id(n).c_str());
            return 0;
        } else if (arg == "--out") {
            out = value;
        } else {
            return usage_error("unknown option", argv[i]);
        }
        ++i;
    }
    if (out.empty())
        return usage_error("no output file (--out FILE)", nullptr);

    gen::Tsummary summary;
    std::string error;
    if (!gen::write_history_file(options, out, summary, error)) {
        std::fprintf(stderr, "qv-gen: %s: %s\n", out.c_str(), error.c_str());
        return 1;
    }
    std::fprintf(
        stderr, "%s: %llu lines, %llu transaction IDs (numbers %llu to %llu), %llu bytes\n", out.c_str(),
        static_cast<unsigned long long>(summary.lines), static_cast<unsigned long long>(summary.distinct),
        static_cast<unsigned long long>(options.first_id),
        static_cast<unsigned long long>(options.first_id + summary.distinct - (summary.distinct > 0 ? 1 : 0)),
        static_cast<unsigned long long>(summary.bytes));
    return 0;
}
