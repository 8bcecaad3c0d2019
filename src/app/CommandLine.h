// The command line serves only four switches, each found by a plain
// case-insensitive substring search anywhere in the argument text.
#pragma once

#include <string>

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

}  // namespace tidewell
