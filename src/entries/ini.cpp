#include "entries/ini.h"

#include <QCoreApplication>
#include <QDir>

namespace {
QString g_programDirOverride;
} // namespace

QString ini_read(const QString &path, const QString &section, const QString &key,
                 const QString &def)
{
    return platform::profile().read(path, section, key, def);
}

platform::WriteResult ini_write(const QString &path, const QString &section, const QString &key,
                                const QString &value)
{
    QString copy = value;
    copy.replace(QLatin1Char('\r'), QLatin1Char(' '));
    copy.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return platform::profile().write(path, section, key, copy);
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
}

QString entryFilePath()
{
    return QDir(programDir()).filePath(QStringLiteral("DAzad.ini"));
}
