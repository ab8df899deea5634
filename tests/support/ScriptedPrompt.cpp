#include "support/ScriptedPrompt.h"

namespace fetchora::testing {

int ScriptedPrompt::defaultAnswer(int style)
{
    static const int order[][3] = {
        {mb::OK, mb::OK, mb::OK},
        {mb::OK, mb::Cancel, mb::Cancel},
        {mb::Abort, mb::Retry, mb::Ignore},
        {mb::Yes, mb::No, mb::Cancel},
        {mb::Yes, mb::No, mb::No},
        {mb::Retry, mb::Cancel, mb::Cancel},
    };
    const int buttons = mb::buttonsOf(style);
    const int index = mb::defaultOf(style) / 256;
    if (buttons < 0 || buttons > 5 || index > 2)
        return mb::OK;
    return order[buttons][index];
}

int ScriptedPrompt::msgBox(const QString &text, int style, const QString &title)
{
    ShownPrompt p{text, style, title, 0};
    if (m_hook)
        m_hook(p);
    if (!m_answers.empty()) {
        p.answer = m_answers.front();
        m_answers.pop_front();
    } else {
        p.answer = defaultAnswer(style);
    }
    m_shown.push_back(p);
    return p.answer;
}

}  // namespace fetchora::testing
