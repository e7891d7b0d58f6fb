#include "platform/linux/linuxshell.h"

#include "platform/linux/desktopopen.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace platform {

namespace {
QString orHome(const QString &dir)
{
    return dir.isEmpty() || !QDir(dir).exists() ? QDir::homePath() : dir;
}

OpenResult notStarted(const QString &program, int err)
{
    return OpenResult::failed(QStringLiteral("the program \"%1\" could not be started (%2)")
                                  .arg(program, QString::fromLocal8Bit(std::strerror(err))));
}
} // namespace

OpenResult LinuxShell::open(const QString &file)
{
    const QString home = QDir::homePath();
    const desktop::OpenPlan plan = desktop::planOpen(file, home);
    switch (plan.kind) {
    case desktop::OpenPlan::Nothing:
        return OpenResult::failed(plan.why);
    case desktop::OpenPlan::Run: {
        int err = 0;
        if (spawnDetached(QStringList{plan.target} + plan.args, plan.workDir, &err))
            return {};
        // Files on shared and FAT drives often carry an executable bit without being
        // programs: the kernel refuses them, so open them as the documents they are.
        if (err == ENOEXEC && plan.args.isEmpty())
            return openWithOpener(file, plan.target, home);
        return notStarted(plan.target, err);
    }
    case desktop::OpenPlan::Opener:
        return openWithOpener(file, plan.target, plan.workDir);
    }
    return OpenResult::failed(QStringLiteral("it is not understood"));
}

OpenResult LinuxShell::openWithOpener(const QString &action, const QString &target,
                                      const QString &workDir)
{
    QStringList command;
    const QString xdgOpen = desktop::findProgram(QStringLiteral("xdg-open"));
    const QString gio = desktop::findProgram(QStringLiteral("gio"));
    if (!xdgOpen.isEmpty())
        command = {xdgOpen, target};
    else if (!gio.isEmpty())
        command = {gio, QStringLiteral("open"), target};
    else
        return OpenResult::failed(QStringLiteral(
            "the desktop's opener is missing (install xdg-utils, which provides xdg-open)"));
    // The opener finds the application in a moment or says it has none; later it has been
    // running that application, whose ending tells nothing about the opening.
    QElapsedTimer since;
    since.start();
    const QString opener = QFileInfo(command.first()).fileName();
    auto ended = [this, action, opener, since](int status) {
        if (status == 0 || since.elapsed() > 5000)
            return;
        lateFailure(action, QStringLiteral("no application opened it; the desktop may have "
                                           "none for its type (%1 ended with status %2)")
                                .arg(opener)
                                .arg(status));
    };
    int err = 0;
    if (spawnDetached(command, workDir, &err, ended))
        return {};
    return notStarted(command.first(), err);
}

OpenResult LinuxShell::openUrl(const QString &url)
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
            return {};
    }

    // Desktops without a default browser in their lists: the older conventions.
    QStringList programs = qEnvironmentVariable("BROWSER").split(u':', Qt::SkipEmptyParts);
    programs << QStringLiteral("x-www-browser") << QStringLiteral("xdg-open");
    for (const QString &name : programs) {
        const QString program = desktop::findProgram(name);
        if (!program.isEmpty() && spawnDetached({program, url}, home))
            return {};
    }
    return OpenResult::failed(QStringLiteral(
        "no web browser could be started: choose a default web browser in the desktop's "
        "settings, or set the BROWSER variable"));
}

} // namespace platform
