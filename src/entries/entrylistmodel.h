#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QString>

/// The rows of the main window's list: Action, Keyword and Hotkey columns, one row per
/// entry in entry order, never sorted (row i + 1 is entry number i + 1).
class EntryListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    using QAbstractTableModel::QAbstractTableModel;

    /// The most characters a cell shows; a longer value shows its start and "…".
    static constexpr int maxShownLength = 300;
    /// The same for a cell's tooltip.
    static constexpr int maxTipLength = 4000;

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

    /// How the Hotkey column shows @p hotkey: empty, or "Ctrl + Shift + " and its name in
    /// capitals. Made when asked for, so the rows share the entry tables' strings.
    static QString hotkeyShown(const QString &hotkey);

    /// Removes every row.
    void clear();
    /// Appends rows at the end, in one change notification: row i has actions[i],
    /// keywords[i] and hotkeys[i] (stored as is; shown as hotkeyShown() makes it). Lists of
    /// unequal length add as many rows as the shortest has.
    void appendRows(const QStringList &actions, const QStringList &keywords,
                    const QStringList &hotkeys);

private:
    // The columns; filled from empty, they share the entry tables' lists.
    QStringList m_actions, m_keywords, m_hotkeys;
};
