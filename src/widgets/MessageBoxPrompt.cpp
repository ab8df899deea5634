#include "widgets/MessageBoxPrompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

namespace fetchora {

namespace {

struct Choice {
    QMessageBox::StandardButton button;
    int result;
};

std::vector<Choice> choicesOf(int style)
{
    switch (mb::buttonsOf(style)) {
    case mb::OKCancel: return {{QMessageBox::Ok, mb::OK}, {QMessageBox::Cancel, mb::Cancel}};
    case mb::AbortRetryIgnore:
        return {{QMessageBox::Abort, mb::Abort}, {QMessageBox::Retry, mb::Retry}, {QMessageBox::Ignore, mb::Ignore}};
    case mb::YesNoCancel:
        return {{QMessageBox::Yes, mb::Yes}, {QMessageBox::No, mb::No}, {QMessageBox::Cancel, mb::Cancel}};
    case mb::YesNo: return {{QMessageBox::Yes, mb::Yes}, {QMessageBox::No, mb::No}};
    case mb::RetryCancel: return {{QMessageBox::Retry, mb::Retry}, {QMessageBox::Cancel, mb::Cancel}};
    default: return {{QMessageBox::Ok, mb::OK}};
    }
}

// A box comes up over the window the user works in; with none active (the
// program was just started, or sits in the tray), over the program's own
// window, never behind it.
QWidget *ownerWindow()
{
    if (QWidget *active = QApplication::activeWindow())
        return active;
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->windowType() == Qt::Window)
            return w;
    }
    return nullptr;
}

// The answer of a box nobody pressed a button in: its default.
int defaultAnswer(const std::vector<Choice> &choices, int style)
{
    const size_t def = size_t(mb::defaultOf(style) / 256);
    return choices[def < choices.size() ? def : 0].result;
}

// The buttons of the box with the answer each gives.
using Buttons = std::vector<std::pair<QAbstractButton *, int>>;

Buttons setUp(QMessageBox &box, const std::vector<Choice> &choices, const QString &text, int style,
              const QString &title)
{
    box.setWindowTitle(title.isEmpty() ? QString::fromLatin1(kAppName) : title);
    box.setText(text);
    switch (mb::iconOf(style)) {
    case mb::Critical: box.setIcon(QMessageBox::Critical); break;
    case mb::Question: box.setIcon(QMessageBox::Question); break;
    case mb::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case mb::Information: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }
    const size_t def = size_t(mb::defaultOf(style) / 256);
    Buttons buttons;
    for (size_t i = 0; i < choices.size(); ++i) {
        QPushButton *button = box.addButton(choices[i].button);
        if (choices.size() > 2) {
            // As plain actions the three keep the classic order (Abort,
            // Retry, Ignore) instead of the desktop's order by role.
            const QString caption = button->text();
            box.removeButton(button);
            delete button;
            button = box.addButton(caption, QMessageBox::ActionRole);
        }
        if (i == (def < choices.size() ? def : 0))
            box.setDefaultButton(button);
        buttons.emplace_back(button, choices[i].result);
    }
    return buttons;
}

}  // namespace

MessageBoxPrompt::~MessageBoxPrompt()
{
    delete m_notice.data();
}

int MessageBoxPrompt::msgBox(const QString &text, int style, const QString &title)
{
    const std::vector<Choice> choices = choicesOf(style);
    const bool question = mb::iconOf(style) == mb::Question;
    if (!question && (m_notice || m_modal > 0))
        return defaultAnswer(choices, style);
    QWidget *owner = ownerWindow();
    QMessageBox box(owner);
    const Buttons buttons = setUp(box, choices, text, style, title);
    // The keys go back to the control of the window that had them, not to
    // wherever they moved while the box was open.
    const QPointer<QWidget> hadFocus = owner ? owner->focusWidget() : nullptr;
    ++m_modal;
    box.exec();
    --m_modal;
    if (hadFocus && hadFocus->isEnabled() && hadFocus->isVisible())
        hadFocus->setFocus(Qt::OtherFocusReason);
    for (const auto &[button, result] : buttons)
        if (button == box.clickedButton())
            return result;
    // Closed through the frame: the box's escape answer.
    return choices.size() == 1 ? choices[0].result : choices.back().result;
}

void MessageBoxPrompt::notify(const QString &text, int style, const QString &title)
{
    if (m_notice || m_modal > 0)
        return;
    auto *box = new QMessageBox(ownerWindow());
    box->setAttribute(Qt::WA_DeleteOnClose);
    setUp(*box, choicesOf(style), text, style, title);
    box->setWindowModality(Qt::NonModal);
    m_notice = box;
    box->show();
}

}  // namespace fetchora
