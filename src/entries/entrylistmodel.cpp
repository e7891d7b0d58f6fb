#include "entries/entrylistmodel.h"

#include <algorithm>

int EntryListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_actions.size());
}

int EntryListModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 3;
}

namespace {
// The list lays out the whole text of a row; a value of megabytes would take seconds and
// hundreds of megabytes to shape. What a row shows is bounded; the tables keep every value.
QString shown(const QString &value, qsizetype most)
{
    if (value.size() <= most)
        return value;
    qsizetype cut = most - 1;
    if (value.at(cut - 1).isHighSurrogate())
        --cut;
    return value.left(cut) + QChar(0x2026);
}
} // namespace

QString EntryListModel::hotkeyShown(const QString &hotkey)
{
    if (hotkey.isEmpty())
        return QString();
    return QStringLiteral("Ctrl + Shift + ") + hotkey.toUpper();
}

QVariant EntryListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_actions.size())
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const qsizetype row = index.row();
    // A cell elides what it cannot fit; its tooltip has room for the whole of a usual value.
    const qsizetype most =
        role == Qt::ToolTipRole ? EntryListModel::maxTipLength : EntryListModel::maxShownLength;
    switch (index.column()) {
    case 0:
        return shown(m_actions.at(row), most);
    case 1:
        return shown(m_keywords.at(row), most);
    case 2:
        return hotkeyShown(m_hotkeys.at(row));
    }
    return {};
}

QVariant EntryListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    switch (section) {
    case 0:
        return QStringLiteral("Action");
    case 1:
        return QStringLiteral("Keyword");
    case 2:
        return QStringLiteral("Hotkey");
    }
    return {};
}

void EntryListModel::clear()
{
    if (m_actions.isEmpty())
        return;
    beginResetModel();
    m_actions.clear();
    m_keywords.clear();
    m_hotkeys.clear();
    endResetModel();
}

void EntryListModel::appendRows(const QStringList &actions, const QStringList &keywords,
                                const QStringList &hotkeys)
{
    const qsizetype n = std::min({actions.size(), keywords.size(), hotkeys.size()});
    if (n == 0)
        return;
    const int first = int(m_actions.size());
    beginInsertRows(QModelIndex(), first, first + int(n) - 1);
    // Into an empty model the lists are shared (mid() of a whole list is the list itself);
    // appending would copy every string.
    if (m_actions.isEmpty()) {
        m_actions = actions.mid(0, n);
        m_keywords = keywords.mid(0, n);
        m_hotkeys = hotkeys.mid(0, n);
    } else {
        m_actions.append(actions.mid(0, n));
        m_keywords.append(keywords.mid(0, n));
        m_hotkeys.append(hotkeys.mid(0, n));
    }
    endInsertRows();
}
