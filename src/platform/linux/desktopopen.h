#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

/// The freedesktop.org pieces the Linux shell needs: Desktop Entry files, their Exec lines,
/// the default-application lists (mimeapps.list) and the decision what "open" does with a
/// text. Nothing here starts a process; everything is a function of its arguments and of the
/// files it is pointed at, so it can be tested without a desktop.
namespace desktop {

/// Undoes the escapes of a Desktop Entry string value: \s \n \t \r \\ (an unknown escape is
/// kept as it stands).
QString unescapeValue(const QString &value);

/// How much quoting splitExec() understands.
enum class ExecQuoting
{
    /// What real-world desktop files use: also single quotes, and backslash escapes outside
    /// quotes, read the way a POSIX shell reads them.
    Lenient,
    /// The Exec key's own rules only: double quotes; outside them every character but a blank
    /// is literal (an apostrophe in "it's", a backslash in a path).
    Strict,
};

/// Splits an Exec value (already unescaped as a string value) into arguments.
///
/// Arguments are separated by unquoted blanks. Inside double quotes a backslash escapes
/// `"`, `` ` ``, `$` and `\`; other backslashes are literal. A quoted part joins the word it
/// touches. Nothing else of a shell happens: no expansion, no operators, no globbing.
/// Returns nothing for an unterminated quote or an empty line.
std::optional<QStringList> splitExec(const QString &exec,
                                     ExecQuoting quoting = ExecQuoting::Lenient);

/// What the field codes of an Exec line may refer to.
struct ExecContext
{
    QString target;      ///< the URL or file to open; goes in as exactly one argument
    QString icon;        ///< Icon key, for %i
    QString name;        ///< Name key, for %c
    QString desktopFile; ///< the entry's own path, for %k
};

/// Replaces the field codes in @p args: %u %U %f %F become the target as one argument (a
/// code embedded in a longer argument is replaced within it), %i becomes "--icon" and the
/// icon (or nothing without one), %c the name, %k the file, %% a percent sign; deprecated and
/// unknown codes vanish. An argument that consisted of codes expanding to nothing is dropped.
/// When no code takes the target, it is appended as the last argument, so it always arrives.
QStringList expandFieldCodes(const QStringList &args, const ExecContext &ctx);

/// splitExec() and expandFieldCodes() together. Nothing when the Exec line is unusable.
std::optional<QStringList> execArguments(const QString &rawExecValue, const ExecContext &ctx);

/// The keys of a Desktop Entry that launching needs.
struct DesktopEntry
{
    QString path;
    QString type;
    QString name;
    QString icon;
    QString exec; ///< as read, string escapes undone
    QString tryExec;
    QString workDir; ///< the Path key
    bool hidden = false;
};

/// Reads the [Desktop Entry] group of @p path. Nothing when the file cannot be read or has
/// no such group.
std::optional<DesktopEntry> readDesktopEntry(const QString &path);

/// The XDG base directories, as the environment gives them (with the documented defaults).
struct XdgDirs
{
    QString configHome;
    QStringList configDirs;
    QString dataHome;
    QStringList dataDirs;
    QStringList desktops; ///< XDG_CURRENT_DESKTOP, lower-cased, in order

    static XdgDirs fromEnvironment();
};

/// The mimeapps.list files in the order they are consulted: for each of config home, config
/// dirs, data home/applications, data dirs/applications, first the desktop-specific
/// "<desktop>-mimeapps.list" files, then "mimeapps.list". Files that do not exist are
/// included; callers skip them.
QStringList mimeappsFiles(const XdgDirs &dirs);

/// The desktop file IDs listed for @p mimeType in the [Default Applications] groups, in order
/// of preference (mimeapps.list files first, then the older defaults.list files), duplicates
/// removed.
QStringList defaultApplicationIds(const XdgDirs &dirs, const QString &mimeType);

/// Finds the file of desktop file ID @p id ("org.example-app.desktop" may also live at
/// "org.example/app.desktop") in data home/applications, then data dirs/applications.
QString findDesktopFile(const XdgDirs &dirs, const QString &id);

/// Looks a program up: a name with a slash is taken as it stands, a bare name is searched
/// in PATH. Empty when it is not an executable file.
using ProgramLookup = std::function<QString(const QString &)>;
QString findProgram(const QString &program);

/// The first usable default application for @p mimeType: installed, an Application, not
/// Hidden, its TryExec program present, and an Exec line that parses.
std::optional<DesktopEntry> defaultApplication(const XdgDirs &dirs, const QString &mimeType,
                                               const ProgramLookup &lookup = findProgram);

/// What "open" does with a text.
struct OpenPlan
{
    enum Kind
    {
        Nothing, ///< nothing by that name: start nothing
        Run,     ///< start the program @c target directly, with @c args
        Opener   ///< hand @c target (a path or a URL) to the desktop's opener
    } kind = Nothing;
    QString target;
    QString workDir;
    QStringList args; ///< Run: the arguments after the program, exactly
    QString why;      ///< Nothing: why, for the user
};

/// Decides what opening @p action means. @p home is the user's home folder. "~" and a
/// leading "~/" stand for it; a text that starts with a URL scheme of two or more letters
/// goes to the opener as it stands; a bare name without a slash is a program in PATH when
/// there is one by that name; other relative paths are taken from @p home. An existing
/// folder or non-executable file goes to the opener, an executable file is run in its own
/// folder.
///
/// A text that is not one existing path (so a path with spaces stays whole) is split by the
/// Exec key's quoting (ExecQuoting::Strict): when its first word is a program (an absolute
/// path, one under "~/", or a bare name in PATH) it is run with the other words as its
/// arguments, in its own folder (a program from PATH in @p home). Anything else is Nothing,
/// with the reason.
OpenPlan planOpen(const QString &action, const QString &home,
                  const ProgramLookup &lookup = findProgram);

} // namespace desktop
