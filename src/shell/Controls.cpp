#include "shell/Controls.h"

#include <QApplication>
#include <QButtonGroup>
#include <QFont>
#include <QPalette>

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

bool storedTextIsTrue(const QString &stored)
{
    const QString s = stored.trimmed();
    if (s.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
        return true;
    if (s.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
        return false;
    bool ok = false;
    const double n = s.toDouble(&ok);
    return ok && n != 0.0;
}

}  // namespace

dxTextEdit::dxTextEdit(QWidget *parent) : QLineEdit(parent)
{
    connect(this, &QLineEdit::textChanged, this, &dxTextEdit::Change);
}

void dxTextEdit::setBackColor(unsigned color)
{
    m_backColor = color;
    applyBase(this, color);
}

void dxTextEdit::invokeMember8()
{
    selectAll();
}

void dxTextEdit::focusInEvent(QFocusEvent *event)
{
    QLineEdit::focusInEvent(event);
    emit GotFocus();
}

dxPickEdit::dxPickEdit(QWidget *parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    connect(this, &QComboBox::currentTextChanged, this, [this] {
        if (!m_settingText)
            emit Change();
    });
}

void dxPickEdit::setTextValue(const QString &t)
{
    m_settingText = true;
    const int index = findText(t, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index >= 0)
        setCurrentIndex(index);
    setEditText(t);
    m_settingText = false;
    emit Change();
}

void dxPickEdit::clearItems()
{
    // Emptying the list must not lose or change the displayed text.
    const QString keep = currentText();
    m_settingText = true;
    clear();
    setEditText(keep);
    m_settingText = false;
}

void dxPickEdit::addItemValue(const QString &item)
{
    const QString keep = currentText();
    m_settingText = true;
    addItem(item);
    setEditText(keep);
    m_settingText = false;
}

void dxPickEdit::setBackColor(unsigned color)
{
    m_backColor = color;
    applyBase(this, color);
    if (lineEdit())
        applyBase(lineEdit(), color);
}

dxCheckEdit::dxCheckEdit(QWidget *parent) : QCheckBox(parent)
{
    connect(this, &QCheckBox::toggled, this, &dxCheckEdit::Click);
}

void dxCheckEdit::setValueText(const QString &stored)
{
    const bool on = storedTextIsTrue(stored);
    if (!on && m_groupIndex != 0 && group()) {
        // An exclusive group refuses to clear its checked box directly.
        group()->setExclusive(false);
        setChecked(false);
        group()->setExclusive(true);
        return;
    }
    setChecked(on);
}

void dxCheckEdit::setGroupIndex(int index)
{
    if (group())
        group()->removeButton(this);
    m_groupIndex = index;
    if (index == 0 || !parentWidget())
        return;
    QWidget *owner = window();
    const QByteArray prop = "fetchora_checkgroup_" + QByteArray::number(index);
    auto *g = owner->property(prop).value<QButtonGroup *>();
    if (!g) {
        g = new QButtonGroup(owner);
        g->setExclusive(true);
        owner->setProperty(prop, QVariant::fromValue(g));
    }
    g->addButton(this);
}

roCommand::roCommand(QWidget *parent) : QPushButton(parent)
{
    QFont f(QStringLiteral("Verdana"));
    f.setPointSizeF(8.25);
    f.setWeight(QFont::Normal);
    setFont(f);
    setAutoDefault(false);
    connect(this, &QPushButton::clicked, this, &roCommand::Click);
}

}  // namespace fetchora
