#include "ui/CProgressDlg.h"

#include <QFile>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "convert/ProcessTodoList.h"

namespace tidewell {

CProgressDlg::CProgressDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("progress"));
    setWindowTitle(tr("変換中 - しおさい～"));
    setWindowModality(Qt::ApplicationModal);
    auto* column = new QVBoxLayout(this);
    m_pFile = new QLabel(tr("ToDo リストを読んでいます…"), this);
    m_pFile->setObjectName(QStringLiteral("file"));
    m_pFile->setTextFormat(Qt::PlainText);
    m_pFile->setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('M')) * 36);
    m_pCount = new QLabel(this);
    m_pCount->setObjectName(QStringLiteral("count"));
    m_pBar = new QProgressBar(this);
    m_pBar->setRange(0, 1000);
    m_pBar->setValue(0);
    m_pCancel = new QPushButton(tr("中止"), this);
    m_pCancel->setObjectName(QStringLiteral("cancel"));
    column->addWidget(m_pFile);
    column->addWidget(m_pCount);
    column->addWidget(m_pBar);
    column->addWidget(m_pCancel, 0, Qt::AlignRight);
    column->setSizeConstraint(QLayout::SetFixedSize);
    connect(m_pCancel, &QPushButton::clicked, this, &CProgressDlg::OnCancel);
}

void CProgressDlg::ShowProgress(const EntryProgress& p) {
    const QString name = QFile::decodeName(QByteArray::fromStdString(p.currentFile));
    // Long paths are cut in the middle so the window keeps its size.
    m_pFile->setText(m_pFile->fontMetrics().elidedText(tr("変換中: %1").arg(name), Qt::ElideMiddle,
                                                       m_pFile->width()));
    m_pCount->setText(tr("%1 件目").arg(qulonglong(p.entriesDone + 1)));
    if (p.listSize > 0) {
        m_pBar->setValue(int(std::min<uint64_t>(1000, p.listOffset * 1000 / p.listSize)));
    }
}

void CProgressDlg::OnCancel() {
    if (m_bCancel) return;
    m_bCancel = true;
    m_pCancel->setEnabled(false);
    m_pCount->setText(tr("このログが終わりしだい中止します…"));
    emit cancelRequested();
}

void CProgressDlg::reject() {
    OnCancel();
}

}  // namespace tidewell
