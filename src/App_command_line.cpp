#include "App_command_line.h"

namespace {

const char *const usageLine = "usage: quorvex-history [--no-folder] [FILE...]\n";

const char *const helpText =
    "Opens the Quorvex history tool on the history files of the current folder: every *.csv file of the\n"
    "folder is loaded, then each FILE given, in their order, as an import of them would (a transaction\n"
    "already loaded keeps its first copy). Files are only ever read.\n"
    "\n"
    "  --no-folder  load only the FILEs given, nothing of the current folder (the desktop entry's way)\n"
    "  --help       show this help and exit\n"
    "  --version    show the version and exit\n"
    "  --           every argument after it is a file\n"
    "\n"
    "The options of Qt (-platform, -style, ...) are understood too.\n";

} // namespace

TCommandLine qv_parse_command_line(const std::vector<std::string> &args)
{
    TCommandLine line;
    bool help = false;
    bool version = false;
    bool filesOnly = false;
    for (const std::string &arg : args) {
        if (filesOnly || arg.size() < 2 || arg[0] != '-') {
            if (arg.empty()) {
                if (line.error.empty())
                    line.error = "an empty file name";
                continue;
            }
            line.files.push_back(arg);
        } else if (arg == "--") {
            filesOnly = true;
        } else if (arg == "--help" || arg == "-h") {
            help = true;
        } else if (arg == "--version") {
            version = true;
        } else if (arg == "--no-folder") {
            line.noFolder = true;
        } else if (line.error.empty()) {
            line.error = "unknown option: " + arg;
        }
    }
    if (help)
        line.action = TCommandLine::Action::help;
    else if (version)
        line.action = TCommandLine::Action::version;
    else if (!line.error.empty())
        line.action = TCommandLine::Action::error;
    if (line.action != TCommandLine::Action::run) {
        line.files.clear();
        line.noFolder = false;
    }
    return line;
}

int qv_answer_command_line(const TCommandLine &line, std::FILE *out, std::FILE *err)
{
    switch (line.action) {
    case TCommandLine::Action::run:
        return -1;
    case TCommandLine::Action::help:
        std::fputs(usageLine, out);
        std::fputs("\n", out);
        std::fputs(helpText, out);
        return 0;
    case TCommandLine::Action::version:
        std::fputs("quorvex-history " QV_VERSION "\n", out);
        return 0;
    case TCommandLine::Action::error:
        break;
    }
    std::fprintf(err, "quorvex-history: %s\n%s", line.error.c_str(), usageLine);
    return 2;
}
