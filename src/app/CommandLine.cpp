#include "app/CommandLine.h"

namespace tidewell {

std::string CommandLineText(int argc, const char* const* argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) text += ' ';
        text += argv[i];
    }
    return text;
}

Switches ParseSwitches(const std::string& commandLine) {
    std::string lower = commandLine;
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    }
    auto has = [&lower](const char* s) { return lower.find(s) != std::string::npos; };
    return {has("/batch"), has("/reverse"), has("/backup"), has("/v2")};
}

Options ParseOptions(int argc, const char* const* argv) {
    Options o;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--verbose") o.verbose = true;
        if (arg == "--dry-run") o.dryRun = true;
    }
    return o;
}

std::vector<std::string> IgnoredArguments(int argc, const char* const* argv) {
    std::vector<std::string> ignored;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const Switches sw = ParseSwitches(arg);
        if (sw.batch || sw.reverse || sw.backup || sw.forV2) continue;
        if (arg == "--verbose" || arg == "--dry-run" || arg == "--help" || arg == "-h" ||
            arg == "--version") {
            continue;
        }
        ignored.push_back(arg);
    }
    return ignored;
}

}  // namespace tidewell
