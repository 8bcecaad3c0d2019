#include "ui/DataExchange.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QFile>
#include <QLineEdit>

namespace tidewell {
namespace {

// The bytes behind the text last put into an edit, kept so that an untouched
// value is not re-encoded.
constexpr char kShownBytes[] = "tidewellShownBytes";
constexpr char kShownText[] = "tidewellShownText";

}  // namespace

void CDataExchange::Fail(QWidget* control, const QString& message) {
    if (Failed()) return;
    m_pFailedControl = control;
    m_strMessage = message;
}

int LocalByteCount(const QString& text) {
    return int(QFile::encodeName(text).size());
}

void DDX_Text(CDataExchange* pDX, QLineEdit* edit, int& value, const QString& what) {
    if (pDX->Failed()) return;
    if (!pDX->m_bSaveAndValidate) {
        edit->setText(QString::number(value));
        return;
    }
    bool ok = false;
    const int typed = edit->text().trimmed().toInt(&ok);
    if (!ok) {
        pDX->Fail(edit, QCoreApplication::translate(
                            "CDataExchange", "「%1」には整数を指定してください（入力: \"%2\"）。")
                            .arg(what, edit->text()));
        return;
    }
    value = typed;
}

void DDX_Text(CDataExchange* pDX, QLineEdit* edit, std::string& bytes) {
    if (pDX->Failed()) return;
    if (!pDX->m_bSaveAndValidate) {
        const QString text = QFile::decodeName(QByteArray(bytes.data(), qsizetype(bytes.size())));
        edit->setText(text);
        edit->setProperty(kShownBytes, QByteArray(bytes.data(), qsizetype(bytes.size())));
        edit->setProperty(kShownText, text);
        return;
    }
    const QString text = edit->text();
    if (edit->property(kShownText).toString() == text && edit->property(kShownBytes).isValid()) {
        const QByteArray shown = edit->property(kShownBytes).toByteArray();
        bytes.assign(shown.constData(), size_t(shown.size()));
        return;
    }
    const QByteArray encoded = QFile::encodeName(text);
    bytes.assign(encoded.constData(), size_t(encoded.size()));
}

void DDX_Check(CDataExchange* pDX, QCheckBox* box, int& value) {
    if (pDX->Failed()) return;
    if (!pDX->m_bSaveAndValidate) {
        // Any non-zero stored value means "on"; 2 is the third state.
        box->setCheckState(value == 0                        ? Qt::Unchecked
                           : value == 2 && box->isTristate() ? Qt::PartiallyChecked
                                                             : Qt::Checked);
        return;
    }
    switch (box->checkState()) {
        case Qt::Unchecked:
            value = 0;
            break;
        case Qt::PartiallyChecked:
            value = 2;
            break;
        case Qt::Checked:
            value = 1;
            break;
    }
}

void DDV_MinMaxInt(CDataExchange* pDX, QLineEdit* edit, int value, int minVal, int maxVal,
                   const QString& what) {
    if (pDX->Failed() || !pDX->m_bSaveAndValidate) return;
    if (value < minVal || value > maxVal) {
        pDX->Fail(edit, QCoreApplication::translate(
                            "CDataExchange",
                            "「%1」は %2 から %3 までの範囲で指定してください（入力: %4）。")
                            .arg(what)
                            .arg(minVal)
                            .arg(maxVal)
                            .arg(value));
    }
}

void DDV_MaxChars(CDataExchange* pDX, QLineEdit* edit, const std::string& bytes, int maxBytes,
                  const QString& what) {
    if (pDX->Failed()) return;
    if (!pDX->m_bSaveAndValidate) {
        // The validator is ours and owned by the edit, so it may be adjusted.
        auto* limit = const_cast<ByteLimitValidator*>(
            dynamic_cast<const ByteLimitValidator*>(edit->validator()));
        if (limit) {
            limit->SetLimit(maxBytes);
        } else {
            edit->setValidator(new ByteLimitValidator(maxBytes, edit));
        }
        return;
    }
    if (bytes.size() > size_t(maxBytes)) {
        pDX->Fail(edit, QCoreApplication::translate(
                            "CDataExchange",
                            "「%1」は %2 バイト以内で指定してください（現在 %3 バイト）。")
                            .arg(what)
                            .arg(maxBytes)
                            .arg(qulonglong(bytes.size())));
    }
}

QValidator::State ByteLimitValidator::validate(QString& input, int&) const {
    return LocalByteCount(input) <= m_nMax ? Acceptable : Invalid;
}

QValidator::State DigitsValidator::validate(QString& input, int&) const {
    for (const QChar c : input) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return Invalid;
    }
    return Acceptable;
}

}  // namespace tidewell
