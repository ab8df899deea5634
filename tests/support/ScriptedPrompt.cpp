#include "support/ScriptedPrompt.h"

namespace fetchora::testing {

int ScriptedPrompt::defaultAnswer(int style)
{
    // By the button set (rows) and the default button (columns).
    static const int order[][3] = {{mb::OK, mb::OK, mb::OK}, {mb::OK, mb::Cancel, mb::Cancel},
                                   {mb::Abort, mb::Retry, mb::Ignore}, {mb::Yes, mb::No, mb::Cancel},
                                   {mb::Yes, mb::No, mb::No}, {mb::Retry, mb::Cancel, mb::Cancel}};
    const int buttons = mb::buttonsOf(style), index = mb::defaultOf(style) / 256;
    return buttons > 5 || index > 2 ? mb::OK : order[buttons][index];
}

int ScriptedPrompt::msgBox(const QString &text, int style, const QString &title)
{
    ShownPrompt p{text, style, title, 0};
    if (m_hook)
        m_hook(p);
    p.answer = m_answers.empty() ? defaultAnswer(style) : m_answers.front();
    if (!m_answers.empty())
        m_answers.pop_front();
    m_shown.push_back(p);
    return p.answer;
}

}  // namespace fetchora::testing
