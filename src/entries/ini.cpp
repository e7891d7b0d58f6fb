#include "entries/ini.h"

#include <QDir>
#include <QFileInfo>

QString ini_read(platform::Profile &profile, const QString &path, const QString &section,
                 const QString &key, const QString &def)
{
    return profile.read(path, section, key, def);
}

platform::WriteResult ini_write(platform::Profile &profile, const QString &path,
                                const QString &section, const QString &key, const QString &value)
{
    QString copy = value;
    copy.replace(QLatin1Char('\r'), QLatin1Char(' '));
    copy.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return profile.write(path, section, key, copy);
}

QString entryFilePath(const QString &programDir)
{
    // A copy in a folder the user owns keeps its entries beside it, as do users who keep a
    // file there; an installed copy, in a folder the user cannot write, keeps them in the
    // user's configuration folder.
    const QString &dir = programDir;
    const QString beside = QDir(dir).filePath(QStringLiteral("DAzad.ini"));
    if (QFileInfo::exists(beside) || QFileInfo(dir).isWritable())
        return beside;
    QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (config.isEmpty() || !QDir::isAbsolutePath(config))
        config = QDir::homePath() + QStringLiteral("/.config");
    return QDir(config).filePath(QStringLiteral("dudud-adadadiz/DAzad.ini"));
}
