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

// The arguments without the options that Qt takes itself (-style Fusion, -platform xcb, -reverse, ...,
// with one dash or two, a value after a blank or, where Qt takes it so, after '='), up to "--". They
// are known before the application object is made, which needs a display: a wrong option is told
// without one.
std::vector<std::string> qv_without_qt_options(const std::vector<std::string> &args);

// Reads the arguments that follow the program name, Qt's options taken out. --help wins over --version, and
// both over a wrong option, wherever they stand; after "--" every argument is a file.
TCommandLine qv_parse_command_line(const std::vector<std::string> &args);

// For help, version and error: writes what they show (help and version to out, an error with the
// usage on one line to err) and returns the exit status, 0 or 2. Returns -1 for run, writing nothing.
int qv_answer_command_line(const TCommandLine &line, std::FILE *out, std::FILE *err);
