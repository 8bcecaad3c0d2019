#include "ui/UpDownControl.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

namespace tidewell {

CUpDownControl::CUpDownControl(QLineEdit* buddy, QWidget* parent)
    : QWidget(parent), m_pBuddy(buddy) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_pUp = new QToolButton(this);
    m_pDown = new QToolButton(this);
    for (QToolButton* b : {m_pUp, m_pDown}) {
        b->setFocusPolicy(Qt::NoFocus);
        b->setAutoRepeat(true);
        b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
        column->addWidget(b);
    }
    m_pUp->setArrowType(Qt::UpArrow);
    m_pDown->setArrowType(Qt::DownArrow);
    m_pUp->setObjectName(QStringLiteral("up"));
    m_pDown->setObjectName(QStringLiteral("down"));
    connect(m_pUp, &QToolButton::clicked, this, [this] { Step(+1); });
    connect(m_pDown, &QToolButton::clicked, this, [this] { Step(-1); });
    setFocusPolicy(Qt::NoFocus);
    // The arrow keys in the edit step the value too.
    m_pBuddy->installEventFilter(this);
}

void CUpDownControl::Step(int delta) {
    bool ok = false;
    const int current = m_pBuddy->text().trimmed().toInt(&ok);
    const int base = ok ? current : 0;
    const int low = base < 0 ? -999 : 0;
    const int next = std::clamp(base + delta, low, 999);
    m_pBuddy->setText(QString::number(next));
    m_pBuddy->selectAll();
}

bool CUpDownControl::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_pBuddy && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Up || key == Qt::Key_Down) {
            Step(key == Qt::Key_Up ? +1 : -1);
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace tidewell
