#include "ui/CAboutDlg.h"

#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

#include "ui/UiResources.h"

namespace tidewell {

CAboutDlg::CAboutDlg(QWidget* pParent) : QDialog(pParent) {
    setObjectName(QStringLiteral("100"));
    setWindowTitle(tr("ﾊﾞｰｼﾞｮﾝ情報 TIDEWELL"));
    setWindowIcon(ApplicationIcon());
    setFont(DialogFont());
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("icon"));
    icon->setPixmap(ApplicationIcon().pixmap(32, 32));
    // Plain text: no "&" turns into a mnemonic here.
    auto* name = new QLabel(QStringLiteral("TIDEWELL(しおさい～) Version 1.0.0.4"), this);
    name->setObjectName(QStringLiteral("version"));
    name->setTextFormat(Qt::PlainText);
    name->setAlignment(Qt::AlignCenter);
    auto* notice = new QLabel(tr("HARUCOM のログの改行を詰める／戻すツールです。"), this);
    notice->setObjectName(QStringLiteral("notice"));
    notice->setTextFormat(Qt::PlainText);
    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("1"));
    ok->setDefault(true);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    const DialogUnits du(font());
    ok->setMinimumWidth(du.X(32));
    auto* grid = new QGridLayout(this);
    grid->setContentsMargins(du.X(7), du.Y(7), du.X(7), du.Y(7));
    grid->setHorizontalSpacing(du.X(6));
    grid->setVerticalSpacing(du.Y(6));
    grid->addWidget(icon, 0, 0, 2, 1, Qt::AlignTop);
    grid->addWidget(name, 0, 1);
    grid->addWidget(notice, 1, 1);
    grid->addWidget(ok, 0, 2, Qt::AlignTop);
    grid->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace tidewell
