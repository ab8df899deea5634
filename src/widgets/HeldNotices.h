#pragma once
// Notices asked for before a window is on screen come up behind it, or
// with no window yet where nobody looks: they wait until it is shown.
// Questions never wait; their caller needs the answer.

#include "core/PromptService.h"

#include <utility>
#include <vector>

namespace fetchora {

class HeldNotices final : public PromptService {
public:
    explicit HeldNotices(PromptService &shown) : m_shown(shown) {}

    int msgBox(const QString &text, int style, const QString &title) override
    {
        ++m_asking;
        const int answer = m_shown.msgBox(text, style, title);
        --m_asking;
        return answer;
    }
    // A box waits for its answer now.
    bool asking() const { return m_asking > 0; }
    void notify(const QString &text, int style, const QString &title) override
    {
        if (m_holding)
            m_held.push_back({text, style, title});
        else
            m_shown.notify(text, style, title);
    }
    // The window is on screen: what waited comes up now, and from here on
    // every notice at once.
    void release()
    {
        m_holding = false;
        for (const Held &n : std::exchange(m_held, {}))
            m_shown.notify(n.text, n.style, n.title);
    }

private:
    struct Held {
        QString text;
        int style;
        QString title;
    };
    PromptService &m_shown;
    bool m_holding = true;
    int m_asking = 0;
    std::vector<Held> m_held;
};

}  // namespace fetchora
