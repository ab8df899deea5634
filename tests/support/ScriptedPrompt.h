#pragma once
// Records every message box and answers from a queue, or with the box's default button when the queue is empty.

#include "core/PromptService.h"

#include <QList>
#include <QString>

namespace fetchora::testing {

struct ShownPrompt {
    QString text;
    int style = 0;
    QString title;  // as passed; empty means the application name
};

class ScriptedPrompt : public PromptService {
public:
    int msgBox(const QString &text, int style, const QString &title) override
    {
        m_shown.append({text, style, title});
        return m_answers.isEmpty() ? defaultAnswer(style) : m_answers.takeFirst();
    }
    void answerNext(int result) { m_answers.append(result); }
    int count() const { return int(m_shown.size()); }
    const ShownPrompt &last() const { return m_shown.back(); }
    void clear()
    {
        m_shown.clear();
        m_answers.clear();
    }

private:
    // The answer to Enter, by the button set (rows) and the default button (columns).
    static int defaultAnswer(int style)
    {
        static const int order[][3] = {{mb::OK, mb::OK, mb::OK},           {mb::OK, mb::Cancel, mb::Cancel},
                                       {mb::Abort, mb::Retry, mb::Ignore}, {mb::Yes, mb::No, mb::Cancel},
                                       {mb::Yes, mb::No, mb::No},          {mb::Retry, mb::Cancel, mb::Cancel}};
        const int buttons = mb::buttonsOf(style), index = mb::defaultOf(style) / 256;
        return buttons > 5 || index > 2 ? mb::OK : order[buttons][index];
    }

    QList<int> m_answers;
    QList<ShownPrompt> m_shown;
};

}  // namespace fetchora::testing
