#include "platform/linux/desktopopen.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace desktop {

QString unescapeValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value.at(i);
        if (c != u'\\' || i + 1 == value.size()) {
            out += c;
            continue;
        }
        const QChar n = value.at(++i);
        switch (n.unicode()) {
        case 's':
            out += u' ';
            break;
        case 'n':
            out += u'\n';
            break;
        case 't':
            out += u'\t';
            break;
        case 'r':
            out += u'\r';
            break;
        case '\\':
            out += u'\\';
            break;
        default:
            // Not a string escape: leave it for the Exec quoting rules to read.
            out += c;
            out += n;
        }
    }
    return out;
}

std::optional<QStringList> splitExec(const QString &exec, ExecQuoting quoting)
{
    const bool lenient = quoting == ExecQuoting::Lenient;
    QStringList args;
    QString cur;
    bool inArg = false;
    const qsizetype n = exec.size();
    for (qsizetype i = 0; i < n; ++i) {
        const QChar c = exec.at(i);
        if (c == u' ' || c == u'\t' || c == u'\n') {
            if (inArg) {
                args << cur;
                cur.clear();
                inArg = false;
            }
            continue;
        }
        inArg = true;
        if (c == u'"') {
            ++i;
            while (i < n && exec.at(i) != u'"') {
                const QChar q = exec.at(i);
                if (q == u'\\' && i + 1 < n && QStringView(u"\"`$\\").contains(exec.at(i + 1))) {
                    cur += exec.at(i + 1);
                    i += 2;
                } else {
                    cur += q;
                    ++i;
                }
            }
            if (i >= n)
                return std::nullopt;
        } else if (lenient && c == u'\'') {
            const qsizetype end = exec.indexOf(u'\'', i + 1);
            if (end < 0)
                return std::nullopt;
            cur += exec.mid(i + 1, end - i - 1);
            i = end;
        } else if (lenient && c == u'\\' && i + 1 < n) {
            cur += exec.at(++i);
        } else {
            cur += c;
        }
    }
    if (inArg)
        args << cur;
    if (args.isEmpty())
        return std::nullopt;
    return args;
}

QStringList expandFieldCodes(const QStringList &args, const ExecContext &ctx)
{
    QStringList out;
    bool targetTaken = false;
    for (const QString &arg : args) {
        if (arg == QLatin1String("%i")) {
            if (!ctx.icon.isEmpty())
                out << QStringLiteral("--icon") << ctx.icon;
            continue;
        }
        QString r;
        for (qsizetype i = 0; i < arg.size(); ++i) {
            const QChar c = arg.at(i);
            if (c != u'%' || i + 1 == arg.size()) {
                r += c;
                continue;
            }
            switch (arg.at(++i).unicode()) {
            case 'u':
            case 'U':
            case 'f':
            case 'F':
                r += ctx.target;
                targetTaken = true;
                break;
            case 'c':
                r += ctx.name;
                break;
            case 'k':
                r += ctx.desktopFile;
                break;
            case '%':
                r += u'%';
                break;
            default:
                // %i inside a longer argument, the deprecated %d %D %n %N %v %m, and codes
                // nobody defined: none of them can carry anything useful here.
                break;
            }
        }
        if (r.isEmpty() && !arg.isEmpty())
            continue;
        out << r;
    }
    if (!targetTaken)
        out << ctx.target;
    return out;
}

std::optional<QStringList> execArguments(const QString &rawExecValue, const ExecContext &ctx)
{
    const auto args = splitExec(rawExecValue);
    if (!args)
        return std::nullopt;
    return expandFieldCodes(*args, ctx);
}

namespace {

/// Calls @p onEntry(key, value) for every key of group @p group in an INI-like freedesktop
/// file. Stops when @p onEntry returns false.
template <typename F> bool forEachKey(const QString &path, QStringView group, F onEntry)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        return false;
    const QString text = QString::fromUtf8(f.readAll());
    bool inGroup = false;
    bool sawGroup = false;
    for (QStringView line : QStringView(text).split(u'\n')) {
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        if (line.startsWith(u'[')) {
            // A group may appear only once; a second one of the same name is ignored.
            if (inGroup)
                break;
            inGroup = line.size() == group.size() + 2 && line.endsWith(u']') &&
                      line.sliced(1, group.size()) == group;
            sawGroup = sawGroup || inGroup;
            continue;
        }
        if (!inGroup)
            continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq <= 0)
            continue;
        if (!onEntry(line.left(eq).trimmed(), line.mid(eq + 1).trimmed()))
            break;
    }
    return sawGroup;
}

QStringList envDirs(const char *name, const QStringList &fallback)
{
    QStringList dirs;
    for (const QString &d : qEnvironmentVariable(name).split(u':', Qt::SkipEmptyParts)) {
        // Relative entries are invalid in these variables and are ignored.
        if (QDir::isAbsolutePath(d))
            dirs << d;
    }
    return dirs.isEmpty() ? fallback : dirs;
}

QString envDir(const char *name, const QString &fallback)
{
    const QString d = qEnvironmentVariable(name);
    return QDir::isAbsolutePath(d) ? d : fallback;
}

bool isDesktopId(const QString &id)
{
    return id.endsWith(QLatin1String(".desktop")) && !id.contains(u'/') && !id.startsWith(u'.');
}

QString resolveId(const QString &dir, const QString &id, int depth)
{
    const QString direct = dir + u'/' + id;
    if (QFileInfo(direct).isFile())
        return direct;
    if (depth > 4)
        return {};
    // "vendor-app.desktop" names "vendor/app.desktop" as well.
    for (qsizetype i = id.indexOf(u'-'); i > 0; i = id.indexOf(u'-', i + 1)) {
        const QString sub = dir + u'/' + id.left(i);
        if (QFileInfo(sub).isDir()) {
            const QString found = resolveId(sub, id.mid(i + 1), depth + 1);
            if (!found.isEmpty())
                return found;
        }
    }
    return {};
}

QStringList applicationDirs(const XdgDirs &dirs)
{
    QStringList out{dirs.dataHome + QLatin1String("/applications")};
    for (const QString &d : dirs.dataDirs)
        out << d + QLatin1String("/applications");
    return out;
}

} // namespace

std::optional<DesktopEntry> readDesktopEntry(const QString &path)
{
    DesktopEntry e;
    e.path = path;
    const bool found = forEachKey(path, u"Desktop Entry", [&e](QStringView key, QStringView v) {
        const QString value = unescapeValue(v.toString());
        if (key == u"Type")
            e.type = value;
        else if (key == u"Name")
            e.name = value;
        else if (key == u"Icon")
            e.icon = value;
        else if (key == u"Exec")
            e.exec = value;
        else if (key == u"TryExec")
            e.tryExec = value;
        else if (key == u"Path")
            e.workDir = value;
        else if (key == u"Hidden")
            e.hidden = value == QLatin1String("true");
        return true;
    });
    if (!found)
        return std::nullopt;
    return e;
}

XdgDirs XdgDirs::fromEnvironment()
{
    const QString home = QDir::homePath();
    XdgDirs d;
    d.configHome = envDir("XDG_CONFIG_HOME", home + QLatin1String("/.config"));
    d.configDirs = envDirs("XDG_CONFIG_DIRS", {QStringLiteral("/etc/xdg")});
    d.dataHome = envDir("XDG_DATA_HOME", home + QLatin1String("/.local/share"));
    d.dataDirs = envDirs("XDG_DATA_DIRS",
                         {QStringLiteral("/usr/local/share"), QStringLiteral("/usr/share")});
    for (const QString &desk :
         qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(u':', Qt::SkipEmptyParts))
        d.desktops << desk.toLower();
    return d;
}

QStringList mimeappsFiles(const XdgDirs &dirs)
{
    QStringList bases{dirs.configHome};
    bases << dirs.configDirs;
    bases << dirs.dataHome + QLatin1String("/applications");
    for (const QString &d : dirs.dataDirs)
        bases << d + QLatin1String("/applications");

    QStringList files;
    for (const QString &base : bases) {
        for (const QString &desk : dirs.desktops)
            files << base + u'/' + desk + QLatin1String("-mimeapps.list");
        files << base + QLatin1String("/mimeapps.list");
    }
    return files;
}

QStringList defaultApplicationIds(const XdgDirs &dirs, const QString &mimeType)
{
    QStringList files = mimeappsFiles(dirs);
    for (const QString &d : applicationDirs(dirs))
        files << d + QLatin1String("/defaults.list");

    const QString wanted = mimeType.toLower();
    QStringList ids;
    for (const QString &file : files) {
        forEachKey(file, u"Default Applications", [&](QStringView key, QStringView value) {
            if (key.toString().toLower() != wanted)
                return true;
            for (QStringView id : value.split(u';', Qt::SkipEmptyParts)) {
                const QString s = id.trimmed().toString();
                if (isDesktopId(s) && !ids.contains(s))
                    ids << s;
            }
            return false;
        });
    }
    return ids;
}

QString findDesktopFile(const XdgDirs &dirs, const QString &id)
{
    if (!isDesktopId(id))
        return {};
    for (const QString &dir : applicationDirs(dirs)) {
        const QString found = resolveId(dir, id, 0);
        if (!found.isEmpty())
            return found;
    }
    return {};
}

QString findProgram(const QString &program)
{
    if (program.isEmpty())
        return {};
    if (program.contains(u'/')) {
        const QFileInfo fi(program);
        return fi.isFile() && fi.isExecutable() ? fi.absoluteFilePath() : QString();
    }
    return QStandardPaths::findExecutable(program);
}

std::optional<DesktopEntry> defaultApplication(const XdgDirs &dirs, const QString &mimeType,
                                               const ProgramLookup &lookup)
{
    for (const QString &id : defaultApplicationIds(dirs, mimeType)) {
        const QString path = findDesktopFile(dirs, id);
        if (path.isEmpty())
            continue;
        const auto entry = readDesktopEntry(path);
        if (!entry || entry->type != QLatin1String("Application") || entry->hidden)
            continue;
        if (!entry->tryExec.isEmpty() && lookup(entry->tryExec).isEmpty())
            continue;
        const auto args = splitExec(entry->exec);
        if (!args || lookup(args->first()).isEmpty())
            continue;
        return entry;
    }
    return std::nullopt;
}

namespace {
OpenPlan nothing(const QString &why)
{
    OpenPlan p;
    p.why = why;
    return p;
}

const QString kNoSuchThing = QStringLiteral("there is no file, folder or program by that name");

/// The action read as a program and its arguments, when its first word is a program.
OpenPlan planProgram(const QString &action, const QString &home, const ProgramLookup &lookup)
{
    const auto words = splitExec(action, ExecQuoting::Strict);
    if (!words) {
        return nothing(action.contains(u'"') ? QStringLiteral("a double quote in it is not closed")
                                             : kNoSuchThing);
    }
    const QString first = words->first();
    QString file;
    if (first.startsWith(QLatin1String("~/")))
        file = home + first.mid(1);
    else if (first.startsWith(u'/'))
        file = first;
    else if (!first.contains(u'/') && !first.isEmpty()) {
        const QString program = lookup(first);
        if (!program.isEmpty())
            return {OpenPlan::Run, program, home, words->mid(1), {}};
        return nothing(kNoSuchThing);
    } else
        return nothing(kNoSuchThing);

    const QString program = lookup(file);
    if (!program.isEmpty())
        return {OpenPlan::Run, program, QFileInfo(program).absolutePath(), words->mid(1), {}};
    if (QFileInfo::exists(file) && words->size() > 1)
        return nothing(QStringLiteral("\"%1\" is not a program that can be started").arg(first));
    return nothing(kNoSuchThing);
}
} // namespace

OpenPlan planOpen(const QString &action, const QString &home, const ProgramLookup &lookup)
{
    if (action.isEmpty())
        return nothing(QStringLiteral("the action is empty"));

    // "mailto:", "file:", "sftp:" ... but not a one-letter drive name.
    static const QRegularExpression scheme(QStringLiteral("^[A-Za-z][A-Za-z0-9+.-]+:"));

    QString path;
    if (action == u'~')
        path = home;
    else if (action.startsWith(QLatin1String("~/")))
        path = home + action.mid(1);
    else if (action.startsWith(u'/'))
        path = action;
    else if (scheme.match(action).hasMatch())
        return {OpenPlan::Opener, action, home, {}, {}};
    else {
        if (!action.contains(u'/')) {
            const QString program = lookup(action);
            if (!program.isEmpty())
                return {OpenPlan::Run, program, home, {}, {}};
        }
        path = home + u'/' + action;
    }

    const QFileInfo fi(path);
    if (!fi.exists())
        return planProgram(action, home, lookup);
    if (fi.isDir())
        return {OpenPlan::Opener, fi.absoluteFilePath(), home, {}, {}};
    if (fi.isFile() && fi.isExecutable())
        return {OpenPlan::Run, fi.absoluteFilePath(), fi.absolutePath(), {}, {}};
    return {OpenPlan::Opener, fi.absoluteFilePath(), home, {}, {}};
}

} // namespace desktop
