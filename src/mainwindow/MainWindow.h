#pragma once
// The main window. The download cycle decides (DownloadCycle); the window
// shows what it decides in one place (applyView) and keeps the procedure
// names the trace knows, each a forwarder into the cycle. Tests find the
// controls by their object names, as a user finds them by their captions.

#include "cycle/CycleProcedures.h"
#include "settingsdialog/SettingsHost.h"
#include "store/History.h"
#include "widgets/HeldNotices.h"

#include <QDate>
#include <QPointer>
#include <QStringList>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <tuple>

class QLabel;
class QFrame;
class QGroupBox;
class QToolButton;

namespace fetchora {

struct Texts;

class PromptService;
class Profile;
class AttemptReactions;
class TrayLayer;
class FolderBrowser;
class ProgressBox;
class TextField;
class CommandButton;

// What the window is given from outside. Tests pass fakes.
struct MainWindowSeams {
    PromptService *prompt = nullptr;                                  // required; not owned
    std::shared_ptr<Profile> profile;                                 // required (showMainWindow opens one)
    DownloadFactory downloads;                                        // empty: the real engine
    std::function<std::unique_ptr<TrayLayer>(QObject *parent)> tray;  // empty: the system tray
    FolderBrowser *browser = nullptr;    // null: the program's own folder dialog; not owned
    std::function<void()> showSettings;  // null: the real settings dialog (cmdSettings_Click)
    QStringList arguments;               // the command-line arguments (without the program)
    int tickMs = 1000;                   // one "second" of the countdown; only tests shorten it
    QString ownBanner;  // the program's banner, for a profile without one; empty: the one it ships
    // Runs the job that stores a finished download; empty: on a thread of its own.
    std::function<QFuture<StoreResult>(const StoreRequest &)> storeJobs;
    int quitWaitsForJobMs = 1500;  // how long a quit waits for that job
};

class MainWindow : public QWidget, public CycleProcedures, public SettingsHost {
    Q_OBJECT
public:
    // The client area in pixels: 6030 x 3855 twips.
    static constexpr int kClientWidth = 402;
    static constexpr int kClientHeight = 257;

    explicit MainWindow(MainWindowSeams seams, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Loads (Form_Load) and shows the window, as showing an unloaded form does.
    void Show();

    bool bSave = false;
    void SetLabels() override;
    void AppExit();
    // Ends the program as the close box does, without asking (a signal, the
    // end of the session): what was typed is saved, a copy being stored is finished.
    void closeByProgram();
    bool saveAllowed() const override { return bSave; }
    void setInterval(long minutes) override { m_cycle->setInterval(minutes); }
    void SetRegistry();
    // Draws the bar; only applyView calls it, with what the cycle decided.
    void ShowProgress(qint64 value, qint64 minimum, qint64 maximum, bool withText);

    void Form_Load();
    void Form_Unload(int &Cancel);
    void Form_Resize();

    void cmdAbort_Click();
    // The Start procedure; a transfer it gives up for a new one ends the
    // question asked about it.
    void Start() override;
    void cmdQuit_Click();
    void cmdSettings_Click();
    void cmdBrowse_Click();
    void txtURL_Change();
    void txtURL_GotFocus();
    void txtSPlace_GotFocus();

    void sevTray1_Click(int Button);
    void sevTray1_DblClick();
    void sevTray1_MenuClick(int index, const QString &Key);
    // The desktop's tray went away while the window sat in it.
    void sevTray1_HostLost();


    const DownloadCycle &cycle() const { return *m_cycle; }
    const Profile &profile() const { return m_profile; }

signals:
    // The window has run Form_Unload; the program ends when nothing else is open.
    void unloaded();

protected:
    void closeEvent(QCloseEvent *event) override;
    void changeEvent(QEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    // The interface texts of the profile's language.
    const Texts &texts() const;
    QString savePathText() const override;
    QString urlText() const override;
    void setUrlText(const QString &url) override;
    void applyView(const CycleView &view) override;
    void closeNow() override;
    bool loading() const override { return bLoading; }
    void buildControls();
    void setUpTray();
    void restoreFromTray();
    // Hands the keys on when the cycle disables the control that had them.
    void followFocus(QWidget *had);
    // Where the keys go when the control that had them is gone: Cancel, else
    // Start/Stop, else the window itself (never Quit).
    QWidget *keysTarget();
    // Start/Stop pressed by a person: a save folder that is not there is
    // offered to be made first.
    void startPressed();
    bool offerToCreateSaveFolder();
    // The attempt history.log has just recorded, beside the countdown and in the tray.
    void showLastAttempt(const HistoryEntry &attempt);
    void placeLastAttempt();
    QString trayTip() const;
    // The history window: Ctrl+H, its button, the tray's entry.
    void setUpHistory();
    void labelHistory();
    void showHistory();
    QString historyMenuCaption() const;
    // The Cancel question is answered No for a transfer that ended meanwhile.
    void closeStaleCancelQuestion();

    MainWindowSeams m_seams;
    Profile &m_profile;
    HeldNotices m_notices;                    // the cycle's boxes, held until the window is on screen
    AttemptReactions *m_reactions = nullptr;  // a child of the window
    std::unique_ptr<DownloadCycle> m_cycle;
    CycleView m_shown;
    bool m_loaded = false;
    bool m_unloaded = false;
    bool bLoading = false;
    bool m_cancelConfirmed = false;  // the last cancel question was answered Yes
    quint64 m_transfers = 0;         // engine instances made: one a transfer
    std::optional<quint64> m_cancelAskedAbout;  // the transfer the open Cancel question is about
    std::optional<HistoryEntry> m_lastAttempt;
    // What the last-attempt line was last placed for: its attempt, outcome
    // and detail, language, day, status line and width.
    using PlacedFor = std::tuple<qint64, QString, int, QDate, QString, int>;
    std::optional<PlacedFor> m_placedFor;
    bool m_minimiseWhenShown = false;
    bool m_closingByProgram = false;  // a close that is not the user's close box

    QFrame *bannerFrame = nullptr;
    QLabel *bannerImage = nullptr;
    QLabel *sloganLabel = nullptr;  // over the banner, in the interface language
    QGroupBox *savePathFrame = nullptr, *urlFrame = nullptr, *buttonFrame = nullptr;
    QLabel *savePathLabel = nullptr, *urlLabel = nullptr, *statusLabel = nullptr;
    QLabel *lastAttemptLabel = nullptr;  // right of the status line
    TextField *savePathEdit = nullptr, *urlEdit = nullptr;
    CommandButton *browseButton = nullptr, *settingsButton = nullptr, *startButton = nullptr, *cancelButton = nullptr,
              *quitButton = nullptr;
    ProgressBox *progressBox = nullptr;
    QTimer tickTimer;
    std::unique_ptr<TrayLayer> tray;
    QToolButton *historyButton = nullptr;
    QPointer<QWidget> historyWindow;
};

}  // namespace fetchora
