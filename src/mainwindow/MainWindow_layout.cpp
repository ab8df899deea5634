// The main window's controls, at the places and in the tab order the
// window has always had them. Layout figures are in twips.

#include "mainwindow/MainWindow.h"

#include "widgets/Controls.h"
#include "widgets/ProgressBox.h"

#include <QGroupBox>
#include <QLabel>

namespace fetchora {

namespace {

// Layout figures are in twips; 15 twips are one pixel.
QRect twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

template <class W, class Parent>
W *child(Parent *parent, const char *name, QRect geometry)
{
    auto *w = new W(parent);
    w->setObjectName(QLatin1String(name));
    w->setGeometry(geometry);
    return w;
}

}  // namespace

void MainWindow::buildControls()
{
    resize(kClientWidth, kClientHeight);
    // Labels, check boxes and fields inherit this; the buttons set their own.
    setFont(designFont(kCaptionPoints));

    // The banner strip runs to the right edge of the client area.
    bannerFrame = child<QFrame>(this, "Frame4", QRect(0, 0, kClientWidth, 645 / 15));
    bannerFrame->setFrameShape(QFrame::NoFrame);
    bannerFrame->setAutoFillBackground(true);
    QPalette white = bannerFrame->palette();
    white.setColor(QPalette::Window, Qt::white);
    bannerFrame->setPalette(white);
    bannerImage = child<QLabel>(bannerFrame, "Image1", QRect());
    // The banner's slogan is text, so it follows the language and stays
    // sharp at any scale; it shows with the banner only.
    sloganLabel = child<QLabel>(bannerFrame, "lblSlogan", QRect(150, 13, 238, 17));
    sloganLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    sloganLabel->setFont(designFont(kButtonPoints));
    QPalette ink = sloganLabel->palette();
    ink.setColor(QPalette::WindowText, QColor(0x1F, 0x4E, 0x8C));
    sloganLabel->setPalette(ink);
    sloganLabel->setVisible(false);

    savePathFrame = child<QGroupBox>(this, "Frame1", twips(15, 600, 5985, 975));
    savePathLabel = child<QLabel>(savePathFrame, "lblSavePath", twips(120, 210, 5535, 195));
    savePathEdit = child<TextField>(savePathFrame, "txtSPlace", twips(120, 450, 5325, 315));
    browseButton = child<CommandButton>(savePathFrame, "cmdBrowse", twips(5520, 450, 315, 315));
    browseButton->setCaption(QStringLiteral("..."));

    urlFrame = child<QGroupBox>(this, "Frame2", twips(15, 1560, 5985, 1545));
    urlLabel = child<QLabel>(urlFrame, "lblUrl", twips(120, 180, 5535, 195));
    urlEdit = child<TextField>(urlFrame, "txtURL", twips(120, 420, 5745, 315));
    progressBox = child<ProgressBox>(urlFrame, "picProgress", twips(120, 900, 5745, 255));
    statusLabel = child<QLabel>(urlFrame, "lblStatus", twips(150, 1200, 5715, 195));
    // A screen reader names each field by the caption above it. The status
    // line keeps no name of its own: its text is its name, so each new text
    // reaches the reader as a change of name.
    savePathLabel->setBuddy(savePathEdit);
    urlLabel->setBuddy(urlEdit);
    lastAttemptLabel = child<QLabel>(urlFrame, "lblLastAttempt", twips(150, 1200, 5715, 195));
    lastAttemptLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lastAttemptLabel->setVisible(false);

    buttonFrame = child<QGroupBox>(this, "Frame3", twips(15, 3090, 5985, 735));
    settingsButton = child<CommandButton>(buttonFrame, "cmdSettings", twips(150, 240, 1185, 345));
    startButton = child<CommandButton>(buttonFrame, "cmdStart", twips(2130, 240, 1185, 345));
    cancelButton = child<CommandButton>(buttonFrame, "cmdAbort", twips(3390, 240, 1185, 345));
    quitButton = child<CommandButton>(buttonFrame, "cmdQuit", twips(4650, 240, 1185, 345));

    QWidget::setTabOrder(startButton, savePathEdit);
    QWidget::setTabOrder(savePathEdit, browseButton);
    QWidget::setTabOrder(browseButton, urlEdit);
    QWidget::setTabOrder(urlEdit, settingsButton);
    QWidget::setTabOrder(settingsButton, cancelButton);
    QWidget::setTabOrder(cancelButton, quitButton);

    connect(startButton, &CommandButton::Click, this, &MainWindow::startPressed);
    connect(cancelButton, &CommandButton::Click, this, &MainWindow::cmdAbort_Click);
    connect(quitButton, &CommandButton::Click, this, &MainWindow::cmdQuit_Click);
    connect(settingsButton, &CommandButton::Click, this, &MainWindow::cmdSettings_Click);
    connect(browseButton, &CommandButton::Click, this, &MainWindow::cmdBrowse_Click);
    connect(urlEdit, &TextField::Change, this, &MainWindow::txtURL_Change);
    connect(urlEdit, &TextField::GotFocus, this, &MainWindow::txtURL_GotFocus);
    connect(savePathEdit, &TextField::GotFocus, this, &MainWindow::txtSPlace_GotFocus);
    setUpHistory();
}

}  // namespace fetchora
