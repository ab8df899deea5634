#pragma once
// The stored copies as the two pickers list them, oldest first: when each was
// stored and its file's name, marked when it is gone. One model serves both
// pickers and words only the rows they show: a year of copies added item by
// item, each file looked at, would hold the window for seconds.

#include "core/RuntimeError.h"
#include "store/Manifest.h"

#include <QAbstractListModel>
#include <QHash>

class QComboBox;

namespace fetchora {

class CopyListModel : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int PathRole = Qt::UserRole;  // where QComboBox keeps an item's data

    explicit CopyListModel(Language language, QObject *parent = nullptr);
    void setCopies(const QList<StoredCopy> &oldestFirst);

    int rowCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;

private:
    Language m_language;
    QList<StoredCopy> m_copies;
    mutable QHash<int, bool> m_gone;  // by row, looked at once while the list stands
};

// Makes `box` a picker of `copies`: sized for a typical entry, its list
// dropped below it, so that neither measures every copy.
void pickFrom(QComboBox *box, CopyListModel *copies);

}  // namespace fetchora
