// Our own stand-in for the archiver library the converter hands its backup
// command to. Understands the one command it is given: "a" (add, replacing a
// member of the same name) with the switch "-n" (no progress output).
#pragma once

#include <string>
#include <vector>

namespace tidewell {

// caller: the object that asks (kept for the interface; not used).
// Names in the command may be drive names (C:\LOG\STXBAK); they go through
// MapHarucomName like every name taken from HARUCOM's files.
// Returns 0 on success; otherwise non-zero with a short reason in output.
int ArchiverCommand(const void* caller, const char* command, char* output, int outputSize);

// Splits a command line into words; double quotes keep spaces inside a word.
std::vector<std::string> SplitCommandWords(const std::string& command);

// An archive name without an extension gets ".zip".
std::string ArchiveFileName(const std::string& name);

}  // namespace tidewell
