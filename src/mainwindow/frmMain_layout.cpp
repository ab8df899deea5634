// The main window's controls, at the places and in the tab order the
// window has always had them. Layout figures are in twips.

#include "mainwindow/frmMain.h"

#include "shell/Controls.h"
#include "shell/ProgressBox.h"

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

void frmMain::buildControls()
{
    resize(kClientWidth, kClientHeight);
    // Labels, check boxes and fields inherit this; the buttons set their own.
    setFont(designFont(kCaptionPoints));

    // The banner strip runs to the right edge of the client area.
    Frame4 = child<QFrame>(this, "Frame4", QRect(0, 0, kClientWidth, 645 / 15));
    Frame4->setFrameShape(QFrame::NoFrame);
    Frame4->setAutoFillBackground(true);
    QPalette white = Frame4->palette();
    white.setColor(QPalette::Window, Qt::white);
    Frame4->setPalette(white);
    Image1 = child<QLabel>(Frame4, "Image1", QRect());
    // The banner's slogan is text, so it follows the language and stays
    // sharp at any scale; it shows with the banner only.
    lblSlogan = child<QLabel>(Frame4, "lblSlogan", QRect(150, 13, 238, 17));
    lblSlogan->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    lblSlogan->setFont(designFont(kButtonPoints));
    QPalette ink = lblSlogan->palette();
    ink.setColor(QPalette::WindowText, QColor(0x1F, 0x4E, 0x8C));
    lblSlogan->setPalette(ink);
    lblSlogan->setVisible(false);

    Frame1 = child<QGroupBox>(this, "Frame1", twips(15, 600, 5985, 975));
    lblSavePath = child<QLabel>(Frame1, "lblSavePath", twips(120, 210, 5535, 195));
    txtSPlace = child<dxTextEdit>(Frame1, "txtSPlace", twips(120, 450, 5325, 315));
    cmdBrowse = child<roCommand>(Frame1, "cmdBrowse", twips(5520, 450, 315, 315));
    cmdBrowse->setCaption(QStringLiteral("..."));

    Frame2 = child<QGroupBox>(this, "Frame2", twips(15, 1560, 5985, 1545));
    lblUrl = child<QLabel>(Frame2, "lblUrl", twips(120, 180, 5535, 195));
    txtURL = child<dxTextEdit>(Frame2, "txtURL", twips(120, 420, 5745, 315));
    picProgress = child<ProgressBox>(Frame2, "picProgress", twips(120, 900, 5745, 255));
    lblStatus = child<QLabel>(Frame2, "lblStatus", twips(150, 1200, 5715, 195));

    Frame3 = child<QGroupBox>(this, "Frame3", twips(15, 3090, 5985, 735));
    cmdSettings = child<roCommand>(Frame3, "cmdSettings", twips(150, 240, 1185, 345));
    cmdStart = child<roCommand>(Frame3, "cmdStart", twips(2130, 240, 1185, 345));
    cmdAbort = child<roCommand>(Frame3, "cmdAbort", twips(3390, 240, 1185, 345));
    cmdQuit = child<roCommand>(Frame3, "cmdQuit", twips(4650, 240, 1185, 345));

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

}  // namespace fetchora
