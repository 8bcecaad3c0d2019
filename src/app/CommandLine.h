// The command line serves only four switches, each found by a plain
// case-insensitive substring search anywhere in the argument text.
#pragma once

#include <string>
#include <vector>

namespace tidewell {

// The arguments after the program name, joined by single spaces.
std::string CommandLineText(int argc, const char* const* argv);

struct Switches {
    bool batch = false;
    bool reverse = false;
    bool backup = false;
    bool forV2 = false;
};

Switches ParseSwitches(const std::string& commandLine);

// Our own options, each counted only as a whole argument.
struct Options {
    bool verbose = false;  // --verbose: the summary line even off a terminal
    // --dry-run: say what a batch run would do to each log, change nothing;
    // never the dialog, with or without /batch.
    bool dryRun = false;
};

Options ParseOptions(int argc, const char* const* argv);

// The arguments that turn nothing on: no switch inside them and not one of
// the options above (nor --help, -h, --version). A typo such as --dryrun must
// not pass unnoticed.
std::vector<std::string> IgnoredArguments(int argc, const char* const* argv);

}  // namespace tidewell
