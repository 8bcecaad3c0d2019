// The window shown while a conversion takes longer than a moment: the log
// being rewritten, how far through the list the run is, and a Cancel that
// takes effect between two logs.
#pragma once

#include <QDialog>

class QLabel;
class QProgressBar;
class QPushButton;

namespace tidewell {

struct EntryProgress;

class CProgressDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CProgressDlg(QWidget* parent);

    void ShowProgress(const EntryProgress& progress);

  signals:
    void cancelRequested();

  public slots:
    void OnCancel();

  protected:
    // Escape and the close box ask to stop like the button does; the window
    // itself closes only when the run is over.
    void reject() override;

  private:
    QLabel* m_pFile;
    QLabel* m_pCount;
    QProgressBar* m_pBar;
    QPushButton* m_pCancel;
    bool m_bCancel = false;
};

}  // namespace tidewell
