#pragma once
// The modal settings dialog: every option that is not typed into the main
// window. It reads all values from fcr.ini when it loads, switches the
// interface language at once (in itself and in its host), and writes every
// value back on Save; Cancel writes nothing and restores the language.
//
// Created for one use by the host window and destroyed after it. The
// procedures are public so that tests can drive them without clicking; the
// buttons and the language list call the same procedures.

#include <QDialog>
#include <QString>
#include <array>

class QLabel;
class QFrame;
class QGroupBox;

namespace fetchora {

struct Texts;

class SettingsHost;
class Profile;
class PickField;
class TextField;
class CheckField;
class CommandButton;

class SettingsDialog : public QDialog {
    Q_OBJECT
public:
    // host: the window whose captions follow the language and that receives
    // the interval; profile: whose settings and language; ownerWindow: the
    // window the dialog is modal to.
    SettingsDialog(SettingsHost &host, Profile &profile, QWidget *ownerWindow);
    ~SettingsDialog() override;

    // --- procedures ---
    void Form_Load();
    void SetLabels();
    void SetZipCombo();
    void SetCombo();
    void dxLanguage_Change();
    void Check1_Click();
    void cmdSave_Click();
    void cmdCancel_Click();

    // --- state (live while the dialog is loaded) ---
    QString sLanguageAtOpen;
    bool bLoading = false;
    // Level names in the order None, Minimal, Normal, High: sOldRate in the
    // language rateBox's text was last set in, sNewRate in the current one.
    std::array<QString, 4> sOldRate;
    std::array<QString, 4> sNewRate;

    // --- controls ---
    QGroupBox *settingsFrame = nullptr, *zipFrame = nullptr;
    QLabel *languageLabel = nullptr, *intervalLabel = nullptr, *compressionLabel = nullptr, *passwordLabel = nullptr;
    PickField *languageBox = nullptr, *intervalBox = nullptr, *rateBox = nullptr;
    TextField *passwordEdit = nullptr;
    CheckField *compressBox = nullptr, *startNowBox = nullptr, *checkVersionBox = nullptr, *showErrorsBox = nullptr;
    std::array<CheckField *, 2> nameModeButtons{};
    CommandButton *cancelButton = nullptr, *saveButton = nullptr;
    QFrame *line1 = nullptr, *line2 = nullptr, *line3 = nullptr, *line4 = nullptr;

    // The stored numbers of the four levels, in the order of sOldRate/sNewRate.
    static constexpr std::array<int, 4> kRateNumbers{0, 1, 6, 9};
    // Separator colour, 0xRRGGBB.
    static constexpr unsigned kLineColor = 0x808080;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    // The interface texts of the profile's language.
    const Texts &texts() const;
    void buildControls();
    // Ends the dialog's use: the modal loop returns and the dialog hides.
    void Unload();

    SettingsHost &m_host;
    Profile &m_profile;
};

}  // namespace fetchora
