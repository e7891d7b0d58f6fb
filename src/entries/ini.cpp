#include "entries/ini.h"

#include "platform/profile.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString g_programDirOverride;
QString g_entryFilePath;
} // namespace

QString ini_read(const QString &path, const QString &section, const QString &key,
                 const QString &def)
{
    return platform::profile().read(path, section, key, def);
}

IniWriteResult ini_write(const QString &path, const QString &section, const QString &key,
                         const QString &value)
{
    QString copy = value;
    copy.replace(QLatin1Char('\r'), QLatin1Char(' '));
    copy.replace(QLatin1Char('\n'), QLatin1Char(' '));
    const platform::WriteResult r = platform::profile().write(path, section, key, copy);
    return {r.ok, r.error};
}

QString programDir()
{
    if (!g_programDirOverride.isEmpty())
        return g_programDirOverride;
    return QCoreApplication::applicationDirPath();
}

void setProgramDirForTesting(const QString &dir)
{
    g_programDirOverride = dir;
    g_entryFilePath.clear();
}

QString entryFilePath()
{
    // The program's folder cannot change while it runs, and getinfo asks for the path three
    // times per entry: it is worked out once (the folder lookup costs more than the read).
    if (!g_entryFilePath.isEmpty())
        return g_entryFilePath;
    const QString path = QDir(programDir()).filePath(QStringLiteral("DAzad.ini"));
    if (!g_programDirOverride.isEmpty() || QCoreApplication::instance())
        g_entryFilePath = path;
    return path;
}
