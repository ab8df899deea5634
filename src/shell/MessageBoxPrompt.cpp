#include "shell/MessageBoxPrompt.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <vector>

namespace fetchora {

int MessageBoxPrompt::msgBox(const QString &text, int style, const QString &title)
{
    QMessageBox box(QApplication::activeWindow());
    box.setWindowTitle(title.isEmpty() ? QString::fromLatin1(kAppName) : title);
    box.setText(text);
    switch (mb::iconOf(style)) {
    case mb::Critical: box.setIcon(QMessageBox::Critical); break;
    case mb::Question: box.setIcon(QMessageBox::Question); break;
    case mb::Exclamation: box.setIcon(QMessageBox::Warning); break;
    case mb::Information: box.setIcon(QMessageBox::Information); break;
    default: box.setIcon(QMessageBox::NoIcon); break;
    }

    struct Choice { QMessageBox::StandardButton button; int result; };
    std::vector<Choice> choices;
    switch (mb::buttonsOf(style)) {
    case mb::OKCancel: choices = {{QMessageBox::Ok, mb::OK}, {QMessageBox::Cancel, mb::Cancel}}; break;
    case mb::AbortRetryIgnore:
        choices = {{QMessageBox::Abort, mb::Abort}, {QMessageBox::Retry, mb::Retry}, {QMessageBox::Ignore, mb::Ignore}};
        break;
    case mb::YesNoCancel:
        choices = {{QMessageBox::Yes, mb::Yes}, {QMessageBox::No, mb::No}, {QMessageBox::Cancel, mb::Cancel}};
        break;
    case mb::YesNo: choices = {{QMessageBox::Yes, mb::Yes}, {QMessageBox::No, mb::No}}; break;
    case mb::RetryCancel: choices = {{QMessageBox::Retry, mb::Retry}, {QMessageBox::Cancel, mb::Cancel}}; break;
    default: choices = {{QMessageBox::Ok, mb::OK}}; break;
    }
    QMessageBox::StandardButtons buttons;
    for (const auto &c : choices)
        buttons |= c.button;
    box.setStandardButtons(buttons);
    const size_t def = size_t(mb::defaultOf(style) / 256);
    box.setDefaultButton(choices[def < choices.size() ? def : 0].button);

    box.exec();
    const auto pressed = box.standardButton(box.clickedButton());
    for (const auto &c : choices)
        if (c.button == pressed)
            return c.result;
    // Closed through the frame: the box's escape answer.
    return choices.size() == 1 ? choices[0].result : choices.back().result;
}

}  // namespace fetchora
