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

QString userConfigFolder()
{
    const QString config = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (QDir::isAbsolutePath(config))
        return QDir::cleanPath(config);
    // Without HOME, Qt's home path is the root folder: the entries would go to /.config.
    const QString home = qEnvironmentVariable("HOME");
    if (!QDir::isAbsolutePath(home))
        return QString();
    return QDir::cleanPath(home + QStringLiteral("/.config"));
}

QString noConfigFolderText()
{
    return QStringLiteral(
        "Cannot find your configuration folder: neither HOME nor XDG_CONFIG_HOME is set to a "
        "folder. The entries can be neither read nor saved. Start the launcher with HOME set "
        "to your home folder.");
}

bool isInstalledCopy(const QString &programDir)
{
    // Compared by the install layout, not the whole prefix: the same build is installed
    // under other prefixes than the one it was configured with (cmake --install --prefix,
    // the Debian package's /usr).
    const QString dir = QDir::cleanPath(programDir);
    const QString installed = QStringLiteral("/" DUDUD_PROGRAM_DIR);
    return dir.endsWith(installed);
}

QString entryFilePath(const QString &programDir)
{
    // A copy that is not installed (a build folder, a copy the user put somewhere) keeps its
    // entries beside it where it can. An installed copy never does, whoever runs it: root
    // may write the install folder, and a file left there outlives the package.
    if (!isInstalledCopy(programDir)) {
        const QString beside = QDir(programDir).filePath(QStringLiteral("DAzad.ini"));
        if (QFileInfo::exists(beside) || QFileInfo(programDir).isWritable())
            return beside;
    }
    const QString config = userConfigFolder();
    if (config.isEmpty())
        return QString();
    return QDir(config).filePath(QStringLiteral("dudud-adadadiz/DAzad.ini"));
}
