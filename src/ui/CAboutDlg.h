// The About box: icon, name and version, a notice line and OK.
#pragma once

#include <QDialog>

namespace tidewell {

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* pParent = nullptr);
};

}  // namespace tidewell
