#include "entries/entrytables.h"

#include "entries/entryfile.h"
#include "entries/ini.h"

#include <iterator>

int EntryTables::count() const
{
    return entries::parseCount(s).value_or(0);
}

void EntryTables::readTables(platform::Profile &profile, const QString &path)
{
    platform::ProfileSnapshot snapshot(profile);
    s = ini_read(profile, path, QStringLiteral("count"), QStringLiteral("c"), QString());
    const int n = count();
    if (n == 0)
        return;
    // Made at their final size: nothing is copied as they grow.
    for (QStringList *table : {&Hotkey, &Keyword, &Action}) {
        *table = QStringList();
        table->reserve(n);
    }
    // The section names "1" to "n", written into one string: QString::number() takes the
    // locale's way, ten times the work of the read itself.
    QString section;
    char16_t digits[12];
    for (int i = 1; i <= n; ++i) {
        char16_t *end = digits + std::size(digits), *at = end;
        for (int v = i; v > 0; v /= 10)
            *--at = char16_t(u'0' + v % 10);
        section.setUnicode(reinterpret_cast<const QChar *>(at), end - at);
        Action.append(ini_read(profile, path, section, QStringLiteral("Action"), QString()));
        Keyword.append(ini_read(profile, path, section, QStringLiteral("Keyword"), QString()));
        Hotkey.append(ini_read(profile, path, section, QStringLiteral("Hotkey"), QString()));
    }
}

void EntryTables::getinfo(platform::Profile &profile, const QString &path)
{
    platform::ProfileSnapshot snapshot(profile);
    readTables(profile, path);
    if (count() == 0)
        return;
    m_list.appendRows(Action, Keyword, Hotkey);
}

entries::EntryValues EntryTables::entry(int n) const
{
    return {Action.value(n - 1), Hotkey.value(n - 1), Keyword.value(n - 1)};
}

int EntryTables::find(const entries::EntryValues &e, int near) const
{
    if (near >= 1 && near <= count() && entry(near) == e)
        return near;
    const int n = qMin(count(), int(qMin(Action.size(), qMin(Hotkey.size(), Keyword.size()))));
    for (int i = 0; i < n; ++i) {
        if (Action.at(i) == e.action && Hotkey.at(i) == e.hotkey && Keyword.at(i) == e.keyword)
            return i + 1;
    }
    return 0;
}

bool EntryTables::sameEntries(const EntryTables &other) const
{
    const int n = count();
    if (other.count() != n)
        return false;
    for (int i = 1; i <= n; ++i) {
        if (!(entry(i) == other.entry(i)))
            return false;
    }
    return true;
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
