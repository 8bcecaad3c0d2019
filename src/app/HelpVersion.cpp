#include "app/HelpVersion.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "app/StartSettings.h"
#include "platform/ProfileStore.h"

namespace tidewell {

InfoRequest FindInfoRequest(int argc, const char* const* argv) {
    InfoRequest found = InfoRequest::kNone;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") return InfoRequest::kHelp;
        if (arg == "--version") found = InfoRequest::kVersion;
    }
    return found;
}

std::string VersionText(const std::string& programName) {
    return programName + " " TIDEWELL_VERSION "\n";
}

std::string HelpText(const std::string& programName, const std::string& profilePath) {
    const std::string& p = programName;
    return "Usage: " + p + " [/batch] [/reverse] [/backup] [/v2] [--verbose] [--dry-run]\n" +
           "       " + p +
           " --help | --version\n"
           "\n"
           "Rewrites in place the log files named by a HARUCOM to-do list (TODOLST2.DAT):\n"
           "cuts CR LF line ends to a bare CR, keeping a full CR LF every so many lines,\n"
           "or with /reverse turns every bare CR back into CR LF. Without /batch a dialog\n"
           "shows the settings and starts the conversion.\n"
           "\n"
           "Switches:\n"
           "  /batch     convert at start without the dialog, then end\n"
           "  /reverse   restore line feeds instead of cutting them\n"
           "  /backup    add each log to the STXBAK archive in its folder before it is\n"
           "             replaced (not with /reverse)\n"
           "  /v2        cut line feeds for HARUCOM V2.00\n"
           "Any argument that contains a switch turns it on, in any case and anywhere in\n"
           "the argument (/V20 and c:/backup/x count too). A switch only turns a setting\n"
           "on; without it the profile decides. --help, -h and --version count only as\n"
           "whole arguments.\n"
           "\n"
           "Options (whole arguments only):\n"
           "  --verbose  end every batch run with the summary line\n"
           "  --dry-run  change nothing: read the list and tell on standard error, one\n"
           "             line each, what a batch run would do with every log (\"would\n"
           "             convert (<before> -> <after> bytes)\", \"would back up into\n"
           "             <archive> as <member>\", or why not, worded as a real run\n"
           "             words it), then end with the status that run would; never\n"
           "             shows the dialog, so /batch and a display are not needed.\n"
           "             Only what writing would show (a full disk) is not foreseen.\n"
           "An argument with no switch in it that is none of these options turns nothing\n"
           "on and is named on standard error (\"tidewell: ignoring argument '...'\").\n"
           "\n"
           "Standard output carries the trace of the entries read from the list (ended by\n"
           "a line feed only on a terminal); problems go to standard error. In batch mode\n"
           "on a terminal a progress line is shown on standard error, and the run ends\n"
           "with a summary there: converted, missing, skipped (left alone on purpose:\n"
           "not a regular file, read-only, ...) and failed (tried, went wrong).\n"
           "\n"
           "Profile (list path, line interval, reverse, backup and V2 settings):\n"
           "  " +
           profilePath +
           "\n"
           "\n"
           "Exit status:\n"
           "  0  every log of the list that exists was converted (or the dialog was closed\n"
           "     without a run)\n"
           "  1  a log was skipped or could not be converted, or the trace could not be\n"
           "     written\n"
           "  2  the to-do list or the profile could not be read, or the dialog was needed\n"
           "     and no display could be opened\n"
           "A dry run ends with the status the batch run would end with.\n";
}

int AnswerInfoRequest(int argc, const char* const* argv) {
    const InfoRequest request = FindInfoRequest(argc, argv);
    if (request == InfoRequest::kNone) return -1;
    const std::string program = ApplicationNameFromArgv0(argc > 0 ? argv[0] : nullptr);
    std::string text;
    if (request == InfoRequest::kVersion) {
        text = VersionText(program);
    } else {
        // Only the file's name is asked for; nothing is read or created.
        const ProfileStore profile(kRegistryKey, program);
        text = HelpText(program, profile.FileName());
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    // "tidewell --help > /dev/full" must not claim success.
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "%s: cannot write to standard output: %s\n", program.c_str(),
                     std::strerror(errno));
        return 1;
    }
    return 0;
}

}  // namespace tidewell
