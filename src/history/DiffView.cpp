#include "history/DiffView.h"

#include <QLocale>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QUrl>
#include <QUrlQuery>

namespace fetchora {

namespace {

const char *const kRemoved = "#ffd7d5";
const char *const kAdded = "#ccf5cc";
const char *const kFolded = "#eeeeee";
// A changed cell in its line: darker than the line, the text still black on it.
const char *const kRemovedCell = "#f4a29b";
const char *const kAddedCell = "#8ddc8d";

QString cell(int number, const QString &anchor = {})
{
    return QStringLiteral("<td class=n width=\"1%\">%1%2</td>").arg(anchor, number > 0 ? QString::number(number) : QString());
}

// `cells` (in order) on `cellColour`, underlined too for an eye that tells no red from green.
QString markedText(const QString &text, const QList<CellRange> &cells, const char *cellColour)
{
    QString html;
    int at = 0;
    for (const CellRange &r : cells) {
        if (r.length <= 0 || r.start < at)
            continue;
        html += text.mid(at, r.start - at).toHtmlEscaped()
                + QStringLiteral("<span style=\"background-color:%1; text-decoration:underline\">%2</span>")
                      .arg(QLatin1String(cellColour), text.mid(r.start, r.length).toHtmlEscaped());
        at = r.start + r.length;
    }
    return html + text.mid(at).toHtmlEscaped();
}

// `wide`: the one text column of the unified view, else one of two side by side.
QString textCell(const QString &text, const char *colour, const QList<CellRange> &cells = {},
                 const char *cellColour = nullptr, bool wide = false)
{
    const QString style = colour ? QStringLiteral(" bgcolor=\"%1\"").arg(QLatin1String(colour)) : QString();
    return QStringLiteral("<td%1 width=\"%2\"><pre>%3</pre></td>")
        .arg(style, wide ? QStringLiteral("97%") : QStringLiteral("49%"),
             cellColour ? markedText(text, cells, cellColour) : text.toHtmlEscaped());
}

// Which lines stay when the equal parts are folded.
QList<bool> keptLines(const QList<DiffLine> &lines, bool onlyChanges)
{
    QList<bool> kept(lines.size(), !onlyChanges);
    if (!onlyChanges)
        return kept;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (lines[i].kind == DiffLine::Same)
            continue;
        for (qsizetype k = std::max<qsizetype>(0, i - DiffView::kContext);
             k <= std::min<qsizetype>(lines.size() - 1, i + DiffView::kContext); ++k)
            kept[k] = true;
    }
    return kept;
}

QString binaryHtml(const CopyComparison &c, Language language)
{
    const bool de = language == Language::German;
    const QLocale locale(de ? QLocale::German : QLocale::English);
    QString html = QStringLiteral("<table cellpadding=3>");
    const auto row = [&html](const QString &name, const QString &a, const QString &b) {
        html += QStringLiteral("<tr><th align=left>%1</th><td><tt>%2</tt></td><td><tt>%3</tt></td></tr>")
                    .arg(name.toHtmlEscaped(), a.toHtmlEscaped(), b.toHtmlEscaped());
    };
    row(de ? QStringLiteral("Größe (Bytes)") : QStringLiteral("Size (bytes)"), locale.toString(c.size[0]),
        locale.toString(c.size[1]));
    row(QStringLiteral("SHA-256"), QString::fromLatin1(c.sha256[0]), QString::fromLatin1(c.sha256[1]));
    html += QStringLiteral("</table><p>");
    if (c.firstDifference < 0)
        html += de ? QStringLiteral("Die Kopien sind gleich.") : QStringLiteral("The copies are equal.");
    else
        html += (de ? QStringLiteral("Erstes abweichendes Byte: %1 (0x%2)")
                    : QStringLiteral("First differing byte: %1 (0x%2)"))
                    .arg(locale.toString(c.firstDifference), QString::number(c.firstDifference, 16));
    return html + QStringLiteral("</p>");
}

QString sizeText(const QImage &image)
{
    return QStringLiteral("%1 × %2").arg(image.width()).arg(image.height());
}

QString pictureHtml(const CopyComparison &c, bool sideBySide, Language language, bool marked, QSize room, int serial)
{
    const bool de = language == Language::German;
    const QLocale locale(de ? QLocale::German : QLocale::English);
    const PixelDifference &d = c.pixels;
    const auto caption = [&](int side) {
        return QStringLiteral("<b>%1</b> %2, %3, %4")
            .arg(side == 0 ? (de ? QStringLiteral("Älter:") : QStringLiteral("Older:"))
                           : (de ? QStringLiteral("Neuer:") : QStringLiteral("Newer:")),
                 sizeText(c.image[side]), QString::fromLatin1(c.format[side]).toUpper(),
                 (de ? QStringLiteral("%1 Bytes") : QStringLiteral("%1 bytes")).arg(locale.toString(c.size[side])));
    };
    // One scale for both, so a picture that grew shows larger; never enlarged.
    double scale = 1.0;
    const QSize largest = c.image[0].size().expandedTo(c.image[1].size()).expandedTo(QSize(1, 1));
    if (room.width() > 0)
        scale = std::min(scale, double(room.width()) / largest.width());
    if (room.height() > 0)
        scale = std::min(scale, double(room.height()) / largest.height());
    const auto picture = [&](int side) {
        const QImage &image = c.image[side];
        const int w = std::max(1, int(image.width() * scale)), h = std::max(1, int(image.height() * scale));
        return QStringLiteral("<img src=\"copy:%1?%2&amp;w=%3&amp;h=%4\" width=%3 height=%4>")
            .arg(side == 0 ? QStringLiteral("older") : QStringLiteral("newer"))
            .arg(serial)
            .arg(w)
            .arg(h);
    };
    QString html = QStringLiteral("<p>");
    if (d.outcome == PixelDifference::SizesDiffer)
        html += (de ? QStringLiteral("Die Bilder sind verschieden groß (%1 → %2); Pixel werden nur bei gleicher Größe "
                                     "verglichen.")
                    : QStringLiteral("The pictures differ in size (%1 → %2); pixels are only compared at the same "
                                     "size."))
                    .arg(sizeText(c.image[0]), sizeText(c.image[1]));
    else if (c.sha256[0] == c.sha256[1])
        html += de ? QStringLiteral("Die Kopien sind gleich.") : QStringLiteral("The copies are equal.");
    else if (d.changed == 0 && (c.format[0] == "jpeg" || c.format[1] == "jpeg"))
        html += de ? QStringLiteral("Kein Pixel hat sich über das Rauschen der JPEG-Kompression hinaus geändert.")
                   : QStringLiteral("No pixel changed beyond the noise of JPEG compression.");
    else if (d.changed == 0)
        html += de ? QStringLiteral("Kein Pixel hat sich geändert.") : QStringLiteral("No pixel changed.");
    else
        html += (de ? QStringLiteral("%1 von %2 Pixeln geändert (%3 %)") : QStringLiteral("%1 of %2 pixels changed (%3 %)"))
                    .arg(locale.toString(d.changed), locale.toString(qint64(c.image[1].width()) * c.image[1].height()),
                         locale.toString(100.0 * d.changed / (qint64(c.image[1].width()) * c.image[1].height()), 'f', 2))
                + (!marked       ? QStringLiteral(".")
                   : de ? QStringLiteral(", rot markiert im neueren Bild.")
                        : QStringLiteral(", marked red on the newer picture."));
    html += QStringLiteral("</p>");
    if (sideBySide)
        html += QStringLiteral("<table cellspacing=4 width=\"100%\"><tr><td width=\"50%\">%1</td><td width=\"50%\">%2</td>"
                               "</tr><tr><td valign=top>%3</td><td valign=top>%4</td></tr></table>")
                    .arg(caption(0), caption(1), picture(0), picture(1));
    else
        html += QStringLiteral("<p>%1<br>%2</p><p>%3<br>%4</p>").arg(caption(0), picture(0), caption(1), picture(1));
    return html;
}

}  // namespace

QImage markedPicture(const QImage &newer, const PixelDifference &difference)
{
    QImage picture = newer.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (difference.outcome != PixelDifference::Compared || difference.changed == 0)
        return picture;
    // Translucent, so the changed pixels still show what they became.
    QImage red(picture.size(), QImage::Format_ARGB32_Premultiplied);
    red.fill(QColor(255, 0, 0, 150));
    {
        QPainter p(&red);
        p.setCompositionMode(QPainter::CompositionMode_DestinationIn);
        p.drawImage(0, 0, difference.mask);
    }
    QPainter p(&picture);
    p.drawImage(0, 0, red);
    // A frame finds a single pixel in a large picture shown smaller.
    const int pen = std::max(2, std::max(picture.width(), picture.height()) / 250);
    p.setPen(QPen(QColor(220, 0, 0), pen));
    p.setBrush(Qt::NoBrush);
    const int gap = pen * 2;
    p.drawRect(difference.bounds.adjusted(-gap, -gap, gap, gap));
    return picture;
}

QString diffHtml(const CopyComparison &c, bool sideBySide, bool onlyChanges, Language language, bool marked, QSize room,
                 int serial)
{
    const bool de = language == Language::German;
    if (c.kind == CopyComparison::Gone) {
        QString html = QStringLiteral("<p>");
        for (const QString &path : c.gone)
            html += (de ? QStringLiteral("Die Kopie ist nicht mehr da: %1<br>") : QStringLiteral("The copy is gone: %1<br>"))
                        .arg(path.toHtmlEscaped());
        return html + QStringLiteral("</p>");
    }
    if (c.kind == CopyComparison::Binary)
        return binaryHtml(c, language);
    if (c.kind == CopyComparison::Image)
        return pictureHtml(c, sideBySide, language, marked, room, serial);
    QString html = QStringLiteral("<style>pre{margin:0} td.n{color:#666666; text-align:right} td.f{background:%1}</style>")
                       .arg(QLatin1String(kFolded));
    if (c.changes == 0)
        html += de ? QStringLiteral("<p>Die Kopien sind gleich.</p>") : QStringLiteral("<p>The copies are equal.</p>");
    html += QStringLiteral("<table cellspacing=0 cellpadding=1 width=\"100%\">");
    const QList<bool> kept = keptLines(c.lines, onlyChanges);
    const int columns = 4;
    const bool cells = marked && !c.separator.isNull();
    int change = 0;
    bool inChange = false;
    for (qsizetype i = 0; i < c.lines.size();) {
        if (!kept[i]) {
            qsizetype end = i;
            while (end < c.lines.size() && !kept[end])
                ++end;
            html += QStringLiteral("<tr><td class=f colspan=%1>%2</td></tr>")
                        .arg(columns)
                        .arg((de ? QStringLiteral("… %1 gleiche Zeilen …") : QStringLiteral("… %1 equal lines …"))
                                 .arg(end - i));
            i = end;
            inChange = false;
            continue;
        }
        const DiffLine &line = c.lines[i];
        QString anchor;
        const bool isChange = line.kind != DiffLine::Same;
        if (isChange && !inChange)
            anchor = QStringLiteral("<a name=\"c%1\"></a>").arg(change++);
        inChange = isChange;
        if (!isChange) {
            html += sideBySide ? QStringLiteral("<tr>%1%2%3%4</tr>")
                                     .arg(cell(line.left), textCell(line.text, nullptr), cell(line.right),
                                          textCell(line.text, nullptr))
                               : QStringLiteral("<tr>%1%2<td width=\"1%\"> </td>%3</tr>")
                                     .arg(cell(line.left), cell(line.right), textCell(line.text, nullptr, {}, nullptr, true));
            ++i;
            continue;
        }
        // A run of changes: side by side, the removed lines face the added ones.
        qsizetype end = i;
        while (end < c.lines.size() && c.lines[end].kind != DiffLine::Same && kept[end])
            ++end;
        QList<const DiffLine *> removed, added;
        for (qsizetype k = i; k < end; ++k)
            (c.lines[k].kind == DiffLine::Removed ? removed : added).append(&c.lines[k]);
        if (sideBySide) {
            for (qsizetype k = 0; k < std::max(removed.size(), added.size()); ++k) {
                const DiffLine *l = k < removed.size() ? removed[k] : nullptr;
                const DiffLine *r = k < added.size() ? added[k] : nullptr;
                html += QStringLiteral("<tr>%1%2%3%4</tr>")
                            .arg(cell(l ? l->left : 0, k == 0 ? anchor : QString()),
                                 textCell(l ? l->text : QString(), l ? kRemoved : nullptr, l ? l->cells : QList<CellRange>(),
                                          cells ? kRemovedCell : nullptr),
                                 cell(r ? r->right : 0),
                                 textCell(r ? r->text : QString(), r ? kAdded : nullptr, r ? r->cells : QList<CellRange>(),
                                          cells ? kAddedCell : nullptr));
            }
        } else {
            bool first = true;
            for (const auto *list : {&removed, &added}) {
                for (const DiffLine *l : *list) {
                    const bool gone = l->kind == DiffLine::Removed;
                    html += QStringLiteral("<tr>%1%2<td width=\"1%\">%3</td>%4</tr>")
                                .arg(cell(l->left, first ? anchor : QString()), cell(l->right), QString(gone ? u'-' : u'+'),
                                     textCell(l->text, gone ? kRemoved : kAdded, l->cells,
                                              !cells ? nullptr : gone ? kRemovedCell : kAddedCell, true));
                    first = false;
                }
            }
        }
        i = end;
    }
    return html + QStringLiteral("</table>");
}

DiffView::DiffView(Language language, QWidget *parent) : QTextBrowser(parent), m_language(language)
{
    setOpenLinks(false);
    setLineWrapMode(QTextEdit::NoWrap);
}

void DiffView::show(const CopyComparison &c)
{
    m_shown = c;
    m_change = -1;
    ++m_serial;
    m_markedNewer = c.kind == CopyComparison::Image ? markedPicture(c.image[1], c.pixels) : QImage();
    render();
}

void DiffView::setMarked(bool on)
{
    m_marked = on;
    ++m_serial;
    render();
}

QVariant DiffView::loadResource(int type, const QUrl &name)
{
    if (name.scheme() != QLatin1String("copy"))
        return QTextBrowser::loadResource(type, name);
    const QImage &image = name.path() == QLatin1String("older") ? m_shown.image[0]
                          : m_marked                            ? m_markedNewer
                                                                : m_shown.image[1];
    // Made smaller here, smoothly: the document would scale it pixel by pixel and break the lines of a text.
    const QUrlQuery query(name);
    const QSize shown(query.queryItemValue(QStringLiteral("w")).toInt(), query.queryItemValue(QStringLiteral("h")).toInt());
    if (shown.isEmpty() || shown == image.size())
        return image;
    return image.scaled(shown, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

void DiffView::resizeEvent(QResizeEvent *event)
{
    QTextBrowser::resizeEvent(event);
    // Pictures fit the room they are given.
    if (m_shown.kind == CopyComparison::Image && pictureRoom() != m_room)
        render();
}

QSize DiffView::pictureRoom() const
{
    // From the whole size, less scroll bars whether they show or not: a
    // scroll bar that comes and goes with the pictures must not change their size.
    const int inside = width() - 2 * frameWidth() - verticalScrollBar()->sizeHint().width();
    // Less the margins of the table around them, and side by side the lines
    // above; one above the other, they are seen by scrolling.
    const int lines = 3 * fontMetrics().height() + 40;
    if (!m_sideBySide)
        return {std::max(64, inside - 24), 0};
    return {std::max(64, inside / 2 - 24),
            std::max(120, height() - 2 * frameWidth() - horizontalScrollBar()->sizeHint().height() - lines)};
}

void DiffView::setSideBySide(bool on)
{
    m_sideBySide = on;
    render();
}

void DiffView::setOnlyChanges(bool on)
{
    m_onlyChanges = on;
    render();
}

void DiffView::render()
{
    m_room = pictureRoom();
    const int at[2] = {horizontalScrollBar()->value(), verticalScrollBar()->value()};
    setHtml(diffHtml(m_shown, m_sideBySide, m_onlyChanges, m_language, m_marked, m_room, m_serial));
    if (m_change >= 0) {
        scrollToAnchor(QStringLiteral("c%1").arg(m_change));
    } else if (m_shown.kind == CopyComparison::Image) {
        horizontalScrollBar()->setValue(at[0]);
        verticalScrollBar()->setValue(at[1]);
    }
}

bool DiffView::stepChange(int by)
{
    if (m_shown.kind != CopyComparison::Text || m_shown.changes == 0)
        return false;
    const int next = m_change + by;
    if (next < 0 || next >= m_shown.changes)
        return false;
    m_change = next;
    scrollToAnchor(QStringLiteral("c%1").arg(m_change));
    return true;
}

}  // namespace fetchora
