#include "mainwindow/MainWindow.h"

#include "Version.h"
#include "mainwindow/WindowTexts.h"
#include "download/CurlDownload.h"
#include "zip/Zip.h"
#include "reactions/Reactions.h"
#include "widgets/Controls.h"
#include "widgets/ProgressBox.h"
#include "widgets/TrayLayer.h"
#include "widgets/WindowSizeLimit.h"
#include "core/Conversions.h"
#include "core/FileSystem.h"
#include "core/RegistryStore.h"
#include "core/Names.h"
#include "core/Profile.h"
#include "core/Texts.h"
#include "core/PromptService.h"
#include "core/Trace.h"

#include <QAccessibleWidget>
#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QGroupBox>
#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QScreen>
#include <QWindow>

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace fetchora {

namespace {

const char *const kModule = "frmMain";

// A screen reader lists the window as the program's frame, not as an
// anonymous filler, as a plain widget would be.
QAccessibleInterface *accessibleMainWindow(const QString &className, QObject *object)
{
    if (className == QLatin1String("fetchora::MainWindow"))
        return new QAccessibleWidget(static_cast<QWidget *>(object), QAccessible::Window);
    return nullptr;
}

// The banner the program ships: beside it (a build folder), or installed.
QString ownBanner()
{
    const QString exeFolder = QCoreApplication::applicationDirPath();
    for (const QString &folder : {exeFolder, installedDataFolder(exeFolder)}) {
        const QString banner = folder + QStringLiteral("/bin/banner.bmp");
        if (QFileInfo::exists(banner))
            return banner;
    }
    return {};
}

}  // namespace

MainWindow::MainWindow(MainWindowSeams seams, QWidget *parent)
    : QWidget(parent), CycleProcedures(kModule), m_seams(std::move(seams)), m_profile(*m_seams.profile),
      m_notices(*m_seams.prompt)
{
    setAttribute(Qt::WA_QuitOnClose, false);
    static const bool accessible = (QAccessible::installFactory(accessibleMainWindow), true);
    (void)accessible;
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // Notices reach a user who keeps "Show connection errors" off; hooks run
    // as they do in the service.
    m_reactions = new AttemptReactions(
        m_profile,
        [](const QString &line) { std::fprintf(stderr, "fetchora: %s\n", qPrintable(line)); }, this);
    // Each engine instance is one transfer: a Cancel question knows by the
    // count whether the transfer it asks about was given up for another.
    DownloadFactory engines = m_seams.downloads ? m_seams.downloads : defaultDownloadFactory();
    CycleSetup setup{.profile = &m_profile, .module = kModule,
                     .downloads = [this, engines](DownloadEvents *sink) { return ++m_transfers, engines(sink); },
                     .clock = &m_profile.clock(), .runJob = m_seams.storeJobs, .quitWaitsForJobMs = m_seams.quitWaitsForJobMs,
                     .attemptEnded = [this](const HistoryEntry &e) {
                         m_reactions->attemptEnded(e);
                         showLastAttempt(e);
                     }};
    m_cycle = std::make_unique<DownloadCycle>(*this, m_notices, std::move(setup));
    forwardTo(m_cycle.get());
    buildControls();
    // Found by its name, as the other controls are.
    tickTimer.setParent(this);
    tickTimer.setObjectName(QStringLiteral("Timer1"));
    tickTimer.setInterval(m_seams.tickMs > 0 ? m_seams.tickMs : 1000);
    connect(&tickTimer, &QTimer::timeout, this, [this] { Timer1_Timer(); });
    setUpTray();
}

// The cycle goes first: its transfer must not call back into a
// half-destroyed window.
MainWindow::~MainWindow() = default;

void MainWindow::Show()
{
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
    }
    if (m_unloaded)
        return;
    // Centred on the screen the first time it is shown.
    if (QScreen *screen = QGuiApplication::primaryScreen()) {
        QRect r = frameGeometry();
        r.moveCenter(screen->availableGeometry().center());
        move(r.topLeft());
    }
    // A window manager ignores a window that asks to start minimised often
    // enough ("-s -m" at login), and a request to minimise a window it does
    // not manage yet: it is shown first and minimised once it is on screen,
    // as a user would do it.
    m_minimiseWhenShown = windowState() & Qt::WindowMinimized;
    if (m_minimiseWhenShown)
        setWindowState(windowState() & ~Qt::WindowMinimized);
    show();
    (startButton->isEnabled() ? startButton : keysTarget())->setFocus();
    if (windowHandle())
        windowHandle()->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
{
    // On screen at last: the notices of loading come up over the window.
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed()) {
        windowHandle()->removeEventFilter(this);
        QTimer::singleShot(0, this, [this] {
            m_notices.release();
            if (std::exchange(m_minimiseWhenShown, false))
                setWindowState(windowState() | Qt::WindowMinimized);
        });
    }
    return QWidget::eventFilter(watched, event);
}

QString MainWindow::savePathText() const
{
    return savePathEdit->Text();
}

QString MainWindow::urlText() const
{
    return urlEdit->Text();
}

void MainWindow::setUrlText(const QString &url)
{
    urlEdit->setTextValue(url);
}

void MainWindow::applyView(const CycleView &v)
{
    // Only what changed: a caption that SetLabels has put up in another
    // language stays until the cycle changes it.
    QWidget *const hadFocus = focusWidget();
    const CycleView was = std::exchange(m_shown, v);
    if (v.windowCaption != was.windowCaption)
        setWindowTitle(v.windowCaption);
    if (v.startCaption != was.startCaption)
        startButton->setCaption(v.startCaption);
    if (v.statusText != was.statusText)
        statusLabel->setText(v.statusText);
    statusLabel->setVisible(v.statusVisible);
    startButton->setEnabled(v.startEnabled);
    cancelButton->setEnabled(v.abortEnabled);
    for (QWidget *field : {static_cast<QWidget *>(savePathEdit), static_cast<QWidget *>(urlEdit),
                           static_cast<QWidget *>(settingsButton), static_cast<QWidget *>(browseButton)})
        field->setEnabled(v.fieldsEnabled);
    if (v.timerOn != tickTimer.isActive())
        v.timerOn ? tickTimer.start() : tickTimer.stop();
    if (v.progress != was.progress)
        ShowProgress(v.progress.value, 0, v.progress.maximum, v.progress.withText);
    followFocus(hadFocus);
    placeLastAttempt();
    closeStaleCancelQuestion();
}

QWidget *MainWindow::keysTarget()
{
    if (cancelButton->isEnabled())
        return cancelButton;
    if (startButton->isEnabled())
        return startButton;
    return this;
}

void MainWindow::followFocus(QWidget *had)
{
    // Focus follows the user and never moves to Quit by itself, where the
    // next Space or Enter would end the program. A control the cycle disables
    // hands the keys to Cancel during a transfer, else to Start/Stop. With
    // neither enabled (a copy is being stored) the window itself holds them
    // until one comes back: a window without a focused control would let Qt
    // pick the next control of its chain when it is activated, Quit.
    QWidget *const now = focusWidget();
    if (!(had && !had->isEnabled()) && now && now != this && now->isEnabled())
        return;
    QWidget *const next = keysTarget();
    if (now != next)
        next->setFocus(Qt::OtherFocusReason);
}

void MainWindow::keyPressEvent(QKeyEvent *event)
{
    // Enter presses the focused button, and from anywhere else Start/Stop,
    // the window's default button.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (!enter || (event->modifiers() & ~Qt::KeypadModifier)) {
        QWidget::keyPressEvent(event);
        return;
    }
    auto *focused = qobject_cast<CommandButton *>(focusWidget());
    CommandButton *button = focused && focused->isEnabled() ? focused : startButton;
    if (button->isEnabled())
        button->click();
}

// ---------------------------------------------------------------------------
// Life cycle

void MainWindow::Form_Load()
{
    TraceScope t(kModule, "Sub Form_Load");
    m_loaded = true;
    // 410 x 284 (or 291 under a taller caption bar) were the outer sizes on
    // the platform the layout was drawn on, frame included. Here the frame
    // is the window manager's and its size unknown, so the inside is fixed:
    // the layout's own 6030 x 3855 twips.
    t.step([&] { SetMinMax(this, kClientWidth, kClientHeight, kClientWidth, kClientHeight); });
    t.step([&] { bLoading = true; });
    t.step([&] { zip::InitZip(); });
    t.step([&] {
        QString banner = m_profile.files().BuildPath(m_profile.folder(), QStringLiteral("bin/banner.bmp"));
        // A profile of its own (--config) shows the program's banner.
        if (!m_profile.files().FileExists(banner))
            banner = m_seams.ownBanner.isEmpty() ? ownBanner() : m_seams.ownBanner;
        if (!banner.isEmpty() && m_profile.files().FileExists(banner)) {
            QPixmap picture(banner);
            if (picture.isNull())
                raiseError(481, QStringLiteral("Invalid picture"));
            bannerImage->setPixmap(picture);
            bannerImage->resize(picture.size());
            sloganLabel->setVisible(true);
        }
    });
    t.step([&] { SetLanguage(m_profile); });
    t.step([&] { SetLabels(); });
    t.step([&] { m_cycle->showView(); });
    t.step([&] { bSave = true; });
    const Settings &settings = m_profile.settings();
    m_cycle->setCompress(settings.flag(t, Setting::Compress));
    t.step([&] { savePathEdit->setTextValue(settings.text(Setting::SavePath)); });
    // A value that does not convert, or is below a minute, ends with a usable interval.
    m_cycle->setInterval(settings.number(t, Setting::Interval));
    t.step([&] { urlEdit->setTextValue(settings.text(Setting::Url)); });
    t.step([&] {
        cancelButton->setEnabled(false);
        statusLabel->setVisible(false);
    });
    t.step([&] { bLoading = false; });
    t.step([&] {
        const QString commandLine = m_seams.arguments.join(QLatin1Char(' '));
        if (commandLine.contains(QLatin1String("-s"), Qt::CaseSensitive)) {
            cmdStart_Click();
            if (commandLine.contains(QLatin1String("-m"), Qt::CaseSensitive))
                setWindowState(windowState() | Qt::WindowMinimized);
        }
    });
    t.step([&] { SetRegistry(); });
}

void MainWindow::SetLabels()
{
    TraceScope t(kModule, "Sub SetLabels");
    t.step([&] {
        savePathLabel->setText(texts().capSavePath);
        urlLabel->setText(texts().capURL);
        settingsButton->setCaption(texts().capSettings);
        startButton->setCaption(texts().capStart);
        cancelButton->setCaption(texts().capCancel);
        quitButton->setCaption(texts().capQuit);
        sloganLabel->setText(moreTexts(m_profile.languageName()).slogan);
        // Read out, "..." and a bar say nothing: the button is named for the
        // dialog it opens (its title without the dots), the bar for what it shows.
        QString browse = texts().capBrowseTitle;
        if (browse.endsWith(QLatin1String(" ...")))
            browse.chop(4);
        browseButton->setAccessibleName(browse);
        progressBox->setAccessibleName(texts().capDownload);
    });
    labelHistory();
    placeLastAttempt();
}

void MainWindow::SetRegistry()
{
    TraceScope t(kModule, "Sub SetRegistry");
    t.step([&] { registry().SaveSetting("Fetchora", "Options", "Version", kVersionText); });
    t.step([&] { registry().SaveSetting("Fetchora", "Options", "Language", m_profile.languageName()); });
    t.step([&] { registry().SaveSetting("Fetchora", "Options", "AppPath", m_profile.folder()); });
}

void MainWindow::cmdQuit_Click()
{
    TraceScope t(kModule, "Sub cmdQuit_Click");
    // A No keeps the program and its transfer going.
    bool go = true;
    t.step([&] {
        if (cancelButton->isEnabled()) {
            cmdAbort_Click();
            go = m_cancelConfirmed;
        }
    });
    if (go)
        t.step([&] { closeByProgram(); });
}

void MainWindow::AppExit()
{
    TraceScope t(kModule, "Sub AppExit");
    t.step([&] {
        // A dialog of ours that is open goes first, so its modal loop ends.
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *dialog = qobject_cast<QDialog *>(w); dialog && dialog->isVisible())
                dialog->reject();
        }
        closeByProgram();
    });
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    // The close box asks about a running transfer as Quit does. Closing
    // from the program (tray menu, a signal, the end of the session) does not.
    if (!m_closingByProgram && !m_unloaded && cancelButton->isEnabled()) {
        cmdAbort_Click();
        if (!m_cancelConfirmed) {
            event->ignore();
            return;
        }
    }
    // The file being stored must not be cut off; the cycle closes the
    // window once it is in place.
    if (m_cycle->holdQuit()) {
        event->ignore();
        return;
    }
    if (!m_unloaded) {
        int cancel = 0;
        Form_Unload(cancel);
    }
    event->accept();
}

void MainWindow::closeNow()
{
    closeByProgram();
}

void MainWindow::closeByProgram()
{
    const bool was = std::exchange(m_closingByProgram, true);
    close();
    m_closingByProgram = was;
}

void MainWindow::Form_Unload(int &Cancel)
{
    TraceScope t(kModule, "Sub Form_Unload");
    Cancel = 0;
    m_unloaded = true;
    t.step([&] { UnloadMinMax(this); });
    t.step([&] {
        if (bSave) {
            m_profile.settings().write(Setting::SavePath, savePathEdit->Text());
            m_profile.settings().write(Setting::Url, urlEdit->Text());
        }
    });
    t.step([&] { SetRegistry(); });
    t.step([&] {
        m_cycle->unload();
        m_reactions->endHooks(QDeadlineTimer(kHooksEndMs));
        if (tray)
            tray->Remove();
    });
    QMetaObject::invokeMethod(
        this, [this] { emit unloaded(); }, Qt::QueuedConnection);
}

void MainWindow::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void MainWindow::ShowProgress(qint64 value, qint64 minimum, qint64 maximum, bool withText)
{
    TraceScope t(kModule, "Sub ShowProgress");
    t.step([&] { progressBox->draw(value, minimum, maximum, withText); });
}

// ---------------------------------------------------------------------------
// The window's own procedures; the cycle's are CycleProcedures'.

void MainWindow::cmdAbort_Click()
{
    TraceScope t(kModule, "Sub cmdAbort_Click");
    const std::optional<quint64> outer = std::exchange(m_cancelAskedAbout, m_transfers);
    m_cancelConfirmed = m_cycle->cancel(t);
    m_cancelAskedAbout = outer;
}

void MainWindow::Start()
{
    CycleProcedures::Start();
    closeStaleCancelQuestion();
}

void MainWindow::closeStaleCancelQuestion()
{
    // A question about a transfer that is over asks nothing any more, and a
    // Yes to it must not be taken for the next one: it closes as No.
    if (!m_cancelAskedAbout || !m_notices.asking()
        || (cancelButton->isEnabled() && m_transfers == *m_cancelAskedAbout))
        return;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        auto *box = qobject_cast<QMessageBox *>(w);
        if (!box || !box->isVisible() || box->text() != texts().msgAbortQuery)
            continue;
        if (QAbstractButton *no = box->button(QMessageBox::No))
            no->click();
        else
            box->reject();
    }
}

void MainWindow::startPressed()
{
    if (m_cycle->phase() == DownloadCycle::Phase::Idle && !offerToCreateSaveFolder())
        return;
    cmdStart_Click();
}

bool MainWindow::offerToCreateSaveFolder()
{
    // Only a person is asked: "-s" and the ticks go on without the folder,
    // each attempt recorded as failed with the folder named, until it is there.
    const QString folder = savePathEdit->Text();
    if (folder.isEmpty() || QFileInfo(folder).isDir())
        return true;
    TraceScope t(kModule, "Sub CreateSaveFolder");
    const QString shown = QDir::toNativeSeparators(QDir::cleanPath(QDir(folder).absolutePath()));
    const Language language = m_profile.language();
    int answer = mb::No;
    t.step([&] {
        answer = m_notices.msgBox(createFolderQuestion(language, shown), mb::Question | mb::YesNo | mb::DefaultButton2,
                                  QString());
    });
    if (answer != mb::Yes)
        return false;
    std::error_code error;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(folder).toStdString()), error);
    if (!error && QFileInfo(folder).isDir())
        return true;
    const QString why = errnoError(error ? error.value() : ENOTDIR, shown, err::PathNotFound, language).describe(language);
    t.step([&] { m_notices.msgBox(folderNotMadeText(language, shown, why), mb::Exclamation | mb::OKOnly, QString()); });
    return false;
}

void MainWindow::showLastAttempt(const HistoryEntry &attempt)
{
    m_lastAttempt = attempt;
    placeLastAttempt();
    if (isMinimized())
        tray->setToolTip(trayTip());
}

void MainWindow::placeLastAttempt()
{
    // Right of the status line, as long as both fit; the tooltips of the
    // status line and the bar always have it.
    const Language language = m_profile.language();
    const QDateTime now = m_profile.clock().now();
    // Every tick of the countdown comes here; what is shown changes only
    // with the attempt, the day, the language, the status line or the width.
    PlacedFor placed{m_lastAttempt ? m_lastAttempt->at.toMSecsSinceEpoch() : -1,
                     m_lastAttempt ? m_lastAttempt->outcome + u'\t' + m_lastAttempt->detail : QString(),
                     int(language), now.date(), statusLabel->isHidden() ? QString() : statusLabel->text(),
                     lastAttemptLabel->width()};
    if (placed == m_placedFor)
        return;
    m_placedFor = std::move(placed);
    const QString line = m_lastAttempt ? lastAttemptLine(language, *m_lastAttempt, now) : QString();
    const QString tip = m_lastAttempt ? lastAttemptTip(language, *m_lastAttempt) : QString();
    lastAttemptLabel->setText(line);
    for (QWidget *w : {static_cast<QWidget *>(statusLabel), static_cast<QWidget *>(progressBox),
                       static_cast<QWidget *>(lastAttemptLabel)})
        w->setToolTip(tip);
    const QFontMetrics metrics(lastAttemptLabel->font());
    const int status = statusLabel->isHidden() ? 0 : metrics.horizontalAdvance(statusLabel->text());
    const bool fits = status + 2 * metrics.averageCharWidth() + metrics.horizontalAdvance(line) <= lastAttemptLabel->width();
    lastAttemptLabel->setVisible(m_lastAttempt && fits);
}

QString MainWindow::trayTip() const
{
    QString tip = windowTitle() + QStringLiteral(" [") + displayUrl(urlEdit->Text()) + QLatin1Char(']');
    if (m_lastAttempt)
        tip += u'\n' + lastAttemptLine(m_profile.language(), *m_lastAttempt, m_profile.clock().now());
    return tip;
}

void MainWindow::txtURL_Change()
{
    TraceScope t(kModule, "Sub txtURL_Change");
    m_cycle->urlChanged();
}

void MainWindow::txtURL_GotFocus()
{
    TraceScope t(kModule, "Sub txtURL_GotFocus");
    t.step([&] { urlEdit->selectAllText(); });
}

void MainWindow::txtSPlace_GotFocus()
{
    TraceScope t(kModule, "Sub txtSPlace_GotFocus");
    t.step([&] { savePathEdit->selectAllText(); });
}

const Texts &MainWindow::texts() const
{
    return m_profile.texts();
}

}  // namespace fetchora
