#include "ui/UiResources.h"

#include <QApplication>
#include <QFontDatabase>
#include <QFontMetrics>

static void InitTidewellResources() {
    // The resource file is linked from a static library; make sure it registers.
    Q_INIT_RESOURCE(tidewell_ui);
}

namespace tidewell {

QIcon ApplicationIcon() {
    InitTidewellResources();
    QIcon icon;
    for (int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icons/tidewell-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

QFont DialogFont() {
    static const char* const kFamilies[] = {
        "ＭＳ Ｐゴシック",  "MS PGothic",  "IPAPGothic", "IPA Pゴシック",
        "Noto Sans CJK JP", "IPAexGothic", "IPAGothic",
    };
    const QStringList installed = QFontDatabase::families();
    for (const char* family : kFamilies) {
        const QString name = QString::fromUtf8(family);
        if (installed.contains(name, Qt::CaseInsensitive)) {
            QFont font(name);
            font.setPointSize(9);
            return font;
        }
    }
    QFont font;
    font.setPointSize(9);
    return font;
}

void UseDialogFontEverywhere() {
    QApplication::setFont(DialogFont());
}

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics fm(font);
    static const QString kSample =
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
    m_nBaseX = (fm.horizontalAdvance(kSample) / 26 + 1) / 2;
    m_nBaseY = fm.height();
}

}  // namespace tidewell
