#include "history/DiffView.h"

#include <QLocale>

namespace fetchora {

namespace {

const char *const kRemoved = "#ffd7d5";
const char *const kAdded = "#ccf5cc";
const char *const kFolded = "#eeeeee";

QString cell(int number, const QString &anchor = {})
{
    return QStringLiteral("<td class=n width=\"1%\">%1%2</td>").arg(anchor, number > 0 ? QString::number(number) : QString());
}

QString textCell(const QString &text, const char *colour)
{
    const QString style = colour ? QStringLiteral(" bgcolor=\"%1\"").arg(QLatin1String(colour)) : QString();
    return QStringLiteral("<td%1 width=\"49%\"><pre>%2</pre></td>").arg(style, text.toHtmlEscaped());
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

}  // namespace

QString diffHtml(const CopyComparison &c, bool sideBySide, bool onlyChanges, Language language)
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
    QString html = QStringLiteral("<style>pre{margin:0} td.n{color:#666666; text-align:right} td.f{background:%1}</style>")
                       .arg(QLatin1String(kFolded));
    if (c.changes == 0)
        html += de ? QStringLiteral("<p>Die Kopien sind gleich.</p>") : QStringLiteral("<p>The copies are equal.</p>");
    html += QStringLiteral("<table cellspacing=0 cellpadding=1 width=\"100%\">");
    const QList<bool> kept = keptLines(c.lines, onlyChanges);
    const int columns = 4;
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
                               : QStringLiteral("<tr>%1%2<td> </td>%3</tr>")
                                     .arg(cell(line.left), cell(line.right), textCell(line.text, nullptr));
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
                            .arg(cell(l ? l->left : 0, k == 0 ? anchor : QString()), textCell(l ? l->text : QString(), l ? kRemoved : nullptr),
                                 cell(r ? r->right : 0), textCell(r ? r->text : QString(), r ? kAdded : nullptr));
            }
        } else {
            bool first = true;
            for (const auto *list : {&removed, &added}) {
                for (const DiffLine *l : *list) {
                    const bool gone = l->kind == DiffLine::Removed;
                    html += QStringLiteral("<tr>%1%2<td>%3</td>%4</tr>")
                                .arg(cell(l->left, first ? anchor : QString()), cell(l->right), QString(gone ? u'-' : u'+'),
                                     textCell(l->text, gone ? kRemoved : kAdded));
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
    render();
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
    setHtml(diffHtml(m_shown, m_sideBySide, m_onlyChanges, m_language));
    if (m_change >= 0)
        scrollToAnchor(QStringLiteral("c%1").arg(m_change));
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
