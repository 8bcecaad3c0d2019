// HARUCOM is a Windows program: its to-do list and profile name files such as
// C:\HARUCOM\LOG\MAIL01.TXT. On Linux its data lives in a Wine prefix, where
// drive C: is the folder the link $WINEPREFIX/dosdevices/c: points to and the
// real file may be .../drive_c/HaruCom/Log/mail01.txt. This turns the first
// kind of name into the second, the way Wine itself does.
#pragma once

#include <memory>
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

// MapHarucomName for one run of a list, remembering the names in each folder
// it had to search, so that a name whose case differs from the file's costs
// one listing per folder and run instead of one per name. What a folder holds
// is never taken from an outdated listing: on Linux the system reports every
// name made or removed in a remembered folder, and a folder that changed in
// any other way (its device, inode, times or size) is listed again. Where
// such reports cannot be had, every search lists the folder as before.
// One per run, used by one thread at a time.
class HarucomNames {
  public:
    HarucomNames();  // within WinePrefix()
    explicit HarucomNames(std::string prefix);
    ~HarucomNames();
    HarucomNames(const HarucomNames&) = delete;
    HarucomNames& operator=(const HarucomNames&) = delete;

    // As MapHarucomName; on Windows the name is returned unchanged.
    std::string Map(Io& io, const std::string& name, std::string* error);

  private:
    struct Folders;
    std::string prefix_;
    std::unique_ptr<Folders> folders_;
};

// The existing folder on this system that holds the file `name` points to, for
// a file dialog to start in (C:\HARUCOM\TODOLST2 → .../drive_c/HaruCom). Empty
// when the name cannot be mapped, has no folder part, or the folder is missing.
std::string MappedFolderOf(Io& io, const std::string& name);

}  // namespace tidewell
