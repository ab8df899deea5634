#pragma once
// A PromptService for tests: records every message box and answers from a
// queue, or with the box's default button when the queue is empty, so no
// test ever blocks on a dialog.

#include "trace/PromptService.h"

#include <QList>
#include <QString>
#include <deque>
#include <functional>

namespace fetchora::testing {

struct ShownPrompt {
    QString text;
    int style = 0;
    QString title;  // as passed; empty means the application name
    int answer = 0;
};

class ScriptedPrompt : public PromptService {
public:
    int msgBox(const QString &text, int style, const QString &title) override;
    void answerNext(int result) { m_answers.push_back(result); }
    // Called while the box is "open", before it answers: lets a test run
    // code that happens while a real box would be up.
    void onShow(std::function<void(const ShownPrompt &)> hook) { m_hook = std::move(hook); }
    const QList<ShownPrompt> &shown() const { return m_shown; }
    int count() const { return int(m_shown.size()); }
    const ShownPrompt &last() const { return m_shown.back(); }
    void clear() { m_shown.clear(); m_answers.clear(); }
    // The answer a box gives when nobody presses anything but Enter.
    static int defaultAnswer(int style);

private:
    std::deque<int> m_answers;
    QList<ShownPrompt> m_shown;
    std::function<void(const ShownPrompt &)> m_hook;
};

}  // namespace fetchora::testing
