// A small stand-in for a dialog framework's data exchange: moves values
// between controls and plain fields and validates them on the way in.
#pragma once

#include <QString>
#include <QValidator>
#include <string>

class QCheckBox;
class QLineEdit;
class QWidget;

namespace tidewell {

class CDataExchange {
  public:
    explicit CDataExchange(bool saveAndValidate) : m_bSaveAndValidate(saveAndValidate) {}

    // True: controls to fields, with validation. False: fields to controls.
    const bool m_bSaveAndValidate;

    // The first failure stops the exchange; later steps see Failed() and do nothing.
    void Fail(QWidget* control, const QString& message);
    bool Failed() const { return m_pFailedControl != nullptr; }
    QWidget* FailedControl() const { return m_pFailedControl; }
    const QString& Message() const { return m_strMessage; }

  private:
    QWidget* m_pFailedControl = nullptr;
    QString m_strMessage;
};

// `what` names the field in the validation message.
void DDX_Text(CDataExchange* pDX, QLineEdit* edit, int& value, const QString& what);
// Text fields are bytes in the local encoding. Text the user did not change
// goes back byte for byte, even when it does not decode cleanly.
void DDX_Text(CDataExchange* pDX, QLineEdit* edit, std::string& bytes);
void DDX_Check(CDataExchange* pDX, QCheckBox* box, int& value);
void DDV_MinMaxInt(CDataExchange* pDX, QLineEdit* edit, int value, int minVal, int maxVal,
                   const QString& what);
// Towards the control this limits typing to maxBytes; towards the field it checks.
void DDV_MaxChars(CDataExchange* pDX, QLineEdit* edit, const std::string& bytes, int maxBytes,
                  const QString& what);

// Bytes the text takes in the local encoding.
int LocalByteCount(const QString& text);

// Refuses typed input beyond a byte budget in the local encoding. Text set by
// the program is left alone so that a stored value is shown as it is.
class ByteLimitValidator : public QValidator {
  public:
    ByteLimitValidator(int maxBytes, QObject* parent) : QValidator(parent), m_nMax(maxBytes) {}
    void SetLimit(int maxBytes) { m_nMax = maxBytes; }
    State validate(QString& input, int& pos) const override;

  private:
    int m_nMax;
};

// Accepts typed digits only; a stored negative number is still shown.
class DigitsValidator : public QValidator {
  public:
    using QValidator::QValidator;
    State validate(QString& input, int& pos) const override;
};

}  // namespace tidewell
