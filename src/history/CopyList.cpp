#include "history/CopyList.h"

#include <QFileInfo>
#include <QLocale>

namespace fetchora {

CopyListModel::CopyListModel(Language language, QObject *parent) : QAbstractListModel(parent), m_language(language) {}

void CopyListModel::setCopies(const QList<StoredCopy> &oldestFirst)
{
    beginResetModel();
    m_copies = oldestFirst;
    m_gone.clear();
    endResetModel();
}

int CopyListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_copies.size());
}

QVariant CopyListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const StoredCopy &c = m_copies.at(index.row());
    if (role == PathRole)
        return c.path;
    if (role != Qt::DisplayRole && role != Qt::EditRole)
        return {};
    const bool de = m_language == Language::German;
    const QLocale locale(de ? QLocale::German : QLocale::English);
    QString item = locale.toString(c.at.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm:ss")) + QStringLiteral("  ")
                   + QFileInfo(c.path).fileName();
    auto gone = m_gone.constFind(index.row());
    if (gone == m_gone.constEnd())
        gone = m_gone.insert(index.row(), !QFileInfo::exists(c.path));
    if (*gone)
        item += de ? QStringLiteral(" (nicht mehr da)") : QStringLiteral(" (gone)");
    return item;
}

}  // namespace fetchora
