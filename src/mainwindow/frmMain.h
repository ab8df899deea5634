#pragma once
// The main window: owner of the download cycle. Its members and handlers
// keep the names the rest of the program (and its tests) know them by; the
// state is public so the tests that drive the window can inspect it.

#include "components/download/FileDownload.h"
#include "settings/SettingsHost.h"

#include <QIcon>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>

class QLabel;
class QFrame;
class QGroupBox;

namespace fetchora {

class PromptService;
class TrayLayer;
class FolderBrowser;
class ProgressBox;
class dxTextEdit;
class roCommand;

// What the window is given from outside. Tests pass fakes.
struct MainWindowSeams {
    PromptService *prompt = nullptr;  // required; not owned
    DownloadFactory downloads;        // empty: the real engine
    std::function<std::unique_ptr<TrayLayer>(QObject *parent)> tray;  // empty: the system tray
    FolderBrowser *browser = nullptr;  // null: the program's own folder dialog; not owned
    std::function<void()> showSettings; // null: the real settings dialog (cmdSettings_Click)
    QStringList arguments;             // the command-line arguments (without the program)
    // Seconds counted as one minute of the interval. Only tests change it:
    // the soak run uses 1 to get a download every second.
    int secondsPerMinute = 60;
    // Milliseconds between timer ticks (one "second"). Only the soak run
    // shortens it.
    int tickMs = 1000;
};

class frmMain : public QWidget, public DownloadEvents, public SettingsHost {
    Q_OBJECT
public:
    explicit frmMain(MainWindowSeams seams, QWidget *parent = nullptr);
    ~frmMain() override;

    // Loads (Form_Load) and shows the window, as showing an unloaded form does.
    void Show();

    // --- public members and procedures ---
    bool bSave = false;
    long iC = 0;
    void SetLabels() override;
    void AppExit();
    bool saveAllowed() const override { return bSave; }
    void setInterval(long minutes) override { iC = minutes; }
    void SetRegistry();
    void ShowProgress(ProgressBox *box, qint64 value, qint64 minimum, qint64 maximum, bool withText);

    // --- life cycle ---
    void Form_Load();
    void Form_Unload(int &Cancel);
    void Form_Resize();
    bool isLoaded() const { return m_loaded; }

    // --- download cycle ---
    void cmdStart_Click();
    void Start();
    void cmdAbort_Click();
    void cmdQuit_Click();
    void cmdSettings_Click();
    void cmdBrowse_Click();
    void Timer1_Timer();
    void txtURL_Change();
    void txtURL_GotFocus();
    void txtSPlace_GotFocus();

    // --- tray ---
    void sevTray1_Click(int Button);
    void sevTray1_DblClick();
    void sevTray1_MenuClick(int index, const QString &Key);

    // --- component events ---
    void FileDownload_ConnectionError(long Number, const QString &Descr) override;
    void FileDownload_DownloadError(long Number, const QString &Descr) override;
    void FileDownload_Abort() override;
    void FileDownload_NotFound() override;
    void FileDownload_ShowVersion(const QString &s) override;
    void FileDownload_Finished() override;
    void FileDownload_Progress(qint64 BytesLoaded, qint64 FileSize) override;
    void FileDownload_Start() override;

    // --- state ---
    bool bActive = false;
    bool bStartedNow = false;
    bool bCompress = false;
    bool bLoading = false;
    long lCounter = 0;
    QString sLastVersion;
    QString sFileName, sFileExt, sBaseName, sTmpFile;
    QString sDate, sTime;
    std::unique_ptr<FileDownloadComponent> FileDownload;
    // True while a finished file is being stored: ticks, clicks and quitting
    // wait until it is done.
    bool bProcessing = false;

    // --- controls ---
    QFrame *Frame4 = nullptr;
    QLabel *Image1 = nullptr;
    QGroupBox *Frame1 = nullptr, *Frame2 = nullptr, *Frame3 = nullptr;
    QLabel *lblSavePath = nullptr, *lblUrl = nullptr, *lblStatus = nullptr;
    dxTextEdit *txtSPlace = nullptr, *txtURL = nullptr;
    roCommand *cmdBrowse = nullptr, *cmdSettings = nullptr, *cmdStart = nullptr, *cmdAbort = nullptr,
              *cmdQuit = nullptr;
    ProgressBox *picProgress = nullptr;
    QTimer Timer1;
    std::unique_ptr<TrayLayer> sevTray1;

    PromptService &prompt() const { return *m_seams.prompt; }
    const MainWindowSeams &seams() const { return m_seams; }

    // The temporary folder downloads land in first: <application folder>/tmp/
    static QString tmpFolder();

signals:
    // The window has run Form_Unload; the program ends when nothing else is open.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;

private:
    void buildControls();
    // Creates sevTray1 (from the seams, or the system tray) and connects its
    // events. Called once by the constructor.
    void setUpTray();
    // Runs pending window messages once, as the explicit pumps of the cycle do.
    void DoEvents();
    void storeFinishedFile();
    // Work that a processing step deferred (ticks, quitting) runs now.
    void runDeferred();

    MainWindowSeams m_seams;
    bool m_loaded = false;
    bool m_unloaded = false;
    int m_deferredTicks = 0;
    bool m_quitDeferred = false;
};

}  // namespace fetchora
