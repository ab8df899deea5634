#pragma once
// The edit fields, pick lists, check boxes and buttons the windows use, with
// the members and events the windows rely on. Thin layers over Qt widgets.
//
// Colours are given as 0xRRGGBB, or as the system-colour reference
// kButtonFaceColor for the platform's button-face colour.

#include <QCheckBox>
#include <QComboBox>
#include <QFont>
#include <QLineEdit>
#include <QPushButton>
#include <QString>

class QKeyEvent;

namespace fetchora {

inline constexpr unsigned kWhite = 0xFFFFFF;
inline constexpr unsigned kButtonFaceColor = 0x8000000F;

// The windows were laid out for Verdana at 96 dpi. Where it is missing, its
// metric-compatible stand-in Veranda (fonts-arkpandora) keeps the widths, and
// DejaVu Sans, on every Debian desktop, has the same advances. Buttons use
// 8.25 points; labels, check boxes and fields a size whose line (11 px) fits
// the 13-pixel label boxes and whose longest captions fit the check boxes.
inline constexpr qreal kButtonPoints = 8.25;
inline constexpr qreal kCaptionPoints = 7.5;
QFont designFont(qreal points);

// A key pressed with Alt (and without Ctrl, which AltGr may bring) is an
// access key that found no control: it must not type its letter into a field.
bool isUnusedAccessKey(const QKeyEvent *event);

// Single-line text field. Change is raised for every change of the text, by
// the user or by the program; GotFocus when it receives the focus.
class TextField : public QLineEdit {
    Q_OBJECT
public:
    explicit TextField(QWidget *parent = nullptr);
    QString Text() const { return text(); }
    void setTextValue(const QString &t) { setText(t); }
    bool Enabled() const { return isEnabled(); }
    void setEnabledValue(bool on) { setEnabled(on); }
    unsigned BackColor() const { return m_backColor; }
    void setBackColor(unsigned color);
    // The control's own action on receiving the focus: it selects the text,
    // so typing replaces it.
    void selectAllText();

signals:
    void Change();
    void GotFocus();

protected:
    void focusInEvent(QFocusEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    unsigned m_backColor = kWhite;
};

// Drop-down list whose text may also hold a value that is none of its items.
// Setting the text from the program raises Change exactly once, as a choice
// by the user does.
class PickField : public QComboBox {
    Q_OBJECT
public:
    explicit PickField(QWidget *parent = nullptr);
    QString Text() const { return currentText(); }
    void setTextValue(const QString &t);
    void clearItems();
    void addItemValue(const QString &item);
    unsigned BackColor() const { return m_backColor; }
    void setBackColor(unsigned color);
    // What may be typed: whole numbers from `min` to `max`, or the items and
    // the beginnings of their names. Other characters are refused as they are
    // typed; the program still sets any text (a value read from fcr.ini).
    void acceptWholeNumbers(long min, long max);
    void acceptItemsOnly();
    // The text is complete: a number in range, or an item.
    bool textAcceptable() const;

signals:
    void Change();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    unsigned m_backColor = kWhite;
    bool m_settingText = false;
};

// Check box. Two boxes with the same group index (see setGroupIndex) behave
// as radio buttons: checking one clears the other, and clicking the checked
// one keeps it; each stays reachable with Tab. Click is raised whenever the
// value changes, by the user or by the program.
class CheckField : public QCheckBox {
    Q_OBJECT
public:
    explicit CheckField(QWidget *parent = nullptr);
    QString Caption() const { return text(); }
    void setCaption(const QString &c) { setText(c); }
    // Set from a stored text read as every Boolean setting is (CBool): a text
    // that does not convert raises a type mismatch and leaves the box as it was.
    void setValueText(const QString &stored);
    // The stored text while the value is still the one it gave, so saving an
    // unchanged box rewrites nothing; otherwise "1" or "0".
    QString valueText() const;
    bool Value() const { return isChecked(); }
    // Joins this box to the radio group of the given index within its
    // window; 0 = no group.
    void setGroupIndex(int index) { m_groupIndex = index; }
    int groupIndex() const { return m_groupIndex; }

signals:
    void Click();

protected:
    void nextCheckState() override;

private:
    int m_groupIndex = 0;
    QString m_stored;
    bool m_storedValue = false;
};

// Push button; "&" in the caption marks the access key. A disabled button
// raises no Click.
class CommandButton : public QPushButton {
    Q_OBJECT
public:
    explicit CommandButton(QWidget *parent = nullptr);
    QString Caption() const { return text(); }
    void setCaption(const QString &c) { setText(c); }

signals:
    void Click();

protected:
    // The focused button always shows its focus frame, also when the focus
    // came from the program or a click rather than from the Tab key.
    void paintEvent(QPaintEvent *event) override;
};

}  // namespace fetchora
