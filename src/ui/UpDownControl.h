// The pair of arrow buttons beside the interval edit. It steps the number in
// its buddy edit and never rewrites a value the user did not step, so a
// stored value outside any range is shown as it is and left to validation.
#pragma once

#include <QWidget>

class QLineEdit;
class QToolButton;

namespace tidewell {

class CUpDownControl : public QWidget {
    Q_OBJECT
  public:
    CUpDownControl(QLineEdit* buddy, QWidget* parent);

    // One step up (+1) or down (-1). Stepping stays within -999..999 and
    // does not go below zero from a value that is not negative already.
    void Step(int delta);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    QLineEdit* m_pBuddy;
    QToolButton* m_pUp;
    QToolButton* m_pDown;
};

}  // namespace tidewell
