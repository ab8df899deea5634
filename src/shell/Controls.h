#pragma once
// The edit fields, pick lists, check boxes and buttons the windows use, with
// the members and events the windows rely on. Thin layers over Qt widgets.
//
// Colours are given as 0xRRGGBB, or as the system-colour reference
// kButtonFaceColor for the platform's button-face colour.

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QString>

class QButtonGroup;

namespace fetchora {

inline constexpr unsigned kWhite = 0xFFFFFF;
inline constexpr unsigned kButtonFaceColor = 0x8000000F;

// Single-line text field. Change is raised for every change of the text, by
// the user or by the program; GotFocus when it receives the focus.
class dxTextEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit dxTextEdit(QWidget *parent = nullptr);
    QString Text() const { return text(); }
    void setTextValue(const QString &t) { setText(t); }
    bool Enabled() const { return isEnabled(); }
    void setEnabledValue(bool on) { setEnabled(on); }
    unsigned BackColor() const { return m_backColor; }
    void setBackColor(unsigned color);
    // The control's own action on receiving the focus: it selects the text,
    // so typing replaces it.
    void invokeMember8();

signals:
    void Change();
    void GotFocus();

protected:
    void focusInEvent(QFocusEvent *event) override;

private:
    unsigned m_backColor = kWhite;
};

// Drop-down list whose text may also hold a value that is none of its items.
// Setting the text from the program raises Change exactly once, as a choice
// by the user does.
class dxPickEdit : public QComboBox {
    Q_OBJECT
public:
    explicit dxPickEdit(QWidget *parent = nullptr);
    QString Text() const { return currentText(); }
    void setTextValue(const QString &t);
    void clearItems();
    void addItemValue(const QString &item);
    unsigned BackColor() const { return m_backColor; }
    void setBackColor(unsigned color);

signals:
    void Change();

private:
    unsigned m_backColor = kWhite;
    bool m_settingText = false;
};

// Check box. Two boxes with the same group index (see setGroupIndex) behave
// as radio buttons: checking one clears the other. Click is raised whenever
// the value changes, by the user or by the program.
class dxCheckEdit : public QCheckBox {
    Q_OBJECT
public:
    explicit dxCheckEdit(QWidget *parent = nullptr);
    QString Caption() const { return text(); }
    void setCaption(const QString &c) { setText(c); }
    // Set from a stored text: "True"/"False" or a number (0 = clear). A text
    // that reads as neither clears the box.
    void setValueText(const QString &stored);
    // "1" when checked, "0" when clear: read back as True/False.
    QString valueText() const { return isChecked() ? QStringLiteral("1") : QStringLiteral("0"); }
    bool Value() const { return isChecked(); }
    // Joins this box to the radio group of the given index; 0 = no group.
    // Groups are kept per parent window.
    void setGroupIndex(int index);
    int groupIndex() const { return m_groupIndex; }

signals:
    void Click();

private:
    int m_groupIndex = 0;
};

// Push button; "&" in the caption marks the access key. A disabled button
// raises no Click.
class roCommand : public QPushButton {
    Q_OBJECT
public:
    explicit roCommand(QWidget *parent = nullptr);
    QString Caption() const { return text(); }
    void setCaption(const QString &c) { setText(c); }

signals:
    void Click();
};

}  // namespace fetchora
