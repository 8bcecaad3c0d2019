// The dialogs' texts are written in Japanese; an English system gets the
// English translation built into the program.
#pragma once

class QCoreApplication;

namespace tidewell {

// Installs the translation the system locale calls for on app (after it is
// constructed, before any window). True when one was installed.
bool InstallTranslation(QCoreApplication& app);

}  // namespace tidewell
