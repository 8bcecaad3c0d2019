#include "app/StringTable.h"

namespace tidewell {

std::string LoadString(int id) {
    switch (id) {
        case IDS_ABOUTBOX:
            return "ﾊﾞｰｼﾞｮﾝ情報(TIDEWELL) (&A)...";
        case IDS_SECTION:
            return "TidewellSetup";
        case IDS_ENTRY_TODOPATH:
            return "TODOLST2";
        case IDS_ENTRY_REVERSE:
            return "REVERSE";
        case IDS_ENTRY_BACKUP:
            return "BACKUP";
        case IDS_ENTRY_LINES:
            return "LINES";
        case IDS_DEFAULT_TODOPATH:
            return "C:\\HARUCOM\\TODOLST2";
        case IDS_ENTRY_FORV2:
            return "FORV2";
        default:
            return {};
    }
}

}  // namespace tidewell
