// The program's command line: quorvex-history [--no-folder] [FILE...], --help and --version. Standard
// library only, so that --help and --version answer before the application object needs a display.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

struct TCommandLine {
    enum class Action { run, help, version, error };
    Action action = Action::run;
    // The history files to load after the start-up folder, in their order.
    std::vector<std::string> files;
    // --no-folder: the *.csv files of the folder the program starts in are left alone (a start from the
    // desktop menu or "Open with", whose folder is whatever the desktop was in).
    bool noFolder = false;
    // What was wrong, for Action::error.
    std::string error;
};

// Reads the arguments that follow the program name. --help wins over --version, and both over a wrong
// option, wherever they stand; after "--" every argument is a file.
TCommandLine qv_parse_command_line(const std::vector<std::string> &args);

// For help, version and error: writes what they show (help and version to out, an error and the usage
// line to err) and returns the exit status, 0 or 2. Returns -1 for run, writing nothing.
int qv_answer_command_line(const TCommandLine &line, std::FILE *out, std::FILE *err);
