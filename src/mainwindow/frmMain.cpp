#include "mainwindow/frmMain.h"

#include "components/download/classFileDownload.h"
#include "components/zip/modZIP32vb.h"
#include "shell/ProgressBox.h"
#include "mainwindow/cycle/StoredFileName.h"
#include "shell/Controls.h"
#include "trace/PromptService.h"
#include "shell/TrayLayer.h"
#include "shell/modWinSize.h"
#include "startup/Conversions.h"
#include "startup/FileSystem.h"
#include "startup/FlushToDisk.h"
#include "startup/RegistryStore.h"
#include "startup/modGlobal.h"
#include "startup/modINIHandler.h"
#include "startup/modText.h"
#include "trace/modTraceLITE.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDateTime>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QScreen>
#include <QStyle>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <thread>

namespace fetchora {

namespace {

const char *const kModule = "frmMain";

// Layout figures are in twips; 15 twips are one pixel.
QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

QString activeCaption()
{
    return capTitle + QLatin1Char(' ') + capActive;
}

// Puts a complete file in place of `target` in one rename: the old copy is
// replaced only once the new one is complete beside it, so a failure at any
// point leaves either the old file or the new one, never neither.
void replaceWithNewFile(FileSystem &fs, const QString &source, const QString &target)
{
    const QFileInfo info(target);
    const QString staging = info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral(".fetchora-new");
    if (fs.FileExists(staging))
        fs.DeleteFile(staging, true);
    fs.MoveFile(source, staging);
    // The new copy is on disk before it takes the old one's name, and the
    // name change is on disk before the cycle goes on: a crash or power cut
    // leaves the old copy or the complete new one.
    flushToDisk(staging, false);
    if (std::rename(QFile::encodeName(staging).constData(), QFile::encodeName(target).constData()) != 0) {
        const int e = errno;
        // Put the new file back where the next attempt expects it.
        try {
            fs.MoveFile(staging, source);
        } catch (const RuntimeError &) {
        }
        switch (e) {
        case ENOENT: raiseError(err::PathNotFound);
        case ENOSPC: raiseError(err::DiskFull);
        case EACCES:
        case EPERM:
        case EROFS: raiseError(err::PermissionDenied);
        case EISDIR: raiseError(err::PathFileAccessError);
        default: raiseError(err::PathFileAccessError, QString::fromLocal8Bit(std::strerror(e)));
        }
    }
    flushToDisk(info.absolutePath(), true);
}

// A program killed while it stored a copy leaves its half-written file under
// a hidden name beside the copy (and a partial download in tmp/). Nothing of
// ours runs on them now, so they go before the next transfer.
void removeLeftovers(const QString &saveFolder, const QString &tmpFolder)
{
    const auto sweep = [](const QString &folder, const QStringList &patterns) {
        QDir dir(folder);
        for (const QString &name : dir.entryList(patterns, QDir::Files | QDir::Hidden | QDir::System))
            dir.remove(name);
    };
    sweep(saveFolder, {QStringLiteral(".*.fetchora-new"), QStringLiteral(".*.zip.tmp-*")});
    sweep(tmpFolder, {QStringLiteral("*.part")});
}

}  // namespace

frmMain::frmMain(MainWindowSeams seams, QWidget *parent) : QWidget(parent), m_seams(std::move(seams))
{
    if (!m_seams.downloads)
        m_seams.downloads = defaultDownloadFactory();
    if (m_seams.secondsPerMinute < 1)
        m_seams.secondsPerMinute = 1;
    setAttribute(Qt::WA_QuitOnClose, false);
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint
                   | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    buildControls();
    Timer1.setInterval(m_seams.tickMs > 0 ? m_seams.tickMs : 1000);
    connect(&Timer1, &QTimer::timeout, this, &frmMain::Timer1_Timer);
    setUpTray();
}

frmMain::~frmMain()
{
    // The component must not call back into a half-destroyed window.
    FileDownload.reset();
}

void frmMain::buildControls()
{
    resize(402, 257);

    Frame4 = new QFrame(this);
    Frame4->setGeometry(twips(0, 0, 6015, 645));
    Frame4->setFrameShape(QFrame::NoFrame);
    Frame4->setAutoFillBackground(true);
    QPalette white = Frame4->palette();
    white.setColor(QPalette::Window, Qt::white);
    Frame4->setPalette(white);
    Image1 = new QLabel(Frame4);
    Image1->move(0, 0);

    Frame1 = new QGroupBox(this);
    Frame1->setGeometry(twips(15, 600, 5985, 975));
    lblSavePath = new QLabel(Frame1);
    lblSavePath->setGeometry(twips(120, 210, 5535, 195));
    txtSPlace = new dxTextEdit(Frame1);
    txtSPlace->setGeometry(twips(120, 450, 5325, 315));
    cmdBrowse = new roCommand(Frame1);
    cmdBrowse->setGeometry(twips(5520, 450, 315, 315));
    cmdBrowse->setCaption(QStringLiteral("..."));

    Frame2 = new QGroupBox(this);
    Frame2->setGeometry(twips(15, 1560, 5985, 1545));
    lblUrl = new QLabel(Frame2);
    lblUrl->setGeometry(twips(120, 180, 5535, 195));
    txtURL = new dxTextEdit(Frame2);
    txtURL->setGeometry(twips(120, 420, 5745, 315));
    picProgress = new ProgressBox(Frame2);
    picProgress->setGeometry(twips(120, 900, 5745, 255));
    lblStatus = new QLabel(Frame2);
    lblStatus->setGeometry(twips(150, 1200, 5715, 195));

    Frame3 = new QGroupBox(this);
    Frame3->setGeometry(twips(15, 3090, 5985, 735));
    cmdSettings = new roCommand(Frame3);
    cmdSettings->setGeometry(twips(150, 240, 1185, 345));
    cmdStart = new roCommand(Frame3);
    cmdStart->setGeometry(twips(2130, 240, 1185, 345));
    cmdAbort = new roCommand(Frame3);
    cmdAbort->setGeometry(twips(3390, 240, 1185, 345));
    cmdQuit = new roCommand(Frame3);
    cmdQuit->setGeometry(twips(4650, 240, 1185, 345));

    QWidget::setTabOrder(cmdStart, txtSPlace);
    QWidget::setTabOrder(txtSPlace, cmdBrowse);
    QWidget::setTabOrder(cmdBrowse, txtURL);
    QWidget::setTabOrder(txtURL, cmdSettings);
    QWidget::setTabOrder(cmdSettings, cmdAbort);
    QWidget::setTabOrder(cmdAbort, cmdQuit);

    connect(cmdStart, &roCommand::Click, this, &frmMain::cmdStart_Click);
    connect(cmdAbort, &roCommand::Click, this, &frmMain::cmdAbort_Click);
    connect(cmdQuit, &roCommand::Click, this, &frmMain::cmdQuit_Click);
    connect(cmdSettings, &roCommand::Click, this, &frmMain::cmdSettings_Click);
    connect(cmdBrowse, &roCommand::Click, this, &frmMain::cmdBrowse_Click);
    connect(txtURL, &dxTextEdit::Change, this, &frmMain::txtURL_Change);
    connect(txtURL, &dxTextEdit::GotFocus, this, &frmMain::txtURL_GotFocus);
    connect(txtSPlace, &dxTextEdit::GotFocus, this, &frmMain::txtSPlace_GotFocus);
}

QString frmMain::tmpFolder()
{
    return appFolder() + QStringLiteral("/tmp/");
}

void frmMain::Show()
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
    if (windowState() & Qt::WindowMinimized)
        showMinimized();
    else
        show();
    cmdStart->setFocus();
}

// ---------------------------------------------------------------------------
// Life cycle

void frmMain::Form_Load()
{
    TraceScope t(kModule, "Sub Form_Load");
    m_loaded = true;
    t.step([&] {
        const int h = frameGeometry().height() * 15 > 4265 ? 291 : 284;
        const int w = 410;
        SetMinMax(this, w, h, w, h);
    });
    t.step([&] { bLoading = true; });
    t.step([&] { zip::InitZip(); });
    t.step([&] {
        const QString banner = objFSO->BuildPath(appFolder(), QStringLiteral("bin/banner.bmp"));
        if (objFSO->FileExists(banner)) {
            QPixmap picture(banner);
            if (picture.isNull())
                raiseError(481, QStringLiteral("Invalid picture"));
            Image1->setPixmap(picture);
            Image1->resize(picture.size());
        }
    });
    t.step([&] { SetLanguage(); });
    t.step([&] { SetLabels(); });
    t.step([&] { setWindowTitle(capTitle); });
    t.step([&] { bSave = true; });
    t.step([&] { bCompress = CBool(GetINIString("Options", "Compress", "False", 256)); });
    t.step([&] { txtSPlace->setTextValue(GetINIString("Options", "SavePath", "", 256)); });
    t.step([&] {
        iC = CLng(GetINIString("Options", "Intervall", "1", 256));
        if (iC == 0)
            iC = 1;
    });
    t.step([&] { txtURL->setTextValue(GetINIString("Options", "URL", "", 256)); });
    t.step([&] {
        cmdAbort->setEnabled(false);
        lblStatus->setVisible(false);
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

void frmMain::SetLabels()
{
    TraceScope t(kModule, "Sub SetLabels");
    t.step([&] {
        lblSavePath->setText(capSavePath);
        lblUrl->setText(capURL);
        cmdSettings->setCaption(capSettings);
        cmdStart->setCaption(capStart);
        cmdAbort->setCaption(capCancel);
        cmdQuit->setCaption(capQuit);
    });
}

void frmMain::SetRegistry()
{
    TraceScope t(kModule, "Sub SetRegistry");
    t.step([&] { registry().SaveSetting("Fetchora", "Options", "Version", "1.00.02"); });
    t.step([&] { registry().SaveSetting("Fetchora", "Options", "Language", strLanguage); });
    t.step([&] { registry().SaveSetting("Fetchora", "Options", "AppPath", appFolder()); });
}

void frmMain::cmdQuit_Click()
{
    TraceScope t(kModule, "Sub cmdQuit_Click");
    if (bProcessing) {
        m_quitDeferred = true;
        return;
    }
    t.step([&] {
        if (cmdAbort->isEnabled())
            cmdAbort_Click();
    });
    t.step([&] { close(); });
}

void frmMain::AppExit()
{
    TraceScope t(kModule, "Sub AppExit");
    if (bProcessing) {
        m_quitDeferred = true;
        return;
    }
    t.step([&] {
        // A dialog of ours that is open goes first, so its modal loop ends.
        const auto windows = QApplication::topLevelWidgets();
        for (QWidget *w : windows) {
            if (w != this && w->isWindow()) {
                if (auto *dialog = qobject_cast<QDialog *>(w); dialog && dialog->isVisible())
                    dialog->reject();
            }
        }
        close();
    });
}

void frmMain::closeEvent(QCloseEvent *event)
{
    if (bProcessing) {
        // The file being stored must not be cut off; quitting follows.
        m_quitDeferred = true;
        event->ignore();
        return;
    }
    if (!m_unloaded) {
        int cancel = 0;
        Form_Unload(cancel);
    }
    event->accept();
}

void frmMain::Form_Unload(int &Cancel)
{
    TraceScope t(kModule, "Sub Form_Unload");
    Cancel = 0;
    m_unloaded = true;
    t.step([&] { UnloadMinMax(this); });
    t.step([&] {
        if (bSave) {
            WriteINIString("Options", "SavePath", txtSPlace->Text());
            WriteINIString("Options", "URL", txtURL->Text());
        }
    });
    t.step([&] { SetRegistry(); });
    t.step([&] {
        // The transfer and the countdown belong to this window; they end with it.
        Timer1.stop();
        FileDownload.reset();
        if (sevTray1)
            sevTray1->Remove();
    });
    t.step([&] { objFSO.reset(); });
    QMetaObject::invokeMethod(this, [this] { emit unloaded(); }, Qt::QueuedConnection);
}

void frmMain::changeEvent(QEvent *event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange)
        Form_Resize();
}

void frmMain::DoEvents()
{
    QCoreApplication::processEvents();
}

void frmMain::ShowProgress(ProgressBox *box, qint64 value, qint64 minimum, qint64 maximum, bool withText)
{
    TraceScope t(kModule, "Sub ShowProgress");
    t.step([&] {
        if (!box)
            raiseError(err::ObjectVariableNotSet);
        box->draw(value, minimum, maximum, withText);
    });
}

// ---------------------------------------------------------------------------
// Download cycle

void frmMain::cmdStart_Click()
{
    TraceScope t(kModule, "Sub cmdStart_Click");
    if (bActive) {
        t.step([&] {
            bActive = false;
            Timer1.stop();
            lCounter = 0;
        });
        t.step([&] {
            cmdStart->setCaption(capStart);
            lblStatus->setVisible(false);
            cmdAbort->setEnabled(false);
        });
        t.step([&] {
            cmdSettings->setEnabled(true);
            cmdBrowse->setEnabled(true);
            txtSPlace->setEnabled(true);
            txtURL->setEnabled(true);
        });
        t.step([&] { ShowProgress(picProgress, 0, 0, 100, false); });
        t.step([&] {
            setWindowTitle(capTitle);
            DoEvents();
        });
        return;
    }

    if (txtSPlace->Text().isEmpty()) {
        t.step([&] { prompt().msgBox(msgNoFolder, mb::Information | mb::OKOnly, QString()); });
        return;
    }
    if (txtURL->Text().isEmpty()) {
        t.step([&] { prompt().msgBox(msgNoURL, mb::Information | mb::OKOnly, QString()); });
        return;
    }
    bool startNow = false;
    t.step([&] { bActive = true; });
    t.step([&] { startNow = CBool(GetINIString("Options", "Start", "0", 256)); });
    t.step([&] {
        cmdSettings->setEnabled(false);
        cmdBrowse->setEnabled(false);
        txtSPlace->setEnabled(false);
        txtURL->setEnabled(false);
        setWindowTitle(activeCaption());
        cmdStart->setCaption(capStop);
    });
    t.step([&] {
        if (startNow) {
            Start();
            bStartedNow = true;
        } else {
            Timer1.start();
        }
    });
}

void frmMain::Start()
{
    TraceScope t(kModule, "Sub Start");
    // A rejected start gives the Start/Stop button back, so the user is never
    // left without a way to stop or retry.
    bool accepted = false;
    t.step([&] {
        cmdStart->setEnabled(false);
        if (txtSPlace->Text().isEmpty()) {
            prompt().msgBox(msgNoFolder, mb::Information | mb::OKOnly, QString());
            return;
        }
        if (!objFSO->FolderExists(txtSPlace->Text())) {
            prompt().msgBox(msgFolderMissing, mb::Information | mb::OKOnly, QString());
            return;
        }
        if (txtURL->Text().isEmpty()) {
            prompt().msgBox(msgNoURL, mb::Information | mb::OKOnly, QString());
            return;
        }
        accepted = true;
    });
    if (!accepted) {
        cmdStart->setEnabled(true);
        return;
    }

    t.step([&] {
        const QString url = txtURL->Text();
        const qsizetype cut = std::max(url.lastIndexOf(QLatin1Char('/')), url.lastIndexOf(QLatin1Char('\\')));
        sFileName = url.mid(cut + 1);
        const qsizetype dot = sFileName.lastIndexOf(QLatin1Char('.'));
        sFileExt = dot >= 0 ? sFileName.mid(dot + 1) : QString();
        sBaseName = dot >= 0 ? sFileName.left(dot) : sFileName;
    });
    t.step([&] {
        if (!objFSO->FolderExists(tmpFolder()))
            objFSO->CreateFolder(tmpFolder());
    });
    t.step([&] {
        // The transfer being replaced goes first, so the sweep cannot pull
        // a .part file from under it.
        FileDownload.reset();
        removeLeftovers(txtSPlace->Text(), tmpFolder());
    });
    t.step([&] {
        sTmpFile = tmpFolder() + sFileName;
        if (objFSO->FileExists(sTmpFile))
            objFSO->DeleteFile(sTmpFile, false);
    });
    bool started = false;
    t.step([&] {
        FileDownload = m_seams.downloads(this);
        started = FileDownload->StartDownload(txtURL->Text(), sTmpFile);
    });
    t.step([&] {
        if (started) {
            cmdAbort->setEnabled(true);
        } else {
            FileDownload.reset();
            cmdStart->setEnabled(true);
        }
    });
}

void frmMain::cmdAbort_Click()
{
    TraceScope t(kModule, "Sub cmdAbort_Click");
    int answer = mb::No;
    t.step([&] { answer = prompt().msgBox(msgAbortQuery, mb::Question | mb::YesNo | mb::DefaultButton2, capDownload); });
    if (answer != mb::Yes)
        return;
    t.step([&] {
        if (FileDownload)
            FileDownload->AbortDownload();
    });
    t.step([&] {
        lblStatus->setText(msgAborted);
        cmdAbort->setEnabled(false);
        cmdStart->setEnabled(true);
    });
    t.step([&] { ShowProgress(picProgress, 0, 0, 100, true); });
}

void frmMain::Timer1_Timer()
{
    TraceScope t(kModule, "Sub Timer1_Timer");
    if (bProcessing) {
        // Counted once the finished file is stored.
        ++m_deferredTicks;
        return;
    }
    t.step([&] {
        ++lCounter;
        const long total = iC * m_seams.secondsPerMinute;
        if (lCounter != total) {
            lblStatus->setVisible(true);
            lblStatus->setText(QString::number(total - lCounter) + QLatin1Char(' ') + capSecondsToNext);
            setWindowTitle(activeCaption());
        } else {
            Start();
            lCounter = 0;
            ShowProgress(picProgress, 0, 0, 100, false);
        }
    });
    t.step([&] { DoEvents(); });
}

void frmMain::txtURL_Change()
{
    TraceScope t(kModule, "Sub txtURL_Change");
    sLastVersion.clear();
}

void frmMain::txtURL_GotFocus()
{
    TraceScope t(kModule, "Sub txtURL_GotFocus");
    t.step([&] { txtURL->invokeMember8(); });
}

void frmMain::txtSPlace_GotFocus()
{
    TraceScope t(kModule, "Sub txtSPlace_GotFocus");
    t.step([&] { txtSPlace->invokeMember8(); });
}

// ---------------------------------------------------------------------------
// Component events

void frmMain::FileDownload_Start()
{
    TraceScope t(kModule, "Sub FileDownload_Start");
    t.step([&] { lblStatus->setVisible(true); });
}

void frmMain::FileDownload_Progress(qint64 BytesLoaded, qint64 FileSize)
{
    TraceScope t(kModule, "Sub FileDownload_Progress");
    t.step([&] {
        lblStatus->setText(QString::number(BytesLoaded) + QLatin1Char(' ') + capOf + QLatin1Char(' ')
                           + QString::number(FileSize) + QLatin1Char(' ') + capBytes);
    });
    t.step([&] { ShowProgress(picProgress, BytesLoaded, 0, FileSize, true); });
}

void frmMain::FileDownload_Abort()
{
    TraceScope t(kModule, "Sub FileDownload_Abort");
    t.step([&] {
        if (bActive) {
            Timer1.start();
            cmdAbort->setEnabled(false);
            cmdStart->setCaption(capStop);
        } else {
            cmdStart->setCaption(capStart);
        }
        // An unchanged remote file also ends this way, without a Cancel that
        // would have given the button back.
        cmdStart->setEnabled(true);
    });
}

void frmMain::FileDownload_NotFound()
{
    TraceScope t(kModule, "Sub FileDownload_NotFound");
    t.step([&] {
        if (bActive)
            cmdStart_Click();
    });
    // Back in Idle the user must be able to start again.
    t.step([&] { cmdStart->setEnabled(true); });
    t.step([&] {
        prompt().msgBox(msgFileNotFound + QStringLiteral("\r\nHTTP Code 404\r\n\r\n") + msgCheckURL,
                        mb::Exclamation | mb::OKOnly, msgInvalidURL);
    });
}

void frmMain::FileDownload_ConnectionError(long Number, const QString &Descr)
{
    TraceScope t(kModule, "Sub FileDownload_ConnectionError");
    if (bLoading)
        return;
    t.step([&] {
        if (CBool(GetINIString("Options", "ShowErrors", "0", 256)))
            prompt().msgBox(msgConnectError + QStringLiteral("!\r\nError: ") + QString::number(Number)
                                + QStringLiteral("\r\n") + Descr,
                            mb::Critical | mb::OKOnly, capTitle + QStringLiteral(" - ") + msgConnectErrorTitle);
    });
    t.step([&] { cmdStart->setEnabled(true); });
}

void frmMain::FileDownload_DownloadError(long Number, const QString &Descr)
{
    TraceScope t(kModule, "Sub FileDownload_DownloadError");
    if (bLoading)
        return;
    t.step([&] {
        if (CBool(GetINIString("Options", "ShowErrors", "0", 256)))
            prompt().msgBox(msgConnectError + QStringLiteral("!\r\nError: ") + QString::number(Number)
                                + QStringLiteral("\r\n") + Descr,
                            mb::Critical | mb::OKOnly, capTitle + QStringLiteral(" - ") + msgConnectErrorTitle);
    });
    // Without this the failed transfer would leave no working Start/Stop button.
    t.step([&] { cmdStart->setEnabled(true); });
}

void frmMain::FileDownload_ShowVersion(const QString &s)
{
    TraceScope t(kModule, "Sub FileDownload_ShowVersion");
    bool check = false;
    t.step([&] { check = CBool(GetINIString("Options", "CheckVersion", "False", 256)); });
    if (!check)
        return;
    t.step([&] {
        bool same = (s == sLastVersion);
        if (FileDownload)
            FileDownload->SameVersion(same);
    });
    t.step([&] { sLastVersion = s; });
}

void frmMain::FileDownload_Finished()
{
    TraceScope t(kModule, "Sub FileDownload_Finished");
    // The component stays alive until its event call has returned; its
    // destructor guarantees that nothing more of it arrives.
    t.step([&] { FileDownload.reset(); });
    t.step([&] {
        if (bActive)
            cmdAbort->setEnabled(false);
    });
    bProcessing = true;
    t.step([&] { zip::SetLanguage(1); });
    t.step([&] { zip::SetCompressionRate(CLng(GetINIString("Options", "CompRate", "6", 256))); });
    t.step([&] {
        const QLocale locale = fileStampLocale();
        const QDate today = QDate::currentDate();
        sDate = stampText(shortDateText(today, locale));
        sTime = stampText(longTimeText(QTime::currentTime(), locale));
    });
    StoredPaths paths;
    t.step([&] {
        const bool mode1 = CBool(GetINIString("Options", "Mode1", "1", 256));
        paths = storedPaths(txtSPlace->Text(), sBaseName, sFileExt, mode1, sDate, sTime);
    });
    t.step([&] { zip::SaveFolderLocation(appFolder()); });

    if (bCompress) {
        t.step([&] {
            lblStatus->setText(capCompressing);
            DoEvents();
        });
        bool zipped = false;
        t.step([&] {
            const QString password = GetINIString("Options", "Pwd", "", 256);
            // Compression runs beside the window so it keeps painting; ticks
            // and quitting wait for it (bProcessing).
            long result = 0;
            QEventLoop loop;
            bool done = false;
            std::thread worker([&] {
                result = zip::ZipFile(paths.archivePath, sTmpFile, password, -1, 0);
                QMetaObject::invokeMethod(&loop, [&] { done = true; loop.quit(); }, Qt::QueuedConnection);
            });
            while (!done)
                loop.exec();
            worker.join();
            if (result != 0)
                raiseError(result, zip::lastZipError());
            zipped = true;
        });
        // A failed compression keeps the downloaded file: nothing is lost.
        if (zipped)
            t.step([&] { objFSO->DeleteFile(sTmpFile, true); });
    } else {
        t.step([&] {
            // The old copy goes only when a complete new one replaces it.
            if (objFSO->FileExists(sTmpFile))
                replaceWithNewFile(*objFSO, sTmpFile, paths.targetPath);
        });
    }

    t.step([&] { lblStatus->setText(msgFinished); });
    t.step([&] {
        if (bStartedNow) {
            bStartedNow = false;
            Timer1.start();
            cmdSettings->setEnabled(false);
            cmdBrowse->setEnabled(false);
            txtSPlace->setEnabled(false);
            txtURL->setEnabled(false);
            setWindowTitle(activeCaption());
            cmdStart->setCaption(capStop);
        }
    });
    t.step([&] { cmdStart->setEnabled(true); });
    t.step([&] { ShowProgress(picProgress, 0, 0, 100, false); });
    bProcessing = false;
    runDeferred();
}

void frmMain::runDeferred()
{
    if (m_quitDeferred) {
        m_quitDeferred = false;
        m_deferredTicks = 0;
        QMetaObject::invokeMethod(this, [this] { close(); }, Qt::QueuedConnection);
        return;
    }
    const int ticks = m_deferredTicks;
    m_deferredTicks = 0;
    if (ticks > 0) {
        QMetaObject::invokeMethod(this, [this, ticks] {
            for (int i = 0; i < ticks && Timer1.isActive() && !bProcessing; ++i)
                Timer1_Timer();
        }, Qt::QueuedConnection);
    }
}

}  // namespace fetchora
