#include "ui/Translation.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

namespace tidewell {
namespace {

bool g_bEnglish = false;

}  // namespace

bool DialogsInEnglish() {
    return g_bEnglish;
}

bool InstallTranslation(QCoreApplication& app) {
    // Japanese is the source language; every other language but English keeps
    // it, and so do Qt's own texts (file dialog, message-box buttons, the edit
    // menu of text fields), from the distribution's Qt translations.
    if (QLocale::system().language() != QLocale::English) {
        auto* qt = new QTranslator(&app);
        if (qt->load(QStringLiteral("qtbase_ja"),
                     QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(qt);
        } else {
            delete qt;
        }
        return false;
    }
    auto* translator = new QTranslator(&app);
    if (!translator->load(QStringLiteral(":/i18n/tidewell_en.qm"))) {
        delete translator;
        return false;
    }
    g_bEnglish = QCoreApplication::installTranslator(translator);
    return g_bEnglish;
}

}  // namespace tidewell
