#pragma once
// Shows a comparison of two copies: lines in colour with their numbers, side
// by side or unified, the equal parts folded on request, a CSV line's changed
// cells in a stronger colour; two pictures beside or above each other, the
// changed pixels red on the newer. F7 and Shift+F7 move to the next and
// previous change.

#include "core/RuntimeError.h"
#include "history/CopyDiff.h"

#include <QTextBrowser>

namespace fetchora {

// The comparison as HTML; each run of changes starts at the anchor "c<n>", from 0.
// Pictures are the resources "copy:older" and "copy:newer" (with `serial` as
// the query), both at one scale that fits each into `room` (a width or height
// of 0: any); `marked`: the changed cells and pixels are marked.
QString diffHtml(const CopyComparison &c, bool sideBySide, bool onlyChanges, Language language,
                 bool marked = true, QSize room = {}, int serial = 0);
// The newer picture with its changed pixels under translucent red and a frame around them.
QImage markedPicture(const QImage &newer, const PixelDifference &difference);

class DiffView : public QTextBrowser {
    Q_OBJECT
public:
    static constexpr int kContext = 3;  // equal lines kept around a change when folding

    explicit DiffView(Language language, QWidget *parent = nullptr);
    void show(const CopyComparison &c);
    void setSideBySide(bool on);
    void setOnlyChanges(bool on);
    void setMarked(bool on);
    // Moves to the next (by > 0) or previous change; false when there is none that way.
    bool stepChange(int by);
    int currentChange() const { return m_change; }

protected:
    QVariant loadResource(int type, const QUrl &name) override;
    void resizeEvent(QResizeEvent *event) override;

private:
    void render();
    QSize pictureRoom() const;

    Language m_language;
    CopyComparison m_shown;
    bool m_sideBySide = true;
    bool m_onlyChanges = false;
    bool m_marked = true;
    QImage m_markedNewer;
    QSize m_room;      // what the pictures were last fitted into
    int m_serial = 0;  // a new one for every comparison shown, so no picture shows from the cache
    int m_change = -1;
};

}  // namespace fetchora
