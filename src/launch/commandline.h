#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace platform {
class Profile;
}

/// The program's command line. Without arguments the program starts as a launcher; every
/// argument is a command that runs without a display and ends the program.
namespace commandline {

/// What a start asks of the running copy, or of the launcher it becomes when none runs.
struct Request
{
    enum Kind
    {
        Show,   ///< no argument: the main window
        Prompt, ///< --prompt: the keyword prompt, as F7
        Hotkey  ///< --hotkey KEY: the entries with hotkey KEY, as Ctrl+Shift+KEY
    };
    Kind kind = Show;
    QString key; ///< for Hotkey: the key's name as the hotkey list writes it ("N", "5", "F7")

    /// One line of the single-copy channel: "show", "prompt" or "hotkey KEY".
    QByteArray message() const;
    /// The request a message carries; nullopt for anything else.
    static std::optional<Request> fromMessage(const QByteArray &line);

    bool operator==(const Request &) const = default;
};

/// The request in @p args (the arguments after the program's name): Show for none, Prompt
/// for "--prompt", Hotkey for "--hotkey KEY" with KEY a hotkey of the list in any case.
/// nullopt for every other command line, which run() handles.
std::optional<Request> launcherRequest(const QStringList &args);

/// For a Hotkey @p request: 0 when an entry of the entry file @p entryFile (read through
/// @p profile) has that hotkey; otherwise says so on standard error and returns 1, so that
/// the start ends there and the running copy is told nothing. 0 for any other request.
int checkHotkeyRequest(const Request &request, platform::Profile &profile,
                       const QString &entryFile);

/// "Dudud Adadadiz 1.00".
QString versionText();

/// What --help prints: the usage, the entry file in use and the keyboard source.
QString usage(const QString &entryFile, const QString &keyboardSource);

/// The keyboard source this session would get, in words.
QString keyboardSourceName();

/// The autostart entry of the user: $XDG_CONFIG_HOME/autostart/dudud-adadadiz.desktop;
/// empty when there is no configuration folder.
QString autostartPath();
/// A desktop entry that starts @p program at login: by its command name when it is an
/// installed copy, else by its path.
QByteArray autostartEntry(const QString &program);

/// Runs the command in @p args (the arguments after the program's name) and returns the
/// exit status: 0 done, 1 failed (the reason on standard error), 2 not understood (the usage
/// on standard error). @p program is the running program's file, for the autostart entry and
/// the entry file beside it.
int run(const QStringList &args, const QString &program);

} // namespace commandline
