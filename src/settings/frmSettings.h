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

class SettingsHost;
class dxPickEdit;
class dxTextEdit;
class dxCheckEdit;
class roCommand;

class frmSettings : public QDialog {
    Q_OBJECT
public:
    // host: the window whose captions follow the language and that receives
    // the interval; ownerWindow: the window the dialog is modal to.
    frmSettings(SettingsHost &host, QWidget *ownerWindow);
    ~frmSettings() override;

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
    // language Combo2's text was last set in, sNewRate in the current one.
    std::array<QString, 4> sOldRate;
    std::array<QString, 4> sNewRate;

    // --- controls ---
    QGroupBox *fraSettings = nullptr, *Frame1 = nullptr;
    QLabel *Label1 = nullptr, *lblInterval = nullptr, *lblCompression = nullptr, *lblPassword = nullptr;
    dxPickEdit *dxLanguage = nullptr, *Combo1 = nullptr, *Combo2 = nullptr;
    dxTextEdit *txtPassword = nullptr;
    dxCheckEdit *Check1 = nullptr, *Check2 = nullptr, *Check3 = nullptr, *Check4 = nullptr;
    std::array<dxCheckEdit *, 2> Option1{};
    roCommand *cmdCancel = nullptr, *cmdSave = nullptr;
    QFrame *Line1 = nullptr, *Line2 = nullptr, *Line3 = nullptr, *Line4 = nullptr;

    // The stored numbers of the four levels, in the order of sOldRate/sNewRate.
    static constexpr std::array<int, 4> kRateNumbers{0, 1, 6, 9};
    // Separator colour, 0xRRGGBB.
    static constexpr unsigned kLineColor = 0x808080;

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void buildControls();
    // Ends the dialog's use: the modal loop returns and the dialog hides.
    void Unload();

    SettingsHost &m_host;
};

}  // namespace fetchora
