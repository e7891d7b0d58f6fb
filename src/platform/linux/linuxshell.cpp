#include "platform/linux/linuxshell.h"

#include "platform/linux/desktopopen.h"

#include <QDir>

#include <cerrno>

namespace platform {

namespace {
QString orHome(const QString &dir)
{
    return dir.isEmpty() || !QDir(dir).exists() ? QDir::homePath() : dir;
}
} // namespace

bool LinuxShell::open(const QString &file)
{
    const QString home = QDir::homePath();
    const desktop::OpenPlan plan = desktop::planOpen(file, home);
    switch (plan.kind) {
    case desktop::OpenPlan::Nothing:
        return false;
    case desktop::OpenPlan::Run: {
        int err = 0;
        if (spawnDetached({plan.target}, plan.workDir, &err))
            return true;
        // Files on shared and FAT drives often carry an executable bit without being
        // programs: the kernel refuses them, so open them as the documents they are.
        if (err == ENOEXEC)
            return openWithOpener(plan.target, home);
        return false;
    }
    case desktop::OpenPlan::Opener:
        return openWithOpener(plan.target, plan.workDir);
    }
    return false;
}

bool LinuxShell::openWithOpener(const QString &target, const QString &workDir)
{
    const QString xdgOpen = desktop::findProgram(QStringLiteral("xdg-open"));
    if (!xdgOpen.isEmpty())
        return spawnDetached({xdgOpen, target}, workDir);
    const QString gio = desktop::findProgram(QStringLiteral("gio"));
    if (!gio.isEmpty())
        return spawnDetached({gio, QStringLiteral("open"), target}, workDir);
    return false;
}

bool LinuxShell::openUrl(const QString &url)
{
    const QString home = QDir::homePath();
    const desktop::XdgDirs dirs = desktop::XdgDirs::fromEnvironment();
    for (const char *mime : {"x-scheme-handler/http", "x-scheme-handler/https"}) {
        const auto entry = desktop::defaultApplication(dirs, QLatin1String(mime));
        if (!entry)
            continue;
        auto args =
            desktop::execArguments(entry->exec, {url, entry->icon, entry->name, entry->path});
        if (!args)
            continue;
        (*args)[0] = desktop::findProgram(args->first());
        if (spawnDetached(*args, orHome(entry->workDir)))
            return true;
    }

    // Desktops without a default browser in their lists: the older conventions.
    QStringList programs = qEnvironmentVariable("BROWSER").split(u':', Qt::SkipEmptyParts);
    programs << QStringLiteral("x-www-browser") << QStringLiteral("xdg-open");
    for (const QString &name : programs) {
        const QString program = desktop::findProgram(name);
        if (!program.isEmpty() && spawnDetached({program, url}, home))
            return true;
    }
    return false;
}

} // namespace platform
