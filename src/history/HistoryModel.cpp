#include "history/HistoryModel.h"

#include <QApplication>
#include <QFileInfo>
#include <QLocale>
#include <QStyle>

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

}  // namespace

QStringList historyOutcomes()
{
    return {QStringLiteral("stored"), QStringLiteral("unchanged"), QStringLiteral("failed"),
            QStringLiteral("not-found"), QStringLiteral("cancelled"), QStringLiteral("skipped")};
}

QString outcomeWord(const QString &outcome, Language language)
{
    const bool de = language == Language::German;
    if (outcome == QLatin1String("stored"))
        return de ? QStringLiteral("gespeichert") : QStringLiteral("stored");
    if (outcome == QLatin1String("unchanged"))
        return de ? QStringLiteral("unverändert") : QStringLiteral("unchanged");
    if (outcome == QLatin1String("failed"))
        return de ? QStringLiteral("fehlgeschlagen") : QStringLiteral("failed");
    if (outcome == QLatin1String("not-found"))
        return de ? QStringLiteral("nicht gefunden") : QStringLiteral("not found");
    if (outcome == QLatin1String("cancelled"))
        return de ? QStringLiteral("abgebrochen") : QStringLiteral("cancelled");
    if (outcome == QLatin1String("skipped"))
        return de ? QStringLiteral("übersprungen") : QStringLiteral("skipped");
    return outcome;  // one a later version writes
}

HistoryModel::HistoryModel(Language language, QObject *parent) : QAbstractTableModel(parent), m_language(language) {}

void HistoryModel::setEntries(QList<HistoryEntry> oldestFirst)
{
    beginResetModel();
    m_entries = std::move(oldestFirst);
    m_gone.clear();
    endResetModel();
}

void HistoryModel::append(const QList<HistoryEntry> &oldestFirst)
{
    if (oldestFirst.isEmpty())
        return;
    beginInsertRows({}, 0, int(oldestFirst.size()) - 1);
    m_entries += oldestFirst;
    endInsertRows();
}

int HistoryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_entries.size());
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
    const HistoryEntry &e = entry(index.row());
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
    if (role == Qt::DecorationRole && index.column() == Outcome)
        return QApplication::style()->standardIcon(iconOf(e.outcome));
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
    invalidateRowsFilter();
}

void HistoryFilter::setSearch(const QString &text)
{
    m_search = text.trimmed();
    invalidateRowsFilter();
}

bool HistoryFilter::filterAcceptsRow(int row, const QModelIndex &parent) const
{
    const QAbstractItemModel *m = sourceModel();
    if (!m_outcome.isEmpty() && m->index(row, 0, parent).data(HistoryModel::OutcomeRole).toString() != m_outcome)
        return false;
    if (m_search.isEmpty())
        return true;
    for (int c = 0; c < m->columnCount(parent); ++c) {
        const QModelIndex i = m->index(row, c, parent);
        if (i.data().toString().contains(m_search, Qt::CaseInsensitive)
            || (c == HistoryModel::Detail && i.data(Qt::ToolTipRole).toString().contains(m_search, Qt::CaseInsensitive)))
            return true;
    }
    return false;
}

}  // namespace fetchora
