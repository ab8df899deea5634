#include "history/CopyList.h"

#include <QApplication>
#include <QComboBox>
#include <QFileInfo>
#include <QListView>
#include <QLocale>
#include <QProxyStyle>

namespace fetchora {

namespace {

// A list that pops up over its picker is first made as wide as its widest
// entry, which asks for every entry and so looks at every copy's file.
class PickerStyle : public QProxyStyle {
public:
    using QProxyStyle::QProxyStyle;
    int styleHint(StyleHint hint, const QStyleOption *option, const QWidget *widget,
                  QStyleHintReturn *returnData) const override
    {
        return hint == SH_ComboBox_Popup ? 0 : QProxyStyle::styleHint(hint, option, widget, returnData);
    }
};

}  // namespace

void pickFrom(QComboBox *box, CopyListModel *copies)
{
    box->setModel(copies);
    box->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    box->setMinimumContentsLength(8);  // the layout gives them the room there is; a small screen at 200 % has little
    if (auto *list = qobject_cast<QListView *>(box->view()))
        list->setUniformItemSizes(true);
    auto *style = new PickerStyle(QApplication::style()->name());
    style->setParent(box);
    box->setStyle(style);
}

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
