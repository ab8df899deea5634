#pragma once
// Shows a comparison of two copies: lines in colour with their numbers, side
// by side or unified, the equal parts folded on request; F7 and Shift+F7
// move to the next and previous change.

#include "core/RuntimeError.h"
#include "history/CopyDiff.h"

#include <QTextBrowser>

namespace fetchora {

// The comparison as HTML; each run of changes starts at the anchor "c<n>", from 0.
QString diffHtml(const CopyComparison &c, bool sideBySide, bool onlyChanges, Language language);

class DiffView : public QTextBrowser {
    Q_OBJECT
public:
    static constexpr int kContext = 3;  // equal lines kept around a change when folding

    explicit DiffView(Language language, QWidget *parent = nullptr);
    void show(const CopyComparison &c);
    void setSideBySide(bool on);
    void setOnlyChanges(bool on);
    // Moves to the next (by > 0) or previous change; false when there is none that way.
    bool stepChange(int by);
    int currentChange() const { return m_change; }

private:
    void render();

    Language m_language;
    CopyComparison m_shown;
    bool m_sideBySide = true;
    bool m_onlyChanges = false;
    int m_change = -1;
};

}  // namespace fetchora
