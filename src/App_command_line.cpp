#include "App_command_line.h"

namespace {

const char *const usage = "usage: quorvex-history [--no-folder] [FILE...]";

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

// Qt's own options: those that take the next argument as their value, and those that stand alone.
// -style and -stylesheet also take theirs after '='.
const char *const qtWithValue[] = {"platform",
                                   "platformpluginpath",
                                   "platformtheme",
                                   "plugin",
                                   "qwindowgeometry",
                                   "geometry",
                                   "qwindowtitle",
                                   "title",
                                   "qwindowicon",
                                   "icon",
                                   "session",
                                   "style",
                                   "stylesheet",
                                   "display",
                                   "name",
                                   "visual"};
const char *const qtAlone[] = {"reverse", "testability", "widgetcount", "nograb", "dograb", "sync"};
const char *const qtWithEquals[] = {"style=", "stylesheet=", "qmljsdebugger="};

} // namespace

std::vector<std::string> qv_without_qt_options(const std::vector<std::string> &args)
{
    std::vector<std::string> kept;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string &arg = args[i];
        if (arg == "--") {
            kept.insert(kept.end(), args.begin() + static_cast<std::ptrdiff_t>(i), args.end());
            break;
        }
        // Qt reads --style as -style.
        const std::size_t dashes = arg.rfind("--", 0) == 0 ? 2 : arg.rfind('-', 0) == 0 ? 1 : 0;
        const std::string name = dashes != 0 ? arg.substr(dashes) : std::string();
        bool taken = false;
        if (!name.empty()) {
            for (const char *option : qtAlone)
                taken = taken || name == option;
            for (const char *option : qtWithEquals)
                taken = taken || (name.rfind(option, 0) == 0 && name.size() > std::string(option).size());
            for (const char *option : qtWithValue) {
                // Without a value Qt leaves it, and so it is not one of Qt's.
                if (name == option && i + 1 < args.size()) {
                    taken = true;
                    ++i;
                    break;
                }
            }
        }
        if (!taken)
            kept.push_back(arg);
    }
    return kept;
}

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
        std::fprintf(out, "%s\n\n", usage);
        std::fputs(helpText, out);
        return 0;
    case TCommandLine::Action::version:
        std::fputs(
            "quorvex-history " QV_VERSION "\n"
            "Copyright (C) 2026 the Quorvex history tool developers\n"
            "License GPL-3.0-or-later: GNU GPL version 3 or later <https://gnu.org/licenses/gpl.html>.\n"
            "This is free software: you are free to change and redistribute it.\n"
            "There is NO WARRANTY, to the extent permitted by law.\n",
            out);
        return 0;
    case TCommandLine::Action::error:
        break;
    }
    std::fprintf(err, "quorvex-history: %s (%s)\n", line.error.c_str(), usage);
    return 2;
}
