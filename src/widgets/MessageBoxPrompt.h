#pragma once
// The real message boxes: QMessageBox with the classic buttons, icons and
// default button. One box at a time: a report or notice that comes while a
// box is open is not shown (the program has already acted on it); only a
// question the user asked for comes up regardless.

#include "core/PromptService.h"

#include <QPointer>

class QMessageBox;

namespace fetchora {

class MessageBoxPrompt final : public PromptService {
public:
    MessageBoxPrompt() = default;
    MessageBoxPrompt(const MessageBoxPrompt &) = delete;
    MessageBoxPrompt &operator=(const MessageBoxPrompt &) = delete;
    // A notice still open goes with the prompt that showed it.
    ~MessageBoxPrompt() override;
    int msgBox(const QString &text, int style, const QString &title) override;
    void notify(const QString &text, int style, const QString &title) override;

private:
    QPointer<QMessageBox> m_notice;  // the open notice, if any
    int m_modal = 0;                 // boxes waiting for an answer
};

}  // namespace fetchora
