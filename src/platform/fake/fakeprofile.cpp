#include "platform/fake/fakeprofile.h"

namespace fake {

QString MemoryProfile::idOf(const QString &path, const QString &section, const QString &key)
{
    return path + QLatin1Char('\n') + section.toLower() + QLatin1Char('\n') + key.toLower();
}

QString MemoryProfile::read(const QString &path, const QString &section, const QString &key,
                            const QString &def)
{
    const QString id = idOf(path, section, key);
    // Reads inside a group see the group's own writes, the latest first.
    for (auto it = m_pending.crbegin(); it != m_pending.crend(); ++it) {
        if (it->id == id)
            return it->value;
    }
    return m_values.value(id, def);
}

platform::WriteResult MemoryProfile::write(const QString &path, const QString &section,
                                           const QString &key, const QString &value)
{
    if (!failWritesWith.isEmpty())
        return platform::WriteResult::failure(failWritesWith);
    const QString line =
        path + QLatin1Char('|') + section + QLatin1Char('|') + key + QLatin1Char('=') + value;
    if (m_inGroup) {
        m_pending.append({idOf(path, section, key), line, value});
        return platform::WriteResult::success();
    }
    m_values.insert(idOf(path, section, key), value);
    log.append(line);
    return platform::WriteResult::success();
}

void MemoryProfile::beginGroup()
{
    m_inGroup = true;
    m_pending.clear();
}

platform::WriteResult MemoryProfile::commitGroup()
{
    m_inGroup = false;
    if (!failCommitWith.isEmpty()) {
        m_pending.clear();
        return platform::WriteResult::failure(failCommitWith);
    }
    for (const Pending &p : std::as_const(m_pending)) {
        m_values.insert(p.id, p.value);
        log.append(p.line);
    }
    m_pending.clear();
    ++commits;
    return platform::WriteResult::success();
}

void MemoryProfile::abortGroup()
{
    m_inGroup = false;
    m_pending.clear();
    ++aborts;
}

void MemoryProfile::seed(const QString &path, const QString &section, const QString &key,
                         const QString &value)
{
    m_values.insert(idOf(path, section, key), value);
}

bool MemoryProfile::contains(const QString &path, const QString &section, const QString &key) const
{
    return m_values.contains(idOf(path, section, key));
}

} // namespace fake
