#include "settings/frmSettings.h"

#include "settings/SettingsHost.h"
#include "shell/Controls.h"
#include "startup/Conversions.h"
#include "startup/modGlobal.h"
#include "startup/modINIHandler.h"
#include "startup/modText.h"
#include "trace/modTraceLITE.h"

#include <QColor>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QtGlobal>

namespace fetchora {

namespace {

const QString kGlobal = QStringLiteral("Global");
const QString kOptions = QStringLiteral("Options");

// The layout is given in twips; the screen works in pixels at 96 dpi.
// The level names of the current language, in the order of kRateNumbers.
std::array<QString, 4> currentRateNames()
{
    return {capRateNone, capRateLow, capRateNormal, capRateHigh};
}

int px(int twips)
{
    return qRound(twips / 15.0);
}

QRect twipRect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

QFrame *makeLine(QWidget *parent, int fromX, int toX, int y)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::NoFrame);
    line->setAutoFillBackground(true);
    QPalette p = line->palette();
    const unsigned c = frmSettings::kLineColor;
    p.setColor(QPalette::Window, QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
    line->setPalette(p);
    line->setGeometry(px(fromX), px(y), px(toX) - px(fromX), 1);
    return line;
}

}  // namespace

frmSettings::frmSettings(SettingsHost &host, QWidget *ownerWindow) : QDialog(ownerWindow), m_host(host)
{
    buildControls();
}

frmSettings::~frmSettings() = default;

void frmSettings::buildControls()
{
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // Modal to its owner only: the tray icon must still take the clicks that
    // bring back a main window minimised while the dialog is open.
    setWindowModality(Qt::WindowModal);
    setFixedSize(px(3945), px(4485));
    setFont(designFont(kCaptionPoints));

    fraSettings = new QGroupBox(this);
    fraSettings->setGeometry(twipRect(30, -30, 3885, 3765));
    Frame1 = new QGroupBox(this);
    Frame1->setGeometry(twipRect(30, 3720, 3885, 735));

    // The only caption of the program that is not translated.
    Label1 = new QLabel(QStringLiteral("Sprache"), fraSettings);
    Label1->setGeometry(twipRect(120, 150, 1755, 195));
    dxLanguage = new dxPickEdit(fraSettings);
    dxLanguage->setGeometry(twipRect(120, 360, 1785, 315));
    lblInterval = new QLabel(fraSettings);
    lblInterval->setGeometry(twipRect(1980, 150, 1365, 195));
    Combo1 = new dxPickEdit(fraSettings);
    Combo1->setGeometry(twipRect(1980, 360, 1785, 315));
    Line4 = makeLine(fraSettings, 120, 3760, 810);

    Check2 = new dxCheckEdit(fraSettings);
    Check2->setGeometry(twipRect(60, 900, 3735, 315));
    Line1 = makeLine(fraSettings, 120, 3760, 1260);

    Check1 = new dxCheckEdit(fraSettings);
    Check1->setGeometry(twipRect(60, 1350, 3645, 315));
    lblCompression = new QLabel(fraSettings);
    lblCompression->setGeometry(twipRect(120, 1680, 1605, 195));
    Combo2 = new dxPickEdit(fraSettings);
    Combo2->setGeometry(twipRect(120, 1890, 1785, 315));
    lblPassword = new QLabel(fraSettings);
    lblPassword->setGeometry(twipRect(1980, 1680, 1605, 195));
    txtPassword = new dxTextEdit(fraSettings);
    txtPassword->setGeometry(twipRect(1980, 1890, 1785, 315));
    // 7-Zip opens no archive with a longer password.
    txtPassword->setMaxLength(99);
    Line2 = makeLine(fraSettings, 120, 3760, 2340);

    Option1[0] = new dxCheckEdit(fraSettings);
    Option1[0]->setGeometry(twipRect(60, 2400, 3705, 360));
    Option1[1] = new dxCheckEdit(fraSettings);
    Option1[1]->setGeometry(twipRect(60, 2640, 3705, 360));
    Option1[0]->setGroupIndex(1);
    Option1[1]->setGroupIndex(1);
    Option1[0]->setChecked(true);
    Line3 = makeLine(fraSettings, 120, 3760, 3030);

    Check3 = new dxCheckEdit(fraSettings);
    Check3->setGeometry(twipRect(60, 3120, 3645, 315));
    Check4 = new dxCheckEdit(fraSettings);
    Check4->setGeometry(twipRect(60, 3360, 3645, 315));

    cmdCancel = new roCommand(Frame1);
    cmdCancel->setGeometry(twipRect(1350, 240, 1185, 345));
    cmdSave = new roCommand(Frame1);
    cmdSave->setGeometry(twipRect(2580, 240, 1185, 345));
    // Enter saves, from any field; on a focused button it presses that one.
    cmdCancel->setAutoDefault(true);
    cmdSave->setAutoDefault(true);
    cmdSave->setDefault(true);

    QWidget *order[] = {dxLanguage, Combo1,     Check2, Check1, Combo2,    txtPassword,
                        Option1[0], Option1[1], Check3, Check4, cmdCancel, cmdSave};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(dxLanguage, &dxPickEdit::Change, this, &frmSettings::dxLanguage_Change);
    connect(Check1, &dxCheckEdit::Click, this, &frmSettings::Check1_Click);
    connect(cmdSave, &roCommand::Click, this, &frmSettings::cmdSave_Click);
    connect(cmdCancel, &roCommand::Click, this, &frmSettings::cmdCancel_Click);
}

void frmSettings::keyPressEvent(QKeyEvent *event)
{
    // Escape is the Cancel button, language restore included; the window
    // frame's close box stays a plain close.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdCancel_Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmSettings::Unload()
{
    done(QDialog::Accepted);
}

void frmSettings::Form_Load()
{
    TraceScope t("frmSettings", "Sub Form_Load");
    t.step([&] { bLoading = true; });
    t.step([&] { SetLabels(); });
    t.step([&] {
        for (int i = 1; i <= 60; ++i)
            Combo1->addItemValue(QString::number(i));
    });
    t.step([&] { sLanguageAtOpen = strLanguage; });
    t.step([&] {
        dxLanguage->addItemValue(QStringLiteral("Deutsch"));
        dxLanguage->addItemValue(QStringLiteral("English"));
    });
    // Raises dxLanguage_Change: the language of the file takes effect here,
    // and Combo2 gets its first (still empty-matching) level name.
    t.step([&] {
        dxLanguage->setTextValue(GetINIString(kGlobal, QStringLiteral("Language"), QStringLiteral("Deutsch"), 256));
    });
    t.step([&] {
        for (const char *item : {"120", "240", "480", "720", "960", "1200", "1440"})
            Combo1->addItemValue(QString::fromLatin1(item));
    });
    t.step([&] { SetZipCombo(); });
    t.step(
        [&] { Combo1->setTextValue(GetINIString(kOptions, QStringLiteral("Intervall"), QStringLiteral("1"), 256)); });
    t.step([&] {
        const long rate = CLng(GetINIString(kOptions, QStringLiteral("CompRate"), QStringLiteral("6"), 256));
        for (size_t i = 0; i < kRateNumbers.size(); ++i) {
            if (rate == kRateNumbers[i]) {
                Combo2->setTextValue(currentRateNames()[i]);
                break;
            }
        }
    });
    t.step([&] { sOldRate = currentRateNames(); });
    t.step([&] { Check1->setValueText(GetINIString(kOptions, QStringLiteral("Compress"), QStringLiteral("0"), 256)); });
    t.step(
        [&] { Option1[0]->setValueText(GetINIString(kOptions, QStringLiteral("Mode1"), QStringLiteral("1"), 256)); });
    t.step(
        [&] { Option1[1]->setValueText(GetINIString(kOptions, QStringLiteral("Mode2"), QStringLiteral("0"), 256)); });
    t.step([&] { Check2->setValueText(GetINIString(kOptions, QStringLiteral("Start"), QStringLiteral("0"), 256)); });
    t.step([&] {
        Check3->setValueText(GetINIString(kOptions, QStringLiteral("CheckVersion"), QStringLiteral("0"), 256));
    });
    t.step(
        [&] { Check4->setValueText(GetINIString(kOptions, QStringLiteral("ShowErrors"), QStringLiteral("0"), 256)); });
    t.step([&] { txtPassword->setTextValue(GetINIString(kOptions, QStringLiteral("Pwd"), QString(), 256)); });
    t.step([&] {
        if (Combo1->Text().isEmpty())
            Combo1->setTextValue(QStringLiteral("1"));
    });
    t.step([&] { Check1_Click(); });
    t.step([&] { bLoading = false; });
}

void frmSettings::SetLabels()
{
    TraceScope t("frmSettings", "Sub SetLabels");
    t.step([&] {
        setWindowTitle(capSettingsTitle);
        lblInterval->setText(capInterval);
        Check2->setCaption(capStartNow);
        Check1->setCaption(capCompress);
        lblCompression->setText(capCompression);
        lblPassword->setText(capZipPassword);
        Option1[0]->setCaption(capDateTime);
        Option1[1]->setCaption(capOverwrite);
        cmdCancel->setCaption(capCancel);
        cmdSave->setCaption(capSave);
        Check3->setCaption(capCheckVersion);
        Check4->setCaption(capShowConnErrors);
    });
    t.step([&] { sNewRate = currentRateNames(); });
}

void frmSettings::SetZipCombo()
{
    TraceScope t("frmSettings", "Sub SetZipCombo");
    t.step([&] {
        Combo2->clearItems();
        for (const QString &name : currentRateNames())
            Combo2->addItemValue(name);
    });
}

void frmSettings::SetCombo()
{
    TraceScope t("frmSettings", "Sub SetCombo");
    t.step([&] {
        const QString current = Combo2->Text();
        for (size_t i = 0; i < sOldRate.size(); ++i) {
            if (current == sOldRate[i]) {
                Combo2->setTextValue(sNewRate[i]);
                break;
            }
        }
    });
    t.step([&] { sOldRate = sNewRate; });
}

void frmSettings::dxLanguage_Change()
{
    TraceScope t("frmSettings", "Sub dxLanguage_Change");
    t.step([&] { strLanguage = dxLanguage->Text(); });
    t.step([&] { SetLanguage(); });
    t.step([&] { m_host.SetLabels(); });
    t.step([&] { SetLabels(); });
    t.step([&] { SetCombo(); });
    t.step([&] {
        if (!bLoading)
            SetZipCombo();
    });
}

void frmSettings::Check1_Click()
{
    TraceScope t("frmSettings", "Sub Check1_Click");
    t.step([&] {
        const bool on = Check1->Value();
        txtPassword->setEnabled(on);
        lblPassword->setEnabled(on);
        lblCompression->setEnabled(on);
        Combo2->setEnabled(on);
        // Switched on with nothing chosen: the level a fresh setup compresses with.
        if (on && Combo2->Text().isEmpty())
            Combo2->setTextValue(capRateNormal);
        const unsigned color = on ? kWhite : kButtonFaceColor;
        txtPassword->setBackColor(color);
        Combo2->setBackColor(color);
    });
}

void frmSettings::cmdSave_Click()
{
    TraceScope t("frmSettings", "Sub cmdSave_Click");
    bool save = false;
    t.step([&] { save = m_host.saveAllowed(); });
    if (save) {
        t.step([&] { WriteINIString(kGlobal, QStringLiteral("Language"), dxLanguage->Text()); });
        t.step([&] { WriteINIString(kOptions, QStringLiteral("Pwd"), txtPassword->Text()); });
        // Stored as typed; the conversion for the host may still fail after it.
        t.step([&] { WriteINIString(kOptions, QStringLiteral("Intervall"), Combo1->Text()); });
        t.step([&] { m_host.setInterval(CLng(Combo1->Text())); });
        t.step([&] {
            const QString level = Combo2->Text();
            const auto names = currentRateNames();
            for (size_t i = 0; i < names.size(); ++i) {
                if (level == names[i]) {
                    WriteINIString(kOptions, QStringLiteral("CompRate"), QString::number(kRateNumbers[i]));
                    break;
                }
            }
        });
        t.step([&] { WriteINIString(kOptions, QStringLiteral("Compress"), Check1->valueText()); });
        t.step([&] { WriteINIString(kOptions, QStringLiteral("Start"), Check2->valueText()); });
        t.step([&] { WriteINIString(kOptions, QStringLiteral("CheckVersion"), Check3->valueText()); });
        t.step([&] { WriteINIString(kOptions, QStringLiteral("ShowErrors"), Check4->valueText()); });
        t.step([&] { WriteINIString(kOptions, QStringLiteral("Mode1"), Option1[0]->valueText()); });
        t.step([&] { WriteINIString(kOptions, QStringLiteral("Mode2"), Option1[1]->valueText()); });
    }
    t.step([&] { Unload(); });
}

void frmSettings::cmdCancel_Click()
{
    TraceScope t("frmSettings", "Sub cmdCancel_Click");
    t.step([&] {
        if (strLanguage != sLanguageAtOpen) {
            strLanguage = sLanguageAtOpen;
            SetLanguage();
            m_host.SetLabels();
        }
    });
    t.step([&] { Unload(); });
}

}  // namespace fetchora
