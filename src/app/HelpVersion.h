// --help and --version: answered before anything else runs, so they work
// without a profile, a display or any window-system object.
#pragma once

#include <string>

namespace tidewell {

enum class InfoRequest { kNone, kHelp, kVersion };

// Only whole arguments count ("--help", "-h", "--version"); an argument that
// merely contains one of them is left to the switches' substring rule. Help
// wins when both are asked for.
InfoRequest FindInfoRequest(int argc, const char* const* argv);

// "tidewell 1.0.0.5"
std::string VersionText(const std::string& programName);

std::string HelpText(const std::string& programName, const std::string& profilePath);

// Prints the answer to standard output. Returns the exit status, or -1 when
// the arguments ask for neither.
int AnswerInfoRequest(int argc, const char* const* argv);

}  // namespace tidewell
