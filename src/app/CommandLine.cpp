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

}  // namespace tidewell
