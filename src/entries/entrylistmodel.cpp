#include "entries/entrylistmodel.h"

int EntryListModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
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
    if (!index.isValid() || index.row() >= m_rows.size())
        return {};
    if (role != Qt::DisplayRole && role != Qt::ToolTipRole)
        return {};
    const Row &r = m_rows.at(index.row());
    // A cell elides what it cannot fit; its tooltip has room for the whole of a usual value.
    const qsizetype most =
        role == Qt::ToolTipRole ? EntryListModel::maxTipLength : EntryListModel::maxShownLength;
    switch (index.column()) {
    case 0:
        return shown(r.action, most);
    case 1:
        return shown(r.keyword, most);
    case 2:
        return hotkeyShown(r.hotkey);
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
    if (m_rows.isEmpty())
        return;
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

void EntryListModel::appendRows(QList<Row> rows)
{
    if (rows.isEmpty())
        return;
    const int first = int(m_rows.size());
    beginInsertRows(QModelIndex(), first, first + int(rows.size()) - 1);
    // Into an empty list the rows move whole: appending would allocate the list again, with
    // room to grow.
    if (m_rows.isEmpty())
        m_rows = std::move(rows);
    else
        m_rows.append(std::move(rows));
    endInsertRows();
}
