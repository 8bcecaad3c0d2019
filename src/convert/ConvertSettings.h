// The settings that drive one conversion run, as the main dialog owns them.
#pragma once

#include <string>

namespace tidewell {

struct ConvertSettings {
    int m_bBatch = 0;
    int m_nLines = 100;
    int m_bReverse = 0;
    int m_bBackup = 0;
    int m_bForV2 = 0;
    std::string m_strTodoPath;  // bytes, as the profile or the dialog gave them
};

}  // namespace tidewell
