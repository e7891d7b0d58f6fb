#pragma once

#include "platform/profile.h"

#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

namespace fake {

/// A profile held in memory: names match ignoring case, as the file-backed one does.
/// Every write that reaches the store is logged as "path|section|key=value", so a test can
/// check the order of the writes; failures can be scripted for single writes and commits.
class MemoryProfile : public platform::Profile
{
public:
    QString read(const QString &path, const QString &section, const QString &key,
                 const QString &def) override;
    platform::WriteResult write(const QString &path, const QString &section, const QString &key,
                                const QString &value) override;
    void beginGroup() override;
    platform::WriteResult commitGroup() override;
    void abortGroup() override;
    bool inGroup() const override { return m_inGroup; }

    /// Puts a value into the store without logging it (the file as it was before the test).
    void seed(const QString &path, const QString &section, const QString &key,
              const QString &value);
    /// Whether the store holds the key at all.
    bool contains(const QString &path, const QString &section, const QString &key) const;

    QString failWritesWith; ///< non-empty: every write (in or out of a group) fails so
    QString failCommitWith; ///< non-empty: every commit fails so, dropping the group
    QStringList log;        ///< writes that reached the store, in order
    int commits = 0;        ///< successful group commits
    int aborts = 0;

private:
    struct Pending
    {
        QString id;
        QString line;
        QString value;
    };
    static QString idOf(const QString &path, const QString &section, const QString &key);

    QHash<QString, QString> m_values;
    QList<Pending> m_pending;
    bool m_inGroup = false;
};

} // namespace fake
