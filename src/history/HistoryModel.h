#pragma once
// The attempts as a table, newest first, and the filter over it.

#include "core/RuntimeError.h"
#include "store/History.h"

#include <QAbstractTableModel>
#include <QCache>
#include <QHash>
#include <QIcon>
#include <QSortFilterProxyModel>

#include <memory>
#include <vector>

namespace fetchora {

class HistoryLines;

// The outcomes history.log writes, in the order the filter offers them.
QStringList historyOutcomes();
QString outcomeWord(const QString &outcome, Language language);

class HistoryModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Time, Outcome, Status, Bytes, Seconds, Detail, ColumnCount };
    static constexpr int OutcomeRole = Qt::UserRole;  // the outcome as history.log writes it
    static constexpr int CopyRole = Qt::UserRole + 1; // the stored file; empty: none
    // What the plot takes of a row, in any column.
    static constexpr int TimeRole = Qt::UserRole + 2;     // ms since the epoch (qint64)
    static constexpr int BytesRole = Qt::UserRole + 3;    // body bytes (qint64)
    static constexpr int SecondsRole = Qt::UserRole + 4;  // seconds taken (double)

    explicit HistoryModel(Language language, QObject *parent = nullptr);

    // Shows every line of `lines`, which may grow: showAppended() shows what they gained.
    void setLines(std::shared_ptr<const HistoryLines> lines);
    void showAppended();
    void setEntries(const QList<HistoryEntry> &oldestFirst);
    HistoryEntry entry(int row) const;
    const std::shared_ptr<const HistoryLines> &lines() const { return m_lines; }
    qsizetype lineOf(int row) const { return m_count - 1 - row; }
    // Which of the lines from `from` on pass the filter, one flag each (see HistoryFilter).
    std::vector<bool> matching(qsizetype from, const QString &outcome, const QString &search) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    bool gone(const QString &path) const;

    Language m_language;
    std::shared_ptr<const HistoryLines> m_lines;  // oldest first, as read
    qsizetype m_count = 0;                        // of them shown
    mutable QCache<qsizetype, HistoryEntry> m_parsed{4096};  // by line: the rows just painted
    mutable QHash<QString, bool> m_gone;
    mutable QHash<int, QIcon> m_icons;  // by QStyle::StandardPixmap
};

// Rows of one outcome (none: all) whose line holds the search, in any case:
// any field as written (the SHA-256 and the URL included), the outcome's word,
// and the time, bytes and seconds as the table shows them. It scans the log's
// lines once when the filter changes, not the table's texts row by row.
class HistoryFilter : public QSortFilterProxyModel {
    Q_OBJECT
public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setOutcome(const QString &outcome);
    void setSearch(const QString &text);

protected:
    bool filterAcceptsRow(int row, const QModelIndex &parent) const override;

private:
    QString m_outcome;
    QString m_search;
    mutable std::vector<bool> m_kept;  // by line, oldest first; lines past its end are asked one by one
    mutable std::shared_ptr<const HistoryLines> m_keptOf;
};

}  // namespace fetchora
