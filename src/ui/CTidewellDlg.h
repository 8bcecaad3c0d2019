// The main dialog: the settings of one conversion run, their controls, and
// the commands OK, Cancel, SaveSetup and browse.
#pragma once

#include <QDialog>
#include <QIcon>
#include <optional>

#include "convert/ConvertSettings.h"
#include "convert/ProcessTodoList.h"
#include "platform/Io.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tidewell {

class CDataExchange;
class CUpDownControl;
class ProfileStore;

// The About item's command, also offered as a context-menu item off Windows.
inline constexpr unsigned IDM_ABOUTBOX = 0x0010;

class CTidewellDlg : public QDialog, public ConvertSettings {
    Q_OBJECT
  public:
    // The settings as they were assembled at start; the profile is where
    // SaveSetup writes; every file is reached through io.
    CTidewellDlg(Io& io, ProfileStore& profile, const ConvertSettings& start,
                 QWidget* pParent = nullptr);
    ~CTidewellDlg() override;

    // OnInitDialog, then the modal loop unless the start sequence ended it.
    int DoModal();
    bool OnInitDialog();

    // Controls to fields (true) with validation, or fields to controls.
    // A failed validation shows its message once, focuses the control and
    // leaves every field as it was.
    bool UpdateData(bool bSaveAndValidate = true);

    void OnOK();
    void OnCancel();
    void OnSaveSetup();
    void OnBrowse();
    void OnSysCommand(unsigned nID);

    // One run of the conversion with the current fields. A progress window
    // appears when the run takes longer than a moment.
    ProcessOutcome ProcessTodoList();

    // What the process should return: the last conversion's status; 2 when a
    // batch start ended without converting; else 0.
    int ExitStatus() const;

    const ConvertSettings& Settings() const { return *this; }

    QIcon m_hIcon;

  protected:
    virtual void DoDataExchange(CDataExchange* pDX);

    void reject() override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
#ifdef Q_OS_WIN
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;
    void showEvent(QShowEvent* event) override;
#endif

  private:
    void CreateControls();
    void AddAboutItem();
    void EndDialog(int result);
    void ReportFailures(const ProcessOutcome& outcome);
    void ShowMessage(const QString& objectName, int icon, const QString& text,
                     const QString& details = {});

    Io& m_io;
    ProfileStore& m_profile;
    QPushButton* m_pOK = nullptr;
    QPushButton* m_pCancel = nullptr;
    QCheckBox* m_pReverse = nullptr;
    QCheckBox* m_pBackup = nullptr;
    QPushButton* m_pSaveSetup = nullptr;
    QLineEdit* m_pLines = nullptr;
    CUpDownControl* m_pSpin = nullptr;
    QLabel* m_pLinesLabel = nullptr;
    QLineEdit* m_pTodoPath = nullptr;
    QPushButton* m_pBrowse = nullptr;
    QCheckBox* m_pForV2 = nullptr;

    bool m_bBusy = false;   // a conversion is running; the dialog takes no input
    bool m_bEnded = false;  // ended before its modal loop began
    std::optional<int> m_nLastStatus;
};

}  // namespace tidewell
