// The dialogs' texts are written in Japanese; an English system gets the
// English translation built into the program.
#pragma once

class QCoreApplication;

namespace tidewell {

// Installs the translation the system locale calls for on app (after it is
// constructed, before any window): ours into English, or Qt's own texts into
// Japanese. True when the dialogs are translated into English.
bool InstallTranslation(QCoreApplication& app);

// The dialogs speak English (InstallTranslation installed ours).
bool DialogsInEnglish();

}  // namespace tidewell
