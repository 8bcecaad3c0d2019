#include "ui/CTidewellDlg.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <atomic>
#include <iostream>
#include <thread>

#include "app/BatchRun.h"
#include "app/StartSettings.h"
#include "app/StopSignals.h"
#include "app/StringTable.h"
#include "platform/Io.h"
#include "platform/ProfileStore.h"
#include "platform/WinePaths.h"
#include "ui/CAboutDlg.h"
#include "ui/CProgressDlg.h"
#include "ui/DataExchange.h"
#include "ui/FailureReasons.h"
#include "ui/Translation.h"
#include "ui/UiResources.h"
#include "ui/UpDownControl.h"

#ifdef Q_OS_WIN
#include <windows.h>
#undef LoadString
#endif

namespace tidewell {
namespace {

constexpr int kMaxPathBytes = 260;
// How long a run may take before the progress window appears.
constexpr int kProgressDelayMs = 500;
// Failures listed in the message itself; the rest are behind "details".
constexpr size_t kFailuresShown = 10;

QString FromBytes(const std::string& bytes) {
    return QFile::decodeName(QByteArray(bytes.data(), qsizetype(bytes.size())));
}

// The About item's text comes from the string table; its translation is
// looked up under the table's name.
[[maybe_unused]] const char* const kStringTableTexts[] = {
    QT_TRANSLATE_NOOP("StringTable", "ﾊﾞｰｼﾞｮﾝ情報(TIDEWELL) (&A)..."),
};

QString AboutItemText() {
    const std::string text = LoadString(IDS_ABOUTBOX);
    return QCoreApplication::translate("StringTable", text.c_str());
}

bool IsUserInput(QEvent::Type type) {
    switch (type) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::KeyPress:
        case QEvent::KeyRelease:
        case QEvent::Wheel:
        case QEvent::ContextMenu:
        case QEvent::Shortcut:
        case QEvent::ShortcutOverride:
            return true;
        default:
            return false;
    }
}

}  // namespace

CTidewellDlg::CTidewellDlg(Io& io, ProfileStore& profile, const ConvertSettings& start,
                           QWidget* pParent)
    : QDialog(pParent), ConvertSettings(start), m_io(io), m_profile(profile) {
    m_hIcon = ApplicationIcon();
    setObjectName(QStringLiteral("102"));
    setWindowTitle(QStringLiteral("しおさい～"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowCloseButtonHint);
    setFont(DialogFont());
    CreateControls();
}

CTidewellDlg::~CTidewellDlg() = default;

void CTidewellDlg::CreateControls() {
    const DialogUnits du(font());

    m_pOK = new QPushButton(tr("うりゃ"), this);
    m_pOK->setObjectName(QStringLiteral("1"));
    m_pOK->setDefault(true);
    m_pCancel = new QPushButton(tr("やめた～"), this);
    m_pCancel->setObjectName(QStringLiteral("2"));
    m_pReverse = new QCheckBox(QStringLiteral("Reverse"), this);
    m_pReverse->setObjectName(QStringLiteral("1001"));
    m_pBackup = new QCheckBox(QStringLiteral("Backup"), this);
    m_pBackup->setObjectName(QStringLiteral("1002"));
    m_pSaveSetup = new QPushButton(QStringLiteral("SaveSetup"), this);
    m_pSaveSetup->setObjectName(QStringLiteral("1003"));
    m_pLines = new QLineEdit(this);
    m_pLines->setObjectName(QStringLiteral("1007"));
    m_pLines->setValidator(new DigitsValidator(m_pLines));
    m_pSpin = new CUpDownControl(m_pLines, this);
    m_pSpin->setObjectName(QStringLiteral("1008"));
    m_pLinesLabel = new QLabel(tr("行間隔"), this);
    m_pLinesLabel->setObjectName(QStringLiteral("static"));
    m_pLinesLabel->setAlignment(Qt::AlignCenter);
    m_pTodoPath = new QLineEdit(this);
    m_pTodoPath->setObjectName(QStringLiteral("1012"));
    m_pBrowse = new QPushButton(tr("参照"), this);
    m_pBrowse->setObjectName(QStringLiteral("1014"));
    m_pForV2 = new QCheckBox(QStringLiteral("for V2.00"), this);
    m_pForV2->setObjectName(QStringLiteral("1015"));

    // Sizes from the template's dialog units are minimums: the layout grows a
    // control rather than cut its caption, at any scale.
    for (QPushButton* b : {m_pOK, m_pCancel, m_pSaveSetup}) {
        b->setMinimumSize(du.X(50), du.Y(14));
    }
    m_pBrowse->setMinimumSize(du.X(26), du.Y(13));
    m_pTodoPath->setMinimumWidth(du.X(139));
    m_pLines->setFixedWidth(std::max(
        du.X(31), m_pLines->fontMetrics().horizontalAdvance(QStringLiteral("-9999")) + du.X(8)));
    m_pSpin->setFixedSize(std::max(du.X(9), 14), m_pLines->sizeHint().height());
    m_pLinesLabel->setMinimumWidth(du.X(30));

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(du.X(10), du.Y(10), du.X(7), du.Y(10));
    outer->setSpacing(du.Y(6));

    auto* pathRow = new QHBoxLayout;
    pathRow->setSpacing(du.X(6));
    pathRow->addWidget(m_pTodoPath, 1);
    pathRow->addWidget(m_pBrowse);
    outer->addLayout(pathRow);

    auto* intervalRow = new QHBoxLayout;
    intervalRow->setSpacing(0);
    intervalRow->addWidget(m_pLines);
    intervalRow->addWidget(m_pSpin);
    intervalRow->addWidget(m_pLinesLabel);
    intervalRow->addStretch(1);

    auto* buttonRow = new QHBoxLayout;
    buttonRow->setSpacing(du.X(10));
    buttonRow->addWidget(m_pOK);
    buttonRow->addWidget(m_pCancel);

    // Left: the interval, then OK and Cancel. Right: the three check boxes
    // above SaveSetup, each box on the row it has always had.
    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(du.X(10));
    grid->setVerticalSpacing(du.Y(3));
    grid->addWidget(m_pForV2, 0, 2);
    grid->addLayout(intervalRow, 1, 0);
    grid->addWidget(m_pReverse, 1, 2);
    grid->addWidget(m_pBackup, 2, 2);
    grid->addLayout(buttonRow, 3, 0);
    grid->addWidget(m_pSaveSetup, 3, 2);
    grid->setColumnStretch(1, 1);
    grid->setRowMinimumHeight(3, du.Y(14));
    outer->addLayout(grid);
    outer->setSizeConstraint(QLayout::SetFixedSize);

    // The template's order: OK, Cancel, Reverse, Backup, SaveSetup, interval,
    // path, browse, for V2.00.
    const QWidget* const order[] = {m_pOK,    m_pCancel,   m_pReverse, m_pBackup, m_pSaveSetup,
                                    m_pLines, m_pTodoPath, m_pBrowse,  m_pForV2};
    for (size_t i = 1; i < std::size(order); ++i) {
        setTabOrder(const_cast<QWidget*>(order[i - 1]), const_cast<QWidget*>(order[i]));
    }

    connect(m_pOK, &QPushButton::clicked, this, &CTidewellDlg::OnOK);
    connect(m_pCancel, &QPushButton::clicked, this, &CTidewellDlg::OnCancel);
    connect(m_pSaveSetup, &QPushButton::clicked, this, &CTidewellDlg::OnSaveSetup);
    connect(m_pBrowse, &QPushButton::clicked, this, &CTidewellDlg::OnBrowse);
}

void CTidewellDlg::DoDataExchange(CDataExchange* pDX) {
    const QString lines = tr("行間隔");
    DDX_Text(pDX, m_pLines, m_nLines, lines);
    DDV_MinMaxInt(pDX, m_pLines, m_nLines, -999, 999, lines);
    DDX_Check(pDX, m_pReverse, m_bReverse);
    DDX_Check(pDX, m_pBackup, m_bBackup);
    DDX_Check(pDX, m_pForV2, m_bForV2);
    DDX_Text(pDX, m_pTodoPath, m_strTodoPath);
    DDV_MaxChars(pDX, m_pTodoPath, m_strTodoPath, kMaxPathBytes, tr("TODOLST2.DAT のパス"));
}

bool CTidewellDlg::UpdateData(bool bSaveAndValidate) {
    CDataExchange dx(bSaveAndValidate);
    const ConvertSettings before = Settings();
    DoDataExchange(&dx);
    if (!dx.Failed()) return true;
    // Either every field is taken or none: a half-taken set would be used or
    // stored as if it were what the user asked for.
    static_cast<ConvertSettings&>(*this) = before;
    ShowMessage(QStringLiteral("validation"), QMessageBox::Warning, dx.Message());
    dx.FailedControl()->setFocus(Qt::OtherFocusReason);
    if (auto* edit = qobject_cast<QLineEdit*>(dx.FailedControl())) edit->selectAll();
    return false;
}

int CTidewellDlg::DoModal() {
    m_bEnded = false;
    OnInitDialog();
    if (m_bEnded) return result();
    return exec();
}

void CTidewellDlg::EndDialog(int result) {
    m_bEnded = true;
    done(result);
}

bool CTidewellDlg::OnInitDialog() {
    UpdateData(false);
    AddAboutItem();
    setWindowIcon(m_hIcon);
    // The dialog has always opened at the top left corner, not centred.
    move(0, 0);

    // The settings shown are the defaults, not the user's: say so first, once
    // the dialog is on screen.
    const std::string profileError = m_profile.ReadError();
    auto sayProfileError = [this, profileError] {
        if (profileError.empty()) return;
        ShowMessage(QStringLiteral("profileError"), QMessageBox::Warning,
                    tr("設定ファイルを読めません。既定の設定を表示しています。\n%1")
                        .arg(FromBytes(profileError)));
    };
    // The start sequence.
    if (TodoListOpens(m_io, Settings())) {
        if (!m_bBatch) {
            QTimer::singleShot(0, this, sayProfileError);
            return true;
        }
        const ProcessOutcome outcome = ProcessTodoList();
        if (outcome.result >= 0) {
            m_nLastStatus = ExitStatusOf(outcome);
            EndDialog(QDialog::Accepted);
            return true;
        }
        // The list went away between the check and the run: ask for it below.
    }
    // Ask for the list once the dialog is on screen, so the file dialog
    // opens over it. In batch mode nothing is converted until OK.
    QTimer::singleShot(0, this, [this, sayProfileError] {
        sayProfileError();
        OnBrowse();
    });
    return true;
}

void CTidewellDlg::AddAboutItem() {
#ifdef Q_OS_WIN
    const HWND hwnd = reinterpret_cast<HWND>(winId());
    // The program's only window: its own button in the task bar, and no
    // minimise or maximise box, whatever Qt makes of a parentless dialog.
    SetWindowLongPtrW(hwnd, GWL_EXSTYLE, GetWindowLongPtrW(hwnd, GWL_EXSTYLE) | WS_EX_APPWINDOW);
    SetWindowLongPtrW(
        hwnd, GWL_STYLE,
        GetWindowLongPtrW(hwnd, GWL_STYLE) & ~LONG_PTR(WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
    const QString text = AboutItemText();
    if (text.isEmpty()) return;
    HMENU menu = GetSystemMenu(hwnd, FALSE);
    if (!menu) return;
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, IDM_ABOUTBOX, reinterpret_cast<LPCWSTR>(text.utf16()));
#endif
    // Elsewhere there is no system menu to extend: the item is offered by the
    // dialog's context menu (contextMenuEvent).
}

void CTidewellDlg::OnSysCommand(unsigned nID) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout(this);
        dlgAbout.exec();
    }
}

void CTidewellDlg::contextMenuEvent(QContextMenuEvent* event) {
#ifdef Q_OS_WIN
    QDialog::contextMenuEvent(event);
#else
    const QString text = AboutItemText();
    if (text.isEmpty()) return;
    QMenu menu(this);
    menu.setObjectName(QStringLiteral("systemMenu"));
    QAction* about = menu.addAction(text);
    about->setObjectName(QStringLiteral("about"));
    if (menu.exec(event->globalPos()) == about) OnSysCommand(IDM_ABOUTBOX);
#endif
}

#ifdef Q_OS_WIN
bool CTidewellDlg::nativeEvent(const QByteArray& eventType, void* message, qintptr* result) {
    const MSG* msg = static_cast<const MSG*>(message);
    if (msg->message == WM_SYSCOMMAND && (msg->wParam & 0xFFF0) == IDM_ABOUTBOX) {
        OnSysCommand(unsigned(msg->wParam));
        *result = 0;
        return true;
    }
    return QDialog::nativeEvent(eventType, message, result);
}

void CTidewellDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // The outer corner of the window at 0,0 exactly, as the template placed
    // it: Qt places the window by frame margins it can only estimate. Once
    // the window is up, since Qt applies its own geometry after this event.
    if (pos() != QPoint(0, 0)) return;
    QTimer::singleShot(0, this, [this] {
        SetWindowPos(reinterpret_cast<HWND>(winId()), nullptr, 0, 0, 0, 0,
                     SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    });
}
#endif

void CTidewellDlg::OnBrowse() {
    QFileDialog dlg(this, tr("HARUCOM TODOLST2.DAT を指定してください。"));
    dlg.setObjectName(QStringLiteral("browse"));
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    dlg.setDefaultSuffix(QStringLiteral("DAT"));
    dlg.setNameFilters(
        {tr("TODOLST2.DAT file (TODOLST2.DAT)"), tr("DAT file (*.DAT)"), tr("All files (*)")});
    // Start where the stored name points (a HARUCOM name is looked up in its
    // Wine prefix), with its file name filled in.
    const std::string folder = MappedFolderOf(m_io, m_strTodoPath);
    const size_t sep = m_strTodoPath.find_last_of("\\/");
    if (!folder.empty()) {
        dlg.setDirectory(FromBytes(folder));
        dlg.selectFile(
            FromBytes(sep == std::string::npos ? m_strTodoPath : m_strTodoPath.substr(sep + 1)));
    } else {
        dlg.selectFile(FromBytes(m_strTodoPath));
    }
    if (dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty()) {
        const QByteArray chosen = QFile::encodeName(dlg.selectedFiles().constFirst());
        m_strTodoPath.assign(chosen.constData(), size_t(chosen.size()));
    }
    // Confirmed or not, the controls show the stored settings again.
    UpdateData(false);
}

void CTidewellDlg::OnSaveSetup() {
    if (m_bBusy) return;
    if (!UpdateData(true)) return;
    if (!SaveSetup(m_profile, Settings())) {
        ShowMessage(QStringLiteral("saveError"), QMessageBox::Warning,
                    tr("設定を保存できませんでした。\n%1")
                        .arg(FromBytes(m_profile.FileName() + "\n" + m_profile.WriteError())));
    }
}

void CTidewellDlg::OnOK() {
    if (m_bBusy) return;
    if (!UpdateData(true)) return;
    const ProcessOutcome outcome = ProcessTodoList();
    if (outcome.result < 0) {
        ShowMessage(QStringLiteral("listError"), QMessageBox::Warning,
                    tr("ToDo リストを開けません。\n%1\n(%2)")
                        .arg(FromBytes(m_strTodoPath), QString::fromStdString(outcome.listError)));
        m_pTodoPath->setFocus(Qt::OtherFocusReason);
        return;
    }
    // A run stopped part-way has not done all it was asked to.
    m_nLastStatus = outcome.cancelled ? std::max(1, ExitStatusOf(outcome)) : ExitStatusOf(outcome);
    ReportFailures(outcome);
    if (outcome.cancelled) {
        ShowMessage(QStringLiteral("cancelled"), QMessageBox::Information,
                    tr("変換を中止しました。%1 件のログを変換済みです。")
                        .arg(qulonglong(outcome.converted)));
        return;
    }
    QDialog::accept();
}

void CTidewellDlg::OnCancel() {
    reject();
}

void CTidewellDlg::reject() {
    if (m_bBusy) return;
    QDialog::reject();
}

int CTidewellDlg::ExitStatus() const {
    if (m_nLastStatus) return *m_nLastStatus;
    return m_bBatch ? 2 : 0;
}

ProcessOutcome CTidewellDlg::ProcessTodoList() {
    // The run works on a copy on its own thread so the window keeps painting;
    // the dialog takes no input until it is over.
    // Names in the list and the stored list path are HARUCOM's own; they go
    // through the same mapping as in a batch run.
    const ConvertSettings settings = Settings();
    ProcessOutcome outcome;
    CProgressDlg progress(this);
    std::atomic<bool> cancel{false};
    connect(&progress, &CProgressDlg::cancelRequested, this, [&cancel] { cancel = true; });

    ConvertEnv env{m_io, std::cout, std::cerr};
    HarucomNames names;  // each folder searched is listed once in the run
    env.mapName = [&names](Io& lookIo, const std::string& name, std::string* error) {
        return names.Map(lookIo, name, error);
    };
    env.progress = [&progress, &cancel](const EntryProgress& p) {
        QMetaObject::invokeMethod(
            &progress, [&progress, p] { progress.ShowProgress(p); }, Qt::QueuedConnection);
        return !cancel.load();
    };

    QTimer reveal;
    reveal.setSingleShot(true);
    connect(&reveal, &QTimer::timeout, &progress, &QWidget::show);
    reveal.start(kProgressDelayMs);

    m_bBusy = true;
    qApp->installEventFilter(this);
    QEventLoop loop;
    // Ctrl-C or a shutdown stops the worker between two writes; the program
    // then ends by the signal from here, the main thread, once it is done.
    StopSignals stopSignals;
    std::thread worker([&] {
        outcome = tidewell::ProcessTodoList(settings, env);
        QMetaObject::invokeMethod(&loop, &QEventLoop::quit, Qt::QueuedConnection);
    });
    loop.exec();
    worker.join();
    stopSignals.EndIfStopped();
    qApp->removeEventFilter(this);
    m_bBusy = false;
    reveal.stop();
    progress.hide();
    return outcome;
}

bool CTidewellDlg::eventFilter(QObject* watched, QEvent* event) {
    if (m_bBusy && IsUserInput(event->type())) {
        auto* widget = qobject_cast<QWidget*>(watched);
        if (widget && widget->window() == this) return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CTidewellDlg::ReportFailures(const ProcessOutcome& outcome) {
    if (outcome.failures.empty() && outcome.warnings.empty()) return;
    QStringList shown;
    QStringList all;
    auto add = [&](const EntryFailure& f) {
        const QString line = QStringLiteral("%1: %2").arg(
            f.path.empty() ? tr("(空のファイル名)") : FromBytes(f.path),
            DialogsInEnglish() ? QString::fromStdString(f.reason) : JapaneseReason(f.reason));
        all << line;
        if (size_t(shown.size()) < kFailuresShown) shown << line;
    };
    for (const EntryFailure& f : outcome.failures) add(f);
    for (const EntryFailure& f : outcome.warnings) add(f);
    QString text = outcome.failures.empty()
                       ? tr("次のログは変換しましたが、問題がありました（%1 件）。\n\n%2")
                       : tr("次のログは変換できませんでした（%1 件）。\n\n%2");
    text = text.arg(all.size()).arg(shown.join(QLatin1Char('\n')));
    if (all.size() > shown.size()) {
        text += tr("\nほか %1 件").arg(all.size() - shown.size());
    }
    ShowMessage(QStringLiteral("failures"), QMessageBox::Warning, text,
                all.join(QLatin1Char('\n')));
}

void CTidewellDlg::ShowMessage(const QString& objectName, int icon, const QString& text,
                               const QString& details) {
    QMessageBox box(QMessageBox::Icon(icon), windowTitle(), text, QMessageBox::Ok, this);
    box.setObjectName(objectName);
    box.setTextFormat(Qt::PlainText);
    if (!details.isEmpty()) box.setDetailedText(details);
    box.exec();
}

}  // namespace tidewell
