#include <iostream>

#include "app/BatchRun.h"
#include "app/CommandLine.h"
#include "app/StartSettings.h"
#include "platform/ProfileStore.h"

int main(int argc, char** argv) {
    using namespace tidewell;
    // Everything up to the batch decision needs no display, so a batch run
    // works on a machine without one.
    ProfileStore profile(kRegistryKey, ApplicationNameFromArgv0(argv[0]));
    ConvertSettings settings;
    LoadStartSettings(profile, CommandLineText(argc, argv), &settings);
    if (settings.m_bBatch && TodoListOpens(settings)) return RunBatch(settings, &settings);
    std::cerr << "tidewell: cannot open the to-do list " << settings.m_strTodoPath
              << " and this build has no dialog to choose another\n";
    return 2;
}
