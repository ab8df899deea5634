#include "settingsdialog/SettingsDialog.h"

#include "settingsdialog/SettingsHost.h"
#include "widgets/Controls.h"
#include "core/Conversions.h"
#include "core/Profile.h"
#include "core/Settings.h"
#include "core/Texts.h"
#include "core/Trace.h"

#include <QApplication>
#include <QColor>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QPalette>
#include <QtGlobal>

namespace fetchora {

namespace {

// The level names of a language, in the order of kRateNumbers.
std::array<QString, 4> rateNames(const Texts &t)
{
    return {t.capRateNone, t.capRateLow, t.capRateNormal, t.capRateHigh};
}

// The layout is given in twips; the screen works in pixels at 96 dpi.
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
    const unsigned c = SettingsDialog::kLineColor;
    p.setColor(QPalette::Window, QColor((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF));
    line->setPalette(p);
    line->setGeometry(px(fromX), px(y), px(toX) - px(fromX), 1);
    return line;
}

}  // namespace

SettingsDialog::SettingsDialog(SettingsHost &host, Profile &profile, QWidget *ownerWindow)
    : QDialog(ownerWindow), m_host(host), m_profile(profile)
{
    buildControls();
}

SettingsDialog::~SettingsDialog() = default;

void SettingsDialog::buildControls()
{
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
    // Modal to its owner only: the tray icon must still take the clicks that
    // bring back a main window minimised while the dialog is open.
    setWindowModality(Qt::WindowModal);
    setFixedSize(px(3945), px(4485));
    setFont(designFont(kCaptionPoints));

    settingsFrame = new QGroupBox(this);
    settingsFrame->setGeometry(twipRect(30, -30, 3885, 3765));
    zipFrame = new QGroupBox(this);
    zipFrame->setGeometry(twipRect(30, 3720, 3885, 735));

    // The only caption of the program that is not translated.
    languageLabel = new QLabel(QStringLiteral("Sprache"), settingsFrame);
    languageLabel->setGeometry(twipRect(120, 150, 1755, 195));
    languageBox = new PickField(settingsFrame);
    languageBox->setGeometry(twipRect(120, 360, 1785, 315));
    intervalLabel = new QLabel(settingsFrame);
    intervalLabel->setGeometry(twipRect(1980, 150, 1365, 195));
    intervalBox = new PickField(settingsFrame);
    intervalBox->setGeometry(twipRect(1980, 360, 1785, 315));
    // Typed text that is no whole number of minutes would reach Save's
    // conversion; the lists take their own names only.
    intervalBox->acceptWholeNumbers(rowOf(Setting::Interval).min, rowOf(Setting::Interval).max);
    languageBox->acceptItemsOnly();
    line4 = makeLine(settingsFrame, 120, 3760, 810);

    startNowBox = new CheckField(settingsFrame);
    startNowBox->setGeometry(twipRect(60, 900, 3735, 315));
    line1 = makeLine(settingsFrame, 120, 3760, 1260);

    compressBox = new CheckField(settingsFrame);
    compressBox->setGeometry(twipRect(60, 1350, 3645, 315));
    compressionLabel = new QLabel(settingsFrame);
    compressionLabel->setGeometry(twipRect(120, 1680, 1605, 195));
    rateBox = new PickField(settingsFrame);
    rateBox->setGeometry(twipRect(120, 1890, 1785, 315));
    rateBox->acceptItemsOnly();
    passwordLabel = new QLabel(settingsFrame);
    passwordLabel->setGeometry(twipRect(1980, 1680, 1605, 195));
    passwordEdit = new TextField(settingsFrame);
    passwordEdit->setGeometry(twipRect(1980, 1890, 1785, 315));
    // 7-Zip opens no archive with a longer password.
    passwordEdit->setMaxLength(99);
    line2 = makeLine(settingsFrame, 120, 3760, 2340);

    nameModeButtons[0] = new CheckField(settingsFrame);
    nameModeButtons[0]->setGeometry(twipRect(60, 2400, 3705, 360));
    nameModeButtons[1] = new CheckField(settingsFrame);
    nameModeButtons[1]->setGeometry(twipRect(60, 2640, 3705, 360));
    nameModeButtons[0]->setGroupIndex(1);
    nameModeButtons[1]->setGroupIndex(1);
    nameModeButtons[0]->setChecked(true);
    line3 = makeLine(settingsFrame, 120, 3760, 3030);

    checkVersionBox = new CheckField(settingsFrame);
    checkVersionBox->setGeometry(twipRect(60, 3120, 3645, 315));
    showErrorsBox = new CheckField(settingsFrame);
    showErrorsBox->setGeometry(twipRect(60, 3360, 3645, 315));

    cancelButton = new CommandButton(zipFrame);
    cancelButton->setGeometry(twipRect(1350, 240, 1185, 345));
    saveButton = new CommandButton(zipFrame);
    saveButton->setGeometry(twipRect(2580, 240, 1185, 345));
    // Enter saves, from any field; on a focused button it presses that one.
    cancelButton->setAutoDefault(true);
    saveButton->setAutoDefault(true);
    saveButton->setDefault(true);

    // A screen reader names each field by the caption above it.
    languageLabel->setBuddy(languageBox);
    intervalLabel->setBuddy(intervalBox);
    compressionLabel->setBuddy(rateBox);
    passwordLabel->setBuddy(passwordEdit);

    QWidget *order[] = {languageBox, intervalBox,     startNowBox, compressBox, rateBox,    passwordEdit,
                        nameModeButtons[0], nameModeButtons[1], checkVersionBox, showErrorsBox, cancelButton, saveButton};
    for (size_t i = 1; i < std::size(order); ++i)
        setTabOrder(order[i - 1], order[i]);

    connect(languageBox, &PickField::Change, this, &SettingsDialog::dxLanguage_Change);
    connect(compressBox, &CheckField::Click, this, &SettingsDialog::Check1_Click);
    connect(saveButton, &CommandButton::Click, this, &SettingsDialog::cmdSave_Click);
    connect(cancelButton, &CommandButton::Click, this, &SettingsDialog::cmdCancel_Click);
}

void SettingsDialog::keyPressEvent(QKeyEvent *event)
{
    // Escape is the Cancel button, language restore included; the window
    // frame's close box stays a plain close.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        cmdCancel_Click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void SettingsDialog::Unload()
{
    done(QDialog::Accepted);
}

void SettingsDialog::Form_Load()
{
    TraceScope t("frmSettings", "Sub Form_Load");
    t.step([&] { bLoading = true; });
    t.step([&] { SetLabels(); });
    t.step([&] {
        for (int i = 1; i <= 60; ++i)
            intervalBox->addItemValue(QString::number(i));
    });
    t.step([&] { sLanguageAtOpen = m_profile.languageName(); });
    t.step([&] {
        languageBox->addItemValue(QStringLiteral("Deutsch"));
        languageBox->addItemValue(QStringLiteral("English"));
    });
    // Raises dxLanguage_Change: the language of the file takes effect here,
    // and rateBox gets its first (still empty-matching) level name.
    t.step([&] {
        languageBox->setTextValue(m_profile.settings().text(Setting::Language));
    });
    t.step([&] {
        for (const char *item : {"120", "240", "480", "720", "960", "1200", "1440"})
            intervalBox->addItemValue(QString::fromLatin1(item));
    });
    t.step([&] { SetZipCombo(); });
    t.step(
        [&] { intervalBox->setTextValue(m_profile.settings().text(Setting::Interval)); });
    t.step([&] {
        const long rate = CLng(m_profile.settings().text(Setting::CompRate));
        for (size_t i = 0; i < kRateNumbers.size(); ++i) {
            if (rate == kRateNumbers[i]) {
                rateBox->setTextValue(rateNames(texts())[i]);
                break;
            }
        }
    });
    t.step([&] { sOldRate = rateNames(texts()); });
    t.step([&] { compressBox->setValueText(m_profile.settings().text(Setting::Compress)); });
    t.step(
        [&] { nameModeButtons[0]->setValueText(m_profile.settings().text(Setting::StampName)); });
    t.step(
        [&] { nameModeButtons[1]->setValueText(m_profile.settings().text(Setting::Overwrite)); });
    t.step([&] { startNowBox->setValueText(m_profile.settings().text(Setting::StartNow)); });
    t.step([&] {
        checkVersionBox->setValueText(m_profile.settings().text(Setting::CheckVersion));
    });
    t.step(
        [&] { showErrorsBox->setValueText(m_profile.settings().text(Setting::ShowErrors)); });
    t.step([&] { passwordEdit->setTextValue(m_profile.settings().text(Setting::Password)); });
    t.step([&] {
        if (intervalBox->Text().isEmpty())
            intervalBox->setTextValue(QStringLiteral("1"));
    });
    t.step([&] { Check1_Click(); });
    t.step([&] { bLoading = false; });
}

void SettingsDialog::SetLabels()
{
    TraceScope t("frmSettings", "Sub SetLabels");
    t.step([&] {
        setWindowTitle(texts().capSettingsTitle);
        intervalLabel->setText(texts().capInterval);
        startNowBox->setCaption(texts().capStartNow);
        compressBox->setCaption(texts().capCompress);
        compressionLabel->setText(texts().capCompression);
        passwordLabel->setText(texts().capZipPassword);
        nameModeButtons[0]->setCaption(texts().capDateTime);
        nameModeButtons[1]->setCaption(texts().capOverwrite);
        cancelButton->setCaption(texts().capCancel);
        saveButton->setCaption(texts().capSave);
        checkVersionBox->setCaption(texts().capCheckVersion);
        showErrorsBox->setCaption(texts().capShowConnErrors);
    });
    t.step([&] {
        // The text field inside a pick list is an object of its own to a screen
        // reader, and takes no caption from the list's: it is given the same.
        for (auto [box, label] : {std::pair{languageBox, languageLabel}, {intervalBox, intervalLabel},
                                  {rateBox, compressionLabel}})
            box->lineEdit()->setAccessibleName(label->text());
    });
    t.step([&] { sNewRate = rateNames(texts()); });
}

void SettingsDialog::SetZipCombo()
{
    TraceScope t("frmSettings", "Sub SetZipCombo");
    t.step([&] {
        rateBox->clearItems();
        for (const QString &name : rateNames(texts()))
            rateBox->addItemValue(name);
    });
}

void SettingsDialog::SetCombo()
{
    TraceScope t("frmSettings", "Sub SetCombo");
    t.step([&] {
        const QString current = rateBox->Text();
        for (size_t i = 0; i < sOldRate.size(); ++i) {
            if (current == sOldRate[i]) {
                rateBox->setTextValue(sNewRate[i]);
                break;
            }
        }
    });
    t.step([&] { sOldRate = sNewRate; });
}

void SettingsDialog::dxLanguage_Change()
{
    TraceScope t("frmSettings", "Sub dxLanguage_Change");
    t.step([&] { m_profile.setLanguageName(languageBox->Text()); });
    t.step([&] { SetLanguage(m_profile); });
    t.step([&] { m_host.SetLabels(); });
    t.step([&] { SetLabels(); });
    t.step([&] { SetCombo(); });
    t.step([&] {
        if (!bLoading)
            SetZipCombo();
    });
}

void SettingsDialog::Check1_Click()
{
    TraceScope t("frmSettings", "Sub Check1_Click");
    t.step([&] {
        const bool on = compressBox->Value();
        passwordEdit->setEnabled(on);
        passwordLabel->setEnabled(on);
        compressionLabel->setEnabled(on);
        rateBox->setEnabled(on);
        // Switched on with nothing chosen: the level a fresh setup compresses with.
        if (on && rateBox->Text().isEmpty())
            rateBox->setTextValue(texts().capRateNormal);
        const unsigned color = on ? kWhite : kButtonFaceColor;
        passwordEdit->setBackColor(color);
        rateBox->setBackColor(color);
    });
}

void SettingsDialog::cmdSave_Click()
{
    TraceScope t("frmSettings", "Sub cmdSave_Click");
    // An interval still being typed ("", "0") is not saved: the keys go back
    // to it, and the dialog stays.
    if (!intervalBox->textAcceptable()) {
        t.step([&] {
            QApplication::beep();
            intervalBox->setFocus(Qt::OtherFocusReason);
            intervalBox->lineEdit()->selectAll();
        });
        return;
    }
    bool save = false;
    t.step([&] { save = m_host.saveAllowed(); });
    if (save) {
        t.step([&] { m_profile.settings().write(Setting::Language, languageBox->Text()); });
        t.step([&] { m_profile.settings().write(Setting::Password, passwordEdit->Text()); });
        // Stored as typed; the conversion for the host may still fail after it.
        t.step([&] { m_profile.settings().write(Setting::Interval, intervalBox->Text()); });
        t.step([&] { m_host.setInterval(CLng(intervalBox->Text())); });
        t.step([&] {
            const QString level = rateBox->Text();
            const auto names = rateNames(texts());
            for (size_t i = 0; i < names.size(); ++i) {
                if (level == names[i]) {
                    m_profile.settings().write(Setting::CompRate, QString::number(kRateNumbers[i]));
                    break;
                }
            }
        });
        t.step([&] { m_profile.settings().write(Setting::Compress, compressBox->valueText()); });
        t.step([&] { m_profile.settings().write(Setting::StartNow, startNowBox->valueText()); });
        t.step([&] { m_profile.settings().write(Setting::CheckVersion, checkVersionBox->valueText()); });
        t.step([&] { m_profile.settings().write(Setting::ShowErrors, showErrorsBox->valueText()); });
        t.step([&] { m_profile.settings().write(Setting::StampName, nameModeButtons[0]->valueText()); });
        t.step([&] { m_profile.settings().write(Setting::Overwrite, nameModeButtons[1]->valueText()); });
    }
    t.step([&] { Unload(); });
}

void SettingsDialog::cmdCancel_Click()
{
    TraceScope t("frmSettings", "Sub cmdCancel_Click");
    t.step([&] {
        if (m_profile.languageName() != sLanguageAtOpen) {
            m_profile.setLanguageName(sLanguageAtOpen);
            SetLanguage(m_profile);
            m_host.SetLabels();
        }
    });
    t.step([&] { Unload(); });
}

const Texts &SettingsDialog::texts() const
{
    return m_profile.texts();
}

}  // namespace fetchora
