#include "widgets/Controls.h"

#include "core/Conversions.h"

#include <QApplication>
#include <QPalette>
#include <QStyleOptionButton>
#include <QStylePainter>

namespace fetchora {

namespace {

QColor toQColor(unsigned color)
{
    if (color == kButtonFaceColor)
        return QApplication::palette().color(QPalette::Button);
    // Stored as 0xRRGGBB.
    return QColor((color >> 16) & 0xFF, (color >> 8) & 0xFF, color & 0xFF);
}

void applyBase(QWidget *w, unsigned color)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Base, toQColor(color));
    w->setPalette(p);
}

}  // namespace

QFont designFont(qreal points)
{
    QFont f;
    f.setFamilies({QStringLiteral("Verdana"), QStringLiteral("Veranda"), QStringLiteral("DejaVu Sans")});
    f.setPointSizeF(points);
    f.setWeight(QFont::Normal);
    return f;
}

TextField::TextField(QWidget *parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, &TextField::Change);
}

void TextField::setBackColor(unsigned color)
{
    m_backColor = color;
    applyBase(this, color);
}

void TextField::selectAllText()
{
    selectAll();
}

void TextField::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    emit GotFocus();
}

PickField::PickField(QWidget *parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    connect(this, &QComboBox::currentTextChanged, this, [this] {
        if (!m_settingText)
            emit Change();
    });
}

void PickField::setTextValue(const QString &t)
{
    m_settingText = true;
    setCurrentIndex(findText(t, Qt::MatchExactly | Qt::MatchCaseSensitive));
    setEditText(t);
    m_settingText = false;
    emit Change();
}

void PickField::clearItems()
{
    // Emptying the list must not lose or change the displayed text.
    const QString keep = currentText();
    m_settingText = true;
    clear();
    setEditText(keep);
    m_settingText = false;
}

void PickField::addItemValue(const QString &item)
{
    // The first item of an empty list would become the current one: the
    // current item follows the text instead, so arrow keys move from it.
    const QString keep = currentText();
    m_settingText = true;
    addItem(item);
    setCurrentIndex(findText(keep, Qt::MatchExactly | Qt::MatchCaseSensitive));
    setEditText(keep);
    m_settingText = false;
}

void PickField::setBackColor(unsigned color)
{
    m_backColor = color;
    applyBase(this, color);
    if (lineEdit())
        applyBase(lineEdit(), color);
}

CheckField::CheckField(QWidget *parent) : QCheckBox(parent)
{
    // Not a QButtonGroup: an exclusive group takes its unchecked boxes out of
    // the Tab chain.
    connect(this, &QCheckBox::toggled, this, [this](bool on) {
        if (on && m_groupIndex != 0) {
            for (CheckField *other : window()->findChildren<CheckField *>()) {
                if (other != this && other->m_groupIndex == m_groupIndex)
                    other->setChecked(false);
            }
        }
        emit Click();
    });
}

void CheckField::setValueText(const QString &stored)
{
    const bool on = CBool(stored);
    m_stored = stored;
    m_storedValue = on;
    setChecked(on);
}

QString CheckField::valueText() const
{
    if (!m_stored.isEmpty() && m_storedValue == isChecked())
        return m_stored;
    return isChecked() ? QStringLiteral("1") : QStringLiteral("0");
}

void CheckField::nextCheckState()
{
    if (m_groupIndex == 0 || !isChecked())
        QCheckBox::nextCheckState();
}

CommandButton::CommandButton(QWidget *parent) : QPushButton(parent)
{
    setFont(designFont(kButtonPoints));
    setAutoDefault(false);
    connect(this, &QPushButton::clicked, this, &CommandButton::Click);
}

void CommandButton::paintEvent(QPaintEvent *)
{
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    if (hasFocus())
        option.state |= QStyle::State_KeyboardFocusChange;
    painter.drawControl(QStyle::CE_PushButton, option);
}

}  // namespace fetchora
