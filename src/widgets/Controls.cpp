#include "widgets/Controls.h"

#include "core/Conversions.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPalette>
#include <QStyleOptionButton>
#include <QStylePainter>
#include <QValidator>

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

// Whole numbers in a range, typed digit by digit: a number that more digits
// can still bring into range is on its way, one that is already too large or
// holds anything but digits is refused.
class WholeNumberValidator : public QValidator {
public:
    WholeNumberValidator(long min, long max, QObject *parent) : QValidator(parent), m_min(min), m_max(max) {}
    State validate(QString &input, int &) const override
    {
        if (input.isEmpty())
            return Intermediate;
        for (QChar c : input)
            if (c < u'0' || c > u'9')
                return Invalid;
        bool ok = false;
        const qlonglong n = input.toLongLong(&ok);
        if (!ok || n > m_max)
            return Invalid;
        return n < m_min ? Intermediate : Acceptable;
    }

private:
    long m_min, m_max;
};

// The items of a list and what begins one of them.
class ItemValidator : public QValidator {
public:
    explicit ItemValidator(QComboBox *box) : QValidator(box), m_box(box) {}
    State validate(QString &input, int &) const override
    {
        State best = Invalid;
        for (int i = 0; i < m_box->count() && best != Acceptable; ++i) {
            const QString item = m_box->itemText(i);
            if (item == input)
                best = Acceptable;
            else if (item.startsWith(input, Qt::CaseInsensitive))
                best = Intermediate;
        }
        return best;
    }

private:
    const QComboBox *m_box;
};

}  // namespace

bool isUnusedAccessKey(const QKeyEvent *event)
{
    const Qt::KeyboardModifiers mods = event->modifiers();
    return (mods & Qt::AltModifier) && !(mods & Qt::ControlModifier) && !event->text().isEmpty()
           && event->text().at(0).isPrint();
}

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

void TextField::keyPressEvent(QKeyEvent *event)
{
    if (isUnusedAccessKey(event)) {
        event->ignore();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

PickField::PickField(QWidget *parent) : QComboBox(parent)
{
    setEditable(true);
    setInsertPolicy(QComboBox::NoInsert);
    connect(this, &QComboBox::currentTextChanged, this, [this] {
        if (!m_settingText)
            emit Change();
    });
    lineEdit()->installEventFilter(this);
}

bool PickField::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() == QEvent::KeyPress && isUnusedAccessKey(static_cast<QKeyEvent *>(event))) {
        event->ignore();
        return true;
    }
    return QComboBox::eventFilter(watched, event);
}

void PickField::acceptWholeNumbers(long min, long max)
{
    setValidator(new WholeNumberValidator(min, max, this));
}

void PickField::acceptItemsOnly()
{
    setValidator(new ItemValidator(this));
}

bool PickField::textAcceptable() const
{
    QString text = currentText();
    int pos = 0;
    return !validator() || validator()->validate(text, pos) == QValidator::Acceptable;
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
