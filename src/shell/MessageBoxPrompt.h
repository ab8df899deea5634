#pragma once
// The real message boxes: QMessageBox with the classic buttons, icons and
// default button.

#include "trace/PromptService.h"

class QWidget;

namespace fetchora {

class MessageBoxPrompt final : public PromptService {
public:
    int msgBox(const QString &text, int style, const QString &title) override;
};

}  // namespace fetchora
