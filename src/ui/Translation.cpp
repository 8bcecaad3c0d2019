#include "ui/Translation.h"

#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>

namespace tidewell {

bool InstallTranslation(QCoreApplication& app) {
    // Japanese is the source language; every other language but English keeps it.
    if (QLocale::system().language() != QLocale::English) return false;
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral(":/i18n/tidewell_en.qm"))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

}  // namespace tidewell
