// The program's string table: profile names, the default list path and the
// About menu text live here rather than scattered through the code.
#pragma once

#include <string>

namespace tidewell {

enum StringId {
    IDS_ABOUTBOX = 101,
    IDS_SECTION = 102,
    IDS_ENTRY_TODOPATH = 103,
    IDS_ENTRY_REVERSE = 104,
    IDS_ENTRY_BACKUP = 105,
    IDS_ENTRY_LINES = 106,
    IDS_DEFAULT_TODOPATH = 107,
    IDS_ENTRY_FORV2 = 108,
};

// Empty for an id the table does not hold.
std::string LoadString(int id);

}  // namespace tidewell
