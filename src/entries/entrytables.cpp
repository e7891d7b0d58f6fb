#include "entries/entrytables.h"

#include "entries/entryfile.h"
#include "entries/ini.h"

int EntryTables::count() const
{
    return entries::parseCount(s).value_or(0);
}

QString EntryTables::hotkeyDisplay(const QString &hotkey)
{
    if (hotkey.isEmpty())
        return QString();
    return QStringLiteral("Ctrl + Shift + ") + hotkey.toUpper();
}

void EntryTables::getinfo()
{
    const QString path = entryFilePath();
    s = ini_read(path, QStringLiteral("count"), QStringLiteral("c"), QString());
    const int n = count();
    if (n == 0)
        return;

    Hotkey = QStringList(n);
    Keyword = QStringList(n);
    Action = QStringList(n);
    QList<EntryListModel::Row> rows;
    rows.reserve(n);
    for (int i = 1; i <= n; ++i) {
        const QString section = QString::number(i);
        EntryListModel::Row row;
        row.action = ini_read(path, section, QStringLiteral("Action"), QString());
        Action[i - 1] = row.action;
        row.keyword = ini_read(path, section, QStringLiteral("Keyword"), QString());
        Keyword[i - 1] = row.keyword;
        const QString h = ini_read(path, section, QStringLiteral("Hotkey"), QString());
        row.hotkey = hotkeyDisplay(h);
        Hotkey[i - 1] = h;
        rows.append(std::move(row));
    }
    m_list.appendRows(std::move(rows));
}

bool EntryTables::checkTable(const QStringList &table, const QString &value)
{
    if (s.isEmpty())
        s = QStringLiteral("0");
    const int n = qMin(count(), int(table.size()));
    for (int i = 0; i < n; ++i) {
        if (table.at(i) == value)
            return true;
    }
    return false;
}

bool EntryTables::check_hotkey(const QString &key)
{
    return checkTable(Hotkey, key);
}

bool EntryTables::check_keyword(const QString &Keyword)
{
    return checkTable(this->Keyword, Keyword);
}

bool EntryTables::check_Action(const QString &key)
{
    return checkTable(Action, key);
}

bool EntryTables::set_arrays(QStringList &hotkeys, QStringList &keywords,
                             QStringList &actions) const
{
    if (count() == 0)
        return false;
    hotkeys = Hotkey;
    keywords = Keyword;
    actions = Action;
    return true;
}
