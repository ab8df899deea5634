#pragma once
// The attempts as a table, newest first, and the filter over it.

#include "core/RuntimeError.h"
#include "store/History.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QSortFilterProxyModel>

namespace fetchora {

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

    void setEntries(QList<HistoryEntry> oldestFirst);
    void append(const QList<HistoryEntry> &oldestFirst);
    const HistoryEntry &entry(int row) const { return m_entries.at(m_entries.size() - 1 - row); }

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    bool gone(const QString &path) const;

    Language m_language;
    QList<HistoryEntry> m_entries;  // oldest first, as read
    mutable QHash<QString, bool> m_gone;
};

// Rows of one outcome (none: all) whose texts hold the search, in any case.
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
};

}  // namespace fetchora
