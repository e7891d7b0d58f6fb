#include "entries/entryfile.h"

#include "entries/entrytables.h"
#include "entries/ini.h"

#include <QDir>
#include <QFileInfo>

namespace entries {

std::optional<int> parseCount(const QString &s)
{
    if (s.isEmpty())
        return 0;
    if (s.size() > 5)
        return std::nullopt;
    int n = 0;
    for (QChar c : s) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return std::nullopt;
        n = n * 10 + (c.unicode() - '0');
    }
    if (n > maxEntries)
        return std::nullopt;
    return n;
}

namespace {
void appendEntry(WritePlan &plan, int section, const EntryValues &e)
{
    const QString name = QString::number(section);
    plan.append({name, QStringLiteral("Action"), e.action});
    plan.append({name, QStringLiteral("Hotkey"), e.hotkey});
    plan.append({name, QStringLiteral("Keyword"), e.keyword});
}
} // namespace

EntryValues readEntry(platform::Profile &profile, const QString &path, int index)
{
    const QString section = QString::number(index);
    return {ini_read(profile, path, section, QStringLiteral("Action"), QString()),
            ini_read(profile, path, section, QStringLiteral("Hotkey"), QString()),
            ini_read(profile, path, section, QStringLiteral("Keyword"), QString())};
}

WritePlan addPlan(int newCount, const EntryValues &e)
{
    WritePlan plan;
    plan.append({QStringLiteral("count"), QStringLiteral("c"), QString::number(newCount)});
    appendEntry(plan, newCount, e);
    return plan;
}

WritePlan modifyPlan(int index, const EntryValues &e)
{
    WritePlan plan;
    appendEntry(plan, index, e);
    return plan;
}

WritePlan removePlan(int oldCount, int n, const EntryTables &tables)
{
    WritePlan plan;
    if (oldCount < 1 || n < 1 || n > oldCount)
        return plan;
    // The moved values come from the tables: tables that do not cover the count (they were
    // not rebuilt for it) would move blanks over real entries, so nothing is planned.
    if (tables.Action.size() < oldCount || tables.Hotkey.size() < oldCount ||
        tables.Keyword.size() < oldCount)
        return plan;
    plan.reserve(1 + 3 * (oldCount - n));
    plan.append({QStringLiteral("count"), QStringLiteral("c"), QString::number(oldCount - 1)});
    for (int i = n; i <= oldCount - 1; ++i) {
        // Entry i + 1 sits at index i of the 0-based tables.
        appendEntry(plan, i, {tables.Action.at(i), tables.Hotkey.at(i), tables.Keyword.at(i)});
    }
    return plan;
}

platform::WriteResult applyPlan(platform::Profile &profile, const QString &path,
                                const WritePlan &plan)
{
    if (plan.isEmpty())
        return platform::WriteResult::success();
    // The configuration folder of a new user does not exist before the first entry.
    const QString dir = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(dir))
        return platform::WriteResult::failure(
            QStringLiteral("The folder \"%1\" could not be created.").arg(dir));
    platform::ProfileGroup group(profile);
    for (const Write &w : plan) {
        const platform::WriteResult r = ini_write(profile, path, w.section, w.key, w.value);
        if (!r.ok) {
            group.abort();
            return r;
        }
    }
    return group.commit();
}

QString saveFailedMessage(const QString &path, const QString &reason)
{
    return QStringLiteral("The entry could not be saved to \"%1\": %2\n\nNothing was changed.")
        .arg(QDir::toNativeSeparators(path), reason);
}

QString removeFailedMessage(const QString &path, const QString &reason)
{
    return QStringLiteral("The entry could not be removed from \"%1\": %2\n\nNothing was "
                          "changed.")
        .arg(QDir::toNativeSeparators(path), reason);
}

QString entryGoneMessage(const QString &path)
{
    return QStringLiteral("The entry is no longer in \"%1\" as it was: another program has "
                          "changed or removed it. The list now shows the file as it is; "
                          "choose the entry again.\n\nNothing was changed.")
        .arg(QDir::toNativeSeparators(path));
}

int rowAfterRemove(int oldCount, int n)
{
    return qMax(1, qMin(n, oldCount - 1));
}

} // namespace entries
