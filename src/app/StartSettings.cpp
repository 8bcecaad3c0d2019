#include "app/StartSettings.h"

#include "app/CommandLine.h"
#include "app/StringTable.h"
#include "platform/ProfileStore.h"

namespace tidewell {

void LoadStartSettings(const ProfileStore& profile, const std::string& commandLine,
                       ConvertSettings* s) {
    const std::string section = LoadString(IDS_SECTION);
    s->m_strTodoPath = profile.GetProfileString(section, LoadString(IDS_ENTRY_TODOPATH),
                                                LoadString(IDS_DEFAULT_TODOPATH));
    s->m_nLines = profile.GetProfileInt(section, LoadString(IDS_ENTRY_LINES), 100);
    const Switches sw = ParseSwitches(commandLine);
    s->m_bBatch = sw.batch ? 1 : 0;
    s->m_bReverse =
        sw.reverse ? 1 : profile.GetProfileInt(section, LoadString(IDS_ENTRY_REVERSE), 0);
    s->m_bBackup = sw.backup ? 1 : profile.GetProfileInt(section, LoadString(IDS_ENTRY_BACKUP), 0);
    s->m_bForV2 = sw.forV2 ? 1 : profile.GetProfileInt(section, LoadString(IDS_ENTRY_FORV2), 0);
}

bool SaveSetup(ProfileStore& profile, const ConvertSettings& s) {
    // Stops at the first entry that cannot be stored: a list path the profile
    // cannot keep leaves the whole profile as it was.
    const std::string section = LoadString(IDS_SECTION);
    return profile.WriteProfileString(section, LoadString(IDS_ENTRY_TODOPATH), s.m_strTodoPath) &&
           profile.WriteProfileInt(section, LoadString(IDS_ENTRY_REVERSE), s.m_bReverse) &&
           profile.WriteProfileInt(section, LoadString(IDS_ENTRY_BACKUP), s.m_bBackup) &&
           profile.WriteProfileInt(section, LoadString(IDS_ENTRY_FORV2), s.m_bForV2) &&
           profile.WriteProfileInt(section, LoadString(IDS_ENTRY_LINES), s.m_nLines);
}

}  // namespace tidewell
