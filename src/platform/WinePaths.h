// HARUCOM is a Windows program: its to-do list and profile name files such as
// C:\HARUCOM\LOG\MAIL01.TXT. On Linux its data lives in a Wine prefix, where
// drive C: is the folder the link $WINEPREFIX/dosdevices/c: points to and the
// real file may be .../drive_c/HaruCom/Log/mail01.txt. This turns the first
// kind of name into the second, the way Wine itself does.
#pragma once

#include <string>

#include "platform/Io.h"

namespace tidewell {

// The prefix in use: $WINEPREFIX, else ~/.wine. Empty when neither it nor a
// home folder is known.
std::string WinePrefix();

// Maps one name within `prefix`:
// - "X:..." (any drive letter, '\' and '/' both separators) goes below
//   prefix/dosdevices/x:. Each component that does not exist as written is
//   looked up ignoring ASCII case; "." and ".." are resolved by name, never
//   above the drive's root. A component that is not found (a file still to be
//   created, a log that is gone) is kept as written, so that opening the result
//   reports it missing.
// - a name without a drive letter is returned as it stands;
// - a UNC name (\\server\share\...) cannot be mapped.
// On failure returns an empty string with *error set; on success *error is
// cleared. Uses io for the existence checks.
std::string MapDosName(Io& io, const std::string& prefix, const std::string& name,
                       std::string* error);

// What every name read from HARUCOM's files goes through: MapDosName within
// WinePrefix(). On Windows the name is returned unchanged.
std::string MapHarucomName(Io& io, const std::string& name, std::string* error);

// The existing folder on this system that holds the file `name` points to, for
// a file dialog to start in (C:\HARUCOM\TODOLST2 → .../drive_c/HaruCom). Empty
// when the name cannot be mapped, has no folder part, or the folder is missing.
std::string MappedFolderOf(Io& io, const std::string& name);

}  // namespace tidewell
