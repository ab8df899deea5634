#include "history/HistoryModel.h"

#include "core/LineFile.h"
#include "history/HistoryLog.h"

#include <QApplication>
#include <QFileInfo>
#include <QLocale>
#include <QStyle>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>

namespace fetchora {

namespace {

bool isCopy(const HistoryEntry &e)
{
    return e.outcome == QLatin1String("stored") && !e.detail.isEmpty();
}

// A failure's detail is "<error number> <text>".
QString errorNumber(const HistoryEntry &e)
{
    if (isCopy(e) || e.outcome == QLatin1String("unchanged"))
        return {};
    const QString first = e.detail.section(u' ', 0, 0);
    bool number = false;
    first.toLong(&number);
    return number ? first : QString();
}

QStyle::StandardPixmap iconOf(const QString &outcome)
{
    if (outcome == QLatin1String("stored"))
        return QStyle::SP_DialogApplyButton;
    if (outcome == QLatin1String("unchanged"))
        return QStyle::SP_BrowserReload;
    if (outcome == QLatin1String("cancelled"))
        return QStyle::SP_DialogCancelButton;
    if (outcome == QLatin1String("skipped"))
        return QStyle::SP_MessageBoxWarning;
    return QStyle::SP_MessageBoxCritical;
}

// The search as it is looked for in the log's lines.
struct Needle {
    QByteArray outcome;        // empty: any
    bool any = true;           // no search text
    QByteArray ascii;          // the text as the log escapes it, in lower case; empty: not ASCII
    QString escaped;           // the same, for text that is not ASCII
    QList<QByteArray> byWord;  // outcomes whose word holds the text
    bool time = false;         // it may be in the time as shown ("2026-12-04 19:59:58")
    bool numbers = false;      // in the bytes or seconds as shown, grouped and rounded
};

Needle needleOf(const QString &outcome, const QString &text, Language language)
{
    Needle n;
    n.outcome = outcome.toUtf8();
    n.any = text.isEmpty();
    n.escaped = escapeField(text);
    const QByteArray utf8 = n.escaped.toUtf8();
    if (std::all_of(utf8.begin(), utf8.end(), [](char c) { return uchar(c) < 0x80; }))
        n.ascii = utf8.toLower();
    for (const QString &o : historyOutcomes()) {
        if (outcomeWord(o, language).contains(text, Qt::CaseInsensitive))
            n.byWord << o.toUtf8();
    }
    // Anything else in a shown time or number is in the line as written, too.
    if (std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit() || QStringView(u" -:.,").contains(c); })) {
        n.time = text.contains(u' ');
        n.numbers = text.contains(u'.') || text.contains(u',');
    }
    return n;
}

// Field `k` (from 0) of a line of history.log, as written.
QByteArrayView field(QByteArrayView line, int k)
{
    qsizetype start = 0;
    for (; k > 0; --k) {
        const qsizetype tab = line.indexOf('\t', start);
        if (tab < 0)
            return {};
        start = tab + 1;
    }
    const qsizetype end = line.indexOf('\t', start);
    return line.sliced(start, (end < 0 ? line.size() : end) - start);
}

bool lineMatches(QByteArrayView line, const Needle &n, const QLocale &locale, std::string &lower)
{
    const QByteArrayView outcome = field(line, 1);
    if (!n.outcome.isEmpty() && outcome != n.outcome)
        return false;
    if (n.any || n.byWord.contains(outcome))
        return true;
    if (!n.ascii.isEmpty()) {
        lower.assign(line.data(), size_t(line.size()));
        for (char &c : lower)
            c = (c >= 'A' && c <= 'Z') ? char(c + ('a' - 'A')) : c;
        if (::memmem(lower.data(), lower.size(), n.ascii.constData(), size_t(n.ascii.size())))
            return true;
    } else if (QString::fromUtf8(line).contains(n.escaped, Qt::CaseInsensitive)) {
        return true;
    }
    if (n.time && line.size() >= 19) {
        char shown[19];
        std::memcpy(shown, line.data(), sizeof shown);
        shown[10] = ' ';  // the "T" between date and time
        if (::memmem(shown, sizeof shown, n.ascii.constData(), size_t(n.ascii.size())))
            return true;
    }
    return n.numbers
           && (locale.toString(field(line, 3).toLongLong()).contains(n.escaped)
               || locale.toString(field(line, 4).toDouble(), 'f', 1).contains(n.escaped));
}

}  // namespace

namespace {
struct OutcomeWords
{
    const char *key, *english, *german;
};
constexpr OutcomeWords kOutcomeWords[] = {
    {"stored", "stored", "gespeichert"},       {"unchanged", "unchanged", "unverändert"},
    {"failed", "failed", "fehlgeschlagen"},    {"not-found", "not found", "nicht gefunden"},
    {"cancelled", "cancelled", "abgebrochen"}, {"skipped", "skipped", "übersprungen"}};
}  // namespace

QStringList historyOutcomes()
{
    QStringList keys;
    for (const auto &w : kOutcomeWords)
        keys << QString::fromLatin1(w.key);
    return keys;
}

QString outcomeWord(const QString &outcome, Language language)
{
    for (const auto &w : kOutcomeWords)
        if (outcome == QLatin1String(w.key))
            return QString::fromUtf8(language == Language::German ? w.german : w.english);
    return outcome;  // one a later version writes
}

HistoryModel::HistoryModel(Language language, QObject *parent) : QAbstractTableModel(parent), m_language(language) {}

void HistoryModel::setLines(std::shared_ptr<const HistoryLines> lines)
{
    beginResetModel();
    m_lines = std::move(lines);
    m_count = m_lines ? m_lines->size() : 0;
    m_parsed.clear();
    m_gone.clear();
    endResetModel();
}

void HistoryModel::showAppended()
{
    const qsizetype now = m_lines ? m_lines->size() : 0;
    if (now <= m_count)
        return;
    beginInsertRows({}, 0, int(now - m_count) - 1);
    m_count = now;
    endInsertRows();
}

void HistoryModel::setEntries(const QList<HistoryEntry> &oldestFirst)
{
    QByteArray bytes;
    for (const HistoryEntry &e : oldestFirst)
        bytes += e.line().toUtf8();
    setLines(HistoryLines::ofBytes(bytes));
}

HistoryEntry HistoryModel::entry(int row) const
{
    const qsizetype line = lineOf(row);
    if (const HistoryEntry *e = m_parsed.object(line))
        return *e;
    auto *e = new HistoryEntry(m_lines->entry(line));
    const HistoryEntry copy = *e;
    m_parsed.insert(line, e);
    return copy;
}

std::vector<bool> HistoryModel::matching(qsizetype from, const QString &outcome, const QString &search) const
{
    std::vector<bool> kept;
    if (!m_lines)
        return kept;
    const Needle needle = needleOf(outcome, search, m_language);
    const QLocale locale(m_language == Language::German ? QLocale::German : QLocale::English);
    std::string lower;
    kept.reserve(size_t(std::max<qsizetype>(0, m_lines->size() - from)));
    m_lines->scan(from, [&](qsizetype, QByteArrayView line) { kept.push_back(lineMatches(line, needle, locale, lower)); });
    return kept;
}

int HistoryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_count);
}

int HistoryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

bool HistoryModel::gone(const QString &path) const
{
    // Asked once a path while the window is open: painting must not stat
    // every visible row again and again.
    const auto it = m_gone.constFind(path);
    if (it != m_gone.constEnd())
        return *it;
    const bool missing = !QFileInfo::exists(path);
    m_gone.insert(path, missing);
    return missing;
}

QVariant HistoryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const HistoryEntry e = entry(index.row());
    const bool de = m_language == Language::German;
    if (role == OutcomeRole)
        return e.outcome;
    if (role == CopyRole)
        return isCopy(e) ? e.detail : QString();
    if (role == TimeRole)
        return e.at.toMSecsSinceEpoch();
    if (role == BytesRole)
        return e.bytes;
    if (role == SecondsRole)
        return e.seconds;
    if (role == Qt::DecorationRole && index.column() == Outcome) {
        // The style reads an icon's files each time it is asked.
        const QStyle::StandardPixmap which = iconOf(e.outcome);
        auto icon = m_icons.constFind(which);
        if (icon == m_icons.constEnd())
            icon = m_icons.insert(which, QApplication::style()->standardIcon(which));
        return *icon;
    }
    if (role == Qt::TextAlignmentRole && (index.column() == Bytes || index.column() == Seconds))
        return QVariant(Qt::AlignRight | Qt::AlignVCenter);
    if (role == Qt::ToolTipRole && index.column() == Detail)
        return e.url.isEmpty() ? e.detail : e.detail + u'\n' + e.url;
    if (role != Qt::DisplayRole)
        return {};
    const QLocale locale(de ? QLocale::German : QLocale::English);
    switch (index.column()) {
    case Time:
        return locale.toString(e.at.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    case Outcome:
        return outcomeWord(e.outcome, m_language);
    case Status:
        return e.httpStatus > 0 ? QString::number(e.httpStatus) : errorNumber(e);
    case Bytes:
        return locale.toString(e.bytes);
    case Seconds:
        return locale.toString(e.seconds, 'f', 1);
    case Detail: {
        if (isCopy(e))
            return gone(e.detail) ? e.detail + (de ? QStringLiteral(" (nicht mehr da)") : QStringLiteral(" (gone)"))
                                  : e.detail;
        const QString number = errorNumber(e);
        return number.isEmpty() ? e.detail : e.detail.mid(number.size() + 1);
    }
    }
    return {};
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    const bool de = m_language == Language::German;
    switch (section) {
    case Time:
        return de ? QStringLiteral("Zeit") : QStringLiteral("Time");
    case Outcome:
        return de ? QStringLiteral("Ergebnis") : QStringLiteral("Outcome");
    case Status:
        return de ? QStringLiteral("HTTP/Fehler") : QStringLiteral("HTTP/error");
    case Bytes:
        return QStringLiteral("Bytes");
    case Seconds:
        return de ? QStringLiteral("Sekunden") : QStringLiteral("Seconds");
    case Detail:
        return de ? QStringLiteral("Kopie oder Fehler") : QStringLiteral("Copy or error");
    }
    return {};
}

void HistoryFilter::setOutcome(const QString &outcome)
{
    m_outcome = outcome;
    m_keptOf.reset();
    // Filtering anew rather than row range by row range: a year of rows
    // thinned to a few thousand would tell the view of each range removed.
    invalidate();
}

void HistoryFilter::setSearch(const QString &text)
{
    m_search = text.trimmed();
    m_keptOf.reset();
    invalidate();
}

bool HistoryFilter::filterAcceptsRow(int row, const QModelIndex &parent) const
{
    const auto *m = qobject_cast<const HistoryModel *>(sourceModel());
    if (parent.isValid() || !m || (m_outcome.isEmpty() && m_search.isEmpty()))
        return true;
    if (!m_keptOf || m_keptOf != m->lines()) {
        m_kept = m->matching(0, m_outcome, m_search);
        m_keptOf = m->lines();
    }
    const qsizetype line = m->lineOf(row);
    if (line >= qsizetype(m_kept.size())) {  // appended since the scan
        const std::vector<bool> more = m->matching(qsizetype(m_kept.size()), m_outcome, m_search);
        m_kept.insert(m_kept.end(), more.begin(), more.end());
    }
    return line < qsizetype(m_kept.size()) && m_kept[size_t(line)];
}

}  // namespace fetchora
